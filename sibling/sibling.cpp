// Stand-in for the sibling settings library QM22TIE.dll.
//
// The real library belongs to the same printer driver but lies outside this
// system. This stand-in offers only what the plug-in relies on, with the real
// calling convention and export names: the paper capabilities, the size of its
// private data, and a conversion that writes complete public fields and a complete
// settings block. It applies the plug-in's own settings table for its defaults, so
// there is one table of defaults in the build.
#include "platform/platform.h"
#include "settings/paper.h"
#include "settings/private_part.h"
#include "core/settings_access.h"
#include "sibling_test_control.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#define SIBLING_EXPORT extern "C"
#else
#define SIBLING_EXPORT extern "C" DECLSPEC_EXPORT
#endif

// The exports, declared as the driver's loader sees them.
SIBLING_EXPORT DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pszDeviceName, WORD Capability, PVOID pOutput,
                                                  PDEVMODEW pDevmode);
SIBLING_EXPORT BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut, LONG* pcbNeeded,
                                             DWORD fMode);
#if !defined(_WIN32)
SIBLING_EXPORT SiblingTestState* SiblingTestAccess();
#endif

namespace {

// The driver asks for capabilities and conversions from any thread, and a print
// server renders many jobs at once: every export works on the one state record
// (its counters and last-call record change on each call) under this lock.
std::mutex stateLock;

SiblingTestState& State() {
    static SiblingTestState state = [] {
        SiblingTestState s;
        SiblingTestReset(s);
        return s;
    }();
    return state;
}

constexpr WORD kCustomPaper = DMPAPER_USER;
// The custom entry carries the largest custom sheet the settings allow, so a size
// that matches it maps to the custom number just as an unmatched size does.
constexpr LONG kCustomWidth = 3400;
constexpr LONG kCustomLength = 5500;
constexpr DWORD kPaperCount = kPaperRowCount + 1;
constexpr size_t kNameUnits = 64;

DWORD ExtraAnswer() { return State().overrideExtra ? State().extraAnswer : DWORD{kSiblingSettingsBytes}; }

// The private data the stand-in lays out behind the public part: what it reports
// when that can hold the settings block and a DEVMODE can describe it, else the
// settings block alone.
DWORD PrivateBytes() {
    const DWORD extra = ExtraAnswer();
    if (extra == GDI_ERROR || extra < kSiblingSettingsBytes || extra > 0xFFFF) {
        return kSiblingSettingsBytes;
    }
    return extra;
}

WORD DriverVersion() {
    const DWORD v = State().overrideDriver ? State().driverAnswer : kSiblingDriverVersion;
    return static_cast<WORD>(v == GDI_ERROR ? 0x0600 : v);
}

void PaperAt(DWORD i, WORD& number, LONG& width, LONG& length, const char*& name) {
    if (i < kPaperRowCount) {
        number = static_cast<WORD>(kPaperTable[i].number);
        width = kPaperTable[i].width;
        length = kPaperTable[i].length;
        name = kPaperTable[i].keyword;
    } else {
        number = kCustomPaper;
        width = kCustomWidth;
        length = kCustomLength;
        name = "User Defined Size";
    }
}

DWORD PaperList(WORD capability, PVOID output) {
    if (State().overridePaperCount) {
        return State().paperCountAnswer;
    }
    if (output == nullptr) {
        return kPaperCount;
    }
    for (DWORD i = 0; i < kPaperCount; ++i) {
        WORD number;
        LONG width;
        LONG length;
        const char* name;
        PaperAt(i, number, width, length, name);
        if (capability == DC_PAPERS) {
            std::memcpy(static_cast<BYTE*>(output) + i * sizeof(WORD), &number, sizeof number);
        } else if (capability == DC_PAPERSIZE) {
            const POINT size{width, length};
            std::memcpy(static_cast<BYTE*>(output) + i * sizeof(POINT), &size, sizeof size);
        } else {
            WCHAR units[kNameUnits] = {};
            for (size_t k = 0; name[k] != '\0' && k + 1 < kNameUnits; ++k) {
                units[k] = static_cast<WCHAR>(static_cast<unsigned char>(name[k]));
            }
            std::memcpy(static_cast<BYTE*>(output) + i * sizeof units, units, sizeof units);
        }
    }
    return kPaperCount;
}

void CopyName(WCHAR* out, size_t capacity, const WCHAR* name) {
    size_t n = 0;
    if (name != nullptr) {
        while (name[n] != 0 && n + 1 < capacity) {
            out[n] = name[n];
            ++n;
        }
    }
    out[n] = 0;
}

void Record(LPWSTR printerName, const DEVMODEW* in, const DEVMODEW* out, LONG sizeIn, DWORD mode) {
    SiblingTestState& s = State();
    ++s.convertCalls;
    s.lastMode = mode;
    s.lastSizeIn = sizeIn;
    s.lastNameNull = printerName == nullptr;
    CopyName(s.lastPrinterName, sizeof s.lastPrinterName / sizeof(WCHAR), printerName);
    s.lastInputPresent = in != nullptr;
    s.lastInputBytes = 0;
    if (in != nullptr && sizeIn > 0) {
        // What the input declares, and no more than the output's room: the
        // plug-in hands over two buffers of the same size.
        const size_t declared = size_t{in->dmSize} + in->dmDriverExtra;
        s.lastInputBytes = std::min({static_cast<size_t>(sizeIn), declared, sizeof s.lastInput});
        std::memcpy(s.lastInput, in, s.lastInputBytes);
    }
    s.lastOutputPresent = out != nullptr;
    if (out != nullptr && sizeIn >= static_cast<LONG>(sizeof(DEVMODEW))) {
        std::memcpy(&s.lastOutputOnEntry, out, sizeof(DEVMODEW));
    }
    s.lastOutputBlockRecorded =
        out != nullptr && sizeIn >= static_cast<LONG>(kSiblingPublicBytes + kSiblingSettingsBytes);
    if (s.lastOutputBlockRecorded) {
        std::memcpy(s.lastOutputBlockOnEntry, reinterpret_cast<const BYTE*>(out) + kSiblingPublicBytes,
                    kSiblingSettingsBytes);
    }
}

SettingsSpan SettingsOf(DEVMODEW* dm) {
    return SettingsSpan{reinterpret_cast<BYTE*>(dm) + kSiblingPublicBytes, kSiblingSettingsBytes};
}

void WriteDefaults(LPWSTR printerName, DEVMODEW* out, DWORD privateBytes) {
    const SiblingTestState& s = State();
    CopyName(out->dmDeviceName, CCHDEVICENAME, printerName);
    out->dmSpecVersion = DM_SPECVERSION;
    out->dmDriverVersion = DriverVersion();
    out->dmSize = sizeof(DEVMODEW);
    out->dmDriverExtra = static_cast<WORD>(privateBytes);
    out->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_SCALE | DM_COPIES |
                    DM_PRINTQUALITY | DM_COLOR | DM_DUPLEX | DM_YRESOLUTION | DM_TTOPTION | DM_COLLATE;
    out->dmOrientation = DMORIENT_PORTRAIT;
    out->dmPaperSize = s.defaultPaper;
    if (const PaperRow* row = FindPaperRow(s.defaultPaper)) {
        out->dmPaperWidth = static_cast<short>(row->width);
        out->dmPaperLength = static_cast<short>(row->length);
        for (size_t k = 0; row->keyword[k] != '\0' && k + 1 < CCHFORMNAME; ++k) {
            out->dmFormName[k] = static_cast<WCHAR>(row->keyword[k]);
        }
        out->dmFields |= DM_FORMNAME;
    }
    out->dmScale = 100;
    out->dmCopies = 1;
    out->dmPrintQuality = 600;
    out->dmColor = DMCOLOR_COLOR;
    out->dmDuplex = s.defaultDuplex;
    out->dmYResolution = 600;
    out->dmTTOption = DMTT_DOWNLOAD;
    out->dmCollate = DMCOLLATE_TRUE;

    const SettingsSpan settings = SettingsOf(out);
    SetDefaultSettings(settings);
    WriteSettingNumber(settings, kSettingDuplex.offset, kSettingDuplex.bytes, s.defaultDuplex);
    WriteSettingNumber(settings, kSettingPaperNumber.offset, kSettingPaperNumber.bytes, s.defaultPaper);
}

// An input the stand-in can carry: its own layout with at least a whole
// settings block behind the public part.
bool InputUsable(const DEVMODEW* in) {
    return in != nullptr && in->dmSize == sizeof(DEVMODEW) && in->dmDriverExtra >= kSiblingSettingsBytes;
}

}  // namespace

SIBLING_EXPORT DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pszDeviceName, WORD Capability, PVOID pOutput,
                                                  PDEVMODEW pDevmode) {
    (void)hPrinter;
    (void)pszDeviceName;
    const std::lock_guard<std::mutex> lock(stateLock);
    SiblingTestState& s = State();
    ++s.capabilityCalls;
    if (pDevmode != nullptr) {
        ++s.capabilityCallsWithDevmode;
    }
    switch (Capability) {
        case DC_DRIVER: return s.overrideDriver ? s.driverAnswer : kSiblingDriverVersion;
        case DC_EXTRA: return ExtraAnswer();
        case DC_PAPERS:
        case DC_PAPERSIZE:
        case DC_PAPERNAMES: return PaperList(Capability, pOutput);
        default: return GDI_ERROR;
    }
}

SIBLING_EXPORT BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut, LONG* pcbNeeded,
                                             DWORD fMode) {
    if (pcbNeeded == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::lock_guard<std::mutex> lock(stateLock);
    Record(pPrinterName, pdmIn, pdmOut, *pcbNeeded, fMode);
    if (State().refuseConversion || (fMode != CDM_CONVERT && fMode != CDM_DRIVER_DEFAULT) ||
        (fMode == CDM_CONVERT && !InputUsable(pdmIn))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD privateBytes = PrivateBytes();
    const LONG required = static_cast<LONG>(kSiblingPublicBytes + privateBytes);
    if (pdmOut == nullptr || *pcbNeeded < required) {
        *pcbNeeded = required;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }

    BYTE* out = reinterpret_cast<BYTE*>(pdmOut);
    if (fMode == CDM_DRIVER_DEFAULT) {
        std::memset(out, 0, static_cast<size_t>(required));
        WriteDefaults(pPrinterName, pdmOut, privateBytes);
    } else {
        const BYTE* in = reinterpret_cast<const BYTE*>(pdmIn);
        const size_t carried = std::min<size_t>(pdmIn->dmDriverExtra, privateBytes);
        if (in != out) {
            std::memmove(out, in, kSiblingPublicBytes + carried);
        }
        std::memset(out + kSiblingPublicBytes + carried, 0, privateBytes - carried);
        pdmOut->dmDriverVersion = DriverVersion();
        pdmOut->dmDriverExtra = static_cast<WORD>(privateBytes);
    }
    WriteSettingText(SettingsOf(pdmOut), 0, kIdentificationBytes / sizeof(WCHAR), WIDE("VTA/NP"));
    *pcbNeeded = required;
    return TRUE;
}

#if !defined(_WIN32)
// Test-only: hands out the steering and observation record (host builds only),
// for a test to read and set while no job runs.
SIBLING_EXPORT SiblingTestState* SiblingTestAccess() { return &State(); }
#endif
