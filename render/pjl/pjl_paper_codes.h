// The printer's paper codes for forms that only the paper-list file knows.
#pragma once

#include "core/paper_list.h"
#include "platform/platform.h"

#include <cstddef>

// The core's LookupPjlPaperCodes over the paper-list file next to `module`,
// read only when some query is still pending. A file that cannot be read finds
// nothing.
void LookupPjlPaperCodes(HMODULE module, PjlPaperQuery* queries, size_t count);
