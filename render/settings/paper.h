// Paper: the built-in paper table and the mapping of paper numbers between the
// sibling settings library, the PostScript driver's page sizes and the
// spooler's forms.
//
// Three numberings meet here. Public DEVMODE paper numbers are sibling paper
// numbers (the table below, plus the sibling's own above kSiblingCustomPaper)
// or 1-based positions in the printer's form list; kSiblingCustomPaper is the
// sibling's custom size and kDriverCustomPaper the PostScript driver's custom
// page size.
#pragma once

#include "common/module_context.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>

constexpr short kSiblingCustomPaper = DMPAPER_USER;
constexpr short kDriverCustomPaper = 32767;

// The keyword that stands for "no page-size keyword found".
constexpr const char* kCustomKeyword = "custom";

struct PaperRow {
    int32_t number;       // sibling paper number
    const char* keyword;  // the PostScript driver's "PageSize" option
    int32_t width;        // tenths of a millimetre
    int32_t length;       // tenths of a millimetre
    int32_t code;         // the printer's paper code in the PJL header
    int32_t standard;     // 1: may also be found among the built-in forms by its size
};

constexpr size_t kPaperRowCount = 30;
// Searched in order; the first match wins.
extern const PaperRow kPaperTable[kPaperRowCount];

// The first row whose number equals the 16-bit paper number, or null.
const PaperRow* FindPaperRow(short paperNumber);
// The row whose keyword equals keyword byte for byte, or null.
const PaperRow* FindPaperRowByKeyword(const char* keyword);

// Sizes in tenths of a millimetre match when both differ by at most 2.
bool PaperSizesMatch(int32_t width, int32_t length, int32_t otherWidth, int32_t otherLength);
// A form size in thousandths of a millimetre, rounded to tenths: (x + 50) / 100.
int32_t FormUnitsToTenths(LONG thousandths);

// ---------------------------------------------------------------------------
// Mapping operations. They read the paper-list file next to the plug-in's
// module of `modules`, ask the sibling library's DrvDeviceCapabilities (looked
// up at every call) and the spooler's EnumFormsW afresh at every call; nothing
// is cached.

// The page-size keyword that the paper-list file's "PS_PAPER_LIST=" lines give
// paperName: a kPaperTable keyword (static text), or "custom".
const char* FindPageSizeKeyword(const ModuleContext& modules, const WCHAR* paperName) noexcept;

// paperNumber when it is a kPaperTable number, or the position of a form whose
// name a "PS_PAPER_LIST=" line begins with; otherwise kSiblingCustomPaper.
short CheckPaperNumber(const ModuleContext& modules, short paperNumber, HANDLE hPrinter) noexcept;

// Rewrites *paperNumber from the driver's numbering to the sibling's (and may
// clamp copy->dmPaperWidth/dmPaperLength for the driver's custom size). S_OK,
// or E_INVALIDARG for a number that is neither listed by the sibling nor a form
// position. A null printer name, paper number or copy changes nothing.
[[nodiscard]] HRESULT MatchSiblingPaper(const ModuleContext& modules, short* paperNumber, HANDLE hPrinter,
                                        const WCHAR* printerName, DEVMODEW* copy) noexcept;

// Rewrites *paperNumber to the sibling paper whose size matches copy's custom
// width and length, or kSiblingCustomPaper. S_OK, E_OUTOFMEMORY when a list could not be
// allocated, or E_INVALIDARG for a paper number below 1.
[[nodiscard]] HRESULT MatchSiblingCustomPaper(const ModuleContext& modules, short* paperNumber, HANDLE hPrinter,
                                              const WCHAR* printerName, const DEVMODEW* copy) noexcept;

// Rewrites target->dmPaperSize (and dmFormName, at most 31 units) from the
// sibling's numbering to the driver's form positions.
void SelectDriverForm(const ModuleContext& modules, DEVMODEW* target, HANDLE hPrinter, const WCHAR* printerName,
                      IPrintCoreHelperPS* coreHelper) noexcept;
