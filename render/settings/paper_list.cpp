#include "settings/paper_list.h"

#include "common/companion_path.h"
#include "common/result_macros.h"
#include "common/unique_handle.h"
#include "common/wtext.h"

#include <vector>

namespace {

using File = UniqueHandle<HANDLE, &CloseHandle>;

// The whole file as UTF-16LE units. An odd last byte is no unit and is dropped.
// False when the file cannot be opened or read, or holds no unit.
bool ReadUnits(HMODULE module, std::vector<WCHAR>& units) {
    WCHAR path[kPathCapacity] = {};
    if (!BuildCompanionPath(module, kPaperListDirectoryCapacity, WIDE("QM22T.ini"), path)) return false;
    const HANDLE opened =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // CreateFileW fails with INVALID_HANDLE_VALUE rather than null; that is never owned.
    const File file{opened == INVALID_HANDLE_VALUE ? nullptr : opened};
    if (!file) return false;
    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(file.Get(), &sizeHigh);
    if (size == INVALID_FILE_SIZE || sizeHigh != 0 || size < 2) return false;

    std::vector<BYTE> bytes(size);
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.data() + total, size - total, &got, nullptr)) return false;
        if (got == 0) break;  // the file shrank since its size was asked
        total += got;
    }
    const size_t count = total / 2;
    if (count == 0) return false;
    units.resize(count);
    for (size_t i = 0; i < count; ++i) units[i] = static_cast<WCHAR>(bytes[i * 2] | (bytes[i * 2 + 1] << 8));
    return true;
}

}  // namespace

bool ReadPaperList(HMODULE module, PaperListVisitor visit, void* context) noexcept {
    if (visit == nullptr) return false;
    try {
        std::vector<WCHAR> units;
        if (!ReadUnits(module, units)) return false;
        // The text ends at its first zero unit, as a zero-terminated buffer would.
        size_t end = 0;
        while (end < units.size() && units[end] != 0) ++end;

        WString line;
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
        return true;
    }
    CATCH_RETURN_VALUE(false)
}

const WCHAR* PaperListValue(const WCHAR* line, const WCHAR* key) {
    const WCHAR* found = WTextFind(line, key);
    return found == nullptr ? nullptr : found + WTextLength(key);
}

const WCHAR* PaperListEntryValue(const WCHAR* text, const WCHAR* name) {
    if (text == nullptr || name == nullptr || *name == 0) return nullptr;
    if (!WTextStartsWith(text, name)) return nullptr;
    const WCHAR* after = text + WTextLength(name);
    return *after == u'=' ? after + 1 : nullptr;
}

bool IsPaperListEnd(const WCHAR* line) { return line != nullptr && WTextStartsWith(line, WIDE("[PAPER_LIST_END]")); }
