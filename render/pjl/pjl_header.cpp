// The PJL job header: identification, one group of "@PJL SET" lines per job
// setting, and the switch to PostScript, written straight to the spooler.
#include "pjl/pjl_header.h"

#include "common/spooler_write.h"
#include "common/companion_path.h"
#include "common/result_macros.h"
#include "common/wtext.h"
#include "pjl/pjl_header_parts.h"
#include "pjl/pjl_paper_codes.h"
#include "pjl/pjl_settings.h"
#include "settings/job_identity.h"
#include "settings/paper.h"
#include "settings/paper_sources.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

#include <new>
#include <string>

namespace {

constexpr char kUniversalExitLine[] = "\x1B%-12345X@PJL\r\n";
constexpr char kCommentLine[] = "@PJL COMMENT KELV Printer Driver\r\n";
constexpr char kEnterLanguageLine[] = "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";

// Room the computer name is read into.
constexpr DWORD kHostNameUnits = 512;

// A row whose source cannot read its field stops the build.
constexpr JobSettingRow Job(int32_t setting, const char* fieldName, JobSource source) {
    const SettingField field = FieldNamed(fieldName);
    const bool text = source == JobSource::Text || source == JobSource::OwnerName || source == JobSource::JobName;
    const bool pageList = source == JobSource::PageList;
    const bool fits = text       ? field.kind == SettingKind::Text16
                      : pageList ? field.kind == SettingKind::Text8
                                 : !field.IsText();
    if (!fits) throw "the source cannot read the field";
    return JobSettingRow{setting, field, source};
}

}  // namespace

// The job settings in the order the printer expects them.
constexpr JobSettingRow kJobSettingTable[kJobSettingCount] = {
    Job(3, "ZTWaitAfterProof", JobSource::Key),
    Job(4, "ZTCollate", JobSource::Copies),  // COPIES or QTY
    Job(155, "ZTRotate", JobSource::Key),
    Job(200, "ZTDitherType", JobSource::Key),
    Job(201, "ZTPrintDensity", JobSource::Key),
    Job(203, "ZTLineSmoothing", JobSource::Key),
    Job(204, "ZTScreening", JobSource::Key),
    Job(205, "ZTGammaAdjustment", JobSource::Key),
    Job(206, "ZTGCBrightness", JobSource::Key),
    Job(207, "ZTGCContrast", JobSource::Key),
    Job(208, "ZTGCCyan", JobSource::Value),
    Job(209, "ZTGCMagenta", JobSource::Value),
    Job(210, "ZTGCYellow", JobSource::Value),
    Job(211, "ZTGCBlack", JobSource::Value),
    Job(221, "ZTGCRed", JobSource::Value),
    Job(215, "ZTBarcodeProof", JobSource::Key),
    Job(216, "ZTEnvelopeImageProcessing", JobSource::Key),
    Job(326, "ZTOutputTray", JobSource::Key),
    Job(327, "ZTOutputFace", JobSource::Key),
    Job(328, "ZTContinuousOutput", JobSource::Key),
    Job(415, "ZTJobComment", JobSource::Text),
    Job(0, "ZTOutputMode", JobSource::Key),
    Job(1, "ZTDuplex", JobSource::Key),  // DUPLEX (and BINDING)
    Job(2, "ZTDuplexMixedPage", JobSource::Key),
    Job(5, "PaperNumber", JobSource::PageSizeCode),  // ZTPAGESIZE
    Job(6, "ZTPageSizeWidth", JobSource::Value),
    Job(7, "ZTPageSizeHeight", JobSource::Value),
    Job(8, "ZTOrientation", JobSource::Key),  // ORIENTATION
    Job(13, "ZTManualZoom", JobSource::Key),
    Job(14, "ZTZoomRate", JobSource::Value),
    Job(15, "OutputPaper", JobSource::OutputPaperCode),  // PAPER
    Job(16, "ZTTargetPaperSizeWidth", JobSource::Value),
    Job(17, "ZTTargetPaperSizeHeight", JobSource::Value),
    Job(18, "ZTInputSlot", JobSource::Key),  // AUTOSELECT (and MEDIASOURCE)
    Job(24, "ZTMediaType", JobSource::Key),  // MEDIATYPE
    Job(103, "ZTHeaderFooterPrint", JobSource::Key),
    Job(104, "ZTPageNumPrint", JobSource::Key),
    Job(105, "ZTPageNumTransparent", JobSource::Key),
    Job(106, "ZTPageNumStartNum", JobSource::Value),
    Job(107, "ZTPageNumStartPage", JobSource::Value),
    Job(108, "ZTPageNumPosition", JobSource::Key),
    Job(109, "ZTStampPageFont", JobSource::Text),
    Job(111, "ZTStampPageSize", JobSource::Value),
    Job(112, "ZTDatePrint", JobSource::Key),
    Job(113, "ZTDateTransparent", JobSource::Key),
    Job(114, "ZTDateTargetPage", JobSource::Key),
    Job(115, "ZTDateSpecify", JobSource::Key),
    Job(116, "ZTDateInfo", JobSource::Text),
    Job(117, "ZTDatePosition", JobSource::Key),
    Job(118, "ZTStampDateFont", JobSource::Text),
    Job(120, "ZTStampDateSize", JobSource::Value),
    Job(202, "ZTImageQuality", JobSource::Key),
    Job(300, "ZTBinding", JobSource::Key),
    Job(301, "ZTGutter", JobSource::Key),
    Job(302, "ZTGutterDistance", JobSource::Value),
    Job(303, "ZTGutterAutoReducing", JobSource::Key),
    Job(317, "ZTJog", JobSource::Key),
    Job(318, "ZTJobSepSheet", JobSource::Key),
    Job(319, "ZTJobSepSheetTray", JobSource::Key),
    Job(320, "ZTJobSepSheetText", JobSource::Key),
    Job(321, "ZTCoverSheet", JobSource::Key),
    Job(322, "ZTFrontCoverSheet", JobSource::Key),
    Job(323, "ZTFrontCoverSheetTray", JobSource::Key),
    Job(324, "ZTBackCoverSheet", JobSource::Key),
    Job(325, "ZTBackCoverSheetTray", JobSource::Key),
    Job(416, "ZTPrintSpeed", JobSource::Key),
    Job(19, "ZTPageTray", JobSource::Key),
    Job(20, "PageTrayStandard", JobSource::PageList),
    Job(21, "PageTrayTray1", JobSource::PageList),
    Job(22, "PageTrayTray2", JobSource::PageList),
    Job(23, "PageTrayExternalFeeder", JobSource::PageList),
    Job(150, "ZTImageShift", JobSource::Key),
    Job(151, "ZTImageShiftFrontV", JobSource::Value),
    Job(152, "ZTImageShiftFrontH", JobSource::Value),
    Job(153, "ZTImageShiftBackV", JobSource::Value),
    Job(154, "ZTImageShiftBackH", JobSource::Value),
    Job(212, "ZTBarcodeArea", JobSource::Key),
    Job(213, "ZTBarcodeSelection", JobSource::Text),
    Job(214, "ZTBarcodeDensity", JobSource::Key),
    Job(217, "ZTColorProfile", JobSource::Key),
    Job(218, "ZTOutputProfileSelection", JobSource::Text),
    Job(219, "ZTRenderingIntent", JobSource::Key),
    Job(220, "ZTMaxDrops", JobSource::Key),
    Job(304, "ZTStapleMode", JobSource::Key),
    Job(305, "ZTPunchMode", JobSource::Key),
    Job(306, "ZTFoldMode", JobSource::Key),
    Job(307, "ZTFoldInnerOuter", JobSource::Key),
    Job(308, "ZTFoldBinding", JobSource::Key),
    Job(400, "ZTReverseOrder", JobSource::Key),
    Job(408, "ZTOwnerName", JobSource::Key),
    Job(409, "ZTOwnerNameInfo", JobSource::OwnerName),  // USERNAME
    Job(410, "ZTJobName", JobSource::Key),
    Job(411, "ZTJobNameInfo", JobSource::JobName),  // JOBNAME
    Job(412, "ZTSecretNum", JobSource::Key),
    Job(413, "ZTSecretNumInfo", JobSource::Text),  // PASSWORD
    Job(414, "ZTHideJob", JobSource::Key),
    Job(9, "ZTMixedPageSize", JobSource::Key),
    Job(10, "ZTDuplexSmallPages", JobSource::Key),  // ZTDUPLEXSMALLPAGE
    Job(11, "ZTDuplexBigPages", JobSource::Key),    // ZTDUPLEXBIGPAGE
    Job(12, "ZTRotateBigPages", JobSource::Key),    // ZTROTATEBIGPAGE
    Job(25, "ZTOutputMethod", JobSource::Key),
    Job(26, "ZTOutputBox", JobSource::OutputBox),
    Job(100, "ZTMultiUp", JobSource::Key),
    Job(101, "ZTMultiUpSinglePage", JobSource::Key),
    Job(102, "ZTBooklet", JobSource::Key),
    Job(309, "ZTBookletBinding", JobSource::Key),
    Job(310, "ZTBookletSplitting", JobSource::Key),  // read unsigned: a stored -1 is 255 (AUTO)
    Job(311, "ZTBookletGutter", JobSource::Key),
    Job(312, "ZTBookletGutterDistance", JobSource::Value),
    Job(313, "ZTBookletGutterAutoReducing", JobSource::Key),
    Job(314, "ZTBookletCover", JobSource::Key),
    Job(315, "ZTWaitingExceptCover", JobSource::Key),
    Job(316, "ZTBookletCoverSheetTray", JobSource::Key),
    Job(401, "ZTForm", JobSource::Key),
    Job(402, "ZTFormPattern", JobSource::Key),
    Job(403, "ZTFormSurface", JobSource::Key),
    Job(404, "ZTFormSeparate", JobSource::Key),
    Job(405, "ZTFormSelect1", JobSource::Text),
    Job(406, "ZTFormSelect2", JobSource::Text),
    Job(407, "ZTPriorityLayer", JobSource::Key),
};
// A row lost in editing would be zero-filled by the declared bound.
static_assert(kJobSettingTable[kJobSettingCount - 1].field.bytes != 0, "120 job settings");

namespace {

WString BoundedText(const WCHAR* text, size_t capacity) {
    return text == nullptr ? WString() : WString(text, WTextLengthBounded(text, capacity));
}

// A name the settings carry when its switch is on and the name is not empty,
// else the fallback the caller settled.
WString NameOrFallback(SettingsView view, const SettingField& nameSwitch, const SettingField& name,
                       const WString& fallback) {
    if (ReadField(view, nameSwitch) != 0) {
        WString stored;
        if (ReadFieldText(view, name, stored).Failed()) throw std::bad_alloc();
        if (!stored.empty()) return stored;
    }
    return fallback;
}

// When the computer name cannot be read, ZTHOSTNAME goes out empty: the printer
// still gets a well-formed header, and no made-up name could be told apart from
// a real computer's.
WString ComputerName() {
    WCHAR name[kHostNameUnits] = {};
    DWORD size = kHostNameUnits;
    if (!GetComputerNameExW(ComputerNameNetBIOS, name, &size)) return WString();
    return WString(name, WTextLengthBounded(name, kHostNameUnits));
}

WString FieldText(SettingsView view, const SettingField& field) {
    WString text;
    if (ReadFieldText(view, field, text).Failed()) throw std::bad_alloc();
    return text;
}

WString PageListText(SettingsView view, const SettingField& field) {
    WString text;
    if (DecodePageList(view, field.offset, text).Failed()) throw std::bad_alloc();
    return text;
}

std::string JobSettingLines(const JobSettingRow& row, SettingsView view, const PrinterPaperCodes& codes,
                            const WString& documentName, const WString& userName) {
    const SettingField& field = row.field;
    switch (row.source) {
        case JobSource::Key: return LookupSettingLines(row.setting, ReadFieldValue(view, field), PjlNoValue());
        case JobSource::Value: return LookupSettingLines(row.setting, -1, PjlNumber(ReadFieldValue(view, field)));
        case JobSource::Text: return LookupSettingLines(row.setting, -1, PjlText(FieldText(view, field).c_str()));
        case JobSource::PageList:
            return LookupSettingLines(row.setting, -1, PjlText(PageListText(view, field).c_str()));
        case JobSource::Copies:
            return LookupSettingLines(row.setting, ReadFieldValue(view, field),
                                      PjlNumber(ReadFieldValue(view, kSettingCopyCount)));
        case JobSource::PageSizeCode: return LookupSettingLines(row.setting, codes.pageSize, PjlNoValue());
        case JobSource::OutputPaperCode: return LookupSettingLines(row.setting, codes.outputPaper, PjlNoValue());
        case JobSource::OwnerName:
            return LookupSettingLines(row.setting, -1,
                                      PjlText(NameOrFallback(view, kSettingOwnerNameSwitch, field, userName).c_str()));
        case JobSource::JobName:
            return LookupSettingLines(
                row.setting, -1, PjlText(NameOrFallback(view, kSettingJobNameSwitch, field, documentName).c_str()));
        case JobSource::OutputBox: {
            const int32_t box = ReadFieldValue(view, field);
            if (box == 0) return LookupSettingLines(row.setting, 0, PjlNoValue());
            return LookupSettingLines(kSharedBoxSetting, -1, PjlNumber(box));
        }
    }
    return std::string();
}

}  // namespace

void AppendOrFlush(HeaderAccumulator& accumulator, const std::string& piece) {
    if (piece.size() > kHeaderChunkBytes || FAILED(accumulator.result)) return;
    if (accumulator.bytes.size() + piece.size() > kHeaderChunkBytes) FlushHeader(accumulator);
    accumulator.bytes.append(piece);
}

void FlushHeader(HeaderAccumulator& accumulator) {
    // A write that takes nothing ends the header as a failed one does:
    // offering the same bytes again would only repeat it.
    if (!accumulator.bytes.empty() && SUCCEEDED(accumulator.result)) {
        accumulator.result = WriteSpoolerAll(accumulator.printer, accumulator.bytes.data(), accumulator.bytes.size(),
                                             accumulator.bytes.size(), nullptr);
    }
    accumulator.bytes.clear();
}

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
    HeaderAccumulator accumulator{hPrinter, std::string()};
    try {
        // Room for a whole chunk up front: appending to the accumulator then
        // never allocates, so it can still be flushed when memory runs out.
        accumulator.bytes.reserve(kHeaderChunkBytes + 1);
        const PrinterPaperCodes codes =
            FindPrinterPaperCodes(modules, hPrinter, ReadSettingS16(view, kSettingPaperNumber.offset),
                                  ReadSettingS16(view, kSettingOutputPaper.offset));

        AppendOrFlush(accumulator, kUniversalExitLine);
        AppendOrFlush(accumulator, kCommentLine);

        AppendOrFlush(accumulator, LookupSettingLines(800, -1, PjlText(WIDE("2.00"))));
        AppendOrFlush(accumulator, LookupSettingLines(801, -1, PjlText(WIDE("KELV_IJ_PJL"))));
        AppendOrFlush(accumulator, LookupSettingLines(802, -1, PjlNumber(13)));
        AppendOrFlush(accumulator,
                      LookupSettingLines(803, -1, PjlText(WIDE("KELV_Windows_Postscript_Printer_Driver"))));
        AppendOrFlush(accumulator, LookupSettingLines(804, -1, PjlText(WIDE("1.17.004"))));
        AppendOrFlush(accumulator, LookupSettingLines(805, -1, PjlText(ComputerName().c_str())));

        const WString document = BoundedText(documentName, kPathCapacity);
        const WString user = BoundedText(userName, kUserNameUnits);
        for (const JobSettingRow& row : kJobSettingTable) {
            AppendOrFlush(accumulator, JobSettingLines(row, view, codes, document, user));
        }

        AppendOrFlush(accumulator, kEnterLanguageLine);
        FlushHeader(accumulator);
        return accumulator.result;
    }
    // Out of memory part-way: the lines still to come are missing, and a job
    // printed with the printer's own defaults for them (one copy, no stapling)
    // is not the job that was asked for. What the spooler took stays the
    // header's beginning; the job is to fail.
    CATCH_RETURN(E_OUTOFMEMORY)
}
