// Stream filter: a settings block, a job, the sizes of the driver's writes and
// what the spooler takes per call.
//
// Directives (fuzz_input.h) besides the settings:
//   cuts=5,300,0,...   sizes of the driver's WritePrinter calls, used in turn
//                      (the rest of the job goes in one last call)
//   take=N,M,...       the spooler takes at most N bytes per call during the
//                      driver's first write, M during the second, ... (the
//                      last one stays; 0 or none: no limit)
//   fail=SKIP,COUNT    the spooler fails COUNT calls after SKIP good ones
//   document=NAME      the document name the hooks recorded
// Body: the job.
//
// The job goes through the filter twice: once cut only where a call of the
// cut pass begins with "%!PS-" (a new job for the filter) to a spooler that
// takes everything (the reference), once cut and taken as the directives say,
// each followed by the end-of-document hook. Properties:
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
#include "fuzz_machine.h"

#include "feature_templates.h"
#include "platform/host/sim_control.h"
#include "plugin/document_hooks.h"
#include "plugin/plugin_pdev.h"
#include "psfilter/feature_rewrite.h"
#include "psfilter/stream_filter.h"

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
    HANDLE printer = nullptr;
    std::vector<Piece> pieces;
    size_t replacedBytes = 0;   // job bytes of the rewritten pieces
    size_t replacingBytes = 0;  // bytes of their rewrites
};
Accounting accounting;

// Job bytes that have reached the spooler, rewritten or not.
size_t ConsumedJobBytes(size_t sent) { return sent - accounting.replacingBytes + accounting.replacedBytes; }

HRESULT RecordingRewrite(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                         SectionState section, int orientation, std::string& out) {
    // Everything in front of a piece has gone out when it is rewritten, so the
    // piece must be the job's bytes right there.
    const size_t offset = ConsumedJobBytes(sim::WrittenBytes(accounting.printer).size());
    const std::string text(piece);
    FUZZ_CHECK(
        offset + text.size() <= accounting.job->size() && accounting.job->compare(offset, text.size(), text) == 0,
        "the piece handed to the rewriter at job offset " + std::to_string(offset) +
            " is not the job's bytes there:\n" + fuzz::Escaped(text));
    FUZZ_CHECK(section == SectionState::FirstPiece || section == SectionState::LaterPiece,
               "rewriter called outside a section");
    const HRESULT hr = RewriteSetupPiece(module, documentName, settings, piece, section, orientation, out);
    if (hr == S_OK) {
        accounting.pieces.push_back({offset, text, out});
        accounting.replacedBytes += text.size();
        accounting.replacingBytes += out.size();
    }
    return hr;
}

BOOL APIENTRY DriverEndDoc(SURFOBJ*, FLONG) { return TRUE; }

struct PassResult {
    std::string sent;
    std::vector<Piece> pieces;
};

struct Plan {
    std::vector<size_t> cuts;
    std::vector<DWORD> takes;  // per driver call; the last one stays
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

PassResult RunPass(const std::string& job, const std::vector<BYTE>& settings, const std::u16string& document,
                   const std::vector<std::string>& calls, const Plan& plan) {
    fuzz::FreshMachine();
    sim::SetUserName(u"fuzz");
    const HANDLE printer = sim::AddPrinter(u"Fuzz Printer");
    const HMODULE module = sim::RegisterModule(u"/opt/fuzz/QM22TRD.dll", kFeatureTemplates, 2);

    std::vector<BYTE> part(kPrivatePartBytes, 0);
    WritePrivatePartHeader(part.data());
    std::memcpy(part.data() + kPrivatePartHeaderBytes, settings.data(), settings.size());
    PluginPdev pdev;
    pdev.driverEndDoc = &DriverEndDoc;
    std::memcpy(pdev.documentName, document.c_str(), (document.size() + 1) * sizeof(char16_t));
    DEVOBJ device{};
    device.dwSize = sizeof device;
    device.hPrinter = printer;
    device.hOEM = module;
    device.pOEMDM = part.data();
    device.pdevOEM = &pdev;
    // What the plug-in's WritePrinter hands the filter for this device object.
    const FilterJob filterJob{printer, module, AsView(SettingsOf(&device)), pdev.documentName};

    accounting = Accounting{};
    accounting.job = &job;
    accounting.printer = printer;
    if (plan.failCount > 0) {
        sim::FailCalls(sim::Api::WritePrinter, ERROR_NOT_ENOUGH_MEMORY, plan.failSkip, plan.failCount);
    }

    size_t callNumber = 0;
    for (const std::string& call : calls) {
        if (callNumber < plan.takes.size()) sim::SetWriteLimit(plan.takes[callNumber]);
        ++callNumber;
        // The call's bytes in an allocation of their own, so a read past them shows.
        std::unique_ptr<char[]> exact(new char[call.size() + 1]);
        std::memcpy(exact.get(), call.data(), call.size());
        DWORD written = 0xDEAD;
        const HRESULT hr = StreamFilterWrite(pdev.filter, filterJob, exact.get(), static_cast<DWORD>(call.size()),
                                             &written, &RecordingRewrite);
        FUZZ_CHECK(hr == S_OK || (plan.failCount > 0 && hr == E_FAIL),
                   "write result " + std::to_string(static_cast<long>(hr)) + " with a working spooler");
        FUZZ_CHECK(written == call.size(), "the filter did not take the whole call");
        // Outside a section only gathered short writes and undecided bytes wait.
        FUZZ_CHECK(hr != S_OK || pdev.filter.section != SectionState::Passing || pdev.filter.passThroughOwed != 0 ||
                       pdev.filter.pending.Length() < kGatherBytes,
                   "outside a section the filter holds " + std::to_string(pdev.filter.pending.Length()) + " bytes");
        FUZZ_CHECK(hr != S_OK || pdev.filter.section == SectionState::Passing ||
                       pdev.filter.pending.Length() <= kLongSectionLineBytes + 1,
                   "inside a section the filter holds " + std::to_string(pdev.filter.pending.Length()) + " bytes");
    }
    // The spooler works again: empty calls send on what it refused.
    sim::StopFailing(sim::Api::WritePrinter);
    for (int i = 0; i < 2; ++i) {
        DWORD written = 0xDEAD;
        FUZZ_CHECK(StreamFilterWrite(pdev.filter, filterJob, nullptr, 0, &written, &RecordingRewrite) == S_OK,
                   "an empty call failed with a working spooler");
    }

    documentDepth = 0;
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
    FUZZ_CHECK(EndDocHook(&surface, 0) == TRUE, "EndDoc failed");
    const StreamFilterState& held = pdev.filter;
    FUZZ_CHECK(held.pending.Length() == 0 && held.setup.Length() == 0 && held.unsent.Length() == 0 &&
                   held.section == SectionState::Passing,
               "the filter still holds bytes after the end of the document: pending " +
                   std::to_string(held.pending.Length()) + ", setup " + std::to_string(held.setup.Length()) +
                   ", unsent " + std::to_string(held.unsent.Length()));

    PassResult result{sim::WrittenBytes(printer), accounting.pieces};

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

    sim::Reset();
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input = fuzz::SplitInput(data, size, true);
    const std::vector<BYTE> settings = fuzz::SettingsFrom(input);
    // The plug-in refuses a block without its identification before the filter
    // sees any byte.
    if (!HasSettingsIdentification(SettingsView{settings.data(), settings.size()})) return 0;
    std::u16string document = fuzz::Units(fuzz::Directive(input, "document", "Fuzz job"));
    if (document.size() >= kDocumentNameCapacity) document.resize(kDocumentNameCapacity - 1);

    Plan plan;
    for (int64_t cut : fuzz::Numbers(fuzz::Directive(input, "cuts"), 2048)) {
        plan.cuts.push_back(static_cast<size_t>(cut < 0 ? -cut : cut) % 100000);
    }
    for (int64_t take : fuzz::Numbers(fuzz::Directive(input, "take"), 2048)) {
        const uint64_t limit = static_cast<uint64_t>(take) % 100000;
        plan.takes.push_back(limit == 0 ? sim::kNoLimit : static_cast<DWORD>(limit));
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
