// The Windows steps of BuildPjlHeader, open to the tests and the benchmark.
#pragma once

#include "common/module_context.h"
#include "core/pjl_header.h"
#include "platform/platform.h"
#include "settings/paper.h"

#include <cstdint>

// The system's conversions the header's texts take: WideCharToMultiByte with
// CP_UTF8 and with the system's code page (CP_ACP), as the plug-in always did.
PjlConverters SystemPjlConverters() noexcept;

// Finds the codes for paper number P and output paper number T (both as stored,
// 16-bit signed) from the printer's form list, kPaperTable and the paper-list
// file next to the plug-in's module of `modules`. A code not found is
// kCustomPaperCode.
// Never throws.
PrinterPaperCodes FindPrinterPaperCodes(const ModuleContext& modules, HANDLE hPrinter, int16_t paperNumber,
                                        int16_t outputPaperNumber) noexcept;
