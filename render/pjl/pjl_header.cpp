// The Windows side of the PJL job header: gathers what the core's builder
// needs (the computer's name, the printer's paper codes from its forms and the
// paper-list file, the system's text conversions) and writes the pieces to the
// spooler.
#include "pjl/pjl_header.h"

#include "common/companion_path.h"
#include "common/result_macros.h"
#include "common/spooler_write.h"
#include "common/wtext.h"
#include "pjl/pjl_header_parts.h"
#include "pjl/pjl_paper_codes.h"
#include "settings/job_identity.h"
#include "settings/paper.h"
#include "settings/paper_sources.h"

#include <climits>
#include <string>

namespace {

// Room the computer name is read into.
constexpr DWORD kHostNameUnits = 512;

// When the computer name cannot be read, ZTHOSTNAME goes out empty: the printer
// still gets a well-formed header, and no made-up name could be told apart from
// a real computer's.
WString ComputerName() {
    WCHAR name[kHostNameUnits] = {};
    DWORD size = kHostNameUnits;
    if (!GetComputerNameExW(ComputerNameNetBIOS, name, &size)) return WString();
    return WString(name, WTextLengthBounded(name, kHostNameUnits));
}

Text16View BoundedView(const WCHAR* text, size_t capacity) {
    return text == nullptr ? Text16View() : Text16View(text, WTextLengthBounded(text, capacity));
}

// The system's conversion to one code page. A conversion the system refuses
// carries the system's reason; the header then goes on without that value.
class SystemConverter final : public TextConverter {
public:
    explicit SystemConverter(UINT codePage) : codePage_(codePage) {}

    Status Convert(Text16View text, std::string& out) const noexcept override {
        out.clear();
        if (text.empty()) return kStatusOk;
        if (text.size() > static_cast<size_t>(INT_MAX)) return kStatusInvalidArgument;
        const int units = static_cast<int>(text.size());
        const int needed = WideCharToMultiByte(codePage_, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) return Refused();
        try {
            out.resize(static_cast<size_t>(needed));
        } catch (...) {
            TRACE_CAUGHT();
            return kStatusOutOfMemory;
        }
        const int written = WideCharToMultiByte(codePage_, 0, text.data(), units, &out[0], needed, nullptr, nullptr);
        out.resize(written > 0 ? static_cast<size_t>(written) : 0);
        return written > 0 ? kStatusOk : Refused();
    }

private:
    static Status Refused() {
        const Status cause = Status::FromWin32(GetLastError());
        return cause.Failed() ? cause : kStatusFail;
    }

    UINT codePage_;
};

const SystemConverter utf8Conversion(CP_UTF8);
const SystemConverter systemCodePageConversion(CP_ACP);

// The header's pieces go to the spooler whole: a piece the spooler takes in
// part is offered again from the first byte it did not take, until all is
// taken, a write fails or a write takes nothing. The failure keeps the
// spooler's reason.
class SpoolerSink final : public HeaderPieceSink {
public:
    explicit SpoolerSink(HANDLE printer) : printer_(printer) {}

    Status TakePiece(ByteRange piece) noexcept override {
        const HRESULT written = WriteSpoolerAll(printer_, piece.data, piece.size, piece.size, nullptr);
        if (SUCCEEDED(written)) return kStatusOk;
        const Status cause = Status::FromWin32(GetLastError());
        return cause.Failed() ? cause : Status(written);
    }

private:
    HANDLE printer_;
};

}  // namespace

PjlConverters SystemPjlConverters() noexcept { return PjlConverters{utf8Conversion, systemCodePageConversion}; }

PrinterPaperCodes FindPrinterPaperCodes(const ModuleContext& modules, HANDLE hPrinter, int16_t paperNumber,
                                        int16_t outputPaperNumber) noexcept {
    PrinterPaperCodes codes{kCustomPaperCode, kCustomPaperCode};
    bool pageFound = false;
    bool outputFound = false;
    const WCHAR* pageFormName = nullptr;
    const WCHAR* outputFormName = nullptr;

    const FormList forms = ReadFormList(hPrinter);
    if (forms.forms != nullptr) {
        const int32_t n = static_cast<int32_t>(forms.count);
        if (paperNumber <= n) {
            if (paperNumber == kCustomPaperCode) {
                pageFound = true;
            } else if (paperNumber >= 1) {
                pageFormName = forms.forms[paperNumber - 1].pName;
            }
        }
        if (outputPaperNumber <= n) {
            if (outputPaperNumber == kAutoPaperCode) {
                codes.outputPaper = kAutoPaperCode;
                outputFound = true;
            } else if (outputPaperNumber == kCustomPaperCode) {
                outputFound = true;
            } else if (outputPaperNumber >= 1) {
                outputFormName = forms.forms[outputPaperNumber - 1].pName;
            }
        }
    }

    if (!pageFound) {
        if (const PaperRow* row = FindPaperRow(paperNumber)) {
            codes.pageSize = row->code;
            pageFound = true;
        }
    }
    if (!outputFound) {
        if (const PaperRow* row = FindPaperRow(outputPaperNumber)) {
            codes.outputPaper = row->code;
            outputFound = true;
        }
    }

    // Only forms with a name can be looked up in the paper-list file; the
    // file is read only when there is one.
    PjlPaperQuery queries[2];
    size_t queryCount = 0;
    int32_t* targets[2];
    if (!pageFound && pageFormName != nullptr && pageFormName[0] != 0) {
        queries[queryCount] = PjlPaperQuery{pageFormName, false, 0};
        targets[queryCount++] = &codes.pageSize;
    }
    if (!outputFound && outputFormName != nullptr && outputFormName[0] != 0) {
        queries[queryCount] = PjlPaperQuery{outputFormName, false, 0};
        targets[queryCount++] = &codes.outputPaper;
    }
    if (queryCount > 0) {
        LookupPjlPaperCodes(modules.module, queries, queryCount);
        for (size_t i = 0; i < queryCount; ++i) {
            if (queries[i].found) *targets[i] = queries[i].code;
        }
    }
    return codes;
}

HRESULT BuildPjlHeader(const ModuleContext& modules, HANDLE hPrinter, const BYTE* settings, const WCHAR* documentName,
                       const WCHAR* userName) noexcept {
    if (settings == nullptr) return S_OK;
    const SettingsView view{settings, kPjlHeaderSettingsBytes};
    try {
        const PrinterPaperCodes codes =
            FindPrinterPaperCodes(modules, hPrinter, static_cast<int16_t>(ReadField(view, kSettingPaperNumber)),
                                  static_cast<int16_t>(ReadField(view, kSettingOutputPaper)));
        const WString hostName = ComputerName();
        const PjlHeaderInputs inputs{settings,
                                     BoundedView(documentName, kPathCapacity),
                                     BoundedView(userName, kUserNameUnits),
                                     hostName,
                                     Text16View(),
                                     codes,
                                     SystemPjlConverters()};
        SpoolerSink spooler(hPrinter);
        const Status built = BuildPjlHeaderPieces(inputs, spooler);
        // The driver's convention from here on: E_OUTOFMEMORY, or E_FAIL with
        // the spooler's reason as the last error.
        RETURN_HR_IF(E_OUTOFMEMORY, built == kStatusOutOfMemory);
        RETURN_HR_IF_SET_ERROR(E_FAIL, built.Win32Error(), built.Failed());
        return S_OK;
    }
    CATCH_RETURN(E_OUTOFMEMORY)
}
