// The fields of the settings block: the name, place, width and kind of each,
// with the default and validity rule of every field the plug-in keeps in shape.
//
// This is the one place that says where a field lies. The other tables that
// read the block (the job settings of the PJL header, the feature rows, the
// ranges a settings change carries over) name their fields here and are built
// from these rows while the code compiles, so a name the table lacks, or a
// field of a kind its reader cannot take, stops the build.
#pragma once

#include "core/settings_access.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

enum class SettingKind : uint8_t {
    Signed,    // little-endian number of 1, 2 or 4 bytes
    Unsigned,  // the same, unsigned
    Text16,    // UTF-16 text of bytes / 2 units
    Text8      // 8-bit text of bytes units (the page lists)
};

struct SettingField {
    const char* name;  // "ZTDuplex", "PaperNumber", ...
    uint16_t offset;   // from the first byte of the settings block
    uint16_t bytes;
    SettingKind kind;

    constexpr bool IsText() const { return kind == SettingKind::Text16 || kind == SettingKind::Text8; }
    // The units of a UTF-16 text, terminator included; the bytes of any other field.
    constexpr size_t Units() const { return kind == SettingKind::Text16 ? bytes / 2u : bytes; }
};

enum class SettingRule : uint8_t {
    Values,  // valid when inside one of the ranges; otherwise invalidValue
    Clamp,   // clamped to the one range (nearest bound)
    Text,    // valid when a zero unit lies within the field; otherwise zeroed whole
    Staple   // the staple mode: its valid values follow ZTBinding
};

struct ValueRange {
    int32_t low;
    int32_t high;
};

constexpr size_t kMaxValueRanges = 5;

// A field with its default and its rule.
struct SettingRow : SettingField {
    SettingRule rule;
    int32_t defaultValue;  // numbers only; text fields default to all zero
    int32_t invalidValue;  // Values and Staple rules
    uint8_t rangeCount;
    ValueRange ranges[kMaxValueRanges];
};

// Every page list (4-bit page codes for one tray) is this wide.
constexpr size_t kPageListBytes = 500;

// Two fields the table does not cover: read, but neither defaulted nor validated.
// A non-zero switch puts the stored user name on the job.
inline constexpr SettingField kSettingUserNameSwitch{"UserNameSwitch", 7248, 1, SettingKind::Unsigned};
inline constexpr SettingField kSettingUserName{"UserName", 7250, 42, SettingKind::Text16};

constexpr size_t kSettingRowCount = 127;

namespace setting_rows {

constexpr SettingRow Values(const char* name, uint16_t offset, uint16_t bytes, SettingKind kind, int32_t defaultValue,
                            int32_t invalidValue, std::initializer_list<ValueRange> ranges) {
    SettingRow row{{name, offset, bytes, kind}, SettingRule::Values, defaultValue, invalidValue, 0, {}};
    for (const ValueRange& range : ranges) row.ranges[row.rangeCount++] = range;
    return row;
}

constexpr SettingRow Clamp(const char* name, uint16_t offset, uint16_t bytes, int32_t defaultValue, int32_t low,
                           int32_t high) {
    return SettingRow{
        {name, offset, bytes, SettingKind::Signed}, SettingRule::Clamp, defaultValue, 0, 1, {{low, high}}};
}

constexpr SettingRow Text16(const char* name, uint16_t offset, uint16_t bytes) {
    return SettingRow{{name, offset, bytes, SettingKind::Text16}, SettingRule::Text, 0, 0, 0, {}};
}

constexpr SettingRow PageList(const char* name, uint16_t offset) {
    return SettingRow{{name, offset, kPageListBytes, SettingKind::Text8}, SettingRule::Text, 0, 0, 0, {}};
}

// The staple mode's valid values depend on the binding; see SettingValueValid.
constexpr SettingRow Staple(const char* name, uint16_t offset) {
    return SettingRow{{name, offset, 1, SettingKind::Signed}, SettingRule::Staple, 0, 0, 0, {}};
}

// Fields without a printer feature of their own carry descriptive names. The
// "...Inch" fields follow a metric distance; their ranges are those of the same
// distance in hundredths of an inch. A row with too many ranges does not build.
inline constexpr SettingRow kRows[kSettingRowCount] = {
    Values("ZTDuplex", 372, 2, SettingKind::Signed, 1, 1, {{1, 3}}),
    Values("ZTDuplexMixedPage", 374, 2, SettingKind::Signed, 5, 5, {{4, 5}}),
    Values("PaperNumber", 376, 2, SettingKind::Signed, 9, 9, {{1, 262}}),
    Values("ZTOrientation", 378, 2, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTMixedPageSize", 382, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDuplexSmallPages", 383, 1, SettingKind::Signed, 2, 2, {{2, 3}}),
    Values("ZTDuplexBigPages", 384, 1, SettingKind::Signed, 3, 3, {{2, 3}}),
    Values("ZTRotateBigPages", 385, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTManualZoom", 386, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTZoomRate", 388, 2, 100, 50, 200),
    Values("OutputPaper", 390, 2, SettingKind::Signed, 0, 0, {{0, 262}}),
    Values("ZTInputSlot", 392, 2, SettingKind::Signed, 7, 7, {{7, 7}, {257, 260}}),
    Values("ZTMediaType", 396, 4, SettingKind::Unsigned, 257, 257, {{257, 264}, {267, 267}}),
    Values("ZTMultiUp", 400, 1, SettingKind::Signed, 0, 0, {{0, 0}, {21, 22}, {41, 44}, {81, 83}, {88, 88}}),
    Values("ZTMultiUpSinglePage", 401, 1, SettingKind::Signed, 0, 0, {{0, 0}, {2, 2}, {4, 4}, {8, 8}}),
    Values("ZTBooklet", 402, 1, SettingKind::Signed, 0, 0, {{0, 3}}),
    Values("ZTHeaderFooterPrint", 814, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPageNumPrint", 815, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPageNumTransparent", 816, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTPageNumStartNum", 818, 2, 1, 1, 9999),
    Clamp("ZTPageNumStartPage", 820, 2, 1, 1, 9999),
    Values("ZTPageNumPosition", 822, 1, SettingKind::Signed, 6, 6, {{1, 3}, {5, 7}}),
    Text16("ZTStampPageFont", 824, 128),
    Clamp("ZTStampPageSize", 954, 2, 8, 8, 32),
    Values("ZTDatePrint", 956, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDateTransparent", 957, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDateTargetPage", 958, 1, SettingKind::Signed, 1, 1, {{0, 1}}),
    Values("ZTDateSpecify", 959, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTDateInfo", 960, 48),
    Values("ZTDatePosition", 1008, 1, SettingKind::Signed, 3, 3, {{1, 3}, {5, 7}}),
    Text16("ZTStampDateFont", 1010, 128),
    Clamp("ZTStampDateSize", 1140, 2, 8, 8, 32),
    Values("ZTRotate", 1142, 1, SettingKind::Signed, 0, 0, {{0, 0}, {2, 2}, {4, 4}, {6, 6}, {8, 8}}),
    Values("ZTBinding", 1144, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTGutter", 1145, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTGutterDistance", 1146, 2, 0, 0, 5000),
    Clamp("GutterDistanceInch", 1148, 2, 0, 0, 200),
    Values("ZTGutterAutoReducing", 1150, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTReverseOrder", 1151, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTPageSizeWidth", 1156, 4, 21000, 9000, 34000),
    Clamp("ZTPageSizeHeight", 1160, 4, 29700, 14800, 55000),
    Clamp("ZTTargetPaperSizeWidth", 1172, 4, 21000, 9000, 34000),
    Clamp("ZTTargetPaperSizeHeight", 1176, 4, 29700, 14800, 55000),
    Values("ZTOutputMode", 1223, 1, SettingKind::Signed, 0, 0, {{0, 6}}),
    Clamp("CopyCount", 1224, 2, 1, 1, 9999),
    Values("ZTWaitAfterProof", 1226, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPrintDensity", 1227, 1, SettingKind::Signed, 0, 0, {{0, 3}, {11, 13}}),
    Values("ZTCollate", 1228, 1, SettingKind::Signed, 2, 2, {{1, 2}}),
    Values("ZTPageTray", 1229, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    PageList("PageTrayStandard", 1230),
    PageList("PageTrayTray1", 1730),
    PageList("PageTrayTray2", 2230),
    Values("ZTOutputMethod", 3230, 1, SettingKind::Signed, 0, 0, {{0, 2}, {5, 5}}),
    Values("ZTOutputBox", 3231, 1, SettingKind::Unsigned, 1, 1, {{0, 100}}),
    Values("ZTImageShift", 3746, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTImageShiftFrontV", 3748, 2, 0, -25400, 25400),
    Clamp("ImageShiftFrontVInch", 3750, 2, 0, -1000, 1000),
    Clamp("ZTImageShiftFrontH", 3752, 2, 0, -25400, 25400),
    Clamp("ImageShiftFrontHInch", 3754, 2, 0, -1000, 1000),
    Clamp("ZTImageShiftBackV", 3756, 2, 0, -25400, 25400),
    Clamp("ImageShiftBackVInch", 3758, 2, 0, -1000, 1000),
    Clamp("ZTImageShiftBackH", 3760, 2, 0, -25400, 25400),
    Clamp("ImageShiftBackHInch", 3762, 2, 0, -1000, 1000),
    Staple("ZTStapleMode", 3764),
    Values("ZTPunchMode", 3766, 1, SettingKind::Signed, 0, 0, {{0, 3}}),
    Values("ZTFoldMode", 3767, 1, SettingKind::Signed, 0, 0, {{0, 4}}),
    Values("ZTFoldInnerOuter", 3768, 1, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTFoldBinding", 3769, 1, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTBookletBinding", 3770, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTBookletSplitting", 3771, 1, SettingKind::Signed, 0, 0, {{-1, 20}}),
    Values("ZTBookletGutter", 3774, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTBookletGutterDistance", 3776, 2, 0, 0, 5000),
    Clamp("BookletGutterDistanceInch", 3778, 2, 0, 0, 200),
    Values("ZTBookletGutterAutoReducing", 3780, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBookletCover", 3781, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTWaitingExceptCover", 3782, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBookletCoverSheetTray", 3784, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTJog", 3786, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTJobSepSheet", 3787, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTJobSepSheetTray", 3788, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTJobSepSheetText", 3790, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTCoverSheet", 3791, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTFrontCoverSheet", 3792, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTFrontCoverSheetTray", 3794, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTBackCoverSheet", 3796, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBackCoverSheetTray", 3798, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTOutputTray", 3800, 1, SettingKind::Signed, 0, 0, {{0, 3}, {6, 7}}),
    Values("ZTOutputFace", 3801, 1, SettingKind::Signed, 2, 2, {{1, 2}}),
    Values("ZTContinuousOutput", 3802, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDitherType", 3824, 1, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTImageQuality", 3825, 1, SettingKind::Signed, 1, 1, {{1, 4}}),
    Values("ZTLineSmoothing", 3826, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTScreening", 3827, 1, SettingKind::Signed, 1, 1, {{1, 3}}),
    Values("ZTGammaAdjustment", 3828, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTGCBrightness", 3842, 2, SettingKind::Signed, 0, 0, {{0, 2}, {11, 12}}),
    Values("ZTGCContrast", 3844, 2, SettingKind::Signed, 0, 0, {{0, 2}, {11, 12}}),
    Clamp("ZTGCCyan", 3846, 2, 1, 1, 300),
    Clamp("ZTGCMagenta", 3848, 2, 1, 1, 300),
    Clamp("ZTGCYellow", 3850, 2, 1, 1, 300),
    Clamp("ZTGCBlack", 3852, 2, 1, 1, 300),
    Clamp("ZTGCRed", 3856, 2, 1, 1, 300),
    Values("ZTColorProfile", 3858, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTOutputProfileSelection", 3860, 512),
    Values("ZTRenderingIntent", 4372, 1, SettingKind::Signed, 3, 3, {{1, 4}}),
    Values("ZTMaxDrops", 4374, 2, SettingKind::Signed, 0, 0, {{0, 11}}),
    Values("ZTBarcodeArea", 4376, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTBarcodeSelection", 4380, 512),
    Values("ZTBarcodeProof", 4892, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBarcodeDensity", 4894, 2, SettingKind::Signed, 0, 0, {{0, 3}, {11, 13}}),
    Values("ZTEnvelopeImageProcessing", 4902, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTSecretNum", 4903, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTSecretNumInfo", 4904, 18),
    Values("ZTHideJob", 4922, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPrintSpeed", 4923, 1, SettingKind::Signed, 0, 0, {{0, 0}, {11, 11}}),
    Text16("ZTJobComment", 5174, 258),
    Values("ZTJobName", 5432, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTJobNameInfo", 5434, 512),
    Values("ZTForm", 5946, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTFormPattern", 5947, 1, SettingKind::Signed, 1, 1, {{1, 5}}),
    Values("ZTFormSurface", 5948, 1, SettingKind::Signed, 2, 2, {{1, 2}}),
    Values("ZTFormSeparate", 5949, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTFormSelect1", 5952, 512),
    Text16("ZTFormSelect2", 6464, 512),
    Values("ZTPriorityLayer", 6976, 1, SettingKind::Signed, 1, 1, {{1, 3}}),
    Values("ZTOwnerName", 6977, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTOwnerNameInfo", 6978, 42),
    PageList("PageTrayExternalFeeder", 8584),
};

// Rows in offset order, each behind the one before, the identification text
// and the user-name fields, inside the block and named once; numbers of 1, 2 or
// 4 bytes, UTF-16 texts of whole units.
constexpr bool LaidOut() {
    size_t end = kIdentificationBytes;
    for (size_t i = 0; i < kSettingRowCount; ++i) {
        const SettingRow& row = kRows[i];
        const bool number = !row.IsText() && (row.bytes == 1 || row.bytes == 2 || row.bytes == 4);
        const bool text = row.kind == SettingKind::Text8 || (row.kind == SettingKind::Text16 && row.bytes % 2 == 0);
        const bool clear = row.offset + row.bytes <= kSettingUserNameSwitch.offset ||
                           row.offset >= kSettingUserName.offset + kSettingUserName.bytes;
        if (row.offset < end || !(number || text) || !clear) return false;
        for (size_t j = 0; j < i; ++j) {
            if (std::string_view(kRows[j].name) == row.name) return false;
        }
        end = size_t{row.offset} + row.bytes;
    }
    return end <= kSettingsBlockBytes;
}
static_assert(LaidOut(), "settings table: rows out of order, overlapping, of a wrong width or named twice");

}  // namespace setting_rows

// The settings table, ordered by offset.
inline constexpr const SettingRow (&kSettingTable)[kSettingRowCount] = setting_rows::kRows;

// The row of that name (exact, case-sensitive), or null.
constexpr const SettingRow* FindSettingRow(const char* name) {
    if (name == nullptr) return nullptr;
    for (const SettingRow& row : kSettingTable) {
        if (std::string_view(row.name) == name) return &row;
    }
    return nullptr;
}

// Reached only by FieldNamed with a name the table lacks. Not constexpr, so in
// a table or constant built while the code compiles it stops the build; at run
// time it answers a field of no bytes, which every reader reads as zero.
inline SettingField NoSettingsFieldNamed() { return SettingField{"", 0, 0, SettingKind::Signed}; }

// The field of that name, for tables and constants that are built while the
// code compiles: there a name the table lacks stops the build.
constexpr SettingField FieldNamed(const char* name) {
    for (const SettingRow& row : kSettingTable) {
        if (std::string_view(row.name) == name) return row;
    }
    return NoSettingsFieldNamed();
}

// ---------------------------------------------------------------------------
// One field, read or written through its descriptor: place, width and sign come
// from the field, never from the call site. Outside the view a number reads as
// zero and a text as empty; a write outside the span writes nothing.

// A number field as its kind says: Signed sign-extended, Unsigned as stored.
inline int64_t ReadField(SettingsView view, const SettingField& field) {
    return ReadSettingNumber(view, field.offset, field.bytes,
                             field.kind == SettingKind::Signed ? FieldSign::Signed : FieldSign::Unsigned);
}

// A number field as the job header and the feature code read it: one byte
// unsigned whatever its kind (so a stored -1 arrives as 255), two bytes signed,
// four as stored.
inline int32_t ReadFieldValue(SettingsView view, const SettingField& field) {
    if (field.bytes == 1) return ReadSettingU8(view, field.offset);
    return field.bytes == 2 ? ReadSettingS16(view, field.offset) : ReadSettingS32(view, field.offset);
}

// The low bytes of value; false, nothing written, outside the span or for a text field.
inline bool WriteField(SettingsSpan span, const SettingField& field, int64_t value) {
    return !field.IsText() && WriteSettingNumber(span, field.offset, field.bytes, value);
}

// The field's whole width from `bytes` (at least field.bytes of them); false,
// nothing written, outside the span.
inline bool WriteFieldBytes(SettingsSpan span, const SettingField& field, const void* bytes) {
    return WriteSettingBytes(span, field.offset, bytes, field.bytes);
}

// A UTF-16 text field up to its first zero unit.
inline Status ReadFieldText(SettingsView view, const SettingField& field, Text16& out) noexcept {
    return ReadSettingText(view, field.offset, field.kind == SettingKind::Text16 ? field.Units() : 0, out);
}

// With the semantics of WriteSettingText; false for a field that is not UTF-16 text.
inline bool WriteFieldText(SettingsSpan span, const SettingField& field, const Char16* text) {
    return field.kind == SettingKind::Text16 && WriteSettingText(span, field.offset, field.Units(), text);
}

// The fields that code reads by name.
inline constexpr SettingField kSettingDuplex = FieldNamed("ZTDuplex");
inline constexpr SettingField kSettingPaperNumber = FieldNamed("PaperNumber");
inline constexpr SettingField kSettingOrientation = FieldNamed("ZTOrientation");
inline constexpr SettingField kSettingManualZoom = FieldNamed("ZTManualZoom");
inline constexpr SettingField kSettingOutputPaper = FieldNamed("OutputPaper");
inline constexpr SettingField kSettingDateSwitch = FieldNamed("ZTDateSpecify");  // 0: today's date
inline constexpr SettingField kSettingDateText = FieldNamed("ZTDateInfo");
inline constexpr SettingField kSettingBinding = FieldNamed("ZTBinding");
inline constexpr SettingField kSettingCopyCount = FieldNamed("CopyCount");
inline constexpr SettingField kSettingJobNameSwitch = FieldNamed("ZTJobName");      // non-zero: use ZTJobNameInfo
inline constexpr SettingField kSettingOwnerNameSwitch = FieldNamed("ZTOwnerName");  // non-zero: use ZTOwnerNameInfo
