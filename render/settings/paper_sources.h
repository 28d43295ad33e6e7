// Where paper lists come from: the sibling library's DrvDeviceCapabilities and
// the spooler's form list. Every call asks afresh and owns what it returns.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The export `name` of the sibling library as a Function, looked up at every
// call; null when the library is not loaded (null) or lacks it.
template <typename Function>
Function FindSiblingExport(HMODULE sibling, const char* name) {
    static_assert(sizeof(Function) == sizeof(FARPROC), "function pointer sizes");
    const FARPROC found = sibling != nullptr ? GetProcAddress(sibling, name) : nullptr;
    Function function = nullptr;
    std::memcpy(&function, &found, sizeof function);
    return function;
}
inline PFN_DrvDeviceCapabilities FindSiblingDeviceCapabilities(HMODULE sibling) {
    return FindSiblingExport<PFN_DrvDeviceCapabilities>(sibling, "DrvDeviceCapabilities");
}

constexpr size_t kSiblingPaperNameUnits = 64;

struct SiblingPaperSize {
    int32_t width;  // tenths of a millimetre
    int32_t length;
};

// The three paper lists of the sibling library `sibling`, each asked twice (count, then into a zeroed buffer of
// that count). A count answer of 0 or -1 gives an empty list. When the second
// answer is smaller than the first, the list is cut to it; -1 empties it.
enum class SiblingListResult { Ok, NoList, OutOfMemory };
SiblingListResult QuerySiblingPapers(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName,
                                     std::vector<WORD>& papers);
SiblingListResult QuerySiblingPaperSizes(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName,
                                         std::vector<SiblingPaperSize>& sizes);
// Names of 64 units each, stored one after another (entry i at i * 64).
// A count above 65535 cannot be a list of 16-bit paper numbers: it is refused
// as OutOfMemory rather than attempted as a huge allocation.
SiblingListResult QuerySiblingPaperNames(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName,
                                         std::vector<WCHAR>& names);

// The printer's forms from EnumFormsW level 1, asked twice. A failed call, a
// size of 0 or an allocation failure give an empty list. The FORM_INFO_1W
// records and the names they point to live in storage.
struct FormList {
    FormList() = default;
    FormList(const FormList&) = delete;  // forms points into storage
    FormList& operator=(const FormList&) = delete;
    FormList(FormList&&) = default;
    FormList& operator=(FormList&&) = default;

    std::vector<BYTE> storage;
    const FORM_INFO_1W* forms = nullptr;
    DWORD count = 0;
};
FormList ReadFormList(HANDLE hPrinter);
