#include "psfilter/stream_filter.h"

#include "core/line_buffer.h"
#include "platform/host/sim_control.h"
#include "feature_templates.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// ---------------------------------------------------------------------------
// The filter, with a recording rewriter: it wraps each piece in
// "<state orientation>" ... "</>" so every output shows what was rewritten.
// ---------------------------------------------------------------------------

struct RewriteCall {
    HMODULE module;
    std::u16string documentName;
    const BYTE* settings;
    size_t settingsSize;
    std::string text;
    int sectionState;
    int orientation;
};

struct RewriterScript {
    std::vector<RewriteCall> calls;
    unsigned failures = 0;     // the next this many calls run out of memory
    std::string forcedOutput;  // when set, every success answers with it
};
RewriterScript script;

HRESULT RecordingRewrite(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                         SectionState section, int orientation, std::string& out) {
    script.calls.push_back({module, documentName, settings.data, settings.size, std::string(piece),
                            static_cast<int>(section), orientation});
    if (script.failures > 0) {
        --script.failures;
        out = "partial";  // what a failed rewrite leaves must not go out
        return E_OUTOFMEMORY;
    }
    out = script.forcedOutput;
    if (out.empty()) {
        out = "<" + std::to_string(static_cast<int>(section)) + " " + std::to_string(orientation) + ">" +
              std::string(piece) + "</>";
    }
    return S_OK;
}

constexpr size_t kPrivatePartBytes = 12016;
constexpr size_t kSettingsStart = 12;
constexpr size_t kOrientationField = 378;

struct StreamFilterTest : ::testing::Test {
    HANDLE printer = nullptr;
    HMODULE module = nullptr;
    std::vector<BYTE> privatePart = std::vector<BYTE>(kPrivatePartBytes, 0);
    StreamFilterState filter;

    void SetUp() override {
        sim::Reset();
        script = RewriterScript();
        printer = sim::AddPrinter(u"Filter Printer");
        module = sim::RegisterModule(u"/opt/filter/QM22TRD.dll");
        const char16_t identification[] = u"VTA/NP";
        std::memcpy(privatePart.data() + kSettingsStart, identification, sizeof identification);
        SetOrientationSetting(1);
    }

    void SetOrientationSetting(int16_t value) {
        std::memcpy(privatePart.data() + kSettingsStart + kOrientationField, &value, sizeof value);
    }
    FilterJob Job() const {
        return FilterJob{printer, module, SettingsView{privatePart.data() + kSettingsStart, 12004}, u"Report"};
    }
    HRESULT Write(const std::string& bytes, DWORD* written = nullptr) {
        return StreamFilterWrite(filter, Job(), bytes.data(), static_cast<DWORD>(bytes.size()), written,
                                 &RecordingRewrite);
    }
    // Writes and expects the whole count taken and success.
    void Feed(const std::string& bytes) {
        DWORD written = 0xDEAD;
        ASSERT_EQ(Write(bytes, &written), S_OK);
        ASSERT_EQ(written, bytes.size());
    }
    Chunks Written() const { return sim::WrittenChunks(printer); }
    HRESULT Flush() { return StreamFilterFlush(filter, printer); }
    std::string Pending() const { return Held(filter.pending); }
};
// The plug-in's hook gets the device's module, document name and settings
// block, for every piece.
TEST_F(StreamFilterTest, TheHookGetsTheModuleTheNameAndTheSettings) {
    Feed("%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\n%%BeginPageSetup\r\nP\r\n%%EndPageSetup\r\n");
    ASSERT_EQ(script.calls.size(), 2u);
    for (const RewriteCall& call : script.calls) {
        EXPECT_EQ(call.module, module);
        EXPECT_EQ(call.documentName, u"Report");
        EXPECT_EQ(call.settings, privatePart.data() + kSettingsStart);
        EXPECT_EQ(call.settingsSize, 12004u);
    }
    EXPECT_EQ(sim::WrittenBytes(printer),
              "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n<1 -1>A\r\n</>%%EndSetup\r\n"
              "%%BeginPageSetup\r\n<1 -1>P\r\n</>%%EndPageSetup\r\n");
}

TEST_F(StreamFilterTest, SpoolerFailuresKeepTheirLastError) {
    const struct {
        DWORD limit;
        bool fail;
        DWORD error;
    } cases[] = {{sim::kNoLimit, true, ERROR_NOT_ENOUGH_MEMORY}, {0, false, ERROR_WRITE_FAULT}};
    for (const auto& c : cases) {
        filter = StreamFilterState{};
        sim::SetWriteLimit(c.limit);
        if (c.fail) sim::FailCalls(sim::Api::WritePrinter, c.error, 0, 1);
        SetLastError(0);
        EXPECT_EQ(Write("%!PS-Adobe-3.0\r\n"), E_FAIL);
        EXPECT_EQ(GetLastError(), c.error);
        // The sink hands the filter the cause itself, not the last error.
        if (c.fail) sim::FailCalls(sim::Api::WritePrinter, c.error, 0, 1);
        SpoolerSink sink(printer);
        const uint8_t byte = '%';
        const Result<size_t> offered = sink.Offer(ByteRange(&byte, 1));
        EXPECT_EQ(offered.status(), Status::FromWin32(c.error));
        // What is still held goes out at the document's end, or fails the same way.
        filter = StreamFilterState{};
        sim::SetWriteLimit(sim::kNoLimit);
        ASSERT_EQ(Write("%%BeginSetup\r\nA\r\n"), S_OK);
        sim::SetWriteLimit(c.limit);
        if (c.fail) sim::FailCalls(sim::Api::WritePrinter, c.error, 0, 1);
        SetLastError(0);
        EXPECT_EQ(Flush(), E_FAIL);
        EXPECT_EQ(GetLastError(), c.error);
        sim::SetWriteLimit(sim::kNoLimit);
    }
}

// With the plug-in's own rewriter and a module that carries the two templates.
// ---------------------------------------------------------------------------

TEST_F(StreamFilterTest, FeatureRewriterPutsTheOrientationInFrontOfEachSection) {
    module = sim::RegisterModule(u"/opt/filter/templates/QM22TRD.dll", kFeatureTemplates, 2);
    SetOrientationSetting(2);
    const std::string job =
        "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nS\r\n%%EndSetup\r\n"
        "%%Page: 1 1\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n%%BeginPageSetup\r\nP\r\n"
        "%%EndPageSetup\r\n%%EOF\r\n";
    DWORD written = 0;
    ASSERT_EQ(StreamFilterWrite(filter, Job(), job.data(), static_cast<DWORD>(job.size()), &written), S_OK);
    EXPECT_EQ(written, job.size());
    EXPECT_EQ(Written(), (Chunks{
                             "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n",
                             // The document setup precedes every page comment: the settings' orientation.
                             "featurebegin{\r\n%%BeginFeature: *ZTOrientation Landscape\r\n"
                             "(Landscape) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
                             "%%EndFeature\r\n}featurecleanup\r\nS\r\n",
                             "%%EndSetup\r\n%%Page: 1 1\r\n%%ViewingOrientation: 1 0 0 1\r\n%%EndPageComments\r\n"
                             "%%BeginPageSetup\r\n",
                             "featurebegin{\r\n%%BeginFeature: *ZTOrientation Portrait\r\n"
                             "(Portrait) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
                             "%%EndFeature\r\n}featurecleanup\r\nP\r\n",
                             "%%EndPageSetup\r\n%%EOF\r\n",
                         }));

    // The same when the document setup arrives on its own.
    const std::string second = "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nS\r\n%%EndSetup\r\n";
    ASSERT_EQ(StreamFilterWrite(filter, Job(), second.data(), static_cast<DWORD>(second.size()), &written), S_OK);
    const Chunks chunks = Written();
    ASSERT_EQ(chunks.size(), 8u);
    EXPECT_EQ(chunks[6],
              "featurebegin{\r\n%%BeginFeature: *ZTOrientation Landscape\r\n"
              "(Landscape) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
              "%%EndFeature\r\n}featurecleanup\r\nS\r\n");
}
}  // namespace
