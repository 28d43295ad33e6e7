// Throughput of the output stream filter with the plug-in's own feature
// rewriter, on a device object with the default settings, a module that holds
// the two feature-block templates and a simulated printer. The driver's stream
// arrives in writes of 4 KiB, as the PostScript driver hands it on.
//
//   BM_StreamFilterPagedJob      1 MiB job: a document setup of 20 printer
//                                feature blocks and 50 pages, each page setup
//                                with 3 of them.
//   BM_StreamFilterLongSetup     a document setup of 300 KB that the filter has
//                                to cut into pieces of about 100 KB.
//   BM_StreamFilterPassThrough   the same 1 MiB without any setup section: what
//                                line forwarding alone costs.
//   BM_RewriteDocumentSetup,     one call of the rewriter on the paged job's
//   BM_RewritePageSetup          document and page setup text: the cost of a
//                                piece apart from the streaming.
//
// Counters: bytes_per_second is measured on the bytes handed to the filter;
// writes_per_MiB are the spooler writes per MiB of input; pieces are the
// rewrites per job; out_ratio is the output size over the input size.
#include "platform/host/sim_control.h"
#include "platform/platform.h"
#include "psfilter/feature_rewrite.h"
#include "psfilter/stream_filter.h"
#include "settings/private_part.h"
#include "core/settings_access.h"
#include "feature_templates.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kWriteBytes = 4096;
constexpr size_t kPagedJobBytes = 1u << 20;
constexpr int kPages = 50;
constexpr size_t kLongSetupBytes = 300000;
constexpr double kMiB = 1024.0 * 1024.0;

// ---------------------------------------------------------------------------
// Job text.

// A feature block as the driver writes it from the printer description.
std::string DriverBlock(const std::string& keyword, const std::string& value) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + value + "\r\n<< /" + keyword + " (" + value +
           ") >> /ZTDeviceOptions exec\r\n%%EndFeature\r\n}featurecleanup\r\n";
}

// The document setup's printer features: most of them are replaced, some
// anchor inserted blocks, one standard block per side stays as it is.
std::string DocumentFeatures() {
    static const char* const kFeatures[][2] = {
        {"ZTOutputMode", "Normal"},
        {"ZTDuplex", "None"},
        {"ZTCollate", "True"},
        {"ZTMixedPageSize", "False"},
        {"ZTManualZoom", "Auto"},
        {"ZTZoomRate", "100"},
        {"ZTPageTray", "False"},
        {"ZTMediaType", "Plain"},
        {"ZTOutputMethod", "Print"},
        {"ZTMultiUp", "Off"},
        {"ZTBooklet", "Off"},
        {"ZTPageNumPrint", "False"},
        {"ZTPageNumTransparent", "False"},
        {"ZTDatePrint", "False"},
        {"ZTDateSpecify", "Today"},
        {"ZTBinding", "Left"},
        {"ZTStapleMode", "Off"},
        {"ZTOutputTray", "Auto"},
        {"ZTJobName", "False"},
        {"ZTOwnerName", "False"},
    };
    std::string text = DriverBlock("PageSize", "A4");
    for (const auto& feature : kFeatures) text += DriverBlock(feature[0], feature[1]);
    text += DriverBlock("Resolution", "600dpi");
    return text;
}

std::string PageFeatures() {
    return DriverBlock("ZTInputSlot", "Auto") + DriverBlock("ZTMediaType", "Plain") +
           DriverBlock("ZTOutputTray", "Auto");
}

// Page content: path drawing lines of varying length, as a vector job has.
void AppendBody(std::string& text, size_t bytes, unsigned seed) {
    const size_t end = text.size() + bytes;
    unsigned n = seed;
    while (text.size() < end) {
        const size_t room = end - text.size();
        if (room <= 2) {
            text += room == 2 ? "\r\n" : " ";
            break;
        }
        n = n * 1103515245u + 12345u;
        std::string line = std::to_string(n % 5000) + " " + std::to_string((n >> 8) % 7000) + " m " +
                           std::to_string((n >> 4) % 5000) + " " + std::to_string((n >> 12) % 7000) + " l " +
                           std::to_string((n >> 3) % 5000) + " " + std::to_string((n >> 9) % 7000) + " l S";
        if (line.size() > room - 2) line.assign(room - 2, ' ');
        text += line;
        text += "\r\n";
    }
}

std::string JobHeader(int pages) {
    return "%!PS-Adobe-3.0\r\n%%Title: Quarterly report\r\n%%Creator: bench\r\n%%Pages: " + std::to_string(pages) +
           "\r\n%%DocumentData: Clean7Bit\r\n%%EndComments\r\n%%BeginProlog\r\n"
           "/m {moveto} bind def /l {lineto} bind def /S {stroke} bind def\r\n%%EndProlog\r\n";
}

const char kJobTrailer[] = "%%Trailer\r\n%%EOF\r\n";

std::string PageHead(int page) {
    const std::string number = std::to_string(page);
    return "%%Page: " + number + " " + number +
           "\r\n%%ViewingOrientation: 1 0 0 1\r\n%%PageBoundingBox: 0 0 595 842\r\n%%EndPageComments\r\n"
           "%%BeginPageSetup\r\n" +
           PageFeatures() + "%%EndPageSetup\r\n";
}

const char kPageTail[] = "showpage\r\n%%PageTrailer\r\n";

// 1 MiB exactly: the page bodies take up what the structure leaves.
std::string PagedJob(bool withSetup) {
    std::string frame = JobHeader(kPages);
    if (withSetup) frame += "%%BeginSetup\r\n" + DocumentFeatures() + "%%EndSetup\r\n";
    size_t fixed = frame.size() + sizeof kJobTrailer - 1;
    for (int page = 1; page <= kPages; ++page) {
        fixed += (withSetup ? PageHead(page).size() : 0) + sizeof kPageTail - 1;
    }
    const size_t bodyTotal = kPagedJobBytes - fixed;

    std::string job = frame;
    job.reserve(kPagedJobBytes);
    for (int page = 1; page <= kPages; ++page) {
        if (withSetup) job += PageHead(page);
        AppendBody(job, bodyTotal / kPages + (page == kPages ? bodyTotal % kPages : 0), static_cast<unsigned>(page));
        job += kPageTail;
    }
    job += kJobTrailer;
    return job;
}

// One document setup of 300 KB: feature blocks with downloaded resource data
// between them, so the filter finds closed blocks to cut after.
std::string LongSetupJob() {
    const std::string features = DocumentFeatures();
    std::string section;
    unsigned n = 7;
    while (section.size() < kLongSetupBytes) {
        section += features;
        section += "%%BeginResource: procset ZTData\r\n";
        for (int line = 0; line < 120; ++line) {
            n = n * 1103515245u + 12345u;
            char hex[9];
            for (int digit = 0; digit < 8; ++digit) hex[digit] = "0123456789ABCDEF"[(n >> (digit * 4)) & 15];
            hex[8] = 0;
            std::string data;
            for (int repeat = 0; repeat < 8; ++repeat) data += hex;
            section += data + "\r\n";
        }
        section += "%%EndResource\r\n";
    }
    return JobHeader(1) + "%%BeginSetup\r\n" + section + "%%EndSetup\r\n" + PageHead(1) + kPageTail + kJobTrailer;
}

// ---------------------------------------------------------------------------
// Device and rewriter.

unsigned rewrites = 0;

// The plug-in's rewriter, counted: one more indirect call per piece.
HRESULT CountingRewrite(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                        SectionState section, int orientation, std::string& out) {
    ++rewrites;
    return RewriteSetupPiece(module, documentName, settings, piece, section, orientation, out);
}

std::vector<BYTE> DefaultPrivatePart() {
    std::vector<BYTE> part(kPrivatePartBytes, 0);
    WritePrivatePartHeader(part.data());
    const SettingsSpan settings = PrivatePartSettings(part.data(), part.size());
    SetDefaultSettings(settings);
    WriteSettingText(settings, 0, 7, WIDE("VTA/NP"));
    return part;
}

struct Device {
    std::vector<BYTE> privatePart = DefaultPrivatePart();
    std::unique_ptr<StreamFilterState> filter;
    FilterJob job{};
    HANDLE printer = nullptr;

    // A fresh simulated machine: the spooler's record of the last job is gone.
    void Start() {
        sim::Reset();
        printer = sim::AddPrinter(u"Bench Printer");
        filter = std::make_unique<StreamFilterState>();
        job = FilterJob{printer, sim::RegisterModule(u"/opt/bench/QM22TRD.dll", kFeatureTemplates, 2),
                        AsView(PrivatePartSettings(privatePart.data(), privatePart.size())), u"Quarterly report.docx"};
    }
};

// Hands the job to the filter in writes of kWriteBytes; false on any failure.
bool Feed(Device& device, const std::string& job) {
    for (size_t at = 0; at < job.size(); at += kWriteBytes) {
        const DWORD count = static_cast<DWORD>(std::min(kWriteBytes, job.size() - at));
        DWORD written = 0;
        if (StreamFilterWrite(*device.filter, device.job, job.data() + at, count, &written, &CountingRewrite) != S_OK ||
            written != count) {
            return false;
        }
    }
    return StreamFilterFlush(*device.filter, device.printer) == S_OK;
}

// One run outside the measurement: the job must go through whole, its setup
// blocks rewritten and the end of the job forwarded.
std::string CheckJob(Device& device, const std::string& job) {
    device.Start();
    rewrites = 0;
    if (!Feed(device, job)) return "the filter refused a write";
    const std::string out = sim::WrittenBytes(device.printer);
    if (out.find("/Custom /ProcSet findresource /ZTDuplex get exec") == std::string::npos) {
        return "no rewritten duplex block in the output";
    }
    if (out.size() < job.size() ||
        out.compare(out.size() - (sizeof kJobTrailer - 1), std::string::npos, kJobTrailer) != 0) {
        return "the output does not end with the job's trailer";
    }
    return std::string();
}

void RunJob(benchmark::State& state, const std::string& job, bool expectRewrites) {
    Device device;
    if (expectRewrites) {
        const std::string error = CheckJob(device, job);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    size_t spoolerWrites = 0;
    size_t outputBytes = 0;
    unsigned pieces = 0;
    for (auto _ : state) {
        state.PauseTiming();
        device.Start();
        rewrites = 0;
        state.ResumeTiming();

        const bool fed = Feed(device, job);

        state.PauseTiming();
        if (!fed) {
            state.SkipWithError("the filter refused a write");
            break;
        }
        spoolerWrites = sim::CallCount(sim::Api::WritePrinter);
        outputBytes = sim::WrittenBytes(device.printer).size();
        pieces = rewrites;
        state.ResumeTiming();
    }
    sim::Reset();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(job.size()));
    state.counters["input_bytes"] = static_cast<double>(job.size());
    state.counters["writes_per_MiB"] = static_cast<double>(spoolerWrites) * kMiB / static_cast<double>(job.size());
    state.counters["pieces"] = static_cast<double>(pieces);
    state.counters["out_ratio"] = static_cast<double>(outputBytes) / static_cast<double>(job.size());
}

void BM_StreamFilterPagedJob(benchmark::State& state) {
    static const std::string job = PagedJob(true);
    RunJob(state, job, true);
}
BENCHMARK(BM_StreamFilterPagedJob)->Unit(benchmark::kMillisecond);

void BM_StreamFilterLongSetup(benchmark::State& state) {
    static const std::string job = LongSetupJob();
    RunJob(state, job, true);
}
BENCHMARK(BM_StreamFilterLongSetup)->Unit(benchmark::kMillisecond);

void BM_StreamFilterPassThrough(benchmark::State& state) {
    static const std::string job = PagedJob(false);
    RunJob(state, job, false);
}
BENCHMARK(BM_StreamFilterPassThrough)->Unit(benchmark::kMillisecond);

void RunRewrite(benchmark::State& state, const std::string& piece, SectionState section) {
    Device device;
    device.Start();
    size_t outputBytes = 0;
    std::string out;
    for (auto _ : state) {
        const HRESULT hr = RewriteSetupPiece(device.job.module, device.job.documentName, device.job.settings, piece,
                                             section, kOrientationPortrait, out);
        outputBytes = out.size();
        if (FAILED(hr)) {
            state.SkipWithError("the rewrite failed");
            break;
        }
    }
    sim::Reset();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(piece.size()));
    state.counters["input_bytes"] = static_cast<double>(piece.size());
    state.counters["out_ratio"] = static_cast<double>(outputBytes) / static_cast<double>(piece.size());
}

void BM_RewriteDocumentSetup(benchmark::State& state) {
    RunRewrite(state, DocumentFeatures(), SectionState::FirstPiece);
}
BENCHMARK(BM_RewriteDocumentSetup)->Unit(benchmark::kMicrosecond);

void BM_RewritePageSetup(benchmark::State& state) { RunRewrite(state, PageFeatures(), SectionState::FirstPiece); }
BENCHMARK(BM_RewritePageSetup)->Unit(benchmark::kMicrosecond);

}  // namespace
