// PJL job header on Windows: written straight to the spooler at the start of
// every job, ahead of any PostScript, so the printer takes its job settings
// from it. The core builds it (core/pjl_header.h); this side gathers its inputs
// and writes it.
#pragma once

#include "common/module_context.h"
#include "core/pjl_header.h"
#include "platform/platform.h"

#include <cstddef>

// Builds the job header from `settings` (a copy of the first
// kPjlHeaderSettingsBytes of the settings block, date already settled) and
// writes it to the spooler on hPrinter in chunks of at most kHeaderChunkBytes,
// each a run of whole CR LF lines.
// Of a chunk the spooler takes only in part, the rest is offered again until
// all is taken. documentName and userName are zero-terminated; they are read up
// to their terminator or the capacity of the caller's buffers (kPathCapacity
// and kUserNameUnits). A null pointer counts as the empty text. Without
// settings there is nothing to say about the job, and no header is written
// (S_OK).
//
// S_OK when the whole header reached the spooler. A write that fails or takes
// nothing ends the header there (E_FAIL, the spooler's error, or
// ERROR_WRITE_FAULT for a write that took nothing, left as the last error), and
// so does a shortage of memory while it is built (E_OUTOFMEMORY): what the
// spooler holds is then the header's beginning, never lines with a gap between
// them, and the job is no longer whole. Paper codes that only the paper-list
// file knows are read from the file next to the plug-in's module of `modules`.
[[nodiscard]] HRESULT BuildPjlHeader(const ModuleContext& modules, HANDLE hPrinter, const BYTE* settings,
                                     const WCHAR* documentName, const WCHAR* userName) noexcept;
