// The vocabulary of the feature code: which printer features the rewriter
// replaces, inserts or puts in front of a setup section, where each value comes
// from in the settings block, and how each value is spelled in the comment line
// ("%%BeginFeature: *Keyword value") and in the invocation line ("(value) ...").
#pragma once

#include "core/core_types.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Value spellings shared by the tables.

struct ValueName {
    int32_t value;
    const char* text;
};

// A closed list of spelled values and the text of every other value.
struct Spelling {
    const ValueName* names;
    uint8_t count;
    const char* other;
};

extern const Spelling kFlagSpelling;      // 1 "True", other "False"
extern const Spelling kPositionSpelling;  // 2 TopCenter ... other "TopLeft"
extern const Spelling kTraySpelling;      // 258 "Tray1" ... other "Standard"
extern const Spelling kLevel3Spelling;    // 1..3, 11..13 as "1".."3", "-1".."-3"; other "0"
extern const Spelling kLevel2Spelling;    // 1, 2, 11, 12 as "1", "2", "-1", "-2"; other "0"

// The spelled text of value, or the spelling's text for other values.
const char* SpellValue(const Spelling& spelling, int64_t value);

// ---------------------------------------------------------------------------
// Replace groups.

enum class ValueRule : uint8_t {
    Spelled,     // spelling of the field value
    Numbered,    // low..high written as prefix + decimal; else the spelling
    Clamped,     // limited to low..high, in decimal
    ZoomRate,    // the field limited to low..high when manual zoom is on; else 100
    StapleMode,  // the field read together with the binding byte
    Font,        // the text's UTF-8 form, at most 63 bytes
    Hex          // the text's UTF-8 form (at most 259 bytes) as upper-case hex digits
};

// How a replace row's invocation value derives from its comment value.
enum class Invocation : uint8_t {
    Same,        // the comment value itself
    OnOff,       // "True" and "False" as "On" and "Off"
    UpperOnOff,  // "True" and "False" as "ON" and "OFF"
    Hex,         // the value's bytes as upper-case hex digits
    PrintSpeed   // "ON" and "OFF" as "LowSpeed" and "Standard"
};

struct ReplaceRow {
    int32_t code;
    const char* keyword;
    SettingField field;  // the one the keyword names
    ValueRule rule;
    const Spelling* spelling;  // Spelled and Numbered
    int32_t low;               // Numbered, Clamped, ZoomRate
    int32_t high;
    const char* prefix;  // Numbered
    // Derived from the keyword when the table is compiled, so a rewrite never
    // looks the keyword up in the invocation list.
    Invocation invocation;
};

struct ReplaceGroup {
    const ReplaceRow* rows;
    size_t count;
};

constexpr size_t kReplaceGroupCount = 5;
extern const ReplaceGroup kReplaceGroups[kReplaceGroupCount];  // 17, 18, 15, 27 and 13 rows

// The value text (comment value) of a replace row. False, with an empty value,
// for a form name whose UTF-8 form needs more than 259 bytes: no value can be
// formed. Fields outside the view read as 0 or empty. May throw std::bad_alloc.
bool FillReplaceValue(const ReplaceRow& row, SettingsView settings, std::string& value);

// Every value text (comment value) the row's rule can give, each once: the
// spelled texts, the numbered or clamped range in decimal, the staple texts of
// every binding. Empty for the text rules (Font, Hex), whose values are free
// texts. The printer description offers exactly these as the row's choices.
// May throw std::bad_alloc.
std::vector<std::string> ReplaceValueTexts(const ReplaceRow& row);

// The invocation value that goes into the parentheses, derived from the comment
// value by the row's rule. May throw std::bad_alloc.
std::string InvocationValue(Invocation rule, const std::string& commentValue);

// ---------------------------------------------------------------------------
// Orientation entry: put in front of a first setup piece that carries none.

struct OrientationEntry {
    int32_t code;
    const char* keyword;
};
extern const OrientationEntry kOrientationEntry;  // 7, "ZTOrientation"

// 1 "Portrait", 2 "Landscape", -1 the settings' orientation field (2 "Landscape",
// other "Portrait"), any other value "Portrait".
const char* OrientationValue(int orientation, SettingsView settings);

// ---------------------------------------------------------------------------
// Insert table.

enum class InsertKind : uint8_t { Int32, Int16, Text, PageList };

enum class InsertSource : uint8_t {
    Field,      // the settings field itself
    Date,       // the date text, or today's date when the date mode is "today"
    OwnerName,  // the owner name when its switch is on and it is not empty; else the user name
    JobName     // the job name when its switch is on and it is not empty; else the document name
};

// Where an insert row's block goes.
enum class InsertPlacement : uint8_t {
    // In place of the driver's block of the row's own keyword (its single
    // anchor), when that block is whole.
    OwnBlock,
    // Behind the block of the first listed anchor that has a place behind it:
    // in front of the next block, or behind its closing line when it is the
    // last. A single anchor without that place places nothing.
    BehindAnchor,
    // A page list: in front of the earliest block of its anchors, once the
    // last anchor (the page-tray block) is there.
    InFrontOfList
};

// The kind, offset and capacity come from the settings field the keyword names
// (for a page list, the field named in the table).
struct InsertRow {
    int32_t code;
    const char* anchors;  // one or several anchors, each ending with a blank, separated by "/"
    const char* keyword;
    InsertKind kind;
    uint16_t offset;
    uint16_t capacity;  // bytes of a number or page list; units of a text, terminator included
    InsertSource source;
    // Derived from the keyword and anchors when the table is compiled:
    bool plainText;          // the text value goes on as UTF-8 rather than hex (ZTSecretNumInfo)
    bool customSizeStandIn;  // the single anchor "ZTPageSize ": a custom-size block may stand in
    InsertPlacement placement;
};

constexpr size_t kInsertRowCount = 28;
extern const InsertRow kInsertTable[kInsertRowCount];

// ---------------------------------------------------------------------------
// Text helpers of the feature code.

// A text field of `units` units (terminator included), as a zero-terminated
// text of at most units - 1 characters: an unterminated field is cut there and
// never read past its end. May throw std::bad_alloc.
Text16 ReadFieldText(SettingsView settings, size_t offset, size_t units);

// The UTF-8 form of text (lone surrogates become U+FFFD). May throw
// std::bad_alloc.
std::string Utf8Text(const Text16& text);

// Cuts a UTF-8 text to at most maxBytes bytes without splitting a character.
void CutUtf8(std::string& text, size_t maxBytes);
