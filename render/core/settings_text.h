// Fields of the settings block by name, and values stored into them from the
// text a settings file spells them with, for a host that takes settings as
// text (a print server's job options, the tools).
#pragma once

#include "core/core_types.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <string>
#include <string_view>

// The fields known by name, in offset order: every row of the settings table
// and the three the plug-in reads without a rule of its own (the
// identification text, the user name's switch and the user name).
constexpr size_t kSettingsFieldCount = kSettingRowCount + 3;
const SettingField& SettingsFieldAt(size_t index) noexcept;

// Exact and case-sensitive, like the settings table; null when none is.
const SettingField* FindSettingsField(std::string_view name) noexcept;

// The field that begins at offset (how the feature code's insert rows keep
// theirs); null when none does.
const SettingField* FindSettingsFieldAt(size_t offset) noexcept;

// Stores a value spelt as a settings file spells it: a decimal number with an
// optional sign for a number field, UTF-8 for a text field (cleared whole
// first), digits, "," and "-" for a page list ("1,3-5"). kStatusOk; or
// kStatusInvalidData with `problem` naming the cause and the fix (a number
// out of the field's range, a text over its room or not UTF-8, a symbol a
// page list cannot hold), and the block unchanged; kStatusInvalidArgument
// when the field does not lie in the span; kStatusOutOfMemory. Whether the
// plug-in's validation accepts the value is not judged here (ValidateSettings).
Status StoreFieldText(SettingsSpan span, const SettingField& field, std::string_view value,
                      std::string& problem) noexcept;

// The same for a field named by FindSettingsField; kStatusInvalidData with
// the problem when no field has that name.
Status StoreSettingText(SettingsSpan span, std::string_view name, std::string_view value,
                        std::string& problem) noexcept;

// Strict UTF-8 to UTF-16: kStatusInvalidData for a malformed, overlong or
// surrogate sequence or one past U+10FFFF (out is then empty).
Status Utf8ToText16(std::string_view utf8, Text16& out) noexcept;
