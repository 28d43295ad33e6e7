#include "settings/paper_list.h"

#include "common/companion_path.h"
#include "common/result_macros.h"
#include "common/unique_handle.h"
#include "common/wtext.h"

#include <vector>

namespace {

using File = UniqueHandle<HANDLE, &CloseHandle>;

}  // namespace

bool ReadPaperListBytes(HMODULE module, std::vector<BYTE>& bytes) {
    bytes.clear();
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

    bytes.resize(size);
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.data() + total, size - total, &got, nullptr)) {
            bytes.clear();
            return false;
        }
        if (got == 0) break;  // the file shrank since its size was asked
        total += got;
    }
    bytes.resize(total);
    return true;
}

bool ReadPaperList(HMODULE module, PaperListVisitor visit, void* context) noexcept {
    if (visit == nullptr) return false;
    try {
        std::vector<BYTE> bytes;
        if (!ReadPaperListBytes(module, bytes)) return false;
        return ParsePaperList(ByteRange(bytes.data(), bytes.size()), visit, context).Ok();
    }
    CATCH_RETURN_VALUE(false)
}
