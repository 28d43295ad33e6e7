#include "core/paper_list.h"

#include "core/core_failure.h"
#include "core/text16.h"

#include <vector>

namespace {

bool Pending(const PjlPaperQuery& query) { return !query.found && query.formName != nullptr && *query.formName != 0; }

}  // namespace

Status ParsePaperList(ByteRange bytes, PaperListVisitor visit, void* context) noexcept {
    CORE_RETURN_IF(kStatusInvalidArgument, visit == nullptr);
    const size_t count = bytes.size / 2;
    if (count == 0) return kStatusInvalidData;
    try {
        std::vector<Char16> units(count);
        for (size_t i = 0; i < count; ++i) units[i] = static_cast<Char16>(bytes[i * 2] | (bytes[i * 2 + 1] << 8));
        // The text ends at its first zero unit, as a zero-terminated buffer would.
        size_t end = 0;
        while (end < units.size() && units[end] != 0) ++end;

        Text16 line;
        size_t start = 0;
        while (start < end) {
            size_t stop = start;
            while (stop < end && units[stop] != u'\n') ++stop;
            const size_t length = stop - start;
            const size_t next = stop + 1;
            // A line longer than the format allows is passed over whole (see
            // kPaperListLineUnits); the text after it is not taken for a new line.
            if (length <= kPaperListLineUnits) {
                size_t kept = length;
                if (kept > 0 && units[start + kept - 1] == u'\r') --kept;
                if (!(kept > 0 && units[start] == u';')) {
                    line.assign(units.data() + start, kept);
                    if (!visit(line.c_str(), line.size(), context)) break;
                }
            }
            start = next;
        }
        return kStatusOk;
    }
    CORE_CATCH_RETURN()
}

const Char16* PaperListValue(const Char16* line, const Char16* key) {
    const Char16* found = WTextFind(line, key);
    return found == nullptr ? nullptr : found + WTextLength(key);
}

const Char16* PaperListEntryValue(const Char16* text, const Char16* name) {
    if (text == nullptr || name == nullptr || *name == 0) return nullptr;
    if (!WTextStartsWith(text, name)) return nullptr;
    const Char16* after = text + WTextLength(name);
    return *after == u'=' ? after + 1 : nullptr;
}

bool IsPaperListEnd(const Char16* line) { return line != nullptr && WTextStartsWith(line, TEXT16("[PAPER_LIST_END]")); }

bool AnyPjlPaperQueryPending(const PjlPaperQuery* queries, size_t count) {
    for (size_t i = 0; queries != nullptr && i < count; ++i) {
        if (Pending(queries[i])) return true;
    }
    return false;
}

Status LookupPjlPaperCodes(ByteRange bytes, PjlPaperQuery* queries, size_t count) noexcept {
    return ForEachPaperListLine(bytes, [&](const Char16* line, size_t) -> bool {
        if (IsPaperListEnd(line)) return false;
        const Char16* value = PaperListValue(line, TEXT16("PJL_PAPER_LIST="));
        if (value == nullptr || *value == 0) return true;
        for (size_t i = 0; i < count; ++i) {
            if (!Pending(queries[i])) continue;
            const Char16* code = PaperListEntryValue(value, queries[i].formName);
            if (code == nullptr || *code == 0) continue;
            queries[i].code = WTextToInt(code);
            queries[i].found = true;
        }
        return AnyPjlPaperQueryPending(queries, count);
    });
}
