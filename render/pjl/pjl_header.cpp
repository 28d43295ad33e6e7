// The PJL job header: identification, one group of "@PJL SET" lines per job
// setting, and the switch to PostScript, written straight to the spooler.
#include "pjl/pjl_header.h"

#include "common/companion_path.h"
#include "common/module_state.h"
#include "common/wtext.h"
#include "pjl/pjl_header_parts.h"
#include "pjl/pjl_settings.h"
#include "settings/job_identity.h"
#include "settings/paper.h"
#include "settings/paper_list.h"
#include "settings/private_part.h"
#include "settings/settings_access.h"

#include <memory>
#include <new>
#include <string>

namespace {

constexpr char kUniversalExitLine[] = "\x1B%-12345X@PJL\r\n";
constexpr char kCommentLine[] = "@PJL COMMENT KELV Printer Driver\r\n";
constexpr char kEnterLanguageLine[] = "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";

// Room the computer name is read into.
constexpr DWORD kHostNameUnits = 512;

constexpr int32_t kCustomPaperCode = 256;
constexpr int32_t kAutoPaperCode = 0;

}  // namespace

// The job settings in the order the printer expects them.
constexpr JobSettingRow JobSettingTable[kJobSettingCount] = {
    {3, 1226, 1, JobSource::Key},          // ZTWAITAFTERPROOF
    {4, 1228, 1, JobSource::Copies},       // COPIES or QTY
    {155, 1142, 1, JobSource::Key},        // ZTROTATE
    {200, 3824, 1, JobSource::Key},        // ZTDITHERTYPE
    {201, 1227, 1, JobSource::Key},        // ZTPRINTDENSITY
    {203, 3826, 1, JobSource::Key},        // ZTLINESMOOTHING
    {204, 3827, 1, JobSource::Key},        // ZTSCREENING
    {205, 3828, 1, JobSource::Key},        // ZTGAMMAADJUSTMENT
    {206, 3842, 2, JobSource::Key},        // ZTGCBRIGHTNESS
    {207, 3844, 2, JobSource::Key},        // ZTGCCONTRAST
    {208, 3846, 2, JobSource::Value},      // ZTGCCYAN
    {209, 3848, 2, JobSource::Value},      // ZTGCMAGENTA
    {210, 3850, 2, JobSource::Value},      // ZTGCYELLOW
    {211, 3852, 2, JobSource::Value},      // ZTGCBLACK
    {221, 3856, 2, JobSource::Value},      // ZTGCRED
    {215, 4892, 1, JobSource::Key},        // ZTBARCODEPROOF
    {216, 4902, 1, JobSource::Key},        // ZTENVELOPEIMAGEPROCESSING
    {326, 3800, 1, JobSource::Key},        // ZTOUTPUTTRAY
    {327, 3801, 1, JobSource::Key},        // ZTOUTPUTFACE
    {328, 3802, 1, JobSource::Key},        // ZTCONTINUOUSOUTPUT
    {415, 5174, 129, JobSource::Text},     // ZTJOBCOMMENT
    {0, 1223, 1, JobSource::Key},          // ZTOUTPUTMODE
    {1, 372, 2, JobSource::Key},           // DUPLEX (and BINDING)
    {2, 374, 2, JobSource::Key},           // ZTDUPLEXMIXEDPAGE
    {5, 376, 2, JobSource::PageSizeCode},  // ZTPAGESIZE
    {6, 1156, 4, JobSource::Value},        // ZTPAGESIZEWIDTH
    {7, 1160, 4, JobSource::Value},        // ZTPAGESIZEHEIGHT
    {8, 378, 2, JobSource::Key},           // ORIENTATION
    {13, 386, 1, JobSource::Key},          // ZTMANUALZOOM
    {14, 388, 2, JobSource::Value},        // ZTZOOMRATE
    {15, 390, 2, JobSource::OutputPaperCode},  // PAPER
    {16, 1172, 4, JobSource::Value},       // ZTTARGETPAPERSIZEWIDTH
    {17, 1176, 4, JobSource::Value},       // ZTTARGETPAPERSIZEHEIGHT
    {18, 392, 2, JobSource::Key},          // AUTOSELECT (and MEDIASOURCE)
    {24, 396, 4, JobSource::Key},          // MEDIATYPE
    {103, 814, 1, JobSource::Key},         // ZTHEADERFOOTERPRINT
    {104, 815, 1, JobSource::Key},         // ZTPAGENUMPRINT
    {105, 816, 1, JobSource::Key},         // ZTPAGENUMTRANSPARENT
    {106, 818, 2, JobSource::Value},       // ZTPAGENUMSTARTNUM
    {107, 820, 2, JobSource::Value},       // ZTPAGENUMSTARTPAGE
    {108, 822, 1, JobSource::Key},         // ZTPAGENUMPOSITION
    {109, 824, 64, JobSource::Text},       // ZTSTAMPPAGEFONT
    {111, 954, 2, JobSource::Value},       // ZTSTAMPPAGESIZE
    {112, 956, 1, JobSource::Key},         // ZTDATEPRINT
    {113, 957, 1, JobSource::Key},         // ZTDATETRANSPARENT
    {114, 958, 1, JobSource::Key},         // ZTDATETARGETPAGE
    {115, 959, 1, JobSource::Key},         // ZTDATESPECIFY
    {116, 960, 24, JobSource::Text},       // ZTDATEINFO
    {117, 1008, 1, JobSource::Key},        // ZTDATEPOSITION
    {118, 1010, 64, JobSource::Text},      // ZTSTAMPDATEFONT
    {120, 1140, 2, JobSource::Value},      // ZTSTAMPDATESIZE
    {202, 3825, 1, JobSource::Key},        // ZTIMAGEQUALITY
    {300, 1144, 1, JobSource::Key},        // ZTBINDING
    {301, 1145, 1, JobSource::Key},        // ZTGUTTER
    {302, 1146, 2, JobSource::Value},      // ZTGUTTERDISTANCE
    {303, 1150, 1, JobSource::Key},        // ZTGUTTERAUTOREDUCING
    {317, 3786, 1, JobSource::Key},        // ZTJOG
    {318, 3787, 1, JobSource::Key},        // ZTJOBSEPSHEET
    {319, 3788, 2, JobSource::Key},        // ZTJOBSEPSHEETTRAY
    {320, 3790, 1, JobSource::Key},        // ZTJOBSEPSHEETTEXT
    {321, 3791, 1, JobSource::Key},        // ZTCOVERSHEET
    {322, 3792, 1, JobSource::Key},        // ZTFRONTCOVERSHEET
    {323, 3794, 2, JobSource::Key},        // ZTFRONTCOVERSHEETTRAY
    {324, 3796, 1, JobSource::Key},        // ZTBACKCOVERSHEET
    {325, 3798, 2, JobSource::Key},        // ZTBACKCOVERSHEETTRAY
    {416, 4923, 1, JobSource::Key},        // ZTPRINTSPEED
    {19, 1229, 1, JobSource::Key},         // ZTPAGETRAY
    {20, 1230, 500, JobSource::PageList},  // ZTPAGETRAYSTANDARD
    {21, 1730, 500, JobSource::PageList},  // ZTPAGETRAYTRAY1
    {22, 2230, 500, JobSource::PageList},  // ZTPAGETRAYTRAY2
    {23, 8584, 500, JobSource::PageList},  // ZTPAGETRAYEXTERNALFEEDER
    {150, 3746, 1, JobSource::Key},        // ZTIMAGESHIFT
    {151, 3748, 2, JobSource::Value},      // ZTIMAGESHIFTFRONTV
    {152, 3752, 2, JobSource::Value},      // ZTIMAGESHIFTFRONTH
    {153, 3756, 2, JobSource::Value},      // ZTIMAGESHIFTBACKV
    {154, 3760, 2, JobSource::Value},      // ZTIMAGESHIFTBACKH
    {212, 4376, 1, JobSource::Key},        // ZTBARCODEAREA
    {213, 4380, 256, JobSource::Text},     // ZTBARCODESELECTION
    {214, 4894, 2, JobSource::Key},        // ZTBARCODEDENSITY
    {217, 3858, 1, JobSource::Key},        // ZTCOLORPROFILE
    {218, 3860, 256, JobSource::Text},     // ZTOUTPUTPROFILESELECTION
    {219, 4372, 1, JobSource::Key},        // ZTRENDERINGINTENT
    {220, 4374, 2, JobSource::Key},        // ZTMAXDROPS
    {304, 3764, 1, JobSource::Key},        // ZTSTAPLEMODE
    {305, 3766, 1, JobSource::Key},        // ZTPUNCHMODE
    {306, 3767, 1, JobSource::Key},        // ZTFOLDMODE
    {307, 3768, 1, JobSource::Key},        // ZTFOLDINNEROUTER
    {308, 3769, 1, JobSource::Key},        // ZTFOLDBINDING
    {400, 1151, 1, JobSource::Key},        // ZTREVERSEORDER
    {408, 6977, 1, JobSource::Key},        // ZTOWNERNAME
    {409, 6978, 21, JobSource::OwnerName},   // USERNAME
    {410, 5432, 1, JobSource::Key},        // ZTJOBNAME
    {411, 5434, 256, JobSource::JobName},  // JOBNAME
    {412, 4903, 1, JobSource::Key},        // ZTSECRETNUM
    {413, 4904, 9, JobSource::Text},       // PASSWORD
    {414, 4922, 1, JobSource::Key},        // ZTHIDEJOB
    {9, 382, 1, JobSource::Key},           // ZTMIXEDPAGESIZE
    {10, 383, 1, JobSource::Key},          // ZTDUPLEXSMALLPAGE
    {11, 384, 1, JobSource::Key},          // ZTDUPLEXBIGPAGE
    {12, 385, 1, JobSource::Key},          // ZTROTATEBIGPAGE
    {25, 3230, 1, JobSource::Key},         // ZTOUTPUTMETHOD
    {26, 3231, 1, JobSource::OutputBox},   // ZTOUTPUTBOX
    {100, 400, 1, JobSource::Key},         // ZTMULTIUP
    {101, 401, 1, JobSource::Key},         // ZTMULTIUPSINGLEPAGE
    {102, 402, 1, JobSource::Key},         // ZTBOOKLET
    {309, 3770, 1, JobSource::Key},        // ZTBOOKLETBINDING
    {310, 3771, 1, JobSource::Key},        // ZTBOOKLETSPLITTING: read unsigned, so a stored -1 is 255 (AUTO)
    {311, 3774, 1, JobSource::Key},        // ZTBOOKLETGUTTER
    {312, 3776, 2, JobSource::Value},      // ZTBOOKLETGUTTERDISTANCE
    {313, 3780, 1, JobSource::Key},        // ZTBOOKLETGUTTERAUTOREDUCING
    {314, 3781, 1, JobSource::Key},        // ZTBOOKLETCOVER
    {315, 3782, 1, JobSource::Key},        // ZTWAITINGEXCEPTCOVER
    {316, 3784, 2, JobSource::Key},        // ZTBOOKLETCOVERSHEETTRAY
    {401, 5946, 1, JobSource::Key},        // ZTFORM
    {402, 5947, 1, JobSource::Key},        // ZTFORMPATTERN
    {403, 5948, 1, JobSource::Key},        // ZTFORMSURFACE
    {404, 5949, 1, JobSource::Key},        // ZTFORMSEPARATE
    {405, 5952, 256, JobSource::Text},     // ZTFORMSELECT1
    {406, 6464, 256, JobSource::Text},     // ZTFORMSELECT2
    {407, 6976, 1, JobSource::Key},        // ZTPRIORITYLAYER
};
// A row lost in editing would be zero-filled by the declared bound.
static_assert(JobSettingTable[kJobSettingCount - 1].width != 0, "120 job settings");

namespace {

// Options are one byte unsigned (so a stored -1 arrives as 255), two bytes
// signed, four bytes as stored.
int32_t ReadStoredNumber(SettingsView view, size_t offset, size_t width)
{
    switch (width) {
    case 1: return ReadSettingU8(view, offset);
    case 2: return ReadSettingS16(view, offset);
    default: return ReadSettingS32(view, offset);
    }
}

WString BoundedText(const WCHAR* text, size_t capacity)
{
    return text == nullptr ? WString() : WString(text, WTextLengthBounded(text, capacity));
}

// A name the settings carry when its switch is on and the name is not empty,
// else the fallback the caller settled.
WString NameOrFallback(SettingsView view, size_t switchOffset, size_t offset, size_t units, const WString& fallback)
{
    if (ReadSettingU8(view, switchOffset) != 0) {
        WString stored = ReadSettingText(view, offset, units);
        if (!stored.empty()) return stored;
    }
    return fallback;
}

// When the computer name cannot be read, ZTHOSTNAME goes out empty: the printer
// still gets a well-formed header, and no made-up name could be told apart from
// a real computer's.
WString ComputerName()
{
    WCHAR name[kHostNameUnits] = {};
    DWORD size = kHostNameUnits;
    if (!GetComputerNameExW(ComputerNameNetBIOS, name, &size)) return WString();
    return WString(name, WTextLengthBounded(name, kHostNameUnits));
}

std::string JobSettingLines(const JobSettingRow& row, SettingsView view, const PrinterPaperCodes& codes,
                            const WString& documentName, const WString& userName)
{
    switch (row.source) {
    case JobSource::Key:
        return LookupSettingLines(row.setting, ReadStoredNumber(view, row.offset, row.width), PjlNoValue());
    case JobSource::Value:
        return LookupSettingLines(row.setting, -1, PjlNumber(ReadStoredNumber(view, row.offset, row.width)));
    case JobSource::Text:
        return LookupSettingLines(row.setting, -1, PjlText(ReadSettingText(view, row.offset, row.width).c_str()));
    case JobSource::PageList:
        return LookupSettingLines(row.setting, -1, PjlText(DecodePageList(view, row.offset).c_str()));
    case JobSource::Copies:
        return LookupSettingLines(row.setting, ReadStoredNumber(view, row.offset, row.width),
                                  PjlNumber(ReadSettingS16(view, kCopyCountOffset)));
    case JobSource::PageSizeCode:
        return LookupSettingLines(row.setting, codes.pageSize, PjlNoValue());
    case JobSource::OutputPaperCode:
        return LookupSettingLines(row.setting, codes.outputPaper, PjlNoValue());
    case JobSource::OwnerName:
        return LookupSettingLines(
            row.setting, -1,
            PjlText(NameOrFallback(view, kOwnerNameSwitchOffset, row.offset, row.width, userName).c_str()));
    case JobSource::JobName:
        return LookupSettingLines(
            row.setting, -1,
            PjlText(NameOrFallback(view, kJobNameSwitchOffset, row.offset, row.width, documentName).c_str()));
    case JobSource::OutputBox: {
        const int32_t box = ReadStoredNumber(view, row.offset, row.width);
        if (box == 0) return LookupSettingLines(row.setting, 0, PjlNoValue());
        return LookupSettingLines(kSharedBoxSetting, -1, PjlNumber(box));
    }
    }
    return std::string();
}

// Hands one chunk to the spooler, which may take less than it is offered: the
// rest goes again until all is taken. A failed write ends the chunk, as does a
// write that takes nothing (offering the same bytes again would only repeat
// it); the failure is the spooler's to report on the job, and the header has no
// way to recover what it could not deliver, so the next chunk is still offered.
void WriteToPrinter(HANDLE printer, const char* bytes, size_t count)
{
    while (count > 0) {
        DWORD written = 0;
        if (!WritePrinter(printer, const_cast<char*>(bytes), static_cast<DWORD>(count), &written)) return;
        if (written == 0) return;
        const size_t taken = written < count ? written : count;  // never more than was offered
        bytes += taken;
        count -= taken;
    }
}

// The printer's form list, level 1.
struct FormList {
    std::unique_ptr<BYTE[]> buffer;
    size_t count = 0;
    bool present = false;

    const FORM_INFO_1W& operator[](size_t i) const { return reinterpret_cast<const FORM_INFO_1W*>(buffer.get())[i]; }
};

FormList ReadFormList(HANDLE printer)
{
    FormList list;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumFormsW(printer, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return list;
    list.buffer.reset(new (std::nothrow) BYTE[needed]());
    if (!list.buffer) return list;
    returned = 0;
    if (!EnumFormsW(printer, 1, list.buffer.get(), needed, &needed, &returned)) {
        list.buffer.reset();
        return list;
    }
    list.present = true;
    // Never trust a count that the buffer cannot hold.
    const size_t room = needed / sizeof(FORM_INFO_1W);
    list.count = returned < room ? returned : room;
    return list;
}

}  // namespace

void AppendOrFlush(HeaderAccumulator& accumulator, const std::string& piece)
{
    if (piece.size() > kHeaderChunkBytes) return;
    if (accumulator.bytes.size() + piece.size() > kHeaderChunkBytes) FlushHeader(accumulator);
    accumulator.bytes.append(piece);
}

void FlushHeader(HeaderAccumulator& accumulator)
{
    if (accumulator.bytes.empty()) return;
    WriteToPrinter(accumulator.printer, accumulator.bytes.data(), accumulator.bytes.size());
    accumulator.bytes.clear();
}

PrinterPaperCodes FindPrinterPaperCodes(HANDLE hPrinter, int16_t paperNumber, int16_t outputPaperNumber)
{
    PrinterPaperCodes codes{kCustomPaperCode, kCustomPaperCode};
    bool pageFound = false;
    bool outputFound = false;
    const WCHAR* pageFormName = nullptr;
    const WCHAR* outputFormName = nullptr;

    const FormList forms = ReadFormList(hPrinter);
    if (forms.present) {
        const int32_t n = static_cast<int32_t>(forms.count);
        if (paperNumber <= n) {
            if (paperNumber == kCustomPaperCode) {
                pageFound = true;
            } else if (paperNumber >= 1) {
                pageFormName = forms[static_cast<size_t>(paperNumber - 1)].pName;
            }
        }
        if (outputPaperNumber <= n) {
            if (outputPaperNumber == kAutoPaperCode) {
                codes.outputPaper = kAutoPaperCode;
                outputFound = true;
            } else if (outputPaperNumber == kCustomPaperCode) {
                outputFound = true;
            } else if (outputPaperNumber >= 1) {
                outputFormName = forms[static_cast<size_t>(outputPaperNumber - 1)].pName;
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
        LookupPjlPaperCodes(moduleHandle, queries, queryCount);
        for (size_t i = 0; i < queryCount; ++i) {
            if (queries[i].found) *targets[i] = queries[i].code;
        }
    }
    return codes;
}

int BuildPjlHeader(HANDLE hPrinter, const BYTE* settings, const WCHAR* documentName, const WCHAR* userName)
{
    if (settings == nullptr) return 0;
    const SettingsView view{settings, kPjlHeaderSettingsBytes};
    HeaderAccumulator accumulator{hPrinter, std::string()};
    bool opened = false;
    try {
        // Room for a whole chunk up front: appending to the accumulator then
        // never allocates, so it can still be flushed when memory runs out.
        accumulator.bytes.reserve(kHeaderChunkBytes + 1);
        const PrinterPaperCodes codes = FindPrinterPaperCodes(
            hPrinter, ReadSettingS16(view, kPaperNumberOffset), ReadSettingS16(view, kOutputPaperOffset));

        AppendOrFlush(accumulator, kUniversalExitLine);
        opened = true;
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
        for (const JobSettingRow& row : JobSettingTable) {
            AppendOrFlush(accumulator, JobSettingLines(row, view, codes, document, user));
        }

        AppendOrFlush(accumulator, kEnterLanguageLine);
        FlushHeader(accumulator);
    } catch (...) {
        // Out of memory part-way: send what is built and still switch the
        // printer to PostScript, so the job prints with the printer's own
        // defaults for the settings that are missing. Before the first line
        // nothing has been sent, and nothing is.
        if (opened) {
            FlushHeader(accumulator);
            WriteToPrinter(hPrinter, kEnterLanguageLine, sizeof(kEnterLanguageLine) - 1);
        }
    }
    return 0;
}
