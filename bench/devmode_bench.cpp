// One device-settings merge round trip through the sibling library, on a
// printer with 120 forms and a paper-list file of 1000 lines. The input paper is
// chosen so that every lookup runs in full: the driver form is found by display
// name near the end of the form list, and the paper-list line that confirms it is
// the file's last one.
#include "common/module_context.h"
#include "harness/core_helper.h"
#include "platform/host/sim_control.h"
#include "platform/platform.h"
#include "settings/devmode_handler.h"
#include "settings/private_part.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kForms = 120;
constexpr int kPaperListLines = 1000;
constexpr size_t kKakuFormPosition = 100;  // 1-based

struct Bench {
    std::filesystem::path folder;
    HMODULE sibling = nullptr;
    ModuleContext modules;
    HANDLE printer = nullptr;
    harness::CoreHelper helper;
    std::vector<BYTE> publicIn;
    std::vector<BYTE> publicOut;
    std::vector<BYTE> privateIn;
    std::vector<BYTE> privateOut;
    std::string error;

    ~Bench() {
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
};

void WriteUtf16File(const std::filesystem::path& path, const std::u16string& text) {
    std::ofstream file(path, std::ios::binary);
    for (char16_t unit : text) {
        const char bytes[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        file.write(bytes, 2);
    }
}

std::vector<BYTE> PublicDevmode(short paper) {
    std::vector<BYTE> bytes(sizeof(DEVMODEW) + 1024, 0);
    DEVMODEW dm;
    std::memset(&dm, 0, sizeof dm);
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmDriverExtra = 1024;
    dm.dmFields = DM_PAPERSIZE | DM_SCALE | DM_COPIES;
    dm.dmPaperSize = paper;
    dm.dmScale = 100;
    dm.dmCopies = 1;
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
}

std::vector<BYTE> PrivatePart() {
    std::vector<BYTE> part(kPrivatePartBytes, 0);
    WritePrivatePartHeader(part.data());
    SetDefaultSettings(PrivatePartSettings(part.data(), part.size()));
    return part;
}

void Prepare(Bench& b) {
    sim::Reset();
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    b.sibling = LoadLibraryW(sim::ToUtf16((bin / "QM22TIE.dll").string()).c_str());
    if (b.sibling == nullptr) {
        b.error = "QM22TIE.dll not loadable: " + sim::LastLoaderError();
        return;
    }
    b.folder = std::filesystem::temp_directory_path() / ("devmode_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    std::u16string list = u"; paper names of the installation\n";
    for (int i = 1; i < kPaperListLines - 1; ++i) {
        list += sim::ToUtf16("PS_PAPER_LIST=Form " + std::to_string(i) + "=A4\r\n");
    }
    list += u"PS_PAPER_LIST=Kaku No.2=EnvKaku2\r\n";
    WriteUtf16File(b.folder / "QM22T.ini", list);
    b.modules.module = sim::RegisterModule(sim::ToUtf16((b.folder / "QM22TRD.dll").string()));
    b.modules.sibling = b.sibling;

    b.printer = sim::AddPrinter(u"Bench Printer");
    std::vector<sim::Form> forms = sim::DefaultForms();
    while (forms.size() < static_cast<size_t>(kForms)) {
        const bool kaku = forms.size() + 1 == kKakuFormPosition;
        forms.push_back(sim::Form{kaku ? u"Kaku No.2" : sim::ToUtf16("User " + std::to_string(forms.size())), FORM_USER,
                                  100000 + static_cast<LONG>(forms.size()) * 1000, 200000});
    }
    sim::SetForms(b.printer, forms);
    b.helper.SetDisplayName("EnvKaku2", u"Kaku No.2");

    b.publicIn = PublicDevmode(71);  // the sibling's EnvKaku2
    b.publicOut = PublicDevmode(9);
    b.privateIn = PrivatePart();
    b.privateOut = PrivatePart();
}

Bench& SetUp() {
    static Bench bench;
    static const bool prepared = (Prepare(bench), true);
    (void)prepared;
    return bench;
}

void BM_DevModeMergeRoundTrip(benchmark::State& state) {
    Bench& b = SetUp();
    if (!b.error.empty()) {
        state.SkipWithError(b.error.c_str());
        return;
    }
    std::vector<BYTE> publicIn;
    std::vector<BYTE> publicOut;
    std::vector<BYTE> privateIn;
    std::vector<BYTE> privateOut;
    for (auto _ : state) {
        publicIn = b.publicIn;
        publicOut = b.publicOut;
        privateIn = b.privateIn;
        privateOut = b.privateOut;
        OEMDMPARAM param{};
        param.cbSize = sizeof param;
        param.hPrinter = b.printer;
        param.pPublicDMIn = reinterpret_cast<DEVMODEW*>(publicIn.data());
        param.pPublicDMOut = reinterpret_cast<DEVMODEW*>(publicOut.data());
        param.pOEMDMIn = privateIn.data();
        param.pOEMDMOut = privateOut.data();
        param.cbBufSize = static_cast<DWORD>(privateOut.size());
        const HRESULT hr = HandleDevMode(OEMDM_MERGE, &param, &b.helper, b.modules);
        benchmark::DoNotOptimize(hr);
        if (hr != S_OK || param.pPublicDMOut->dmPaperSize != static_cast<short>(kKakuFormPosition)) {
            state.SkipWithError("the round trip did not select the listed form");
            break;
        }
        b.helper.attributeQueries.clear();
    }
}
BENCHMARK(BM_DevModeMergeRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
