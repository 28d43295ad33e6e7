// The vocabulary of the PJL job header: which "@PJL SET" lines a job setting
// and its stored option make, and the converters that turn a row of the table
// and a value into finished CR LF lines.
#pragma once

#include "core/core_types.h"
#include "core/text_convert.h"

#include <cstddef>
#include <cstdint>
#include <string>

// How a row becomes lines. The comments give the letter used when the table
// was drawn up.
enum class PjlConverterKind : uint8_t {
    Fixed,          // F: "@PJL SET " + assignment
    Split,          // S: one line per "|"-separated piece of the assignment
    Number,         // N: the assignment's one "%d" filled with a signed number
    AnsiText,       // A: the one "%s" filled with the text in the system's code page
    HexUtf8,        // H: the one "%s" filled with the text's UTF-8 bytes as "%02X" digits
    HexUtf8Limited  // L: as H, after shortening the text by kLengthLimitTable
};

struct PjlSettingRow {
    int32_t setting;         // 0..999
    int32_t key;             // stored option selecting the row; -1 for a value-only setting
    const char* assignment;  // 8-bit PJL assignment, or a format with one "%d" / "%s"
    PjlConverterKind converter;
};

constexpr size_t kPjlSettingRowCount = 394;
constexpr int32_t kPjlSettingNumberCount = 1000;

// All rows of a setting stand next to each other; no key occurs twice within a setting.
extern const PjlSettingRow kPjlSettingTable[kPjlSettingRowCount];

// The value a converter fills in: `number` for N, `text` for A, H and L (its
// `length` units; made from a pointer, up to its zero unit; null counts as
// empty). F and S look at neither.
struct PjlValue {
    int32_t number;
    const Char16* text;
    size_t length;
};
inline PjlValue PjlNumber(int32_t number) { return PjlValue{number, nullptr, 0}; }
inline PjlValue PjlText(const Char16* text) {
    return PjlValue{0, text, text != nullptr ? std::char_traits<Char16>::length(text) : 0};
}
inline PjlValue PjlText(Text16View text) { return PjlValue{0, text.data(), text.data() != nullptr ? text.size() : 0}; }
inline PjlValue PjlNoValue() { return PjlValue{0, nullptr, 0}; }

// The conversions the text converters use: UTF-8 for H and L, the system's
// code page for A.
struct PjlConverters {
    const TextConverter& utf8;
    const TextConverter& systemCodePage;
};

// Every finished line, "@PJL SET " and CR LF included, stays at or below this
// many bytes, so each of the header's writes (kHeaderChunkBytes, tied to this
// in core/pjl_header.h) holds whole lines.
constexpr size_t kPjlMaxLineBytes = 4095;

// Appends the lines of the first row of `setting` whose key equals `key`,
// made by that row's converter with `value`: none when the setting has no such
// row (this is how an option the table does not know drops out of the header)
// or the setting number lies outside 0..999. kStatusOutOfMemory, `lines` as it
// was, when they found no room.
Status AppendSettingLines(int32_t setting, int32_t key, const PjlValue& value, const PjlConverters& converters,
                          std::string& lines) noexcept;

struct PjlLengthLimit {
    const char* variable;  // compared with the start of a row's assignment
    int32_t units;         // most UTF-16 units kept; 0 or less: no limit
    int32_t bytes;         // most UTF-8 bytes kept, terminating zero counted; 0 or less: no limit
};

constexpr size_t kPjlLengthLimitCount = 1;
extern const PjlLengthLimit kLengthLimitTable[kPjlLengthLimitCount];

// The setting whose lines name a shared output box (the output box rows of
// another number than the personal box).
constexpr int32_t kSharedBoxSetting = 27;

// The identification at the head of every header: the PJL dialect, the
// driver, and the computer the job comes from. Each row names its "@PJL SET"
// variable; the setting number is found in kPjlSettingTable by that name while
// the code compiles.
enum class PjlIdentityValue : uint8_t {
    Text,     // the row's text
    Number,   // the row's number
    HostName  // the computer's name, an input of the header
};

struct PjlIdentityRow {
    int32_t setting;
    PjlIdentityValue value;
    const Char16* text;
    int32_t number;
};

constexpr size_t kPjlIdentityCount = 6;
extern const PjlIdentityRow kPjlIdentityTable[kPjlIdentityCount];
