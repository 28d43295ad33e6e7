// Properties of the stream filter over generated input, with fixed seeds (they
// also run under the sanitizers):
//   - realistic jobs (pages with and without setup sections, embedded
//     documents, binary data, long sections, the printer's job end) give the
//     same bytes however the driver cuts its writes and whatever the spooler
//     takes or refuses per call, and those bytes are the job with each section
//     replaced by its rewrite;
//   - random streams of markers, fragments and bytes are accounted for byte by
//     byte: what reaches the spooler is the input with each rewritten piece
//     replaced by its rewrite, what has not is still held, and the end of the
//     document sends the rest; nothing is lost, duplicated or reordered.
// They run on the core alone: a recording sink stands in for the spooler, the
// compiled-in templates and a fixed user name and date for the module's and the
// system's.
#include "core/feature_rewrite.h"
#include "core/stream_filter.h"
#include "fuzz_rng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kPrivatePartBytes = 12016;
constexpr size_t kSettingsStart = 12;
constexpr size_t kOrientationField = 378;
constexpr size_t kSettingsBytes = kPrivatePartBytes - kSettingsStart;

const char* const kPrinterFeatures[] = {"ZTDuplex",   "ZTCollate", "ZTPrintSpeed", "ZTPunchMode", "ZTStapleMode",
                                        "ZTGCCyan",   "ZTJog",     "ZTOwnerName",  "ZTJobName",   "ZTDateSpecify",
                                        "ZTPageTray", "ZTRotate",  "ZTBinding"};
const char* const kDriverFeatures[] = {"Resolution", "PageRegion", "InputSlot", "MediaType"};

// A job stream, and the same stream as runs that the filter must pass on
// unchanged and setup-section bodies that it must hand to the rewriter.
struct Job {
    struct Part {
        bool section;
        std::string text;
        int orientation;  // for a section: what the rewriter must be told
    };
    std::string stream;
    std::vector<Part> parts;
    int sections = 0;
    bool longSection = false;  // a section over the cut threshold: the parts are no model
    bool lfOnly = false;       // every line ends with LF alone: no marker, the stream passes unchanged
    bool longLine = false;     // a page body holds a line of many kilobytes
};

// Builds realistic jobs: prolog, document setup, pages with and without page
// setup sections, binary page data (any byte), embedded documents with their
// own setup section and "%%EOF", now and then a setup section far over the
// 100000 bytes at which an unfinished section is cut, and the printer's
// job-end sequence without a final line end. The model (the parts) holds only
// for jobs without such a long section; `longSection` says when one is there.
// "%!PS-" starts a call only where a job may start: an embedded document sits
// behind a page setup, where starting over changes nothing. Now and then a
// page body holds a line of hundreds of kilobytes, and now and then the whole
// job has LF-only line ends.
class JobGenerator {
public:
    JobGenerator(unsigned seed, int settingsOrientation) : rng_(seed), settingsOrientation_(settingsOrientation) {}

    Job Make() {
        Plain(
            "%!PS-Adobe-3.0\r\n%%Title: Report\r\n%%Creator: generator\r\n%%Pages: (atend)\r\n"
            "%%DocumentData: Clean7Bit\r\n%%EndComments\r\n%%BeginProlog\r\n");
        for (int i = Pick(2, 40); i > 0; --i) Plain("/P" + std::to_string(i) + " { pop exch def } bind def\r\n");
        Plain("/featurebegin { countdictstack mark } bind def\r\n%%EndProlog\r\n%%BeginSetup\r\n");
        std::string setup = "/languagelevel where { pop } if\r\n";
        if (Pick(0, 1) == 0) setup += Block("ZTOrientation", "Portrait");
        for (int i = Pick(2, 8); i > 0; --i) setup += AnyBlock();
        if (Pick(0, 7) == 0) setup += LongBody();
        setup += Block("Resolution", "600dpi");
        Section(setup);
        Plain("%%EndSetup\r\n");

        const int pages = Pick(1, 6);
        for (int page = 1; page <= pages; ++page) {
            const std::string number = std::to_string(page);
            std::string comments = "%%Page: " + number + " " + number + "\r\n";
            switch (Pick(0, 2)) {
                case 0: comments += "%%ViewingOrientation: 1 0 0 1\r\n"; break;
                case 1: comments += "%%ViewingOrientation: 0 1 -1 0\r\n"; break;
                default: break;
            }
            comments += "%%PageBoundingBox: 0 0 595 842\r\n";
            collected_ += comments;
            Plain(comments + "%%EndPageComments\r\n");
            // Now and then no page setup: the comments carry on to the next
            // section. Or an empty one: its comments carry on as well.
            const int kind = Pick(0, 6);
            if (kind != 0) {
                Plain("%%BeginPageSetup\r\n");
                if (kind != 1) {
                    std::string body = "/pagesave save def\r\n";
                    for (int i = Pick(0, 4); i > 0; --i) body += AnyBlock();
                    if (Pick(0, 30) == 0) body += LongBody();
                    body += Block("PageRegion", "A4");
                    Section(body);
                }
                Plain("%%EndPageSetup\r\n");
            }
            Plain("gsave\r\n");
            for (int i = Pick(0, 3); i > 0; --i) Plain(Binary(static_cast<size_t>(Pick(0, 3000))) + "\r\n");
            if (Pick(0, 19) == 0) Plain(LongLine(static_cast<size_t>(Pick(70000, 200000))) + "\r\n");
            if (kind > 1 && Pick(0, 3) == 0) EmbeddedDocument();
            Plain("grestore\r\nshowpage\r\n%%PageTrailer\r\n");
        }
        Plain("%%Trailer\r\n%%Pages: " + std::to_string(pages) + "\r\n%%EOF\r\n");
        if (Pick(0, 1) == 0) Plain("\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X");
        if (Pick(0, 9) == 0) ToLfOnly();
        return job_;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

    void Plain(const std::string& text) {
        job_.stream += text;
        if (job_.parts.empty() || job_.parts.back().section) job_.parts.push_back({false, std::string(), 0});
        job_.parts.back().text += text;
    }
    // A section gets the comments collected since the last one.
    void Section(const std::string& body) {
        job_.stream += body;
        job_.parts.push_back({true, body, CollectedOrientation()});
        collected_.clear();
        ++job_.sections;
    }

    static std::string Block(const std::string& keyword, const std::string& value) {
        return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + value + "\r\n<</" + keyword +
               " 1>> setpagedevice\r\n%%EndFeature\r\n}featurecleanup\r\n";
    }
    std::string AnyBlock() {
        if (Pick(0, 3) == 0) return Block(kDriverFeatures[Pick(0, 3)], "Default");
        const int feature = Pick(0, static_cast<int>(sizeof kPrinterFeatures / sizeof kPrinterFeatures[0]) - 1);
        return Block(kPrinterFeatures[feature], "None");
    }
    // A downloaded resource of 100 to 250 KB: inside an open feature block,
    // between closed ones, or without any block around it.
    std::string LongBody() {
        job_.longSection = true;
        std::string resource;
        const size_t size = static_cast<size_t>(Pick(100000, 250000));
        while (resource.size() < size) {
            resource += Pick(0, 9) == 0 ? AnyBlock() : std::string(static_cast<size_t>(Pick(10, 200)), 'r') + "\r\n";
        }
        switch (Pick(0, 2)) {
            case 0: return "featurebegin{\r\n%%BeginFeature: *Font Big\r\n" + resource + "}featurecleanup\r\n";
            case 1: return AnyBlock() + resource + AnyBlock();
            default: return resource;
        }
    }
    // Binary bytes without a CR LF among them: one line.
    std::string LongLine(size_t length) {
        job_.longLine = true;
        std::string line = Binary(length);
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '\n' && line[i - 1] == '\r') line[i] = 'n';
        }
        return line;
    }
    // Every CR LF becomes LF (again, until none is left): no marker can be met,
    // and the filter must pass the stream on as it is.
    void ToLfOnly() {
        std::string& stream = job_.stream;
        for (size_t at = stream.find("\r\n"); at != std::string::npos; at = stream.find("\r\n", at > 0 ? at - 1 : 0)) {
            stream.erase(at, 1);
        }
        job_.parts = {{false, stream, 0}};
        job_.sections = 0;
        job_.longSection = false;
        job_.lfOnly = true;
    }
    void EmbeddedDocument() {
        Plain("%%BeginDocument: logo.eps\r\n%!PS-Adobe-3.0 EPSF-3.0\r\n%%BoundingBox: 0 0 10 10\r\n%%BeginSetup\r\n");
        Section("/eps save def\r\n" + AnyBlock());
        Plain("%%EndSetup\r\n" + Binary(static_cast<size_t>(Pick(0, 500))) + "\r\n%%EOF\r\n%%EndDocument\r\n");
    }
    std::string Binary(size_t length) {
        std::string bytes;
        for (size_t i = 0; i < length; ++i) bytes += static_cast<char>(Pick(0, 255));
        return bytes;
    }
    // What the evaluation of the comments collected since the last section
    // gives: -1 without any, else the first orientation line found wins in the
    // order portrait, landscape, else the settings'.
    int CollectedOrientation() const {
        if (collected_.empty()) return kOrientationUnknown;
        if (collected_.find("%%ViewingOrientation: 1 0 0 1\r\n") != std::string::npos) return kOrientationPortrait;
        if (collected_.find("%%ViewingOrientation: 0 1 -1 0\r\n") != std::string::npos) return kOrientationLandscape;
        return settingsOrientation_;
    }

    std::mt19937 rng_;
    int settingsOrientation_;
    std::string collected_;
    Job job_;
};

size_t FirstDifference(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return at;
}

// ---------------------------------------------------------------------------
// Random streams and their accounting.

const char kJobStart[] = "%!PS-Adobe-3.0\r\n";

const std::vector<std::string> kTokens = {
    "%%BeginSetup\r\n",
    "%%EndSetup\r\n",
    "%%BeginPageSetup\r\n",
    "%%EndPageSetup\r\n",
    "%%Page: 1 1\r\n",
    "%%Page:",
    "%%EndPageComments\r\n",
    "%%ViewingOrientation: 1 0 0 1\r\n",
    "%%ViewingOrientation: 0 1 -1 0\r\n",
    "featurebegin{\r\n",
    "}featurecleanup\r\n",
    "%%BeginFeature: *ZTDuplex ",
    "%%BeginFeature: *ZTDuplex DuplexNoTumble\r\n",
    "%%BeginFeature: *PageSize A4\r\n",
    "%%EndFeature\r\n",
    "featurebegin{\r\n%%BeginFeature: *ZTDuplex DuplexTumble\r\n<</Duplex true>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n",
    "%!PS-",
    "%%EOF\r\n",
    "%%EOF",
    "\r\n",
    "\r",
    "\n",
    std::string(1, '\0'),
    "showpage\r\n",
};

std::string RandomStream(FuzzRng& rng, size_t tokens) {
    std::string stream;
    for (size_t i = 0; i < tokens; ++i) {
        switch (rng.Below(7)) {
            case 0:
            case 1:
            case 2: stream += rng.Pick(kTokens); break;
            case 3: {
                for (uint32_t n = rng.Below(12); n > 0; --n) stream.push_back(static_cast<char>(rng.Byte()));
                break;
            }
            case 4: stream += std::string(rng.Below(120), static_cast<char>('a' + rng.Below(26))) + "\r\n"; break;
            case 5:
                // A line with LF alone, or a long run of bytes without a line end.
                if (rng.OneIn(2)) {
                    stream += std::string(rng.Below(120), static_cast<char>('a' + rng.Below(26))) + "\n";
                } else {
                    for (uint32_t n = rng.Below(20000); n > 0; --n) {
                        const char c = static_cast<char>(rng.Byte());
                        if (c != '\n' || stream.empty() || stream.back() != '\r') stream.push_back(c);
                    }
                }
                break;
            default: {
                // A whole setup section, now and then without its end.
                const bool page = rng.OneIn(2);
                stream += page ? "%%BeginPageSetup\r\n" : "%%BeginSetup\r\n";
                for (uint32_t n = rng.Below(5); n > 0; --n) stream += rng.Pick(kTokens);
                if (!rng.OneIn(5)) stream += page ? "%%EndPageSetup\r\n" : "%%EndSetup\r\n";
                break;
            }
        }
    }
    return stream;
}

// Cuts the stream into calls of random size (0 included). With keepJob, no
// call after the first begins with "%!PS-", which would start a new job and
// drop what the previous one left (tested on its own).
std::vector<std::string> RandomCalls(FuzzRng& rng, const std::string& stream, bool keepJob) {
    std::vector<std::string> calls;
    size_t at = 0;
    while (at < stream.size()) {
        const uint32_t kind = rng.Below(10);
        size_t size = kind < 4 ? rng.Below(8) : kind < 8 ? rng.Below(300) : rng.Below(5000);
        if (at == 0 && keepJob) size = std::max<size_t>(size, sizeof kJobStart - 1);
        size = std::min(size, stream.size() - at);
        while (keepJob && at + size < stream.size() && stream.compare(at + size, 5, "%!PS-") == 0) ++size;
        calls.push_back(stream.substr(at, size));
        at += size;
    }
    return calls;
}

// The spooler as these tests see it: at most `limit` bytes taken an offer,
// nothing taken counted as a failure (as the spooler's sink does), and after
// `failSkip` good offers the next `failCount` refused.
struct SpoolerRecord final : ByteSink {
    static constexpr size_t kNoLimit = SIZE_MAX;
    size_t limit = kNoLimit;
    unsigned failSkip = 0;
    unsigned failCount = 0;
    std::string bytes;

    void Fail(unsigned skip, unsigned count) {
        failSkip = skip;
        failCount = count;
    }
    Result<size_t> Offer(ByteRange offered) noexcept override {
        if (failCount > 0 && failSkip == 0) {
            --failCount;
            return kStatusFail;
        }
        if (failSkip > 0) --failSkip;
        const size_t count = offered.size < limit ? offered.size : limit;
        if (count == 0) return kStatusFail;
        bytes.append(reinterpret_cast<const char*>(offered.data), count);
        return count;
    }
};

// What the simulated system gave the plug-in's tests: the account "alice" and
// 7 December 2026 in its short date format.
class FixedIdentity final : public JobIdentity {
public:
    Text16 UserName(SettingsView) const override { return u"alice"; }
    Text16 TodaysDate() const override { return u"12/7/2026"; }
};

// The rewriter under test, wrapped: every piece it is given must be the input
// bytes that follow what already reached the spooler.
struct Accounting {
    const std::string* input = nullptr;
    const SpoolerRecord* sink = nullptr;
    PieceRewriter* inner = nullptr;
    struct Piece {
        size_t offset;
        size_t length;
        std::string replacement;
    };
    std::vector<Piece> pieces;
    size_t replacedBytes = 0;   // input bytes of the rewritten pieces
    size_t replacingBytes = 0;  // bytes of their rewrites
};
Accounting accounting;

// The input bytes that have gone out so far, rewritten or not.
size_t ConsumedInput(size_t sent) { return sent - accounting.replacingBytes + accounting.replacedBytes; }

struct AccountingRewriter final : PieceRewriter {
    Status Rewrite(std::string_view piece, SectionState section, int orientation, std::string& out) noexcept override;
};

Status AccountingRewriter::Rewrite(std::string_view piece, SectionState section, int orientation,
                                   std::string& out) noexcept {
    size_t offset = 0;
    if (accounting.input != nullptr) {
        offset = ConsumedInput(accounting.sink->bytes.size());
        const std::string& input = *accounting.input;
        EXPECT_TRUE(offset + piece.size() <= input.size() &&
                    input.compare(offset, piece.size(), piece.data(), piece.size()) == 0)
            << "piece at input offset " << offset << " is not the input there: " << Escaped(std::string(piece));
    }
    EXPECT_GT(piece.size(), 0u);
    EXPECT_TRUE(section == SectionState::FirstPiece || section == SectionState::LaterPiece);
    const Status status = accounting.inner->Rewrite(piece, section, orientation, out);
    if (status.Ok()) {
        accounting.pieces.push_back({offset, piece.size(), out});
        accounting.replacedBytes += piece.size();
        accounting.replacingBytes += out.size();
    }
    return status;
}

// Hands every piece back unchanged.
struct IdentityRewriter final : PieceRewriter {
    Status Rewrite(std::string_view piece, SectionState, int, std::string& out) noexcept override {
        out.assign(piece.data(), piece.size());
        return kStatusOk;
    }
};

class StreamFilterProperty : public ::testing::Test {
protected:
    std::vector<uint8_t> privatePart = std::vector<uint8_t>(kPrivatePartBytes, 0);
    const FeatureTemplates templates = CompiledFeatureTemplates();
    const FixedIdentity identity;

    void SetUp() override {
        const char16_t identification[] = u"VTA/NP";
        std::memcpy(privatePart.data() + kSettingsStart, identification, sizeof identification);
    }
    void TearDown() override { filter.reset(); }

    SettingsView Settings() const { return SettingsView{privatePart.data() + kSettingsStart, kSettingsBytes}; }

    void SetOrientationSetting(int16_t value) {
        std::memcpy(privatePart.data() + kSettingsStart + kOrientationField, &value, sizeof value);
    }

    // The job with each section body replaced by the rewriter's text for it. The
    // rewriter's bytes are checked literally in its own tests; here it only
    // supplies what the filter must put in each section's place.
    std::string Expected(const Job& job) {
        std::string out;
        for (const Job::Part& part : job.parts) {
            if (!part.section) {
                out += part.text;
                continue;
            }
            std::string text;
            EXPECT_EQ(RewriteSetupPieceWith(RewriteContext{templates, u"Report", Settings(), &identity}, part.text,
                                            SectionState::FirstPiece, part.orientation, text),
                      kStatusOk);
            out += text;
        }
        return out;
    }

    // Feeds the stream in calls of the given sizes (0 allowed), ends the
    // document as the EndDoc hook does, and returns what the spooler received.
    // limits, when given, is the spooler's per-call limit before each call;
    // failAt marks the calls at which the spooler fails once (the driver then
    // goes on with empty calls until the spooler works again).
    std::string Run(const std::string& stream, const std::vector<size_t>& sizes, const std::vector<size_t>& limits,
                    const std::vector<bool>& failAt = {}) {
        SpoolerRecord spooler;
        StreamFilterState filter;
        FeatureRewriter rewriter(RewriteContext{templates, u"Report", Settings(), &identity});
        const StreamJob job{spooler, rewriter, Settings()};

        size_t at = 0;
        for (size_t call = 0; call < sizes.size(); ++call) {
            spooler.limit = limits.empty() ? SpoolerRecord::kNoLimit : limits[call];
            const bool fail = !failAt.empty() && failAt[call];
            if (fail) spooler.Fail(0, 1);
            const size_t count = sizes[call];
            size_t written = 0xDEAD;
            Status status =
                FilterWrite(filter, job, count == 0 && call % 2 == 0 ? nullptr : &stream[at], count, &written);
            EXPECT_EQ(written, count) << "call " << call << " at " << at;
            spooler.Fail(0, 0);
            for (int retry = 0; fail && status != kStatusOk && retry < 3; ++retry) {
                status = FilterWrite(filter, job, nullptr, 0, &written);
            }
            EXPECT_EQ(status, kStatusOk) << "call " << call << " at " << at;
            // Outside a section at most the gathered short writes wait.
            if (status == kStatusOk && filter.section == SectionState::Passing && filter.passThroughOwed == 0) {
                EXPECT_LT(filter.pending.Length(), kGatherBytes) << "call " << call << " at " << at;
            }
            EXPECT_TRUE(StreamFilterStateIsSound(filter)) << "call " << call << " at " << at;
            at += count;
        }
        spooler.limit = SpoolerRecord::kNoLimit;
        EXPECT_EQ(at, stream.size());
        EXPECT_EQ(filter.unsent.Length(), 0u);
        EXPECT_EQ(filter.passThroughOwed, 0u);
        EXPECT_EQ(filter.section, SectionState::Passing);
        // The end of the document: nothing is held back afterwards.
        EXPECT_EQ(FilterFlush(filter, spooler), kStatusOk);
        EXPECT_FALSE(filter.pending.HasBlock());
        EXPECT_FALSE(filter.setup.HasBlock());
        EXPECT_FALSE(filter.unsent.HasBlock());
        return spooler.bytes;
    }

    // Call sizes from 1 byte to 10 KiB, spread evenly over their magnitude,
    // with calls of 0 bytes in between; some jobs go in tiny calls only.
    static std::vector<size_t> Cuts(std::mt19937& rng, size_t total) {
        const bool tiny = rng() % 8 == 0;
        std::uniform_real_distribution<double> magnitude(0.0, std::log(10240.0));
        std::vector<size_t> sizes;
        size_t left = total;
        while (left > 0) {
            if (rng() % 12 == 0) sizes.push_back(0);
            size_t size = tiny ? 1 + rng() % 8 : static_cast<size_t>(std::exp(magnitude(rng)));
            if (size < 1) size = 1;
            if (size > left) size = left;
            sizes.push_back(size);
            left -= size;
        }
        return sizes;
    }
    // For the random streams: a fresh spooler, settings and filter state.
    std::unique_ptr<SpoolerRecord> spooler;
    std::unique_ptr<StreamFilterState> filter;
    std::unique_ptr<FeatureRewriter> features;
    IdentityRewriter unchanged;
    AccountingRewriter accounted;

    void NewJob(FuzzRng& rng) {
        spooler.reset(new SpoolerRecord());
        std::fill(privatePart.begin(), privatePart.end(), uint8_t{0});
        const char16_t identification[] = u"VTA/NP";
        std::memcpy(privatePart.data() + kSettingsStart, identification, sizeof identification);
        const int16_t orientation = static_cast<int16_t>(rng.Between(-1, 3));
        std::memcpy(privatePart.data() + kSettingsStart + kOrientationField, &orientation, sizeof orientation);
        filter.reset(new StreamFilterState());
        features.reset(new FeatureRewriter(RewriteContext{templates, u"Fuzz", Settings(), &identity}));
        accounting.pieces.clear();
        accounting.replacedBytes = 0;
        accounting.replacingBytes = 0;
        accounting.sink = spooler.get();
    }

    Status Write(const std::string& bytes, size_t* written) { return Write(bytes.data(), bytes.size(), written); }
    Status Write(const void* data, size_t count, size_t* written) {
        // Exactly the call's bytes in their own allocation, so a read past them is caught.
        std::unique_ptr<char[]> exact;
        if (data != nullptr) {
            exact.reset(new char[count + 1]);
            std::memcpy(exact.get(), data, count);
        }
        return FilterWrite(*filter, StreamJob{*spooler, accounted, Settings()}, exact.get(), count, written);
    }

    // One stream through the filter, checking the accounting afterwards.
    void RunAccounted(FuzzRng& rng, PieceRewriter& inner, const std::string& stream, const std::string& context) {
        accounting.input = &stream;
        accounting.inner = &inner;
        const bool failures = rng.OneIn(3);
        if (rng.OneIn(3)) spooler->limit = 1 + rng.Below(5000);
        if (failures) spooler->Fail(rng.Below(20), 1 + rng.Below(3));

        for (const std::string& call : RandomCalls(rng, stream, true)) {
            size_t written = 0xDEAD;
            const Status status = Write(call, &written);
            ASSERT_TRUE(StreamFilterStateIsSound(*filter)) << context;
            ASSERT_TRUE(status == kStatusOk || (failures && status == kStatusFail))
                << context << ": " << std::hex << status.Code();
            ASSERT_EQ(written, call.size()) << context;
        }
        // The spooler works again: empty calls send what it did not take.
        spooler->Fail(0, 0);
        for (int i = 0; i < 3; ++i) {
            size_t written = 0xDEAD;
            ASSERT_EQ(Write(std::string(), &written), kStatusOk) << context;
            ASSERT_EQ(written, 0u);
        }
        EXPECT_EQ(filter->unsent.Length(), 0u) << context;

        const std::string sent = spooler->bytes;
        const size_t consumed = ConsumedInput(sent.size());
        ASSERT_LE(consumed, stream.size()) << context;
        std::string expected;
        size_t at = 0;
        for (const Accounting::Piece& piece : accounting.pieces) {
            ASSERT_GE(piece.offset, at) << context;
            expected += stream.substr(at, piece.offset - at) + piece.replacement;
            at = piece.offset + piece.length;
        }
        ASSERT_LE(at, consumed) << context;
        expected += stream.substr(at, consumed - at);
        ASSERT_EQ(sent.size(), expected.size()) << context;
        ASSERT_TRUE(sent == expected) << context << ": the output is not the input with its pieces rewritten";
        // What has not gone out is still held, whole.
        EXPECT_EQ(consumed + filter->pending.Length() + filter->setup.Length(), stream.size())
            << context << ": bytes were lost or duplicated";
        // The end of the document sends the rest as it was.
        ASSERT_EQ(FilterFlush(*filter, *spooler), kStatusOk) << context;
        const std::string& all = spooler->bytes;
        ASSERT_EQ(all.size() - sent.size(), stream.size() - consumed) << context;
        EXPECT_TRUE(all.compare(sent.size(), std::string::npos, stream, consumed, std::string::npos) == 0) << context;
        EXPECT_FALSE(filter->pending.HasBlock()) << context;
        EXPECT_FALSE(filter->setup.HasBlock()) << context;
    }
};

TEST_F(StreamFilterProperty, OutputIsTheSameHoweverTheStreamIsCut) {
    constexpr unsigned kCases = 300;
    int longJobs = 0;
    int lfJobs = 0;
    for (unsigned seed = 1; seed <= kCases; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed * 7919u);
        const int16_t settingsOrientation = static_cast<int16_t>(1 + rng() % 2);
        SetOrientationSetting(settingsOrientation);
        const Job job = JobGenerator(seed, settingsOrientation).Make();

        const std::string whole = Run(job.stream, {job.stream.size()}, {});
        // The rewriter did its work: every section got our blocks.
        if (job.lfOnly) {
            ++lfJobs;
        } else {
            ASSERT_NE(whole, job.stream);
        }
        if (job.longSection) {
            ++longJobs;
        } else {
            const std::string expected = Expected(job);
            ASSERT_EQ(whole.size(), expected.size());
            ASSERT_EQ(FirstDifference(whole, expected), expected.size());
        }

        const std::vector<size_t> sizes = Cuts(rng, job.stream.size());
        const std::string cut = Run(job.stream, sizes, {});
        ASSERT_EQ(cut.size(), whole.size()) << sizes.size() << " calls";
        ASSERT_EQ(FirstDifference(cut, whole), whole.size()) << sizes.size() << " calls";

        // A spooler that takes a different share of each call.
        const std::vector<size_t> otherSizes = Cuts(rng, job.stream.size());
        std::vector<size_t> limits;
        std::uniform_real_distribution<double> limitMagnitude(0.0, std::log(6000.0));
        for (size_t i = 0; i < otherSizes.size(); ++i) {
            limits.push_back(static_cast<size_t>(std::exp(limitMagnitude(rng))));
        }
        const std::string partial = Run(job.stream, otherSizes, limits);
        ASSERT_EQ(partial.size(), whole.size());
        ASSERT_EQ(FirstDifference(partial, whole), whole.size());

        // A spooler that fails now and then, after taking part of a call.
        std::vector<bool> failAt;
        for (size_t i = 0; i < otherSizes.size(); ++i) failAt.push_back(rng() % 6 == 0);
        const std::string failing = Run(job.stream, otherSizes, limits, failAt);
        ASSERT_EQ(failing.size(), whole.size());
        ASSERT_EQ(FirstDifference(failing, whole), whole.size());

        // Every byte in a call of its own, for some of the jobs.
        if (seed % 25 == 0 && !job.longLine) {
            const std::string bytes = Run(job.stream, std::vector<size_t>(job.stream.size(), 1), {});
            ASSERT_EQ(bytes.size(), whole.size());
            ASSERT_EQ(FirstDifference(bytes, whole), whole.size());
        }
    }
    EXPECT_GT(longJobs, 20);  // the generator does give long sections
    EXPECT_GT(lfJobs, 15);    // and LF-only jobs
}

// The generator's model is checked once against bytes written out: a two-page
// job whose page setups get the orientation of their own page's comments, whose
// document setup's orientation block takes the settings' value, and whose other
// bytes, a zero byte among them, pass unchanged.
TEST_F(StreamFilterProperty, SmallJobCutAtEveryByteKeepsItsBytes) {
    SetOrientationSetting(2);
    const char job[] =
        "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n"
        "featurebegin{\r\n%%BeginFeature: *ZTOrientation Portrait\r\n<<>> setpagedevice\r\n%%EndFeature\r\n"
        "}featurecleanup\r\n"
        "featurebegin{\r\n%%BeginFeature: *Resolution 600dpi\r\n<<>> setpagedevice\r\n%%EndFeature\r\n"
        "}featurecleanup\r\n"
        "%%EndSetup\r\n"
        "%%Page: 1 1\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nA\r\n"
        "%%EndPageSetup\r\nbin\0ary\r\n"
        "%%Page: 2 2\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nB\r\n%%EndPageSetup\r\n%%EOF\r\n";
    const std::string stream(job, sizeof job - 1);
    const std::string expected =
        "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n"
        "featurebegin{\r\n%%BeginFeature: *ZTOrientation Landscape\r\n"
        "(Landscape) /Custom /ProcSet findresource /ZTOrientation get exec\r\n%%EndFeature\r\n}featurecleanup\r\n"
        "featurebegin{\r\n%%BeginFeature: *Resolution 600dpi\r\n<<>> setpagedevice\r\n%%EndFeature\r\n"
        "}featurecleanup\r\n"
        "%%EndSetup\r\n"
        "%%Page: 1 1\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n%%BeginPageSetup\r\n"
        "featurebegin{\r\n%%BeginFeature: *ZTOrientation Portrait\r\n"
        "(Portrait) /Custom /ProcSet findresource /ZTOrientation get exec\r\n%%EndFeature\r\n}featurecleanup\r\n"
        "A\r\n%%EndPageSetup\r\nbin" +
        std::string(1, '\0') +
        "ary\r\n"
        "%%Page: 2 2\r\n%%EndPageComments\r\n%%BeginPageSetup\r\n"
        "featurebegin{\r\n%%BeginFeature: *ZTOrientation Landscape\r\n"
        "(Landscape) /Custom /ProcSet findresource /ZTOrientation get exec\r\n%%EndFeature\r\n}featurecleanup\r\n"
        "B\r\n%%EndPageSetup\r\n%%EOF\r\n";
    EXPECT_EQ(Run(stream, {stream.size()}, {}), expected);
    EXPECT_EQ(Run(stream, std::vector<size_t>(stream.size(), 1), {}), expected);
    EXPECT_EQ(Run(stream, std::vector<size_t>(stream.size(), 1), std::vector<size_t>(stream.size(), 1)), expected);
}

TEST_F(StreamFilterProperty, IdentityRewritesReproduceTheInputExactly) {
    FuzzRng rng(0x5EED0501);
    size_t rewrites = 0;
    for (int round = 0; round < 80; ++round) {
        NewJob(rng);
        std::string stream = kJobStart + RandomStream(rng, 20 + rng.Below(200));
        stream += rng.OneIn(2) ? "%%EOF\r\n" : "\r\n%%EOF\r\n";
        RunAccounted(rng, unchanged, stream, "round " + std::to_string(round));
        EXPECT_EQ(spooler->bytes, stream) << "round " << round;
        rewrites += accounting.pieces.size();
        if (HasFailure()) return;
    }
    EXPECT_GT(rewrites, 80u);  // the generator gives real sections
}

TEST_F(StreamFilterProperty, FeatureRewritesReplaceOnlyTheirPieces) {
    FuzzRng rng(0x5EED0502);
    size_t changed = 0;
    for (int round = 0; round < 60; ++round) {
        NewJob(rng);
        std::string stream = kJobStart + RandomStream(rng, 20 + rng.Below(150)) + "%%EOF\r\n";
        RunAccounted(rng, *features, stream, "round " + std::to_string(round));
        for (const Accounting::Piece& piece : accounting.pieces) {
            if (piece.replacement != stream.substr(piece.offset, piece.length)) ++changed;
        }
        if (HasFailure()) return;
    }
    EXPECT_GT(changed, 20u);  // the rewriter did rewrite
}

TEST_F(StreamFilterProperty, LongSectionsAreCutWithoutLosingBytes) {
    FuzzRng rng(0x5EED0503);
    for (int round = 0; round < 5; ++round) {
        NewJob(rng);
        std::string stream = std::string(kJobStart) + "%%BeginSetup\r\n";
        while (stream.size() < 130000) {
            stream += RandomStream(rng, 50) + std::string(90, 'x') + "\r\n";
            // Later rounds: lines around the long-line size, some ending in an end marker.
            if (round >= 3 && rng.OneIn(8)) {
                stream += std::string(kLongSectionLineBytes - 1 + rng.Below(4), 'q') +
                          (rng.OneIn(3) ? "%%EndSetup\r\n" : "\r\n");
            }
        }
        stream += "%%EndSetup\r\n%%EOF\r\n";
        RunAccounted(rng, rng.OneIn(2) ? static_cast<PieceRewriter&>(unchanged) : *features, stream,
                     "round " + std::to_string(round));
        if (HasFailure()) return;
    }
}

TEST_F(StreamFilterProperty, HostileCallsKeepTheirDocumentedResults) {
    // New jobs in the middle, null data, spooler failures and short writes:
    // only the documented results, the whole count taken, and every rewritten
    // text released.
    FuzzRng rng(0x5EED0504);
    for (int round = 0; round < 40; ++round) {
        NewJob(rng);
        accounting.input = nullptr;
        accounting.inner = rng.OneIn(2) ? static_cast<PieceRewriter*>(&unchanged) : features.get();
        if (rng.OneIn(2)) spooler->limit = rng.Below(3000);  // 0: the spooler takes nothing
        spooler->Fail(rng.Below(30), rng.Below(4));
        const std::string stream = RandomStream(rng, 50 + rng.Below(200));
        for (const std::string& call : RandomCalls(rng, stream, false)) {
            if (rng.OneIn(40)) {
                size_t written = 0xDEAD;
                EXPECT_EQ(Write(nullptr, 1 + rng.Below(9), &written), kStatusNullPointer);
                EXPECT_EQ(written, 0u);
            }
            size_t written = 0xDEAD;
            const Status status = Write(call, rng.OneIn(10) ? nullptr : &written);
            ASSERT_TRUE(status == kStatusOk || status == kStatusFail)
                << "round " << round << ": " << std::hex << status.Code();
            if (written != 0xDEAD) {
                ASSERT_EQ(written, call.size()) << "round " << round;
            }
        }
        if (HasFailure()) return;
    }
}

}  // namespace
