#include "core/feature_rewrite.h"

#include "core/byte_text.h"
#include "core/core_failure.h"
#include "core/feature_blocks.h"
#include "core/feature_passes.h"
#include "core/feature_tables.h"
#include "core/hex_text.h"
#include "core/private_part.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The length of `text` up to its terminator, at most `most` units.
size_t BoundedLength(const Char16* text, size_t most) {
    size_t length = 0;
    while (length < most && text[length] != 0) ++length;
    return length;
}

// The first occurrence of needle in text at or after from, or kNpos: the
// same answer as std::string::find. Keys and anchors all start with the same
// few letters ("ZT", "*ZT"), which every feature block repeats; comparing the
// candidates in place instead of one library call each is what keeps the
// dozens of searches per piece cheap.
size_t FindText(std::string_view text, std::string_view needle, size_t from = 0) {
    const size_t size = text.size();
    const size_t length = needle.size();
    if (length == 0) return from <= size ? from : kNpos;
    if (from >= size || size - from < length) return kNpos;
    const char* const data = text.data();
    const char* p = data + from;
    const char* const last = data + (size - length);  // the last place a match can start
    const char first = needle[0];
    while (p <= last) {
        p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
        if (p == nullptr) return kNpos;
        size_t i = 1;
        while (i < length && p[i] == needle[i]) ++i;
        if (i == length) return static_cast<size_t>(p - data);
        ++p;
    }
    return kNpos;
}

// Where a driver's block starts when its keyword (the '*' for a replace key,
// the keyword itself for an anchor) lies at keywordAt, or kNpos. The block must
// open exactly with "featurebegin{\r\n%%BeginFeature: *" right there: a keyword
// met anywhere else (inside a longer keyword, in PostScript code, after a
// different opener) is no block of ours to touch, and counting back from it
// would cut into unrelated text.
size_t BlockStartBefore(std::string_view text, size_t keywordAt, size_t openerBytes) {
    if (keywordAt < openerBytes) return kNpos;
    const size_t start = keywordAt - openerBytes;
    if (std::string_view(text).compare(start, kBlockOpenerLength, kBlockOpener) != 0) return kNpos;
    return start;
}

// The end of a driver's block whose comment line continues at `from`: just past
// its "}featurecleanup\r\n" line. Whatever lies between the closing line and the
// next block is the driver's own code and stays. The last block of a piece
// counts as well: the printer feature a printer description orders last in its
// section would otherwise keep the driver's value while the job header says
// another. A block without a closing line before the next one (or, for the
// last block, before the end of the piece) is malformed and left alone (kNpos).
size_t DriverBlockEnd(std::string_view text, size_t from) {
    const size_t cleanup = FindText(text, kBlockCleanup, from);
    if (cleanup == kNpos) return kNpos;
    const size_t cleanupEnd = cleanup + kBlockCleanup.size();
    const size_t next = FindText(text, kBlockStart, from);
    if (next != kNpos && cleanupEnd > next) return kNpos;
    return cleanupEnd;
}

// Where a block goes that belongs behind the block of an anchor whose text
// continues at `from`: in front of the next block, or, when the anchor's block
// is the last of the piece, right behind its "}featurecleanup\r\n" line, which
// may end the piece. kNpos when neither is there.
size_t BehindAnchorBlock(std::string_view text, size_t from) {
    const size_t next = FindText(text, kBlockStart, from);
    if (next != kNpos) return next;
    const size_t cleanup = FindText(text, kBlockCleanup, from);
    return cleanup == kNpos ? kNpos : cleanup + kBlockCleanup.size();
}

void ReplaceRange(std::string& text, size_t start, size_t end, const std::string& block) {
    text.replace(start, end - start, block);
}

// Inserting happens only where text follows. The start of the piece is a
// place like any other: a section may well begin with the block in question.
bool CanInsertAt(std::string_view text, size_t offset) { return offset != kNpos && offset < text.size(); }

// Callers settle the place first (CanInsertAt, or BehindAnchorBlock, whose
// place may be the very end of the piece).
void InsertAt(std::string& text, size_t offset, const std::string& block) {
    if (offset <= text.size()) text.insert(offset, block);
}

// One anchor of an entry's anchor list, pointing into the constant table.
using Anchor = std::string_view;

// The anchors of a list separated by "/", in order; the table never holds more.
constexpr size_t kMaxAnchors = 8;
size_t SplitAnchors(const char* anchors, Anchor (&list)[kMaxAnchors]) {
    size_t count = 0;
    const char* start = anchors;
    for (const char* p = anchors;; ++p) {
        if (*p != '/' && *p != 0) continue;
        if (count < kMaxAnchors) list[count++] = Anchor(start, static_cast<size_t>(p - start));
        if (*p == 0) break;
        start = p + 1;
    }
    return count;
}

size_t Find(std::string_view text, Anchor anchor) { return FindText(text, anchor); }

// ---------------------------------------------------------------------------
// Insert values.

// The user name and the date text, asked of the system only when an entry that
// carries one is actually built.
struct InsertTexts {
    bool haveUserName = false;
    bool haveDateText = false;
    Text16 userName;
    Text16 dateText;
};

const Text16& UserNameOf(const RewriteContext& context, InsertTexts& texts) {
    if (!texts.haveUserName) {
        if (context.identity != nullptr) texts.userName = context.identity->UserName(context.settings);
        texts.haveUserName = true;
    }
    return texts.userName;
}

const Text16& DateTextOf(const RewriteContext& context, InsertTexts& texts) {
    if (!texts.haveDateText) {
        texts.dateText = FeatureDateText(context);
        texts.haveDateText = true;
    }
    return texts.dateText;
}

std::string InsertTextValue(const InsertRow& row, const RewriteContext& context, InsertTexts& texts) {
    const SettingsView settings = context.settings;
    Text16 text;
    switch (row.source) {
        case InsertSource::Field: text = ReadFieldText(settings, row.offset, row.capacity); break;
        case InsertSource::Date: text = DateTextOf(context, texts); break;
        case InsertSource::OwnerName:
            text = ReadFieldText(settings, row.offset, row.capacity);
            if (ReadSettingU8(settings, kSettingOwnerNameSwitch.offset) == 0 || text.empty())
                text = UserNameOf(context, texts);
            break;
        case InsertSource::JobName:
            text = ReadFieldText(settings, row.offset, row.capacity);
            if (ReadSettingU8(settings, kSettingJobNameSwitch.offset) == 0 || text.empty()) {
                // Never read past the per-device buffer.
                text.assign(context.documentName, BoundedLength(context.documentName, kDocumentNameUnits - 1));
            }
            break;
    }
    std::string utf8 = Utf8Text(text);
    return row.plainText ? utf8 : UpperHex(utf8);
}

BlockResult BuildInsertBlock(const InsertRow& row, const RewriteContext& context, InsertTexts& texts,
                             std::string& block) {
    const FeatureTemplates& templates = context.templates;
    switch (row.kind) {
        case InsertKind::Int32:
            return BuildNumberBlock(templates, row.keyword, ReadSettingS32(context.settings, row.offset), block);
        case InsertKind::Int16:
            return BuildNumberBlock(templates, row.keyword, ReadSettingS16(context.settings, row.offset), block);
        case InsertKind::PageList: {
            if (templates.text.empty()) return BlockResult::NoTemplate;
            Text16 decoded;
            if (DecodePageList(context.settings, row.offset, decoded).Failed()) throw std::bad_alloc();
            const std::string list = Utf8Text(decoded);
            return BuildTextBlock(templates, row.keyword, list, list, block);
        }
        case InsertKind::Text: {
            if (templates.text.empty()) return BlockResult::NoTemplate;
            const std::string value = InsertTextValue(row, context, texts);
            return BuildTextBlock(templates, row.keyword, value, value, block);
        }
    }
    return BlockResult::NoTemplate;
}

// Builds the entry's block and inserts it at offset (which the caller has
// settled). An entry without its template places nothing.
Status BuildAndInsert(const InsertRow& row, const RewriteContext& context, InsertTexts& texts, size_t offset,
                      std::string& text) {
    std::string block;
    const BlockResult built = BuildInsertBlock(row, context, texts, block);
    CORE_RETURN_IF(kStatusOutOfMemory, built == BlockResult::Failed);
    if (built == BlockResult::Built) InsertAt(text, offset, block);
    return kStatusOk;
}

// OwnBlock: the block takes the place of the driver's block of the entry's own
// keyword (the single anchor), when that block is whole.
Status PlaceOwnBlock(const InsertRow& row, Anchor anchor, const RewriteContext& context, InsertTexts& texts,
                     std::string& text) {
    const size_t at = Find(text, anchor);
    if (at == kNpos) return kStatusOk;
    const size_t start = BlockStartBefore(text, at, kBlockOpenerLength);
    if (start == kNpos) return kStatusOk;
    const size_t end = DriverBlockEnd(text, at + anchor.size());
    if (end == kNpos) return kStatusOk;
    std::string block;
    const BlockResult built = BuildInsertBlock(row, context, texts, block);
    CORE_RETURN_IF(kStatusOutOfMemory, built == BlockResult::Failed);
    if (built == BlockResult::Built) ReplaceRange(text, start, end, block);
    return kStatusOk;
}

// BehindAnchor: behind the block of the first listed anchor that has a place
// behind it. With none of the anchors in the text, a custom page size stands
// in for a missing page-size block (when the row says so), unless it is the
// driver's "CustomPageSize True" block.
Status PlaceBehindAnchor(const InsertRow& row, const Anchor* anchors, size_t count, const RewriteContext& context,
                         InsertTexts& texts, std::string& text) {
    bool anyFound = false;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = Find(text, anchors[i]);
        if (at == kNpos) continue;
        anyFound = true;
        const size_t behind = BehindAnchorBlock(text, at + anchors[i].size());
        if (behind != kNpos) return BuildAndInsert(row, context, texts, behind, text);
        // A single anchor without a place behind it places nothing.
        if (count == 1) return kStatusOk;
    }
    if (anyFound || !row.customSizeStandIn) return kStatusOk;
    const size_t custom = FindText(text, "CustomPageSize", 0);
    if (custom == kNpos || custom == FindText(text, "CustomPageSize True", 0)) return kStatusOk;
    const size_t start = BlockStartBefore(text, custom, kBlockOpenerLength);
    return CanInsertAt(text, start) ? BuildAndInsert(row, context, texts, start, text) : kStatusOk;
}

// InFrontOfList: in front of the earliest block of the list, once the last
// anchor (the page-tray block) is there.
Status PlaceInFrontOfList(const InsertRow& row, const Anchor* anchors, size_t count, const RewriteContext& context,
                          InsertTexts& texts, std::string& text) {
    size_t earliest = kNpos;
    bool lastFound = false;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = Find(text, anchors[i]);
        if (at < earliest) earliest = at;
        lastFound = at != kNpos;
    }
    if (!lastFound) return kStatusOk;
    const size_t start = BlockStartBefore(text, earliest, kBlockOpenerLength);
    return CanInsertAt(text, start) ? BuildAndInsert(row, context, texts, start, text) : kStatusOk;
}

// Places the entry's block as its row's placement says. Every placement first
// settles whether anything can be placed, and only then builds the block.
Status PlaceInsertBlock(const InsertRow& row, const RewriteContext& context, InsertTexts& texts, std::string& text) {
    Anchor anchors[kMaxAnchors];
    const size_t count = SplitAnchors(row.anchors, anchors);
    switch (row.placement) {
        case InsertPlacement::OwnBlock: return PlaceOwnBlock(row, anchors[0], context, texts, text);
        case InsertPlacement::BehindAnchor: return PlaceBehindAnchor(row, anchors, count, context, texts, text);
        case InsertPlacement::InFrontOfList: return PlaceInFrontOfList(row, anchors, count, context, texts, text);
    }
    return kStatusOk;
}

}  // namespace

// ---------------------------------------------------------------------------

Text16 FeatureDateText(const RewriteContext& context) {
    const SettingsView settings = context.settings;
    if (ReadSettingU8(settings, kSettingDateSwitch.offset) != 0) {
        return ReadFieldText(settings, kSettingDateText.offset, kSettingDateText.Units());
    }
    // Today's date is built here rather than written into the driver's date
    // field for the pass: the settings block stays untouched, so nothing else
    // can ever see a changed field, even when the rewrite fails part-way.
    return context.identity == nullptr ? Text16() : context.identity->TodaysDate();
}

namespace {

// The words that follow a "*ZT" in text, each up to the blank behind it: a key
// "*Keyword " occurs in the text exactly when "Keyword" is among them.
std::vector<std::string> StarredWords(const std::string& text) {
    std::vector<std::string> words;
    for (size_t at = FindText(text, "*ZT"); at != kNpos; at = FindText(text, "*ZT", at + 1)) {
        const size_t blank = text.find(' ', at);
        if (blank != kNpos) words.emplace_back(text, at + 1, blank - at - 1);
    }
    return words;
}

bool Contains(const std::vector<std::string>& words, const char* word) {
    for (const std::string& candidate : words) {
        if (candidate == word) return true;
    }
    return false;
}

}  // namespace

Status ReplacePass(const RewriteContext& context, std::string& text) {
    if (context.templates.text.empty()) return kStatusOk;
    try {
        // A replacement puts back a block of the same keyword only, so the
        // keys the piece holds are known once, before the first one: most of
        // the 90 keys are then never searched for.
        const std::vector<std::string> present = StarredWords(text);
        if (present.empty()) return kStatusOk;
        std::string key;
        std::string value;
        std::string block;
        for (const ReplaceGroup& group : kReplaceGroups) {
            for (size_t i = 0; i < group.count; ++i) {
                const ReplaceRow& row = group.rows[i];
                if (!Contains(present, row.keyword)) continue;
                key.assign(1, '*');
                key += row.keyword;
                key += ' ';
                const size_t at = FindText(text, key);
                if (at == kNpos) continue;
                // The '*' follows the opener without its own '*': 31 bytes back.
                const size_t start = BlockStartBefore(text, at, kBlockOpenerLength - 1);
                if (start == kNpos) continue;
                const size_t end = DriverBlockEnd(text, at + key.size());
                if (end == kNpos) continue;
                // A value that cannot be formed (a form name too long for its
                // field) leaves that one block as the driver wrote it; the rest
                // of the section is still the user's.
                if (!FillReplaceValue(row, context.settings, value)) continue;
                const BlockResult built = BuildTextBlock(context.templates, row.keyword, value,
                                                         InvocationValue(row.invocation, value), block);
                CORE_RETURN_IF(kStatusOutOfMemory, built == BlockResult::Failed);
                if (built == BlockResult::Built) ReplaceRange(text, start, end, block);
            }
        }
    }
    CORE_CATCH_RETURN()
    return kStatusOk;
}

Status InsertPass(const RewriteContext& context, std::string& text) {
    CORE_RETURN_IF(kStatusNullPointer, context.documentName == nullptr);
    // Every anchor starts with "ZT"; only the page-size entry also looks for a
    // custom page size. A piece with neither gets nothing.
    if (FindText(text, "ZT") == kNpos && FindText(text, "CustomPageSize") == kNpos) {
        return kStatusOk;
    }
    try {
        InsertTexts texts;
        for (const InsertRow& row : kInsertTable) {
            CORE_RETURN_IF_FAILED(PlaceInsertBlock(row, context, texts, text));
        }
    }
    CORE_CATCH_RETURN()
    return kStatusOk;
}

Status OrientationPass(const RewriteContext& context, int orientation, std::string& text) {
    try {
        // A piece that names an orientation keeps it; only then is a block needed.
        if (FindText(text, kOrientationEntry.keyword) != kNpos) return kStatusOk;
        const std::string value = OrientationValue(orientation, context.settings);
        std::string block;
        const BlockResult built = BuildTextBlock(context.templates, kOrientationEntry.keyword, value, value, block);
        CORE_RETURN_IF(kStatusOutOfMemory, built == BlockResult::Failed);
        if (built == BlockResult::NoTemplate) return kStatusOk;
        text.insert(0, block);
    }
    CORE_CATCH_RETURN()
    return kStatusOk;
}

Status RewriteSetupPieceWith(const RewriteContext& context, std::string_view piece, SectionState section,
                             int orientation, std::string& out) noexcept {
    CORE_RETURN_IF(kStatusNullPointer, context.documentName == nullptr);
    try {
        out.assign(piece.data(), piece.size());
        Status result = ReplacePass(context, out);
        if (result.Ok()) result = InsertPass(context, out);
        if (result.Ok() && section == SectionState::FirstPiece) result = OrientationPass(context, orientation, out);
        return result;
    }
    CORE_CATCH_RETURN()
}
