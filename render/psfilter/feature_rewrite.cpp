#include "psfilter/feature_rewrite.h"

#include "common/hex_text.h"
#include "common/wtext.h"
#include "psfilter/feature_blocks.h"
#include "psfilter/feature_passes.h"
#include "psfilter/feature_tables.h"
#include "settings/job_identity.h"
#include "settings/private_part.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOk = 0;
constexpr DWORD kInvalidParameter = 87;
constexpr DWORD kOutOfMemory = 14;


// Where a driver's block starts when its keyword (the '*' for a replace key,
// the keyword itself for an anchor) lies at keywordAt, or npos. The block must
// open exactly with "featurebegin{\r\n%%BeginFeature: *" right there: a keyword
// met anywhere else (inside a longer keyword, in PostScript code, after a
// different opener) is no block of ours to touch, and counting back from it
// would cut into unrelated text.
size_t BlockStartBefore(const std::string& text, size_t keywordAt, size_t openerBytes) {
    if (keywordAt < openerBytes) return std::string::npos;
    const size_t start = keywordAt - openerBytes;
    if (text.compare(start, kBlockOpenerLength, kBlockOpener) != 0) return std::string::npos;
    return start;
}

// The end of a driver's block whose comment line continues at `from`: just past
// its "}featurecleanup\r\n" line. A block counts only when another block follows
// it, so the last block of a piece stays as the driver wrote it. Whatever lies
// between the closing line and the next block is the driver's own code and
// stays; a block without a closing line before the next one is malformed and
// left alone (npos).
size_t DriverBlockEnd(const std::string& text, size_t from) {
    const size_t next = text.find(kBlockStart, from);
    if (next == std::string::npos) return std::string::npos;
    const size_t cleanup = text.find(kBlockCleanup, from);
    const size_t cleanupLength = std::strlen(kBlockCleanup);
    if (cleanup == std::string::npos || cleanup + cleanupLength > next) return std::string::npos;
    return cleanup + cleanupLength;
}

void ReplaceRange(std::string& text, size_t start, size_t end, const std::string& block) {
    text = Splice(start, text, block, text.substr(end));
}

// Inserting happens only at an offset above 0 with text behind it.
void InsertAt(std::string& text, size_t offset, const std::string& block) {
    if (offset == 0 || offset == std::string::npos || offset >= text.size()) return;
    text = Splice(offset, text, block, text.substr(offset));
}

std::vector<std::string> SplitAnchors(const char* anchors) {
    std::vector<std::string> list;
    std::string current;
    for (const char* p = anchors; *p != 0; ++p) {
        if (*p == '/') {
            list.push_back(current);
            current.clear();
        } else {
            current.push_back(*p);
        }
    }
    list.push_back(current);
    return list;
}

// ---------------------------------------------------------------------------
// Insert values.

std::string InsertTextValue(const InsertRow& row, const RewriteContext& context, const WString& userName,
                            const WString& dateText) {
    const SettingsView settings = context.settings;
    WString text;
    switch (row.source) {
    case InsertSource::Field: text = ReadFieldText(settings, row.offset, row.capacity); break;
    case InsertSource::Date: text = dateText; break;
    case InsertSource::OwnerName:
        text = ReadFieldText(settings, row.offset, row.capacity);
        if (ReadSettingU8(settings, kOwnerNameSwitchField) == 0 || text.empty()) text = userName;
        break;
    case InsertSource::JobName:
        text = ReadFieldText(settings, row.offset, row.capacity);
        if (ReadSettingU8(settings, kJobNameSwitchField) == 0 || text.empty()) {
            // The per-device buffer holds 520 units; never read past it.
            text.assign(context.documentName, WTextLengthBounded(context.documentName, kDocumentNameUnits - 1));
        }
        break;
    }
    const std::string utf8 = Utf8Text(text);
    return std::strcmp(row.keyword, kPlainTextKeyword) == 0 ? utf8 : UpperHex(utf8);
}

BlockResult BuildInsertBlock(const InsertRow& row, const RewriteContext& context, const WString& userName,
                             const WString& dateText, std::string& block) {
    switch (row.kind) {
    case InsertKind::Int32:
        return BuildNumberBlock(context.module, row.keyword, ReadSettingS32(context.settings, row.offset), block);
    case InsertKind::Int16:
        return BuildNumberBlock(context.module, row.keyword, ReadSettingS16(context.settings, row.offset), block);
    case InsertKind::PageList: {
        const std::string list = Utf8Text(DecodePageList(context.settings, row.offset));
        return BuildTextBlock(context.module, row.keyword, list, list, block);
    }
    case InsertKind::Text: {
        const std::string value = InsertTextValue(row, context, userName, dateText);
        return BuildTextBlock(context.module, row.keyword, value, value, block);
    }
    }
    return BlockResult::NoTemplate;
}

void PlaceInsertBlock(const InsertRow& row, const std::string& block, std::string& text) {
    const std::vector<std::string> anchors = SplitAnchors(row.anchors);

    if (anchors.size() == 1) {
        const std::string& anchor = anchors.front();
        const size_t at = text.find(anchor);
        if (at != std::string::npos) {
            if (block.find(anchor) != std::string::npos) {
                // The anchor names the entry's own keyword: the block takes the
                // place of the driver's block of that keyword.
                const size_t start = BlockStartBefore(text, at, kBlockOpenerLength);
                if (start == std::string::npos || start == 0) return;
                const size_t end = DriverBlockEnd(text, at + anchor.size());
                if (end == std::string::npos) return;
                ReplaceRange(text, start, end, block);
            } else {
                InsertAt(text, text.find(kBlockStart, at + anchor.size()), block);
            }
            return;
        }
        // A custom page size stands in for a missing page-size block, unless
        // it is the driver's "CustomPageSize True" block.
        if (anchor == "ZTPageSize ") {
            const size_t custom = text.find("CustomPageSize");
            if (custom == std::string::npos || custom == text.find("CustomPageSize True")) return;
            const size_t start = BlockStartBefore(text, custom, kBlockOpenerLength);
            if (start != std::string::npos) InsertAt(text, start, block);
        }
        return;
    }

    if (row.kind == InsertKind::PageList) {
        // In front of the earliest block of the list, once the page-tray block
        // (the last anchor) is there.
        size_t earliest = std::string::npos;
        bool lastFound = false;
        for (const std::string& anchor : anchors) {
            const size_t at = text.find(anchor);
            if (at != std::string::npos && (earliest == std::string::npos || at < earliest)) earliest = at;
            lastFound = at != std::string::npos;
        }
        if (!lastFound) return;
        const size_t start = BlockStartBefore(text, earliest, kBlockOpenerLength);
        if (start != std::string::npos) InsertAt(text, start, block);
        return;
    }

    for (const std::string& anchor : anchors) {
        const size_t at = text.find(anchor);
        if (at == std::string::npos) continue;
        const size_t next = text.find(kBlockStart, at + anchor.size());
        if (next == std::string::npos) continue;
        InsertAt(text, next, block);
        return;
    }
}

}  // namespace

// ---------------------------------------------------------------------------

WString FeatureUserName(SettingsView settings) { return JobUserName(settings); }

WString FeatureDateText(SettingsView settings) {
    if (ReadSettingU8(settings, kDateSwitchOffset) != 0) {
        return ReadFieldText(settings, kDateTextOffset, kDateTextUnits);
    }
    // Today's date is built here rather than written into the driver's date
    // field for the pass: the settings block stays untouched, so nothing else
    // can ever see a changed field, even when the rewrite fails part-way.
    return TodaysShortDate();
}

DWORD ReplacePass(const RewriteContext& context, std::string& text) {
    try {
        for (const ReplaceGroup& group : kReplaceGroups) {
            std::vector<std::string> values(group.count);
            DWORD fill = kOk;
            for (size_t i = 0; i < group.count; ++i) {
                const DWORD result = FillReplaceValue(group.rows[i], context.settings, values[i]);
                if (fill == kOk) fill = result;
            }
            if (fill != kOk) return fill;

            std::vector<std::string> blocks(group.count);
            for (size_t i = 0; i < group.count; ++i) {
                const char* keyword = group.rows[i].keyword;
                const BlockResult built = BuildTextBlock(context.module, keyword, values[i],
                                                         InvocationValue(keyword, values[i]), blocks[i]);
                if (built == BlockResult::Failed) return kOutOfMemory;
                if (built == BlockResult::NoTemplate) blocks[i].clear();
            }

            for (size_t i = 0; i < group.count; ++i) {
                if (blocks[i].empty()) continue;
                const std::string key = std::string("*") + group.rows[i].keyword + " ";
                const size_t at = text.find(key);
                if (at == std::string::npos) continue;
                // The '*' follows the opener without its own '*': 31 bytes back.
                const size_t start = BlockStartBefore(text, at, kBlockOpenerLength - 1);
                if (start == std::string::npos) continue;
                const size_t end = DriverBlockEnd(text, at + key.size());
                if (end == std::string::npos) continue;
                ReplaceRange(text, start, end, blocks[i]);
            }
        }
    } catch (...) {
        return kOutOfMemory;
    }
    return kOk;
}

DWORD InsertPass(const RewriteContext& context, std::string& text) {
    if (context.documentName == nullptr) return kInvalidParameter;
    try {
        const WString userName = FeatureUserName(context.settings);
        const WString dateText = FeatureDateText(context.settings);

        std::vector<std::string> blocks(kInsertRowCount);
        for (size_t i = 0; i < kInsertRowCount; ++i) {
            const BlockResult built = BuildInsertBlock(kInsertTable[i], context, userName, dateText, blocks[i]);
            if (built == BlockResult::Failed) return kOutOfMemory;
            if (built == BlockResult::NoTemplate) blocks[i].clear();
        }
        for (size_t i = 0; i < kInsertRowCount; ++i) {
            if (!blocks[i].empty()) PlaceInsertBlock(kInsertTable[i], blocks[i], text);
        }
    } catch (...) {
        return kOutOfMemory;
    }
    return kOk;
}

DWORD OrientationPass(const RewriteContext& context, int orientation, std::string& text) {
    try {
        const std::string value = OrientationValue(orientation, context.settings);
        std::string block;
        const BlockResult built = BuildTextBlock(context.module, kOrientationEntry.keyword, value, value, block);
        if (built == BlockResult::Failed) return kOutOfMemory;
        if (built == BlockResult::NoTemplate) return kOk;
        if (text.find(kOrientationEntry.keyword) == std::string::npos) text = Splice(0, text, block, text);
    } catch (...) {
        return kOutOfMemory;
    }
    return kOk;
}

DWORD RewriteSetupPiece(HMODULE module, const WCHAR* documentName, const BYTE* settings, size_t settingsSize,
                        const char* text, size_t length, int sectionState, int orientation, char** newText,
                        size_t* newLength) {
    if (newText != nullptr) *newText = nullptr;
    if (newLength != nullptr) *newLength = 0;
    if (module == nullptr || documentName == nullptr || settings == nullptr || text == nullptr ||
        newText == nullptr || newLength == nullptr) {
        return kInvalidParameter;
    }
    try {
        // A zero byte inside the piece ends the text the passes see.
        const void* zero = std::memchr(text, 0, length);
        std::string working(text, zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - text)
                                                  : length);
        const RewriteContext context{module, documentName, SettingsView{settings, settingsSize}};

        DWORD result = ReplacePass(context, working);
        if (result != kOk) return result;
        result = InsertPass(context, working);
        if (result != kOk) return result;
        if (sectionState == 1) {
            result = OrientationPass(context, orientation, working);
            if (result != kOk) return result;
        }

        char* copy = new (std::nothrow) char[working.size() + 1];
        if (copy == nullptr) return kOutOfMemory;
        std::memcpy(copy, working.c_str(), working.size() + 1);
        *newText = copy;
        *newLength = working.size();
    } catch (...) {
        return kOutOfMemory;
    }
    return kOk;
}

void FreeRewrittenText(char* text) { delete[] text; }
