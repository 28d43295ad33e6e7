// The printer's paper codes for forms that only the paper-list file knows.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>

// One printer paper code the PJL header builder looks for.
struct PjlPaperQuery {
    const WCHAR* formName;  // null or empty: nothing to look for
    bool found;             // in: already found (skipped); out: found
    int32_t code;           // the code read from the file when found here
};

// Reads the "PJL_PAPER_LIST=" lines of the paper-list file next to `module` for
// every query not yet found: a line PJL_PAPER_LIST=<form name>=<code> gives the
// code (read as _wtoi reads it). Reading stops when all are found, at a line
// that begins with "[PAPER_LIST_END]" (checked before the line's keys), or at
// the end of the file.
void LookupPjlPaperCodes(HMODULE module, PjlPaperQuery* queries, size_t count);
