#include "settings/devmode_handler.h"

#include "common/result_macros.h"
#include "common/wtext.h"
#include "settings/paper.h"
#include "settings/paper_sources.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr size_t kPublicBytes = sizeof(DEVMODEW);
constexpr DWORD kMinSiblingExtra = kSettingsBlockBytes;
constexpr WORD kFallbackDriverVersion = 0x0600;
constexpr DWORD kCarriedFields = DM_SCALE | DM_COLOR | DM_TTOPTION | DM_ICMMETHOD | DM_ICMINTENT;
static_assert(kCarriedFields == 0x01804810, "fields carried from the input DEVMODE");

// ---------------------------------------------------------------------------
// Public DEVMODEs come from the driver and may be of an older, shorter version:
// only the first dmSize bytes (at most 220) are theirs. A field beyond that
// reads as 0 and is never written.

size_t DeclaredPublicBytes(const DEVMODEW* dm) {
    return dm == nullptr ? 0 : std::min<size_t>(dm->dmSize, kPublicBytes);
}

bool HasField(const DEVMODEW* dm, size_t offset, size_t width) { return DeclaredPublicBytes(dm) >= offset + width; }

template <typename T>
T ReadField(const DEVMODEW* dm, size_t offset) {
    T value{};
    if (HasField(dm, offset, sizeof(T))) {
        std::memcpy(&value, reinterpret_cast<const BYTE*>(dm) + offset, sizeof(T));
    }
    return value;
}

template <typename T>
void WriteField(DEVMODEW* dm, size_t offset, T value) {
    if (HasField(dm, offset, sizeof(T))) {
        std::memcpy(reinterpret_cast<BYTE*>(dm) + offset, &value, sizeof(T));
    }
}

template <typename T>
void CarryField(DEVMODEW* to, const DEVMODEW* from, size_t offset) {
    if (HasField(from, offset, sizeof(T))) {
        WriteField<T>(to, offset, ReadField<T>(from, offset));
    }
}

constexpr size_t kFieldsAt = offsetof(DEVMODEW, dmFields);
constexpr size_t kPaperSizeAt = offsetof(DEVMODEW, dmPaperSize);
constexpr size_t kPaperLengthAt = offsetof(DEVMODEW, dmPaperLength);
constexpr size_t kPaperWidthAt = offsetof(DEVMODEW, dmPaperWidth);

// The whole 220 bytes of a public DEVMODE, the undeclared tail zero.
DEVMODEW PublicImage(const DEVMODEW* dm) {
    DEVMODEW image;
    std::memset(&image, 0, sizeof image);
    if (dm != nullptr) {
        std::memcpy(&image, dm, DeclaredPublicBytes(dm));
    }
    return image;
}

void StorePublicImage(DEVMODEW* dm, const DEVMODEW& image) {
    if (dm != nullptr) {
        std::memcpy(dm, &image, DeclaredPublicBytes(dm));
    }
}

// The bytes the driver says belong to a DEVMODE, as SetOptions takes them.
DWORD DevmodeBytes(const DEVMODEW* dm) { return DWORD{dm->dmSize} + dm->dmDriverExtra; }

// ---------------------------------------------------------------------------
// Private parts. The input is bounded by the size its header declares; the
// output also by the room the driver gave for it (cbBufSize).

SettingsSpan OutputPrivateSettings(const OEMDMPARAM& param) {
    const SettingsSpan byRoom = PrivatePartSettings(param.pOEMDMOut, param.cbBufSize);
    if (byRoom.data == nullptr) {
        return SettingsSpan{nullptr, 0};
    }
    const SettingsSpan byHeader = PrivatePartSettings(param.pOEMDMOut);
    return SettingsSpan{byRoom.data, std::min(byRoom.size, byHeader.size)};
}

// Copies as much of the block as both sides hold (the same buffer when the
// driver passes one private part as input and output: nothing to copy then).
void CopySettingsBlock(SettingsSpan to, SettingsView from) {
    const size_t count = std::min(to.size, from.size);
    if (count > 0 && to.data != from.data) {
        WriteSettingBytes(to, 0, from.data, count);
    }
}

// ---------------------------------------------------------------------------
// Conversion copies: a whole DEVMODEW (kPublicBytes) followed by the sibling's
// private data, whose first kSettingsBlockBytes are the settings block.

struct ConversionCopy {
    std::unique_ptr<BYTE[]> bytes;

    DEVMODEW* Devmode() const { return reinterpret_cast<DEVMODEW*>(bytes.get()); }
    SettingsSpan Settings() const { return SettingsSpan{bytes.get() + kPublicBytes, kSettingsBlockBytes}; }
};

// The copy always describes its own layout (220 public bytes, then `extra`
// bytes), also when the public DEVMODE it came from is shorter or absent: the
// sibling finds the settings block through these fields.
void FillConversionCopy(const ConversionCopy& copy, const DEVMODEW* source, WORD version, WORD extra) {
    DEVMODEW* dm = copy.Devmode();
    if (source != nullptr) {
        std::memcpy(dm, source, DeclaredPublicBytes(source));
    } else {
        dm->dmSpecVersion = DM_SPECVERSION;
    }
    dm->dmDriverVersion = version;
    dm->dmSize = static_cast<WORD>(kPublicBytes);
    dm->dmDriverExtra = extra;
}

// The printer information stays alive as long as the name is used.
struct PrinterName {
    std::unique_ptr<BYTE[]> info;
    const WCHAR* name = nullptr;
};

PrinterName ReadPrinterName(HANDLE hPrinter) {
    PrinterName result;
    DWORD needed = 0;
    if (GetPrinterW(hPrinter, 1, nullptr, 0, &needed) == FALSE && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return result;
    }
    if (needed < sizeof(PRINTER_INFO_1W)) {
        return result;
    }
    std::unique_ptr<BYTE[]> info(new (std::nothrow) BYTE[needed]());
    if (!info) {
        return result;
    }
    DWORD again = 0;
    if (GetPrinterW(hPrinter, 1, info.get(), needed, &again) == FALSE) {
        return result;
    }
    PRINTER_INFO_1W record;
    std::memcpy(&record, info.get(), sizeof record);
    result.info = std::move(info);
    result.name = record.pName;
    return result;
}

// Selects the driver's form for the paper number of a public DEVMODE. The paper
// mapping works on a whole DEVMODEW, so a shorter one is handed over as a full
// image and only its declared bytes are written back.
void SelectDriverFormBounded(const ModuleContext& modules, DEVMODEW* target, HANDLE hPrinter, const WCHAR* printerName,
                             IPrintCoreHelperPS* coreHelper) {
    DEVMODEW image = PublicImage(target);
    SelectDriverForm(modules, &image, hPrinter, printerName, coreHelper);
    StorePublicImage(target, image);
}

void SetOneOption(IPrintCoreHelperPS* coreHelper, DEVMODEW* dm, const char* feature, const char* option) {
    const PRINT_FEATURE_OPTION pair{feature, option};
    DWORD result = 0;
    // The outcome is not examined: the request itself has succeeded either way.
    coreHelper->SetOptions(dm, DevmodeBytes(dm), TRUE, &pair, 1, nullptr, &result);
}

void PushCustomPageSize(IPrintCoreHelperPS* coreHelper, DEVMODEW* out, short width, short length) {
    if (coreHelper == nullptr) {
        return;
    }
    char text[kCustomPageSizeTextBytes];
    FormatCustomPageSize(width, length, text);
    SetOneOption(coreHelper, out, "%CustomPageSize", text);
}

void WriteDebugLine(const DEVMODEW* in) {
    char line[64];
    std::snprintf(line, sizeof line, "PS DevMode : dmPaperSize=%d\n", ReadField<short>(in, kPaperSizeAt));
    WCHAR wide[64];
    WTextFromAscii(wide, sizeof wide / sizeof wide[0], line);
    OutputDebugStringW(wide);
}

// ---------------------------------------------------------------------------
// The steps of one conversion

// The sibling's driver version and private-data size for the copies.
struct CopyLayout {
    WORD version;
    WORD extra;
};

CopyLayout AskCopyLayout(HMODULE sibling, HANDLE hPrinter, PWSTR printerName) {
    const PFN_DrvDeviceCapabilities capabilities = FindSiblingDeviceCapabilities(sibling);
    const DWORD versionAnswer =
        capabilities != nullptr ? capabilities(hPrinter, printerName, DC_DRIVER, nullptr, nullptr) : GDI_ERROR;
    const DWORD extraAnswer =
        capabilities != nullptr ? capabilities(hPrinter, printerName, DC_EXTRA, nullptr, nullptr) : GDI_ERROR;
    const WORD version = versionAnswer == GDI_ERROR ? kFallbackDriverVersion : static_cast<WORD>(versionAnswer);
    // dmDriverExtra is 16 bits wide: a larger answer cannot describe the copies,
    // so it counts like no answer instead of allocating what no DEVMODE can hold.
    DWORD extra = extraAnswer == GDI_ERROR ? kMinSiblingExtra : std::max(extraAnswer, kMinSiblingExtra);
    if (extra > 0xFFFF) {
        extra = kMinSiblingExtra;
    }
    return CopyLayout{version, static_cast<WORD>(extra)};
}

// What the steps of one conversion share.
struct Conversion {
    const OEMDMPARAM& param;
    IPrintCoreHelperPS* coreHelper;
    const ModuleContext& modules;
    const WCHAR* printerName;
    SettingsSpan privateIn;
    SettingsSpan privateOut;
    ConversionCopy in;
    ConversionCopy out;
};

// The two copies the sibling converts between, filled from the request; false
// when they cannot be allocated.
bool MakeCopies(Conversion& c, CopyLayout layout) {
    const size_t bytes = kPublicBytes + layout.extra;
    c.in.bytes.reset(new (std::nothrow) BYTE[bytes]());
    c.out.bytes.reset(new (std::nothrow) BYTE[bytes]());
    if (!c.in.bytes || !c.out.bytes) {
        return false;
    }
    FillConversionCopy(c.in, c.param.pPublicDMIn, layout.version, layout.extra);
    FillConversionCopy(c.out, c.param.pPublicDMOut, layout.version, layout.extra);
    // Without an input part the sibling carries the output as the private part
    // processing left it (the defaults for a convert request, the validated
    // output for a merge), never an empty block that fails its own validation.
    CopySettingsBlock(c.in.Settings(), AsView(c.privateIn.data != nullptr ? c.privateIn : c.privateOut));
    CopySettingsBlock(c.out.Settings(), AsView(c.privateOut));
    return true;
}

// The sibling's public fields, but the DEVMODE keeps describing its own layout;
// a shorter one also keeps its version.
void StoreConvertedPublic(DEVMODEW* publicOut, const DEVMODEW* converted) {
    const DEVMODEW before = PublicImage(publicOut);
    DEVMODEW after;
    std::memcpy(&after, converted, sizeof after);
    after.dmDriverVersion = before.dmDriverVersion;
    after.dmDriverExtra = before.dmDriverExtra;
    after.dmSize = before.dmSize;
    if (DeclaredPublicBytes(publicOut) < kPublicBytes) {
        after.dmSpecVersion = before.dmSpecVersion;
    }
    StorePublicImage(publicOut, after);
}

// A custom paper in the result: a convert request turns the sibling's custom
// number into the driver's, and the input's custom size goes to the driver.
void SettleCustomPaper(const Conversion& c, DWORD cdmMode, short paperBeforeMapping) {
    DEVMODEW* const publicIn = c.param.pPublicDMIn;
    DEVMODEW* const publicOut = c.param.pPublicDMOut;
    short paper = ReadField<short>(publicOut, kPaperSizeAt);
    if (paper != 0 && paper != kDriverCustomPaper) {
        paper = CheckPaperNumber(c.modules, paper, c.param.hPrinter);
    }
    if (paper != kSiblingCustomPaper && paper != kDriverCustomPaper) {
        return;
    }
    if (cdmMode == CDM_CONVERT) {
        if (paperBeforeMapping == kSiblingCustomPaper) {
            short mapped = ReadField<short>(publicOut, kPaperSizeAt);
            // Without a match (or without room to look for one) the number stays
            // the sibling's custom size, which becomes the driver's just below.
            (void)MatchSiblingCustomPaper(c.modules, &mapped, c.param.hPrinter, c.printerName, c.in.Devmode());
            WriteField<short>(publicOut, kPaperSizeAt, mapped);
        }
        if (ReadField<short>(publicOut, kPaperSizeAt) == kSiblingCustomPaper) {
            WriteField<short>(publicOut, kPaperSizeAt, kDriverCustomPaper);
        }
    }
    // The custom size comes from the input DEVMODE; a request without one has
    // none to push.
    const short inPaper = ReadField<short>(publicIn, kPaperSizeAt);
    if (publicIn != nullptr && (inPaper == kSiblingCustomPaper || inPaper == kDriverCustomPaper)) {
        PushCustomPageSize(c.coreHelper, publicOut, ReadField<short>(publicIn, kPaperWidthAt),
                           ReadField<short>(publicIn, kPaperLengthAt));
    }
}

// The public output after a conversion: the sibling's fields, the driver's form
// for the paper, the input's paper back into its private part, and the width
// and length the input asked for.
void ReturnPublicResult(const Conversion& c, DWORD cdmMode, short paperBeforeMapping) {
    DEVMODEW* const publicIn = c.param.pPublicDMIn;
    DEVMODEW* const publicOut = c.param.pPublicDMOut;
    StoreConvertedPublic(publicOut, c.out.Devmode());

    if (publicIn != nullptr) {
        SelectDriverFormBounded(c.modules, publicIn, c.param.hPrinter, c.printerName, c.coreHelper);
        CarryField<short>(publicOut, publicIn, kPaperSizeAt);
    } else {
        SelectDriverFormBounded(c.modules, publicOut, c.param.hPrinter, c.printerName, c.coreHelper);
    }

    if (c.privateIn.data != nullptr) {
        CopySettingsBlock(c.privateIn, AsView(c.in.Settings()));
        if (HasField(publicIn, kPaperSizeAt, sizeof(short))) {
            WriteField(c.privateIn, kSettingPaperNumber, ReadField<short>(publicIn, kPaperSizeAt));
        }
    }

    SettleCustomPaper(c, cdmMode, paperBeforeMapping);

    // Without an input DEVMODE no width or length was asked for: the sibling's
    // own values stand.
    const DWORD inFields = ReadField<DWORD>(publicIn, kFieldsAt);
    const bool inWidth = (inFields & DM_PAPERWIDTH) != 0 && HasField(publicIn, kPaperWidthAt, sizeof(short));
    const bool inLength = (inFields & DM_PAPERLENGTH) != 0 && HasField(publicIn, kPaperLengthAt, sizeof(short));
    WriteField<short>(publicOut, kPaperWidthAt,
                      inWidth ? ReadField<short>(publicIn, kPaperWidthAt) : c.out.Devmode()->dmPaperWidth);
    WriteField<short>(publicOut, kPaperLengthAt,
                      inLength ? ReadField<short>(publicIn, kPaperLengthAt) : c.out.Devmode()->dmPaperLength);
}

// The fields a conversion never changes: the input's scale, color, TrueType
// option and ICM method and intent go to the output as they were.
void CarryInputFields(DEVMODEW* publicOut, const DEVMODEW* publicIn) {
    if (HasField(publicOut, kFieldsAt, sizeof(DWORD))) {
        WriteField<DWORD>(publicOut, kFieldsAt, ReadField<DWORD>(publicOut, kFieldsAt) | kCarriedFields);
    }
    CarryField<short>(publicOut, publicIn, offsetof(DEVMODEW, dmScale));
    CarryField<short>(publicOut, publicIn, offsetof(DEVMODEW, dmColor));
    CarryField<short>(publicOut, publicIn, offsetof(DEVMODEW, dmTTOption));
    CarryField<DWORD>(publicOut, publicIn, offsetof(DEVMODEW, dmICMMethod));
    CarryField<DWORD>(publicOut, publicIn, offsetof(DEVMODEW, dmICMIntent));
}

// The driver's "Duplex" choice for a default ZTDuplex value; other values set none.
struct DuplexChoice {
    int32_t duplex;
    const char* choice;
};
constexpr DuplexChoice kDefaultDuplexTable[] = {{1, "None"}, {2, "DuplexNoTumble"}};

// The page sizes a default paper sets, by their kPaperTable keyword; others set none.
constexpr const char* kDefaultPageSizeTable[] = {"Letter", "A4"};

// A default request sets the driver's "Duplex" and "PageSize" options from the
// sibling's defaults.
void SetDefaultOptions(IPrintCoreHelperPS* coreHelper, DEVMODEW* publicIn, SettingsView defaults) {
    const int64_t duplex = ReadField(defaults, kSettingDuplex);
    for (const DuplexChoice& row : kDefaultDuplexTable) {
        if (row.duplex == duplex) SetOneOption(coreHelper, publicIn, "Duplex", row.choice);
    }
    const PaperRow* paper = FindPaperRow(static_cast<short>(ReadField(defaults, kSettingPaperNumber)));
    for (const char* keyword : kDefaultPageSizeTable) {
        if (paper != nullptr && std::strcmp(paper->keyword, keyword) == 0) {
            SetOneOption(coreHelper, publicIn, "PageSize", keyword);
        }
    }
}

[[nodiscard]] HRESULT RunConversion(DWORD dwMode, OEMDMPARAM& param, IPrintCoreHelperPS* coreHelper,
                                    const ModuleContext& modules) {
    const DWORD cdmMode = dwMode == OEMDM_DEFAULT ? CDM_DRIVER_DEFAULT : CDM_CONVERT;
    if (modules.sibling == nullptr) {
        return S_OK;
    }
    DEVMODEW* const publicIn = param.pPublicDMIn;
    DEVMODEW* const publicOut = param.pPublicDMOut;

    // Without an input DEVMODE (or one too short to hold the paper number) there
    // is no paper number to report, so no line is written.
    if (HasField(publicIn, kPaperSizeAt, sizeof(short))) {
        WriteDebugLine(publicIn);
    }

    const PrinterName printer = ReadPrinterName(param.hPrinter);
    PWSTR const nameArg = const_cast<PWSTR>(printer.name);
    const CopyLayout layout = AskCopyLayout(modules.sibling, param.hPrinter, nameArg);
    const auto convert = FindSiblingExport<PFN_DrvConvertDevMode>(modules.sibling, "DrvConvertDevMode");
    Conversion c{param,
                 coreHelper,
                 modules,
                 printer.name,
                 PrivatePartSettings(param.pOEMDMIn),
                 OutputPrivateSettings(param),
                 ConversionCopy{},
                 ConversionCopy{}};
    if (convert == nullptr || !MakeCopies(c, layout)) {
        return S_OK;
    }

    DEVMODEW* const inDm = c.in.Devmode();
    const short paperBeforeMapping = inDm->dmPaperSize;
    if (paperBeforeMapping != 0) {
        // A number neither the sibling lists nor a form position goes to the
        // sibling as it was; its own conversion settles it.
        (void)MatchSiblingPaper(modules, &inDm->dmPaperSize, param.hPrinter, printer.name, inDm);
    }
    LONG size = static_cast<LONG>(kPublicBytes + layout.extra);
    RETURN_HR_IF(LastErrorResult(), convert(nameArg, inDm, c.out.Devmode(), &size, cdmMode) == FALSE);
    if (publicOut != nullptr) {
        ReturnPublicResult(c, cdmMode, paperBeforeMapping);
    }
    CopySettingsBlock(c.privateOut, AsView(c.out.Settings()));
    // The sibling converts from the input part as the driver gave it, which
    // may be damaged or short; what goes back to the driver keeps the rules
    // the private part processing applied before the conversion.
    ValidateSettings(c.privateOut);
    if (publicIn != nullptr && publicOut != nullptr) {
        CarryInputFields(publicOut, publicIn);
    }
    // The private part processing refuses a default request without room for
    // the output, so the defaults are there to be read.
    if (dwMode == OEMDM_DEFAULT && publicIn != nullptr && coreHelper != nullptr) {
        SetDefaultOptions(coreHelper, publicIn, AsView(c.privateOut));
    }
    return S_OK;
}

}  // namespace

void FormatCustomPageSize(short width, short length, char (&text)[kCustomPageSizeTextBytes]) {
    const int points = 72;
    const int tenthsPerInch = 254;
    const int w =
        std::clamp(width * points / tenthsPerInch, int{kCustomPagePoints.minWidth}, int{kCustomPagePoints.maxWidth});
    const int l =
        std::clamp(length * points / tenthsPerInch, int{kCustomPagePoints.minLength}, int{kCustomPagePoints.maxLength});
    std::snprintf(text, sizeof text, "%d %d 0 0 ShortEdge", w, l);
}

HRESULT HandleDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam, IPrintCoreHelperPS* coreHelper,
                      const ModuleContext& modules) noexcept {
    try {
        const HRESULT processed = ProcessPrivatePart(dwMode, pOemDMParam);
        RETURN_IF_FAILED(processed);
        if (processed != S_OK || dwMode == OEMDM_SIZE) {
            return processed;
        }
        return RunConversion(dwMode, *pOemDMParam, coreHelper, modules);
    }
    // Nothing here throws by design (allocations are nothrow); should a callee
    // ever do so, the driver gets a failure rather than an exception.
    CATCH_RETURN(E_FAIL)
}
