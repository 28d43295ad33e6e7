// The stream filter on the core alone, with a recording sink and a recording
// rewriter: it wraps each piece in "<state orientation>" ... "</>" so every
// output shows what was rewritten.
#include "core/line_buffer.h"
#include "core/stream_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Chunks = std::vector<std::string>;

// The held bytes of a buffer.
std::string Held(const LineBuffer& buffer) {
    if (!buffer.HasBlock()) return std::string();
    return std::string(reinterpret_cast<const char*>(buffer.Bytes()), buffer.Length());
}

constexpr size_t kNoLimit = SIZE_MAX;

// The spooler as the tests see it: each offer counted and its size kept,
// at most `limit` bytes taken an offer (kNoLimit: all), the offers Fail()
// names refused, and each take recorded as one chunk.
struct RecordingSink final : ByteSink {
    size_t limit = kNoLimit;
    unsigned failSkip = 0;
    unsigned failCount = 0;
    size_t calls = 0;
    std::vector<size_t> offers;
    Chunks chunks;

    // Refuses `count` offers after `skip` good ones.
    void Fail(unsigned skip, unsigned count) {
        failSkip = skip;
        failCount = count;
    }
    std::string Bytes() const {
        std::string all;
        for (const std::string& chunk : chunks) all += chunk;
        return all;
    }
    Result<size_t> Offer(ByteRange bytes) noexcept override {
        ++calls;
        offers.push_back(bytes.size);
        if (failCount > 0 && failSkip == 0) {
            --failCount;
            return kStatusFail;
        }
        if (failSkip > 0) --failSkip;
        const size_t count = bytes.size < limit ? bytes.size : limit;
        if (count > 0) chunks.emplace_back(reinterpret_cast<const char*>(bytes.data), count);
        return count;
    }
};

struct RewriteCall {
    std::string text;
    int sectionState;
    int orientation;
};

struct RecordingRewriter final : PieceRewriter {
    std::vector<RewriteCall> calls;
    unsigned failures = 0;     // the next this many calls run out of memory
    std::string forcedOutput;  // when set, every success answers with it

    Status Rewrite(std::string_view piece, SectionState section, int orientation, std::string& out) noexcept override {
        calls.push_back({std::string(piece), static_cast<int>(section), orientation});
        if (failures > 0) {
            --failures;
            out = "partial";  // what a failed rewrite leaves must not go out
            return kStatusOutOfMemory;
        }
        out = forcedOutput;
        if (out.empty()) {
            out = "<" + std::to_string(static_cast<int>(section)) + " " + std::to_string(orientation) + ">" +
                  std::string(piece) + "</>";
        }
        return kStatusOk;
    }
};

constexpr size_t kSettingsBytes = 12004;
constexpr size_t kOrientationField = 378;

struct StreamFilterTest : ::testing::Test {
    RecordingSink sink;
    RecordingRewriter script;
    std::vector<uint8_t> settings = std::vector<uint8_t>(kSettingsBytes, 0);
    StreamFilterState filter;

    void SetUp() override {
        const char16_t identification[] = u"VTA/NP";
        std::memcpy(settings.data(), identification, sizeof identification);
        SetOrientationSetting(1);
    }

    void SetOrientationSetting(int16_t value) {
        std::memcpy(settings.data() + kOrientationField, &value, sizeof value);
    }
    StreamJob Job() { return StreamJob{sink, script, SettingsView{settings.data(), settings.size()}}; }
    Status Write(const std::string& bytes, size_t* written = nullptr) {
        return FilterWrite(filter, Job(), bytes.data(), bytes.size(), written);
    }
    // Writes and expects the whole count taken and success.
    void Feed(const std::string& bytes) {
        size_t written = 0xDEAD;
        ASSERT_EQ(Write(bytes, &written), kStatusOk);
        ASSERT_EQ(written, bytes.size());
    }
    Chunks Written() const { return sink.chunks; }
    Status Flush() { return FilterFlush(filter, sink); }
    std::string Pending() const { return Held(filter.pending); }
};

TEST_F(StreamFilterTest, NullDataAndUnbufferableCountsAreRefusedWithNothingTaken) {
    Feed("%%Page");
    size_t written = 0xDEAD;
    EXPECT_EQ(FilterWrite(filter, Job(), nullptr, 4, &written), kStatusNullPointer);
    EXPECT_EQ(written, 0u);
    // More than the buffer can ever hold: refused before anything is copied
    // (only the first five bytes are looked at, for a job start).
    written = 0xDEAD;
    EXPECT_EQ(FilterWrite(filter, Job(), "12345", 0x80000000u, &written), kStatusOutOfMemory);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Pending(), "%%Page");
    EXPECT_TRUE(Written().empty());
}

TEST_F(StreamFilterTest, ZeroBytesWithNothingBufferedChangeNothing) {
    size_t written = 0xDEAD;
    EXPECT_EQ(FilterWrite(filter, Job(), nullptr, 0, &written), kStatusOk);
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(filter.pending.HasBlock());
    EXPECT_EQ(sink.calls, 0u);
}

// Outside a section only bytes that could still become a marker wait, and
// writes of fewer than 512 bytes until 4096 bytes are gathered or a line end
// arrives behind a '%' (a longer write goes on at once); each step
// below with what has gone out and what is held.
TEST_F(StreamFilterTest, HoldsBackOnlyWhatCouldStillBecomeAMarker) {
    const auto sent = [this] { return sink.Bytes(); };
    Feed("%!PS-Adobe-3.0\r\n%%Title: a\r\n%%Cre");
    EXPECT_EQ(sent(), "%!PS-Adobe-3.0\r\n%%Title: a\r\n%%Cre");
    EXPECT_EQ(Pending(), "");
    Feed("ator: b\r\n%%Beg");
    Feed("in");
    EXPECT_EQ(sent(), "%!PS-Adobe-3.0\r\n%%Title: a\r\n%%Creator: b\r\n");
    EXPECT_EQ(Pending(), "%%Begin");
    Feed("Data: 5\r\nx%");
    EXPECT_EQ(Pending(), "%");
    // Gathered: no line end in it.
    Feed("\r");
    EXPECT_EQ(Pending(), "%\r");
    for (int i = 0; i < 40; ++i) Feed(std::string(100, 'g'));
    Feed(std::string(93, 'g'));
    EXPECT_EQ(Pending(), "%\r" + std::string(4093, 'g'));
    // One more byte: all are examined, and the lone CR at the end may still
    // end a page comment's line.
    Feed("\r");
    EXPECT_EQ(Pending(), "\r");
    Feed("\ny\r\n%%ViewingOrientation: 0 1 -1 0\r");
    EXPECT_EQ(sent(), "%!PS-Adobe-3.0\r\n%%Title: a\r\n%%Creator: b\r\n%%BeginData: 5\r\nx%\r" +
                          std::string(4093, 'g') + "\r\ny\r\n");
    EXPECT_EQ(Pending(), "%%ViewingOrientation: 0 1 -1 0\r");  // the longest that can wait
    // A longer write without a line end is not gathered.
    Feed("\n" + std::string(600, 'h'));
    EXPECT_EQ(Pending(), "");
    // A line without end, however long, passes in any cuts and holds nothing.
    std::string line(300000, 'z');
    line[1000] = '\r';
    line[77777] = '%';
    Feed(line.substr(0, 5));
    Feed(line.substr(5, 200000));
    Feed(line.substr(200005));
    EXPECT_EQ(Pending(), "");
    EXPECT_LT(filter.pending.Capacity(), 70000u);
    EXPECT_EQ(sent(), "%!PS-Adobe-3.0\r\n%%Title: a\r\n%%Creator: b\r\n%%BeginData: 5\r\nx%\r" +
                          std::string(4093, 'g') +
                          "\r\ny\r\n"
                          "%%ViewingOrientation: 0 1 -1 0\r\n" +
                          std::string(600, 'h') + line);
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_TRUE(script.calls.empty());
}

// Short writes that decide nothing wait until kGatherBytes are held and then
// go out in one spooler call; a line end behind a '%' is examined at once.
TEST_F(StreamFilterTest, ShortWritesAreGatheredBelowTheBound) {
    Feed("%!PS-Adobe-3.0\r\n");
    const std::string line = std::string(62, 't') + "\r\n";
    for (size_t i = 0; i + 1 < kGatherBytes / line.size(); ++i) Feed(line);
    EXPECT_EQ(filter.pending.Length(), kGatherBytes - line.size());
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n"}));
    Feed(line);
    EXPECT_EQ(Pending(), "");
    std::string lines;
    for (size_t i = 0; i < kGatherBytes / line.size(); ++i) lines += line;
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n", lines}));
    Feed("a%b");
    EXPECT_EQ(Pending(), "a%b");
    Feed("\r\n");
    EXPECT_EQ(Written().back(), "a%b\r\n");
    EXPECT_EQ(Pending(), "");
}

TEST_F(StreamFilterTest, RewritesEachSetupSectionInPlace) {
    SetOrientationSetting(2);
    Feed(
        "%!PS-Adobe-3.0\r\n%%EndComments\r\n%%BeginSetup\r\nA\r\nB\r\n%%EndSetup\r\n"
        "%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n"
        "%%BeginPageSetup\r\nP\r\n%%EndPageSetup\r\nbody\r\n%%EOF\r\n");
    EXPECT_EQ(Written(), (Chunks{
                             "%!PS-Adobe-3.0\r\n%%EndComments\r\n%%BeginSetup\r\n",
                             "<1 -1>A\r\nB\r\n</>",  // the page's comments come after it
                             "%%EndSetup\r\n%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\n"
                             "%%EndPageComments\r\n%%BeginPageSetup\r\n",
                             "<1 2>P\r\n</>",
                             "%%EndPageSetup\r\nbody\r\n%%EOF\r\n",
                         }));
    ASSERT_EQ(script.calls.size(), 2u);
    EXPECT_EQ(filter.section, SectionState::Passing);
    EXPECT_EQ(filter.pending.Length(), 0u);
    EXPECT_EQ(filter.setup.Length(), 0u);
    EXPECT_EQ(Flush(), kStatusOk);  // nothing left for the end of the document
    EXPECT_EQ(Written().size(), 5u);
    EXPECT_FALSE(filter.pending.HasBlock());
    EXPECT_FALSE(filter.setup.HasBlock());
}

TEST_F(StreamFilterTest, OrientationComesFromThePageCommentsOrTheSettings) {
    SetOrientationSetting(2);
    // The document setup arrives before any page comment: -1.
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nD\r\n%%EndSetup\r\n");
    Feed(
        "%%Page: 1 1\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nP1\r\n"
        "%%EndPageSetup\r\n");
    // Comments without an orientation line: the settings' orientation.
    Feed(
        "%%Page: 2 2\r\n%%PageBoundingBox: 0 0 595 842\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nP2\r\n"
        "%%EndPageSetup\r\n");
    Feed(
        "%%Page: 3 3\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nP3\r\n"
        "%%EndPageSetup\r\n");
    // No comments collected since the last evaluation: -1 again.
    Feed("%%BeginPageSetup\r\nP4\r\n%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 5u);
    EXPECT_EQ(script.calls[0].orientation, -1);
    EXPECT_EQ(script.calls[1].orientation, 1);
    EXPECT_EQ(script.calls[2].orientation, 2);
    EXPECT_EQ(script.calls[3].orientation, 2);
    EXPECT_EQ(script.calls[4].orientation, -1);
    EXPECT_EQ(script.calls[1].text, "P1\r\n");
    // The "%%EndPageComments" line itself is not collected.
    EXPECT_FALSE(filter.pageComments.lineEnd);
    EXPECT_EQ(filter.defaultOrientation, 2);
}

TEST_F(StreamFilterTest, CommentsOfALaterPageWaitForTheirOwnSection) {
    SetOrientationSetting(1);
    // Everything in one call: the page's comments lie behind the document
    // setup's begin marker, so the document setup has none.
    Feed(
        "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nD\r\n%%EndSetup\r\n%%Page: 1 1\r\n"
        "%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nP1\r\n%%EndPageSetup\r\n");
    // Page 2's comments come in the call that brings page 1's second section:
    // they must not decide its orientation.
    Feed("%%Page: 2 2\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n");
    Feed(
        "%%BeginPageSetup\r\nP2\r\n%%EndPageSetup\r\nbody\r\n%%Page: 3 3\r\n%%ViewingOrientation: 1 0 0 1\r\n"
        "%%EndPageComments\r\n%%BeginPageSetup\r\nP3\r\n%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 4u);
    EXPECT_EQ(script.calls[0].text, "D\r\n");
    EXPECT_EQ(script.calls[0].orientation, -1);
    EXPECT_EQ(script.calls[1].orientation, 2);
    EXPECT_EQ(script.calls[2].text, "P2\r\n");
    EXPECT_EQ(script.calls[2].orientation, 2);
    EXPECT_EQ(script.calls[3].orientation, 1);
    EXPECT_FALSE(filter.pageComments.lineEnd);
}

TEST_F(StreamFilterTest, MarkersSplitAcrossCallsAreFound) {
    Feed("%!PS-Adobe-3.0\r\n%%Begin");
    EXPECT_EQ(filter.section, SectionState::Passing);
    Feed("Setup\r\nA\r\n%%End");
    EXPECT_EQ(filter.section, SectionState::FirstPiece);
    Feed("Setup\r\nrest\r\n");
    EXPECT_EQ(Written(),
              (Chunks{"%!PS-Adobe-3.0\r\n", "%%BeginSetup\r\n", "<1 -1>A\r\n</>", "%%EndSetup\r\n", "rest\r\n"}));
    EXPECT_EQ(filter.section, SectionState::Passing);
}

TEST_F(StreamFilterTest, TheEarlierMarkerWinsWhicheverKindItIs) {
    // A page setup holding an embedded document's setup markers: the page's
    // own markers come first and decide, however the stream is cut.
    const std::string job =
        "%!PS-Adobe-3.0\r\n%%BeginPageSetup\r\nx\r\n%%BeginSetup\r\nS\r\n%%EndPageSetup\r\n"
        "T\r\n%%EndSetup\r\nend\r\n";
    Feed(job);
    const Chunks expected{"%!PS-Adobe-3.0\r\n%%BeginPageSetup\r\n", "<1 -1>x\r\n%%BeginSetup\r\nS\r\n</>",
                          "%%EndPageSetup\r\nT\r\n%%EndSetup\r\nend\r\n"};
    EXPECT_EQ(Written(), expected);
    // The document marker first: it wins over a later page marker.
    Feed("%%BeginSetup\r\nD\r\n%%BeginPageSetup\r\n%%EndSetup\r\n%%EndPageSetup\r\n");
    EXPECT_EQ(Written().back(), "%%EndSetup\r\n%%EndPageSetup\r\n");
    EXPECT_EQ(script.calls.back().text, "D\r\n%%BeginPageSetup\r\n");
}
TEST_F(StreamFilterTest, EmptySectionCallsNoRewrite) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\n%%EndSetup\r\nx\r\n");
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(filter.section, SectionState::Passing);
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", "%%EndSetup\r\nx\r\n"}));
}

TEST_F(StreamFilterTest, PartialLineInFrontOfTheEndMarkerIsRewrittenWithTheSection) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\nB%%EndSetup\r\n");
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", "<1 -1>A\r\nB</>", "%%EndSetup\r\n"}));
    EXPECT_EQ(filter.setup.Length(), 0u);
}

std::string Filler(size_t lines) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) text += std::string(98, 'x') + "\r\n";
    return text;
}

TEST_F(StreamFilterTest, LongSectionIsCutWhereLinesOneAtATimeWouldCutIt) {
    const std::string blockA = "featurebegin{\r\nA\r\n}featurecleanup\r\n";  // 35 bytes
    const std::string blockB = "featurebegin{\r\nB\r\n}featurecleanup\r\n";
    const std::string filler = Filler(1000);  // 100000 bytes
    // The 1000th filler line takes the section over 100000 bytes: it is cut
    // after the last closed block so far (A). The rest is at the limit, not
    // over it, until B opens; from then on the next closed block (B) ends the
    // next piece.
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + blockA + filler + blockB + "featurebegin{\r\nC\r\n");
    ASSERT_EQ(script.calls.size(), 2u);
    EXPECT_EQ(script.calls[0].text, blockA);
    EXPECT_EQ(script.calls[0].sectionState, 1);
    EXPECT_EQ(script.calls[1].text, filler + blockB);
    EXPECT_EQ(script.calls[1].sectionState, 2);
    EXPECT_EQ(filter.section, SectionState::LaterPiece);
    EXPECT_EQ(Held(filter.setup), "featurebegin{\r\nC\r\n");

    Feed("D\r\n}featurecleanup\r\n%%EndSetup\r\n%%EOF\r\n");
    ASSERT_EQ(script.calls.size(), 3u);
    EXPECT_EQ(script.calls[2].text, "featurebegin{\r\nC\r\nD\r\n}featurecleanup\r\n");
    EXPECT_EQ(script.calls[2].sectionState, 2);

    // The long piece went out in chunks of 4096: 100044 bytes.
    const Chunks chunks = Written();
    ASSERT_EQ(chunks.size(), 1u + 1u + 25u + 2u);
    EXPECT_EQ(chunks[1], "<1 -1>" + blockA + "</>");
    std::string second;
    for (size_t i = 2; i <= 26; ++i) {
        EXPECT_EQ(chunks[i].size(), i < 26 ? 4096u : 1740u) << i;
        second += chunks[i];
    }
    EXPECT_EQ(second, "<2 -1>" + filler + blockB + "</>");
    EXPECT_EQ(chunks[27], "<2 -1>featurebegin{\r\nC\r\nD\r\n}featurecleanup\r\n</>");
    EXPECT_EQ(chunks[28], "%%EndSetup\r\n%%EOF\r\n");

    // Line by line, the same pieces.
    const std::vector<RewriteCall> whole = script.calls;
    script.calls.clear();
    const std::string all = "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + blockA + filler + blockB +
                            "featurebegin{\r\nC\r\nD\r\n}featurecleanup\r\n%%EndSetup\r\n%%EOF\r\n";
    for (size_t at = 0; at < all.size();) {
        const size_t end = all.find("\r\n", at) + 2;
        Feed(all.substr(at, end - at));
        at = end;
    }
    ASSERT_EQ(script.calls.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(script.calls[i].text, whole[i].text) << i;
}
TEST_F(StreamFilterTest, LongSectionWithOnlyAnOpenBlockIsNotCut) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nfeaturebegin{\r\n" + Filler(1001));
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(filter.setup.Length(), 15u + 100100u);
    Feed("}featurecleanup\r\n%%EndSetup\r\n");
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0].text, "featurebegin{\r\n" + Filler(1001) + "}featurecleanup\r\n");
}

TEST_F(StreamFilterTest, LongSectionWithoutFeatureBlocksIsCutAtItsLastLineEnd) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + Filler(1000));
    EXPECT_TRUE(script.calls.empty());  // exactly 100000 bytes: not yet
    Feed("y\r\nz");
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0].text, Filler(1000) + "y\r\n");
    EXPECT_EQ(filter.setup.Length(), 0u);
    EXPECT_EQ(Pending(), "z");
}

TEST_F(StreamFilterTest, RewrittenTextGoesOutInChunksOf4096) {
    script.forcedOutput = std::string(4096, 'a') + std::string(4096, 'b') + std::string(1808, 'c');
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\n");
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", std::string(4096, 'a'), std::string(4096, 'b'),
                                 std::string(1808, 'c'), "%%EndSetup\r\n"}));
    // A spooler that takes less: each chunk starts where the taken bytes end.
    sink = RecordingSink{};
    sink.limit = 3000;
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\n");
    EXPECT_EQ(sink.offers, (std::vector<size_t>{30, 4096, 4096, 4000, 1000, 12}));
    EXPECT_EQ(sink.Bytes(), "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + script.forcedOutput + "%%EndSetup\r\n");
}

TEST_F(StreamFilterTest, NewJobSendsWhatThePreviousOneLeftFirst) {
    SetOrientationSetting(2);
    Feed("%!PS-Adobe-3.0\r\n%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\nold partial%%EndPage");
    EXPECT_EQ(Pending(), "%%EndPage");
    EXPECT_EQ(filter.inPageComments, true);
    // The landscape comment goes with the old job, and the new one starts
    // outside any page's comments: its page setup has no comments (-1).
    SetOrientationSetting(1);
    Feed("%!PS-Adobe-3.0\r\n%%BeginPageSetup\r\nP\r\n%%EndPageSetup\r\n");
    EXPECT_EQ(Written(),
              (Chunks{"%!PS-Adobe-3.0\r\n%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\nold partial", "%%EndPage",
                      "%!PS-Adobe-3.0\r\n%%BeginPageSetup\r\n", "<1 -1>P\r\n</>", "%%EndPageSetup\r\n"}));
    EXPECT_EQ(filter.defaultOrientation, 1);

    // A job cut off inside a section: the next job's lines are no section.
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nunfinished\r\n");
    EXPECT_EQ(filter.section, SectionState::FirstPiece);
    Feed("%!PS-Adobe-3.0\r\nfirst\r\n");
    EXPECT_EQ(filter.section, SectionState::Passing);
    EXPECT_EQ(Written().back(), "%!PS-Adobe-3.0\r\nfirst\r\n");
    EXPECT_EQ(filter.setup.Length(), 0u);
}
// Whatever the earlier calls left held (gathered short writes, a partial
// marker, an open section's text and partial line) goes out unchanged ahead of
// a call that begins with "%!PS-", however those calls and the new job's were
// cut.
TEST_F(StreamFilterTest, HeldBytesGoOutUnchangedAheadOfANewJob) {
    const std::string eps = "%!PS-Adobe-3.0 EPSF-3.0\r\n%%BoundingBox: 0 0 10 10\r\nnewpath\r\n%%EOF\r\n";
    const std::string earlier[] = {
        "%!PS-Adobe-3.0\r\n%%Page: 1 1\r\n%%EndPageComments\r\n%%BeginDocument: inc.eps\r\nBeginEPSF ",
        "%!PS-Adobe-3.0\r\nx\r\n%%BeginPage",
        "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\nB",
    };
    for (const std::string& before : earlier) {
        for (size_t split = 0; split <= before.size(); ++split) {
            for (size_t epsSplit = 5; epsSplit <= eps.size(); epsSplit += 7) {
                sink = RecordingSink{};
                filter = StreamFilterState{};
                Feed(before.substr(0, split));
                Feed(before.substr(split));
                Feed(eps.substr(0, epsSplit));
                Feed(eps.substr(epsSplit));
                ASSERT_EQ(sink.Bytes().substr(0, before.size()), before) << split << " " << epsSplit;
                EXPECT_EQ(filter.section, SectionState::Passing);
                ASSERT_EQ(Flush(), kStatusOk);
                ASSERT_EQ(sink.Bytes(), before + eps) << split << " " << epsSplit;
            }
        }
    }
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(StreamFilterTest, NewJobWhoseHeldBytesTheSpoolerRefusesFailsAndKeepsThemFirst) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\nB");
    sink.Fail(0, 1);
    size_t written = 0;
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nC\r\n%%EndSetup\r\n", &written), kStatusFail);
    EXPECT_EQ(written, 45u);
    EXPECT_EQ(filter.section, SectionState::Passing);
    Feed("");
    // The old section's text unchanged, then the new job's section rewritten.
    EXPECT_EQ(sink.Bytes(),
              "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\nB%!PS-Adobe-3.0\r\n%%BeginSetup\r\n<1 -1>C\r\n</>%%EndSetup\r\n");
    ASSERT_EQ(script.calls.size(), 1u);
}

// A section line with no CR LF among its first kLongSectionLineBytes + 2
// bytes goes out unchanged as it arrives; the text in front of it is a piece
// of its own. One byte shorter, it is collected as any line. The same bytes
// for every write size, and the held bytes stay far below the line's length.
TEST_F(StreamFilterTest, LongSectionLineGoesOutUnchangedWhateverTheWriteSize) {
    const std::string longLine(kLongSectionLineBytes + 1, 'L');
    const std::string shortLine(kLongSectionLineBytes, 'S');
    struct Case {
        std::string section;
        std::string expected;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"%%BeginSetup\r\nA\r\n" + longLine + "\r\nB\r\n%%EndSetup\r\n",
         "%%BeginSetup\r\n<1 -1>A\r\n</>" + longLine + "\r\n<2 -1>B\r\n</>%%EndSetup\r\n",
         {"A\r\n", "B\r\n"}},
        {"%%BeginSetup\r\n" + longLine + "\r\nB\r\n%%EndSetup\r\n",
         "%%BeginSetup\r\n" + longLine + "\r\n<1 -1>B\r\n</>%%EndSetup\r\n",
         {"B\r\n"}},
        {"%%BeginPageSetup\r\nA\r\n" + longLine + "%%EndPageSetup\r\nx\r\n",
         "%%BeginPageSetup\r\n<1 -1>A\r\n</>" + longLine + "%%EndPageSetup\r\nx\r\n",
         {"A\r\n"}},
        {"%%BeginSetup\r\nA\r\n" + shortLine + "\r\nB\r\n%%EndSetup\r\n",
         "%%BeginSetup\r\n<1 -1>A\r\n" + shortLine + "\r\n</><2 -1>B\r\n</>%%EndSetup\r\n",
         {"A\r\n" + shortLine + "\r\n", "B\r\n"}},
    };
    for (const Case& c : cases) {
        const std::string job = "%!PS-Adobe-3.0\r\n" + c.section;
        for (const size_t size : {size_t{64}, size_t{4096}, size_t{65536}, job.size()}) {
            sink = RecordingSink{};
            script.calls.clear();
            filter = StreamFilterState{};
            size_t most = 0;
            for (size_t at = 0; at < job.size(); at += size) {
                Feed(job.substr(at, size));
                most = std::max(most, filter.pending.Length() + filter.setup.Length());
            }
            ASSERT_EQ(Flush(), kStatusOk);
            EXPECT_EQ(sink.Bytes(), "%!PS-Adobe-3.0\r\n" + c.expected) << size;
            ASSERT_EQ(script.calls.size(), c.pieces.size()) << size;
            for (size_t i = 0; i < c.pieces.size(); ++i) EXPECT_EQ(script.calls[i].text, c.pieces[i]) << size;
            EXPECT_LE(most, kLongSectionLineBytes + 10) << size;
        }
    }
}

// Memory while a line of megabytes goes through a section: held bytes and the
// buffers' blocks stay bounded by the long-line size, not the line's.
TEST_F(StreamFilterTest, SectionLineOfMegabytesHoldsAFewBytes) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n");
    const std::string piece(4096, 'z');
    size_t most = 0;
    for (int i = 0; i < 1024; ++i) {
        Feed(piece);
        most = std::max(most, filter.pending.Capacity() + filter.setup.Capacity() + filter.unsent.Capacity());
    }
    EXPECT_TRUE(filter.longLine);
    EXPECT_EQ(Pending(), std::string(15, 'z'));  // all that could still start "%%EndPageSetup\r\n"
    EXPECT_LT(most, 3 * kLongSectionLineBytes);
    Feed("%%EndSetup\r\n");
    EXPECT_EQ(filter.section, SectionState::Passing);
    EXPECT_EQ(sink.Bytes().size(), 16u + 14u + 12u + 1024u * 4096u + 12u);
}

TEST_F(StreamFilterTest, UndecidedBytesWaitForTheNextCallOrTheEndOfTheDocument) {
    // The printer's job-end sequence after "%%EOF", in the driver's last write.
    Feed("%!PS-Adobe-3.0\r\nshowpage\r\n%%EOF\r\n");
    Feed("\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X\r");
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\nshowpage\r\n%%EOF\r\n", "\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X"}));
    EXPECT_EQ(Pending(), "\r");
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(Written().back(), "\r");
    EXPECT_FALSE(filter.pending.HasBlock());
    // An embedded document's "%%EOF" does not send a held partial line early:
    // a setup marker cut right behind it is still found.
    Feed("%!PS-Adobe-3.0\r\n%%EOF\r\n%%Begin");
    Feed("Setup\r\nS\r\n%%EndSetup\r\n");
    EXPECT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(Flush(), kStatusOk);  // nothing held: nothing sent
    EXPECT_EQ(Written().back(), "%%EndSetup\r\n");
}

TEST_F(StreamFilterTest, EndOfDocumentSendsEveryKindOfHeldBytesInStreamOrder) {
    // An unfinished section: its collected text goes out as the driver wrote
    // it, behind the pending partial line's predecessors and before it.
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\nB");
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", "A\r\n", "B"}));
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(filter.section, SectionState::Passing);

    // Rewritten text the spooler did not take, then the pending rest.
    script.forcedOutput = std::string(4096, 'a') + "bcd";
    sink.Fail(2, 1);
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\nz"), kStatusFail);
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(sink.Bytes().substr(34),
              "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + std::string(4096, 'a') + "bcd%%EndSetup\r\nz");

    // Pass-through bytes the spooler failed on part-way.
    sink.limit = 5;
    sink.Fail(1, 1);
    const size_t before = sink.Bytes().size();
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\nlast"), kStatusFail);
    EXPECT_EQ(filter.passThroughOwed, 15u);
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(sink.Bytes().substr(before), "%!PS-Adobe-3.0\r\nlast");
    EXPECT_EQ(filter.passThroughOwed, 0u);

    // A spooler failure at the end: reported, and nothing is kept.
    sink.limit = kNoLimit;
    Feed("%!PS-Adobe-3.0\r\ntail%%Pa");
    sink.Fail(0, 1);
    EXPECT_EQ(Flush(), kStatusFail);
    EXPECT_FALSE(filter.pending.HasBlock());
    EXPECT_EQ(Flush(), kStatusOk);
}
TEST_F(StreamFilterTest, EndOfDocumentTailGoesOutWholeThroughAShortSpooler) {
    sink.limit = 4;
    Feed("%!PS-\r\n%%EOF\r\n0123456789");
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(sink.Bytes(), "%!PS-\r\n%%EOF\r\n0123456789");
    EXPECT_FALSE(filter.pending.HasBlock());
}

TEST_F(StreamFilterTest, SpoolerFailureInTheBeginMarkerLineStillStartsTheSection) {
    // The spooler takes 20 bytes, then fails: the marker line is half sent.
    sink.limit = 20;
    sink.Fail(1, 1);
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n"), kStatusFail);
    EXPECT_EQ(filter.section, SectionState::FirstPiece);
    sink.limit = kNoLimit;
    Feed("%%EndSetup\r\n");
    EXPECT_EQ(sink.Bytes(), "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n<1 -1>A\r\n</>%%EndSetup\r\n");
    // A failure right after the CR of a line end: the LF still goes out.
    sink.limit = 5;
    sink.Fail(1, 1);
    const size_t before = sink.Bytes().size();
    EXPECT_EQ(Write("%123\r\n"), kStatusFail);
    sink.limit = kNoLimit;
    Feed("");
    EXPECT_EQ(sink.Bytes().substr(before), "%123\r\n");
    EXPECT_EQ(filter.pending.Length(), 0u);
}
TEST_F(StreamFilterTest, ZeroBytesNeitherHideNorHoldBackData) {
    const char raw[] = "%!PS-Adobe-3.0\r\nbin\0ary\r\n%%EOF\r\nx\0y";
    const std::string job(raw, sizeof raw - 1);
    Feed(job);
    EXPECT_EQ(Flush(), kStatusOk);
    EXPECT_EQ(sink.Bytes(), job);
    EXPECT_FALSE(filter.pending.HasBlock());

    // A marker behind a zero byte is still seen.
    const char hidden[] = "%!PS-Adobe-3.0\r\n\0%%BeginSetup\r\nA\r\n%%EndSetup\r\n";
    Feed(std::string(hidden, sizeof hidden - 1));
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0].text, "A\r\n");
}

TEST_F(StreamFilterTest, SectionWithZeroBytesIsRewrittenLikeAnyOther) {
    const std::string section("A\r\n(bin\0ary) pop\r\n", 19);
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + section + "%%EndSetup\r\n");
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0].text, section);
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", "<1 -1>" + section + "</>", "%%EndSetup\r\n"}));
}
TEST_F(StreamFilterTest, EmbeddedEndOfFileInsideASectionKeepsTheSection) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nres\r\n%%EOF\r\nmore");
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n"}));
    EXPECT_EQ(Held(filter.setup), "res\r\n%%EOF\r\n");
    EXPECT_EQ(Pending(), "more");
    Feed("\r\n%%EndSetup\r\n");
    EXPECT_EQ(Written(),
              (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", "<1 -1>res\r\n%%EOF\r\nmore\r\n</>", "%%EndSetup\r\n"}));
}

TEST_F(StreamFilterTest, SpoolerFailureKeepsTheRestForTheNextCall) {
    sink.Fail(0, 1);
    size_t written = 0;
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\nline\r\n", &written), kStatusFail);
    EXPECT_EQ(written, 22u);  // taken into the buffer all the same
    EXPECT_EQ(Pending(), "%!PS-Adobe-3.0\r\nline\r\n");
    Feed("next\r\n");
    // What was examined already goes out first, as it was.
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\nline\r\n", "next\r\n"}));
}

TEST_F(StreamFilterTest, SpoolerFailureWhileSendingRewrittenTextKeepsItsRest) {
    script.forcedOutput = std::string(4096, 'a') + "bcd";
    // The first write (up to the begin marker) and the first chunk go through.
    sink.Fail(2, 1);
    size_t written = 0;
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\nz\r\n", &written), kStatusFail);
    EXPECT_EQ(written, 48u);
    EXPECT_EQ(Held(filter.unsent), "bcd");
    EXPECT_EQ(Pending(), "%%EndSetup\r\nz\r\n");
    Feed("");
    EXPECT_EQ(Written(),
              (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", std::string(4096, 'a'), "bcd", "%%EndSetup\r\nz\r\n"}));
    EXPECT_EQ(script.calls.size(), 1u);
}

TEST_F(StreamFilterTest, ASettingsChangeHandsTheHeldOutputToTheNewDeviceContext) {
    script.forcedOutput = std::string(4096, 'a') + "bcd";
    sink.Fail(2, 1);
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\nz"), kStatusFail);
    StreamFilterState next = std::move(filter);
    EXPECT_FALSE(filter.unsent.HasBlock());
    filter = std::move(next);
    Feed("\r\n%%EOF\r\n");
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", std::string(4096, 'a'), "bcd",
                                 "%%EndSetup\r\nz\r\n%%EOF\r\n"}));
}

TEST_F(StreamFilterTest, SpoolerTakingNothingFailsInsteadOfSpinning) {
    sink.limit = 0;
    size_t written = 0;
    EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n", &written), kStatusFail);
    EXPECT_EQ(written, 16u);
    EXPECT_EQ(sink.calls, 1u);
    sink.limit = kNoLimit;
    Feed("x\r\n");
    EXPECT_EQ(sink.Bytes(), "%!PS-Adobe-3.0\r\nx\r\n");
}

// Through the spooler sink a failure keeps the spooler's own reason as the
// thread's last error, and a call that took nothing says so.
TEST_F(StreamFilterTest, SectionTextThatCannotBeCollectedStaysPending) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\n");
    filter.setup.SetByteLimit(4);
    size_t written = 0;
    EXPECT_EQ(Write("AB\r\nCD\r\n%%EndSetup\r\n", &written), kStatusOutOfMemory);
    EXPECT_EQ(written, 20u);
    EXPECT_EQ(Pending(), "AB\r\nCD\r\n%%EndSetup\r\n");
    EXPECT_TRUE(script.calls.empty());
    filter.setup.SetByteLimit(kLineBufferMaxBytes);
    Feed("");
    EXPECT_EQ(Written(), (Chunks{"%!PS-Adobe-3.0\r\n%%BeginSetup\r\n", "<1 -1>AB\r\nCD\r\n</>", "%%EndSetup\r\n"}));
}

TEST_F(StreamFilterTest, FailedRewriteSendsItsPieceUnchangedAtOnce) {
    // A cut piece whose rewrite fails goes out as the driver wrote it, and is
    // not offered again.
    script.failures = 1;
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + Filler(1001));
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(filter.setup.Length(), 0u);
    EXPECT_EQ(filter.section, SectionState::LaterPiece);
    Feed("y\r\n%%EndSetup\r\n");
    ASSERT_EQ(script.calls.size(), 2u);
    EXPECT_EQ(script.calls[1].text, "y\r\n");
    EXPECT_EQ(script.calls[1].sectionState, 2);
    EXPECT_EQ(sink.Bytes(), "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n" + Filler(1001) + "<2 -1>y\r\n</>%%EndSetup\r\n");

    // The same at a section's end.
    script.failures = 1;
    Feed("%%BeginPageSetup\r\nP\r\n%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 3u);
    const Chunks chunks = Written();
    EXPECT_EQ(std::vector<std::string>(chunks.end() - 3, chunks.end()),
              (Chunks{"%%BeginPageSetup\r\n", "P\r\n", "%%EndPageSetup\r\n"}));
}
TEST_F(StreamFilterTest, FailedRewriteUsesUpItsPageComments) {
    SetOrientationSetting(1);
    script.failures = 1;
    Feed(
        "%!PS-Adobe-3.0\r\n%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n"
        "%%BeginPageSetup\r\nP0\r\n%%EndPageSetup\r\n"
        "%%Page: 2 2\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n"
        "%%BeginPageSetup\r\nP\r\n%%EndPageSetup\r\n"
        "%%Page: 3 3\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n"
        "%%BeginPageSetup\r\nQ\r\n%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 3u);
    EXPECT_EQ(script.calls[0].orientation, 2);
    EXPECT_EQ(script.calls[1].text, "P\r\n");
    EXPECT_EQ(script.calls[1].orientation, 1);
    EXPECT_EQ(script.calls[2].text, "Q\r\n");
    EXPECT_EQ(script.calls[2].orientation, 2);
    EXPECT_FALSE(filter.pageComments.lineEnd);
    EXPECT_EQ(Written().back(), "%%EndPageSetup\r\n");
    EXPECT_EQ(Written()[Written().size() - 2], "<1 2>Q\r\n</>");
}

TEST_F(StreamFilterTest, PageCommentsWithoutTheirEndCostNoMemory) {
    SetOrientationSetting(2);
    // A page whose comments never end: its content is scanned, not kept.
    Feed("%!PS-Adobe-3.0\r\n%%Page: 1 1\r\n%%ViewingOrientation: 1 0 0 1\r\n");
    for (int i = 0; i < 200; ++i) Feed(Filler(100));
    EXPECT_EQ(filter.inPageComments, true);
    EXPECT_LT(filter.pending.Capacity(), 200000u);
    Feed("%%BeginPageSetup\r\nP\r\n%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 1u);
    EXPECT_EQ(script.calls[0].orientation, 1);
    // Two pages' comments in one call, the first without a setup section: both
    // count, as they would in separate calls (portrait wins over landscape).
    Feed(
        "%%Page: 2 2\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\nbody\r\n"
        "%%Page: 3 3\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nQ\r\n"
        "%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 2u);
    EXPECT_EQ(script.calls[1].orientation, 1);
}
// ---------------------------------------------------------------------------

}  // namespace
