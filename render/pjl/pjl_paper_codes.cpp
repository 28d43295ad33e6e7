#include "pjl/pjl_paper_codes.h"

#include "common/wtext.h"
#include "settings/paper_list.h"

namespace {

bool Pending(const PjlPaperQuery& query) { return !query.found && query.formName != nullptr && *query.formName != 0; }

bool AnyPending(const PjlPaperQuery* queries, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (Pending(queries[i])) return true;
    }
    return false;
}

}  // namespace

void LookupPjlPaperCodes(HMODULE module, PjlPaperQuery* queries, size_t count) {
    if (queries == nullptr || !AnyPending(queries, count)) return;
    ForEachPaperListLine(module, [&](const WCHAR* line, size_t) -> bool {
        if (IsPaperListEnd(line)) return false;
        const WCHAR* value = PaperListValue(line, WIDE("PJL_PAPER_LIST="));
        if (value == nullptr || *value == 0) return true;
        for (size_t i = 0; i < count; ++i) {
            if (!Pending(queries[i])) continue;
            const WCHAR* code = PaperListEntryValue(value, queries[i].formName);
            if (code == nullptr || *code == 0) continue;
            queries[i].code = WTextToInt(code);
            queries[i].found = true;
        }
        return AnyPending(queries, count);
    });
}
