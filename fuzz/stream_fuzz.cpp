// Stream filter, on the core alone: a settings block, a job, the sizes of the
// driver's writes and what the sink (the spooler, for the plug-in) takes per
// offer.
//
// Directives (fuzz_input.h) besides the settings:
//   cuts=5,300,0,...   sizes of the driver's WritePrinter calls, used in turn
//                      (the rest of the job goes in one last call)
//   take=N,M,...       the sink takes at most N bytes per offer during the
//                      driver's first write, M during the second, ... (the
//                      last one stays; 0 or none: no limit)
//   fail=SKIP,COUNT    the sink refuses COUNT offers after SKIP good ones
//   document=NAME      the document name the hooks recorded
// Body: the job.
//
// The job goes through the filter twice: once cut only where a call of the
// cut pass begins with "%!PS-" (a new job for the filter) to a sink that takes
// everything (the reference), once cut and taken as the directives say, each
// followed by the end of the document as the plug-in's hook ends it (an empty
// call, then the flush). Properties:
//   - both give the same bytes (cut invariance), unless the spooler failed
//     and a later call began a new job: what the old job held when the
//     spooler refused it then goes out as it was;
//   - after the end-of-document hook the filter holds nothing, and after a
//     call outside a section less than kGatherBytes, inside one no more than
//     a partial line too short to be long (however long the line);
//   - what reached the spooler is the job with each rewritten setup piece
//     replaced by the rewriter's answer for it: no other byte lost, added or
//     moved, and every piece handed to the rewriter is the job's bytes at the
//     place the output has reached;
#include "fuzz_input.h"

#include "core/stream_filter.h"
#include "feature_template_texts.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Piece {
    size_t offset;  // in the job
    std::string text;
    std::string replacement;
};

// What the rewriter wrapper records for one pass.
struct Accounting {
    const std::string* job = nullptr;
    std::vector<Piece> pieces;
    size_t replacedBytes = 0;   // job bytes of the rewritten pieces
    size_t replacingBytes = 0;  // bytes of their rewrites
};

// The sink: takes at most `limit` bytes an offer (0: no limit) and refuses
// `failCount` offers after `failSkip` good ones, with a cause of its own.
struct FuzzSink final : ByteSink {
    std::string taken;
    size_t limit = 0;
    unsigned failSkip = 0;
    unsigned failCount = 0;

    Result<size_t> Offer(ByteRange bytes) noexcept override {
        if (failCount > 0 && failSkip == 0) {
            --failCount;
            return Status::FromWin32(8);  // ERROR_NOT_ENOUGH_MEMORY, as a spooler may say
        }
        if (failSkip > 0) --failSkip;
        const size_t count = limit == 0 || bytes.size < limit ? bytes.size : limit;
        taken.append(reinterpret_cast<const char*>(bytes.data), count);
        return count;
    }
};

// The user name and date a job would get from its system, fixed.
struct FuzzIdentity final : JobIdentity {
    Text16 UserName(SettingsView) const override { return u"fuzz"; }
    Text16 TodaysDate() const override { return u"2026/12/08"; }
};

// Job bytes that have reached the sink, rewritten or not.
size_t ConsumedJobBytes(const Accounting& accounting, size_t sent) {
    return sent - accounting.replacingBytes + accounting.replacedBytes;
}

// The plug-in's rewriter, recording each piece it is handed.
struct RecordingRewriter final : PieceRewriter {
    RecordingRewriter(const RewriteContext& context, Accounting& accounting, const FuzzSink& sink)
        : features(context), accounting(accounting), sink(sink) {}

    Status Rewrite(std::string_view piece, SectionState section, int orientation, std::string& out) noexcept override {
        // Everything in front of a piece has gone out when it is rewritten, so the
        // piece must be the job's bytes right there.
        const size_t offset = ConsumedJobBytes(accounting, sink.taken.size());
        const std::string text(piece);
        FUZZ_CHECK(
            offset + text.size() <= accounting.job->size() && accounting.job->compare(offset, text.size(), text) == 0,
            "the piece handed to the rewriter at job offset " + std::to_string(offset) +
                " is not the job's bytes there:\n" + fuzz::Escaped(text));
        FUZZ_CHECK(section == SectionState::FirstPiece || section == SectionState::LaterPiece,
                   "rewriter called outside a section");
        const Status status = features.Rewrite(piece, section, orientation, out);
        if (status.Ok()) {
            accounting.pieces.push_back({offset, text, out});
            accounting.replacedBytes += text.size();
            accounting.replacingBytes += out.size();
        }
        return status;
    }

    FeatureRewriter features;
    Accounting& accounting;
    const FuzzSink& sink;
};

struct PassResult {
    std::string sent;
    std::vector<Piece> pieces;
};

struct Plan {
    std::vector<size_t> cuts;
    std::vector<size_t> takes;  // per driver call; the last one stays
    unsigned failSkip = 0;
    unsigned failCount = 0;
};

// The job's calls as the plan cuts it. The first call holds the job's start
// whole, so the job starts as a job.
std::vector<std::string> Calls(const std::string& job, const std::vector<size_t>& cuts) {
    std::vector<std::string> calls;
    size_t at = 0;
    size_t next = 0;
    const bool startsJob = job.compare(0, 5, "%!PS-") == 0;
    while (at < job.size()) {
        size_t size = next < cuts.size() ? cuts[next++] : job.size() - at;
        if (at == 0 && startsJob && size < 5) size = 5;
        if (size > job.size() - at) size = job.size() - at;
        calls.push_back(job.substr(at, size));
        at += size;
    }
    return calls;
}

// The same job cut only where one of `calls` after the first starts a new job.
std::vector<std::string> JobCalls(const std::string& job, const std::vector<std::string>& calls) {
    std::vector<size_t> cuts;
    size_t last = 0;
    size_t at = 0;
    for (const std::string& call : calls) {
        if (at > 0 && call.compare(0, 5, "%!PS-") == 0 && call.size() >= 5) {
            cuts.push_back(at - last);
            last = at;
        }
        at += call.size();
    }
    return Calls(job, cuts);
}

PassResult RunPass(const std::string& job, const std::vector<uint8_t>& settings, const std::u16string& document,
                   const std::vector<std::string>& calls, const Plan& plan) {
    const SettingsView view{settings.data(), settings.size()};
    const FuzzIdentity identity;
    const FeatureTemplates templates{CheckedTemplate(kFeatureNumericText, kNumericTemplate),
                                     CheckedTemplate(kFeatureTextText, kTextTemplate)};
    Accounting accounting;
    accounting.job = &job;
    FuzzSink sink;
    sink.failSkip = plan.failSkip;
    sink.failCount = plan.failCount;
    RecordingRewriter rewriter(RewriteContext{templates, document.c_str(), view, &identity}, accounting, sink);
    const StreamJob streamJob{sink, rewriter, view};
    StreamFilterState filter;

    size_t callNumber = 0;
    for (const std::string& call : calls) {
        if (callNumber < plan.takes.size()) sink.limit = plan.takes[callNumber];
        ++callNumber;
        // The call's bytes in an allocation of their own, so a read past them shows.
        std::unique_ptr<char[]> exact(new char[call.size() + 1]);
        std::memcpy(exact.get(), call.data(), call.size());
        size_t taken = 0xDEAD;
        const Status status = FilterWrite(filter, streamJob, exact.get(), call.size(), &taken);
        FUZZ_CHECK(status.Ok() || (plan.failCount > 0 && status == Status::FromWin32(8)),
                   "write result " + std::to_string(status.Code()) + " with a working sink");
        FUZZ_CHECK(taken == call.size(), "the filter did not take the whole call");
        // Outside a section only gathered short writes and undecided bytes wait.
        FUZZ_CHECK(!status.Ok() || filter.section != SectionState::Passing || filter.passThroughOwed != 0 ||
                       filter.pending.Length() < kGatherBytes,
                   "outside a section the filter holds " + std::to_string(filter.pending.Length()) + " bytes");
        FUZZ_CHECK(!status.Ok() || filter.section == SectionState::Passing ||
                       filter.pending.Length() <= kLongSectionLineBytes + 1,
                   "inside a section the filter holds " + std::to_string(filter.pending.Length()) + " bytes");
    }
    // The sink works again: empty calls send on what it refused.
    sink.failCount = 0;
    for (int i = 0; i < 2; ++i) {
        size_t taken = 0xDEAD;
        FUZZ_CHECK(FilterWrite(filter, streamJob, nullptr, 0, &taken).Ok(), "an empty call failed with a working sink");
    }
    // The end of the document, as the plug-in's hook ends it.
    FUZZ_CHECK(FilterWrite(filter, streamJob, nullptr, 0, nullptr).Ok() && FilterFlush(filter, sink).Ok(),
               "the end of the document failed");
    FUZZ_CHECK(filter.pending.Length() == 0 && filter.setup.Length() == 0 && filter.unsent.Length() == 0 &&
                   filter.section == SectionState::Passing,
               "the filter still holds bytes after the end of the document: pending " +
                   std::to_string(filter.pending.Length()) + ", setup " + std::to_string(filter.setup.Length()) +
                   ", unsent " + std::to_string(filter.unsent.Length()));

    PassResult result{sink.taken, accounting.pieces};

    // The output is the job with each rewritten piece replaced by its rewrite.
    std::string expected;
    size_t at = 0;
    for (const Piece& piece : result.pieces) {
        FUZZ_CHECK(piece.offset >= at, "rewritten pieces overlap");
        expected += job.substr(at, piece.offset - at) + piece.replacement;
        at = piece.offset + piece.text.size();
    }
    FUZZ_CHECK(at <= job.size(), "a piece lies past the job's end");
    expected += job.substr(at);
    FUZZ_CHECK(result.sent == expected,
               "the output is not the job with its rewritten pieces in place (" + std::to_string(result.sent.size()) +
                   " bytes sent, " + std::to_string(expected.size()) + " expected):\nsent:\n" +
                   fuzz::Escaped(result.sent, 3000) + "\nexpected:\n" + fuzz::Escaped(expected, 3000));
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input = fuzz::SplitInput(data, size, true);
    const std::vector<uint8_t> settings = fuzz::SettingsFrom(input);
    // The plug-in refuses a block without its identification before the filter
    // sees any byte.
    if (!HasSettingsIdentification(SettingsView{settings.data(), settings.size()})) return 0;
    std::u16string document = fuzz::Units(fuzz::Directive(input, "document", "Fuzz job"));
    if (document.size() >= kDocumentNameUnits) document.resize(kDocumentNameUnits - 1);

    Plan plan;
    for (int64_t cut : fuzz::Numbers(fuzz::Directive(input, "cuts"), 2048)) {
        plan.cuts.push_back(static_cast<size_t>(cut < 0 ? -cut : cut) % 100000);
    }
    for (int64_t take : fuzz::Numbers(fuzz::Directive(input, "take"), 2048)) {
        const uint64_t limit = static_cast<uint64_t>(take) % 100000;
        plan.takes.push_back(static_cast<size_t>(limit));
    }
    const std::vector<int64_t> fail = fuzz::Numbers(fuzz::Directive(input, "fail"), 2);
    if (fail.size() == 2) {
        plan.failSkip = static_cast<unsigned>(fail[0] & 0xFF);
        plan.failCount = static_cast<unsigned>(fail[1] & 0x0F);
    }

    const std::vector<std::string> calls = Calls(input.body, plan.cuts);
    const std::vector<std::string> jobCalls = JobCalls(input.body, calls);
    const PassResult reference = RunPass(input.body, settings, document, jobCalls, Plan{});
    const PassResult cut = RunPass(input.body, settings, document, calls, plan);
    if (plan.failCount > 0 && jobCalls.size() > 1) return 0;
    FUZZ_CHECK(cut.sent == reference.sent,
               "the output depends on how the job is cut (" + std::to_string(cut.sent.size()) + " bytes against " +
                   std::to_string(reference.sent.size()) + " in one call):\ncut:\n" + fuzz::Escaped(cut.sent, 3000) +
                   "\none call:\n" + fuzz::Escaped(reference.sent, 3000));
    return 0;
}
