#include "pjl/pjl_paper_codes.h"

#include "common/result_macros.h"
#include "settings/paper_list.h"

#include <vector>

void LookupPjlPaperCodes(HMODULE module, PjlPaperQuery* queries, size_t count) {
    if (!AnyPjlPaperQueryPending(queries, count)) return;
    try {
        std::vector<BYTE> bytes;
        if (!ReadPaperListBytes(module, bytes)) return;
        // A file without a unit or without room to parse finds nothing, as one that is missing.
        (void)LookupPjlPaperCodes(ByteRange(bytes.data(), bytes.size()), queries, count);
    }
    CATCH_TRACE()
}
