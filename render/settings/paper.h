// Paper: the mapping of paper numbers between the sibling settings library,
// the PostScript driver's page sizes and the spooler's forms, over the core's
// paper table (core/paper_table.h, where the numberings are told).
#pragma once

#include "common/module_context.h"
#include "core/paper_table.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>

static_assert(kSiblingCustomPaper == DMPAPER_USER, "the sibling's custom size is Windows' user-defined paper");

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
