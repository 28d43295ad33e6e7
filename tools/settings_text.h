// The settings block as text: the fields the tools know by name, their values
// as settings files spell them, settings files themselves, and comparisons.
//
// A settings file holds one "Field=value" line per field it sets; "#" starts a
// comment line, and a "*" in front of a name (how `settings dump` marks a value
// that is not the default) is ignored. Numbers are decimal, texts are UTF-8 and
// take everything after "=" up to the line end, page lists are written like
// "1,3-5". "@OFFSET=HEX" lines set raw bytes of the block at a decimal offset:
// a dump writes them for bytes that no field spelling gives back exactly, so a
// dumped file applied to the defaults gives back the dumped block byte for byte.
#pragma once

#include "core/private_part.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm22t {

class JsonWriter;

using SettingsBlock = std::array<uint8_t, kSettingsBlockBytes>;

enum class FieldType { Signed, Unsigned, Text, PageList };

struct Field {
    const char* name;
    size_t offset;  // from the first byte of the settings block
    size_t bytes;
    FieldType type;
    // The core's descriptor the place above comes from; values are read and
    // written through it.
    const SettingField* descriptor;
};

// The rows of the settings table, and the three fields the plug-in reads that
// have neither a default nor a rule there (the identification text, the user
// name and its switch), in offset order.
const std::vector<Field>& Fields();
// Exact, case-sensitive, like the settings table; null when unknown.
const Field* FindField(const std::string& name);
// Up to `count` known names nearest to a misspelt one, nearest first; none
// when nothing is near.
std::vector<std::string> ClosestFieldNames(const std::string& name, size_t count = 3);

// A value of a number field and the name the feature tables spell it with
// ("LongEdge" for ZTDuplex=2).
struct NamedValue {
    int64_t value;
    std::string name;
};

// What people need to know of a field, all read from the plug-in's tables: the
// settings table (kind, rule, valid ranges), the feature tables (the names of
// the valid values, the feature blocks) and the PJL tables (the "@PJL SET"
// variables the field drives).
struct FieldFacts {
    std::string kind;  // "2-byte signed", "text of 63 UTF-16 units", "page list"
    std::string rule;  // "values", "clamped", "text", "follows ZTBinding", "" (not validated)
    std::vector<std::pair<int64_t, int64_t>> ranges;  // valid values; empty for texts
    // Every valid value's name when a feature spells them with words; a value
    // spelt as a number has no name. A name two values share belongs to the
    // first.
    std::vector<NamedValue> names;
    std::vector<std::string> pjlVariables;     // "DUPLEX", "BINDING"
    std::vector<std::string> featureKeywords;  // "ZTDuplex"
};
FieldFacts DescribeField(const Field& field);

// The value a name stands for (compared without regard to ASCII case).
bool ValueOfName(const Field& field, const std::string& name, int64_t* value);

// The field's value as a settings file spells it. False when no spelling gives
// the bytes back exactly: a text without its terminator, bytes behind the
// terminator, a line end in the text or a unit that UTF-8 cannot carry.
bool SpellField(const Field& field, const SettingsBlock& block, std::string* value);
// The value for messages and comparisons: the spelling, texts in quotes, or the
// field's bytes in hexadecimal when there is no spelling.
std::string ShowField(const Field& field, const SettingsBlock& block);

// Stores a spelt value into the field; a text field is cleared whole first.
// A number field takes the names of DescribeField as well as numbers.
// False, block unchanged, and the reason in `problem` when the value does not
// fit the field's type (range of a number, room of a text, page-list symbols).
// Whether the plug-in's validation accepts the value is not judged here.
bool StoreField(const Field& field, const std::string& value, SettingsBlock* block, std::string* problem);

// One "Field=value" or "@OFFSET=HEX" assignment, as in a settings file or --set.
bool ApplyAssignment(const std::string& assignment, SettingsBlock* block, std::string* problem);
// A whole settings file; the problem names the line ("line 3: ...").
bool ApplySettingsText(const std::string& text, SettingsBlock* block, std::string* problem);

// Every field as a settings file, values that differ from `defaults` marked
// with "*", then raw lines for the bytes outside the fields that differ from
// `defaults`. `title` goes into the first comment line.
// `defaultsName` says where `defaults` came from ("the sibling library's defaults").
std::string DumpSettings(const SettingsBlock& block, const SettingsBlock& defaults, const std::string& title,
                         const std::string& defaultsName);
// The same as JSON members of the current object: "fields" and "raw".
void DumpSettingsJson(const SettingsBlock& block, const SettingsBlock& defaults, JsonWriter& json);

// One difference between two blocks: a field, or a run of bytes outside the
// fields ("@OFFSET", hexadecimal values).
struct FieldChange {
    std::string name;
    std::string before;
    std::string after;
};
std::vector<FieldChange> CompareBlocks(const SettingsBlock& before, const SettingsBlock& after);
// "CopyCount: -5 -> 1"
std::string DescribeChange(const FieldChange& change);
void ChangesJson(const std::vector<FieldChange>& changes, JsonWriter& json);

// The settings block of a private part, and the other way round.
SettingsBlock BlockOfPart(const uint8_t* part);
void StoreBlockInPart(const SettingsBlock& block, uint8_t* part);

}  // namespace qm22t
