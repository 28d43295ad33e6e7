#include "settings/paper.h"

#include "common/result_macros.h"
#include "common/wtext.h"
#include "settings/paper_list.h"
#include "settings/paper_sources.h"

#include <climits>
#include <cstring>
#include <vector>

namespace {

// The text after "PS_PAPER_LIST=" in a line, or null when the line lacks the
// key or has nothing after it.
const WCHAR* PsPaperListText(const WCHAR* line) {
    const WCHAR* value = PaperListValue(line, WIDE("PS_PAPER_LIST="));
    return (value == nullptr || *value == 0) ? nullptr : value;
}

int32_t ClampInt(int32_t value, int32_t low, int32_t high) { return value < low ? low : (value > high ? high : value); }

// Smaller of the two list lengths: a sibling that answers fewer paper numbers
// than sizes (or names) must not make us read past its shorter list.
size_t CommonCount(size_t a, size_t b) { return a < b ? a : b; }

}  // namespace

int32_t FormUnitsToTenths(LONG thousandths) {
    // In 64 bits: a form of nearly LONG_MAX must not overflow when 50 is added.
    return static_cast<int32_t>((static_cast<int64_t>(thousandths) + 50) / 100);
}

const char* FindPageSizeKeyword(const ModuleContext& modules, const WCHAR* paperName) noexcept {
    const char* result = kCustomKeyword;
    if (paperName == nullptr || *paperName == 0) return result;
    try {
        ForEachPaperListLine(modules.module, [&](const WCHAR* line, size_t) -> bool {
            const WCHAR* keyword = PaperListEntryValue(PsPaperListText(line), paperName);
            if (keyword == nullptr || *keyword == 0) return true;
            // 255 bytes and the terminator; a longer keyword is no table keyword.
            char ansi[256] = {};
            const int bytes =
                WideCharToMultiByte(CP_ACP, 0, keyword, -1, ansi, static_cast<int>(sizeof(ansi)), nullptr, nullptr);
            if (bytes <= 0) return true;
            ansi[sizeof(ansi) - 1] = 0;
            const PaperRow* row = FindPaperRowByKeyword(ansi);
            if (row == nullptr) return true;
            result = row->keyword;
            return false;
        });
    }
    CATCH_RETURN_VALUE(kCustomKeyword)
    return result;
}

short CheckPaperNumber(const ModuleContext& modules, short paperNumber, HANDLE hPrinter) noexcept {
    if (FindPaperRow(paperNumber) != nullptr) return paperNumber;
    try {
        const FormList forms = ReadFormList(hPrinter);
        if (paperNumber < 1 || static_cast<DWORD>(paperNumber) > forms.count) return kSiblingCustomPaper;
        const WCHAR* formName = forms.forms[paperNumber - 1].pName;
        if (formName == nullptr || *formName == 0) return kSiblingCustomPaper;
        bool listed = false;
        ForEachPaperListLine(modules.module, [&](const WCHAR* line, size_t) -> bool {
            // Only the start of the text counts here, with or without "=" after
            // the name: a line for "A4 Extra" also vouches for a form "A4".
            const WCHAR* text = PsPaperListText(line);
            if (text != nullptr && WTextStartsWith(text, formName)) listed = true;
            return !listed;
        });
        return listed ? paperNumber : kSiblingCustomPaper;
    }
    CATCH_RETURN_VALUE(kSiblingCustomPaper)
}

HRESULT MatchSiblingPaper(const ModuleContext& modules, short* paperNumber, HANDLE hPrinter, const WCHAR* printerName,
                          DEVMODEW* copy) noexcept {
    if (paperNumber == nullptr || printerName == nullptr || copy == nullptr) return S_OK;
    try {
        std::vector<WORD> papers;
        std::vector<SiblingPaperSize> sizes;
        // Without either list there is nothing to map to; an allocation failure
        // here leaves the paper number as it is.
        if (QuerySiblingPapers(modules.sibling, hPrinter, printerName, papers) != SiblingListResult::Ok) return S_OK;
        if (QuerySiblingPaperSizes(modules.sibling, hPrinter, printerName, sizes) != SiblingListResult::Ok) return S_OK;
        const size_t n = CommonCount(papers.size(), sizes.size());
        if (n == 0) return S_OK;
        const short p = *paperNumber;
        for (size_t i = 0; i < n; ++i) {
            if (static_cast<short>(papers[i]) == p) return S_OK;
        }
        const FormList forms = ReadFormList(hPrinter);
        if (forms.count == 0) return S_OK;
        if (p == kDriverCustomPaper) {
            *paperNumber = kSiblingCustomPaper;
            copy->dmPaperWidth = static_cast<short>(ClampInt(copy->dmPaperWidth, 900, 3400));
            copy->dmPaperLength = static_cast<short>(ClampInt(copy->dmPaperLength, 1480, 5500));
            return S_OK;
        }
        RETURN_HR_IF(E_INVALIDARG, p < 1 || static_cast<DWORD>(p) > forms.count);
        const FORM_INFO_1W& form = forms.forms[p - 1];
        const int32_t width = FormUnitsToTenths(form.Size.cx);
        const int32_t length = FormUnitsToTenths(form.Size.cy);
        for (size_t i = 0; i < n; ++i) {
            if (PaperSizesMatch(sizes[i].width, sizes[i].length, width, length)) {
                *paperNumber = static_cast<short>(papers[i]);
                return S_OK;
            }
        }
        *paperNumber = kSiblingCustomPaper;
        return S_OK;
    }
    // Out of memory part-way: the paper number stays as it was.
    CATCH_RETURN_VALUE(S_OK)
}

HRESULT MatchSiblingCustomPaper(const ModuleContext& modules, short* paperNumber, HANDLE hPrinter,
                                const WCHAR* printerName, const DEVMODEW* copy) noexcept {
    if (paperNumber == nullptr || printerName == nullptr || copy == nullptr) return S_OK;
    HRESULT result = S_OK;
    try {
        std::vector<WORD> papers;
        std::vector<SiblingPaperSize> sizes;
        // A list that could not be allocated is reported at the end; the
        // mapping still goes as far as the lists it has allow.
        if (QuerySiblingPapers(modules.sibling, hPrinter, printerName, papers) == SiblingListResult::OutOfMemory) {
            result = E_OUTOFMEMORY;
            RENDER_TRACE_FAILURE(result, "QuerySiblingPapers");
        }
        if (QuerySiblingPaperSizes(modules.sibling, hPrinter, printerName, sizes) == SiblingListResult::OutOfMemory) {
            result = E_OUTOFMEMORY;
            RENDER_TRACE_FAILURE(result, "QuerySiblingPaperSizes");
        }
        if (papers.empty() || sizes.empty()) return result;
        if (ReadFormList(hPrinter).count == 0) return result;
        RETURN_HR_IF(E_INVALIDARG, *paperNumber < 1);
        const size_t n = CommonCount(papers.size(), sizes.size());
        for (size_t i = 0; i < n; ++i) {
            if (PaperSizesMatch(sizes[i].width, sizes[i].length, copy->dmPaperWidth, copy->dmPaperLength)) {
                *paperNumber = static_cast<short>(papers[i]);
                return result;
            }
        }
        *paperNumber = kSiblingCustomPaper;
        return result;
    }
    CATCH_RETURN(E_OUTOFMEMORY)
}

namespace {

// The display name the core helper reports for a "PageSize" keyword: at most
// the units within the size it reports, up to the first zero. Empty when the
// helper fails or reports nothing usable.
WString PageSizeDisplayName(IPrintCoreHelperPS* coreHelper, const char* keyword) {
    DWORD dataType = 0;
    PBYTE data = nullptr;
    DWORD size = 0;
    const HRESULT hr = coreHelper->GetOptionAttribute("PageSize", keyword, "DisplayName", &dataType, &data, &size);
    WString name;
    if (FAILED(hr) || data == nullptr) return name;
    const size_t units = size / 2;
    for (size_t i = 0; i < units; ++i) {
        const WCHAR unit = static_cast<WCHAR>(data[i * 2] | (data[i * 2 + 1] << 8));
        if (unit == 0) break;
        name.push_back(unit);
    }
    return name;
}

// dmFormName holds 31 units and a terminator; a longer name is cut there. The
// form is still selected by its position, which is what the driver goes by.
void SelectFormPosition(DEVMODEW* target, size_t position, const WCHAR* name) {
    target->dmPaperSize = static_cast<short>(position);
    WTextCopy(target->dmFormName, CCHFORMNAME, name);
}

}  // namespace

void SelectDriverForm(const ModuleContext& modules, DEVMODEW* target, HANDLE hPrinter, const WCHAR* printerName,
                      IPrintCoreHelperPS* coreHelper) noexcept {
    if (target == nullptr) return;
    try {
        const short p = target->dmPaperSize;
        std::vector<WORD> papers;
        std::vector<WCHAR> names;
        if (printerName != nullptr) {
            QuerySiblingPapers(modules.sibling, hPrinter, printerName, papers);
            QuerySiblingPaperNames(modules.sibling, hPrinter, printerName, names);
        }
        const size_t nameCount = names.size() / kSiblingPaperNameUnits;
        size_t index = papers.size();
        if (p != kSiblingCustomPaper) {
            for (size_t i = 0; i < papers.size(); ++i) {
                if (static_cast<short>(papers[i]) == p) {
                    index = i;
                    break;
                }
            }
        }
        if (index == papers.size()) {
            if (p != 0) target->dmPaperSize = kDriverCustomPaper;
            return;
        }

        const PaperRow* row = FindPaperRow(p);
        const char* keyword = nullptr;
        bool standard = false;
        if (row != nullptr) {
            keyword = row->keyword;
            standard = row->standard == 1;
        } else if (index < nameCount) {
            // The sibling's name field need not be terminated within its 64 units.
            const WCHAR* field = names.data() + index * kSiblingPaperNameUnits;
            const WString name(field, WTextLengthBounded(field, kSiblingPaperNameUnits));
            keyword = FindPageSizeKeyword(modules, name.c_str());
        } else {
            target->dmPaperSize = kDriverCustomPaper;
            return;
        }

        if (coreHelper == nullptr) return;
        // An empty display name counts as none: it would otherwise match any
        // form without a name.
        const WString displayName = PageSizeDisplayName(coreHelper, keyword);
        if (displayName.empty()) return;

        const FormList forms = ReadFormList(hPrinter);
        static const WCHAR kEmpty[1] = {0};
        for (DWORD j = 0; j < forms.count && j + 1 < static_cast<DWORD>(kDriverCustomPaper); ++j) {
            const FORM_INFO_1W& form = forms.forms[j];
            const WCHAR* formName = form.pName != nullptr ? form.pName : kEmpty;
            if (standard && form.Flags == FORM_BUILTIN) {
                if (WTextEqual(formName, displayName.c_str())) {
                    SelectFormPosition(target, j + 1, displayName.c_str());
                    break;
                }
                if (PaperSizesMatch(row->width, row->length, FormUnitsToTenths(form.Size.cx),
                                    FormUnitsToTenths(form.Size.cy))) {
                    SelectFormPosition(target, j + 1, formName);
                    break;
                }
            } else if (WTextEqual(formName, displayName.c_str())) {
                // Not a built-in form of a standard paper: the last form of that
                // name wins, so the walk goes on.
                SelectFormPosition(target, j + 1, displayName.c_str());
            }
        }
    }
    // Nothing allocated here outlives the call; the target keeps what it had.
    CATCH_TRACE()
}
