// The vocabulary of the PJL job header: which "@PJL SET" lines a job setting
// and its stored option make, and the converters that turn a row of the table
// and a value into finished CR LF lines.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

// How a row becomes lines. The comments give the letter used when the table
// was drawn up.
enum class PjlConverterKind : uint8_t {
    Fixed,          // F: "@PJL SET " + assignment
    Split,          // S: one line per "|"-separated piece of the assignment
    Number,         // N: the assignment's one "%d" filled with a signed number
    AnsiText,       // A: the one "%s" filled with the text in the ANSI code page
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

// The value a converter fills in: `number` for N, `text` (zero-terminated,
// null counts as empty) for A, H and L. F and S look at neither.
struct PjlValue {
    int32_t number;
    const WCHAR* text;
};
inline PjlValue PjlNumber(int32_t number) { return PjlValue{number, nullptr}; }
inline PjlValue PjlText(const WCHAR* text) { return PjlValue{0, text}; }
inline PjlValue PjlNoValue() { return PjlValue{0, nullptr}; }

// Every finished line, "@PJL SET " and CR LF included, stays at or below this
// many bytes, so each of the header's writes (kHeaderChunkBytes, tied to this
// in pjl_header_parts.h) holds whole lines.
constexpr size_t kPjlMaxLineBytes = 4095;

// The lines of the first row of `setting` whose key equals `key`, made by that
// row's converter with `value`; empty when the setting has no such row (this is
// how an option the table does not know drops out of the header) or the setting
// number lies outside 0..999. May throw std::bad_alloc.
std::string LookupSettingLines(int32_t setting, int32_t key, const PjlValue& value);

// The converters append their lines to `lines`. A value too long for one line
// is shortened by whole characters (a surrogate pair is never split) until the
// line fits kPjlMaxLineBytes: the printer then still gets a recognisable job or
// user name rather than none. Texts from the settings block are far too short
// for this to happen; it guards direct callers.
void ConvertFixed(const char* assignment, const PjlValue& value, std::string& lines);
void ConvertSplit(const char* assignment, const PjlValue& value, std::string& lines);
void ConvertNumber(const char* assignment, const PjlValue& value, std::string& lines);
// Units below U+0020 and DEL (U+007F) are dropped before conversion: a CR or
// LF in a stored secret number must not end the line early and inject a line
// of its own, and no control character reaches the printer inside a value.
void ConvertAnsiText(const char* assignment, const PjlValue& value, std::string& lines);
void ConvertHexUtf8(const char* assignment, const PjlValue& value, std::string& lines);
// The length limit drops one unit at a time, as it is counted: a surrogate pair
// it cuts leaves a lone unit, sent as the replacement character (EF BF BD).
void ConvertHexUtf8Limited(const char* assignment, const PjlValue& value, std::string& lines);

struct PjlLengthLimit {
    const char* variable;  // compared with the start of a row's assignment
    int32_t units;         // most UTF-16 units kept; 0 or less: no limit
    int32_t bytes;         // most UTF-8 bytes kept, terminating zero counted; 0 or less: no limit
};

constexpr size_t kPjlLengthLimitCount = 1;
extern const PjlLengthLimit kLengthLimitTable[kPjlLengthLimitCount];
