// Device settings: every request kind with forged private parts, public
// DEVMODEs and buffer sizes, through the device-settings handler and the
// stand-in sibling library.
//
// Directives (fuzz_input.h); the settings directives shape the input private
// part's settings block:
//   mode=N             OEMDM_* request (1 size, 2 default, 3 convert, 4 merge;
//                      others are passed as they are)
//   in=SIZE,SIG,VER    the input private part's header (default 12016, the
//                      signature, 1); its allocation is the size it declares,
//                      at least its header and at most 12016 bytes
//   innull             no input private part
//   out=BUF,SIZE,SIG,VER,FILL  cbBufSize (the output's allocation, 0 for a
//                      null output), the header it holds and the byte its
//                      settings block is filled with
//   pubin=SIZE,EXTRA,PAPER,WIDTH,LENGTH,FIELDS   the public input DEVMODE
//                      (dmSize, dmDriverExtra and fields); absent: none
//   pubout=SIZE,EXTRA,PAPER,WIDTH,LENGTH,FIELDS  the same for the output
//   refuse             the sibling refuses the conversion
//   extra=N, papers=N  the sibling's answers to DC_EXTRA and the paper lists
//   nohelper           no core helper
//   form=NAME, list=LINE   the printer's forms, the paper-list file's lines
//                      (fuzz_machine.h)
// Body: raw bytes laid over the input private part from byte 12.
//
// Properties: no access outside the buffers as stated (each is allocated to
// exactly its stated size; AddressSanitizer watches); a size request answers
// 12016; a success that wrote an output leaves a private part with its header
// that its own validation does not change; a failure leaves both outputs as
// they were (a sibling that refuses may leave what the private part processing
// wrote, as documented).
#include "fuzz_input.h"
#include "fuzz_machine.h"

#include "common/module_context.h"
#include "harness/core_helper.h"
#include "platform/host/sim_control.h"
#include "settings/devmode_handler.h"
#include "sibling_test_control.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kSmallestDevmode = 72;  // up to and including dmDriverExtra

struct Sibling {
    HMODULE library = nullptr;
    SiblingTestState* state = nullptr;
};

// Loaded once for the process.
const Sibling& LoadSibling() {
    static const Sibling sibling = [] {
        Sibling s;
        s.library = LoadLibraryW(sim::ToUtf16(SIBLING_PATH).c_str());
        if (s.library == nullptr) {
            std::fprintf(stderr, "cannot load the sibling stand-in %s: %s\n", SIBLING_PATH,
                         sim::LastLoaderError().c_str());
            std::abort();
        }
        const FARPROC access = GetProcAddress(s.library, "SiblingTestAccess");
        if (access == nullptr) std::abort();
        SiblingTestAccessProc proc = nullptr;
        std::memcpy(&proc, &access, sizeof proc);
        s.state = proc();
        return s;
    }();
    return sibling;
}

std::vector<BYTE> PublicDevmode(const std::vector<int64_t>& values) {
    const auto at = [&values](size_t i, int64_t fallback) { return i < values.size() ? values[i] : fallback; };
    const WORD dmSize = static_cast<WORD>(at(0, sizeof(DEVMODEW)));
    const WORD extra = static_cast<WORD>(static_cast<uint64_t>(at(1, 0)) % 20000);
    std::vector<BYTE> bytes(std::max<size_t>(size_t{dmSize} + extra, kSmallestDevmode), 0);
    DEVMODEW full;
    std::memset(&full, 0, sizeof full);
    full.dmSpecVersion = DM_SPECVERSION;
    full.dmDriverVersion = 0x0A0B;
    full.dmSize = dmSize;
    full.dmDriverExtra = extra;
    full.dmFields = static_cast<DWORD>(at(5, DM_PAPERSIZE | DM_SCALE | DM_COPIES));
    full.dmPaperSize = static_cast<short>(at(2, 9));
    full.dmPaperWidth = static_cast<short>(at(3, 0));
    full.dmPaperLength = static_cast<short>(at(4, 0));
    full.dmScale = 100;
    full.dmCopies = 1;
    std::memcpy(bytes.data(), &full, std::min(bytes.size(), sizeof full));
    return bytes;
}

std::string Describe(const std::vector<BYTE>& before, const std::vector<BYTE>& after) {
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
        if (before[i] != after[i]) {
            return "first change at byte " + std::to_string(i) + ": " + std::to_string(before[i]) + " -> " +
                   std::to_string(after[i]);
        }
    }
    return "sizes differ";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Sibling& sibling = LoadSibling();
    const fuzz::Input input = fuzz::SplitInput(data, size, false);

    fuzz::FreshMachine();
    SiblingTestReset(*sibling.state);
    ModuleContext modules;
    modules.sibling = sibling.library;
    modules.module = sim::RegisterModule(sim::ToUtf16(fuzz::ProcessFolder() + "/QM22TRD.dll"));
    const HANDLE printer = sim::AddPrinter(u"Fuzz Printer");

    SiblingTestState& state = *sibling.state;
    const bool refuse = fuzz::HasDirective(input, "refuse");
    state.refuseConversion = refuse;
    if (fuzz::HasDirective(input, "extra")) {
        state.overrideExtra = true;
        state.extraAnswer = static_cast<DWORD>(fuzz::Number(fuzz::Directive(input, "extra")));
    }
    if (fuzz::HasDirective(input, "papers")) {
        state.overridePaperCount = true;
        state.paperCountAnswer = static_cast<DWORD>(fuzz::Number(fuzz::Directive(input, "papers")));
    }
    fuzz::SetForms(input, printer);
    fuzz::WritePaperList(input);

    const DWORD mode = static_cast<DWORD>(fuzz::Number(fuzz::Directive(input, "mode", "3")));

    // The input private part: header, settings block, then the body's bytes.
    std::vector<BYTE> privateIn;
    if (!fuzz::HasDirective(input, "innull")) {
        const std::vector<int64_t> header = fuzz::Numbers(fuzz::Directive(input, "in"), 3);
        const DWORD declared = static_cast<DWORD>(header.size() > 0 ? header[0] : kPrivatePartBytes);
        const DWORD headerWords[3] = {declared,
                                      static_cast<DWORD>(header.size() > 1 ? header[1] : kPrivatePartSignature),
                                      static_cast<DWORD>(header.size() > 2 ? header[2] : kPrivatePartVersion)};
        const size_t allocation =
            std::min<size_t>(std::max<size_t>(declared, kPrivatePartHeaderBytes), kPrivatePartBytes);
        std::vector<BYTE> full(kPrivatePartBytes, 0);
        std::memcpy(full.data(), headerWords, sizeof headerWords);
        const std::vector<BYTE> settings = fuzz::SettingsFrom(input);
        std::memcpy(full.data() + kPrivatePartHeaderBytes, settings.data(), settings.size());
        for (size_t i = 0; i < input.body.size() && kPrivatePartHeaderBytes + i < full.size(); ++i) {
            full[kPrivatePartHeaderBytes + i] = static_cast<BYTE>(input.body[i]);
        }
        privateIn.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(allocation));
    }

    // The output private part: exactly cbBufSize bytes.
    const std::vector<int64_t> out = fuzz::Numbers(fuzz::Directive(input, "out"), 5);
    const DWORD bufSize =
        static_cast<DWORD>(static_cast<uint64_t>(out.size() > 0 ? out[0] : kPrivatePartBytes) % 40000);
    std::vector<BYTE> privateOut(bufSize, static_cast<BYTE>(out.size() > 4 ? out[4] : 0));
    {
        const DWORD headerWords[3] = {static_cast<DWORD>(out.size() > 1 ? out[1] : kPrivatePartBytes),
                                      static_cast<DWORD>(out.size() > 2 ? out[2] : kPrivatePartSignature),
                                      static_cast<DWORD>(out.size() > 3 ? out[3] : kPrivatePartVersion)};
        if (!privateOut.empty()) {
            std::memcpy(privateOut.data(), headerWords, std::min(privateOut.size(), sizeof headerWords));
        }
    }

    std::vector<BYTE> publicIn;
    std::vector<BYTE> publicOut;
    if (fuzz::HasDirective(input, "pubin")) publicIn = PublicDevmode(fuzz::Numbers(fuzz::Directive(input, "pubin"), 6));
    if (fuzz::HasDirective(input, "pubout")) {
        publicOut = PublicDevmode(fuzz::Numbers(fuzz::Directive(input, "pubout"), 6));
    }

    // Each buffer in an allocation of exactly its size.
    const auto exact = [](const std::vector<BYTE>& bytes) {
        BYTE* copy = bytes.empty() ? nullptr : static_cast<BYTE*>(std::malloc(bytes.size()));
        if (copy != nullptr) std::memcpy(copy, bytes.data(), bytes.size());
        return copy;
    };
    BYTE* const inBuffer = exact(privateIn);
    BYTE* const outBuffer = exact(privateOut);
    BYTE* const publicInBuffer = exact(publicIn);
    BYTE* const publicOutBuffer = exact(publicOut);

    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = printer;
    param.hModule = modules.module;
    param.pPublicDMIn = reinterpret_cast<PDEVMODEW>(publicInBuffer);
    param.pPublicDMOut = reinterpret_cast<PDEVMODEW>(publicOutBuffer);
    param.pOEMDMIn = inBuffer;
    param.pOEMDMOut = outBuffer;
    param.cbBufSize = bufSize;

    harness::CoreHelper helper;
    const bool withHelper = !fuzz::HasDirective(input, "nohelper");
    const HRESULT hr = HandleDevMode(mode, &param, withHelper ? &helper : nullptr, modules);

    const std::vector<BYTE> outAfter(outBuffer, outBuffer + privateOut.size());
    const std::vector<BYTE> publicOutAfter(publicOutBuffer, publicOutBuffer + publicOut.size());
    const std::string request =
        "mode " + std::to_string(mode) + ", cbBufSize " + std::to_string(bufSize) +
        (inBuffer == nullptr ? ", no input part" : ", input part of " + std::to_string(privateIn.size()) + " bytes");
    if (mode == OEMDM_SIZE) {
        FUZZ_CHECK(hr == S_OK && param.cbBufSize == kPrivatePartBytes, "a size request did not answer 12016");
    } else if (hr == S_OK) {
        if (outBuffer != nullptr && (mode == OEMDM_DEFAULT || mode == OEMDM_CONVERT || mode == OEMDM_MERGE)) {
            FUZZ_CHECK(bufSize >= kPrivatePartBytes,
                       "success with an output buffer under 12016 bytes (" + request + ")");
            std::vector<BYTE> validated = outAfter;
            ValidatePrivatePart(validated.data(), validated.size());
            // Validation also writes the header (12016, signature, 1).
            const PrivatePartHeader header = ReadPrivatePartHeader(outAfter.data());
            const std::string what =
                "success left an output that fails its own validation: " + Describe(outAfter, validated) +
                ", header (" + std::to_string(header.dwSize) + ", " + std::to_string(header.dwSignature) + ", " +
                std::to_string(header.dwVersion) + ") (" + request + ")";
            FUZZ_CHECK(validated == outAfter, what);
        }
    } else if (!refuse) {
        FUZZ_CHECK(outAfter == privateOut, "a failed request changed the output private part: " +
                                               Describe(privateOut, outAfter) + " (" + request + ")");
        FUZZ_CHECK(publicOutAfter == publicOut, "a failed request changed the output DEVMODE: " +
                                                    Describe(publicOut, publicOutAfter) + " (" + request + ")");
    }

    std::free(inBuffer);
    std::free(outBuffer);
    std::free(publicInBuffer);
    std::free(publicOutBuffer);
    sim::Reset();
    return 0;
}
