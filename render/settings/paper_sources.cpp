#include "settings/paper_sources.h"

#include "common/result_macros.h"

#include <new>

namespace {

constexpr DWORD kNoAnswer = static_cast<DWORD>(-1);
constexpr DWORD kMaxListEntries = 65535;

// A list that could not be allocated is handed back empty.
template <typename T>
SiblingListResult OutOfMemory(std::vector<T>& list) noexcept {
    list.clear();
    return SiblingListResult::OutOfMemory;
}

// Asks for a list of `unitsPerEntry` elements of T per entry, count first.
template <typename T>
SiblingListResult QueryList(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName, WORD capability,
                            size_t unitsPerEntry, std::vector<T>& list) {
    list.clear();
    const PFN_DrvDeviceCapabilities proc = FindSiblingDeviceCapabilities(sibling);
    if (proc == nullptr || printerName == nullptr) return SiblingListResult::NoList;
    PWSTR name = const_cast<PWSTR>(printerName);
    const DWORD count = proc(hPrinter, name, capability, nullptr, nullptr);
    if (count == 0 || count == kNoAnswer) return SiblingListResult::NoList;
    if (count > kMaxListEntries) return SiblingListResult::OutOfMemory;
    try {
        list.assign(static_cast<size_t>(count) * unitsPerEntry, T{});
    }
    CATCH_RETURN_VALUE(OutOfMemory(list))
    const DWORD filled = proc(hPrinter, name, capability, list.data(), nullptr);
    if (filled == 0 || filled == kNoAnswer) {
        list.clear();
        return SiblingListResult::NoList;
    }
    if (filled < count) list.resize(static_cast<size_t>(filled) * unitsPerEntry);
    return SiblingListResult::Ok;
}

}  // namespace

SiblingListResult QuerySiblingPapers(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName,
                                     std::vector<WORD>& papers) {
    return QueryList(sibling, hPrinter, printerName, DC_PAPERS, 1, papers);
}

SiblingListResult QuerySiblingPaperSizes(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName,
                                         std::vector<SiblingPaperSize>& sizes) {
    // The answer is an array of POINT: two 32-bit numbers per paper.
    std::vector<LONG> raw;
    const SiblingListResult result = QueryList(sibling, hPrinter, printerName, DC_PAPERSIZE, 2, raw);
    sizes.clear();
    if (result != SiblingListResult::Ok) return result;
    try {
        sizes.resize(raw.size() / 2);
    }
    CATCH_RETURN_VALUE(OutOfMemory(sizes))
    for (size_t i = 0; i < sizes.size(); ++i) sizes[i] = SiblingPaperSize{raw[i * 2], raw[i * 2 + 1]};
    return SiblingListResult::Ok;
}

SiblingListResult QuerySiblingPaperNames(HMODULE sibling, HANDLE hPrinter, const WCHAR* printerName,
                                         std::vector<WCHAR>& names) {
    return QueryList(sibling, hPrinter, printerName, DC_PAPERNAMES, kSiblingPaperNameUnits, names);
}

FormList ReadFormList(HANDLE hPrinter) {
    FormList list;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumFormsW(hPrinter, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return list;
    try {
        list.storage.assign(needed, 0);
    }
    CATCH_RETURN_VALUE(FormList())
    returned = 0;
    DWORD needed2 = 0;
    if (!EnumFormsW(hPrinter, 1, list.storage.data(), needed, &needed2, &returned)) return FormList();
    // Never more records than the buffer can hold, whatever the count says.
    const DWORD fit = static_cast<DWORD>(needed / sizeof(FORM_INFO_1W));
    list.count = returned < fit ? returned : fit;
    list.forms = reinterpret_cast<const FORM_INFO_1W*>(list.storage.data());
    return list;
}
