// Reading and writing fields of the settings block by byte offset.
//
// Every part of the plug-in that touches the settings block goes through these
// functions. They copy bytes with memcpy (the block sits behind a 12-byte
// header inside a driver allocation, so nothing in it is aligned) and they are
// bounded by the size of the view: a field that does not lie wholly inside the
// bytes a caller holds reads as zero (or empty) and is not written.
#pragma once

#include "core/core_types.h"

#include <cstddef>
#include <cstdint>

// The full settings block, as the sibling library lays it out.
constexpr size_t kSettingsBlockBytes = 12004;

// Read-only bytes of a settings block, or of its leading part that a caller
// holds (the PJL header builder gets only its first part, for example).
struct SettingsView {
    const uint8_t* data;
    size_t size;
};

// Writable bytes of a settings block.
struct SettingsSpan {
    uint8_t* data;
    size_t size;
};

inline SettingsView AsView(SettingsSpan span) { return SettingsView{span.data, span.size}; }

enum class FieldSign : uint8_t { Unsigned, Signed };

// True when width bytes at offset lie inside the view (and the view has data).
bool FieldInside(SettingsView view, size_t offset, size_t width);

// Little-endian numbers of 1, 2 or 4 bytes. Signed fields are sign-extended.
// Outside the view (or for another width) the result is 0.
int64_t ReadSettingNumber(SettingsView view, size_t offset, size_t width, FieldSign sign);
uint8_t ReadSettingU8(SettingsView view, size_t offset);
int8_t ReadSettingS8(SettingsView view, size_t offset);
int16_t ReadSettingS16(SettingsView view, size_t offset);
int32_t ReadSettingS32(SettingsView view, size_t offset);

// Stores the low width bytes (1, 2 or 4) of value, little-endian. Returns false
// and writes nothing when the field is not inside the span or the width is
// another one.
bool WriteSettingNumber(SettingsSpan span, size_t offset, size_t width, int64_t value);

// UTF-16LE text fields of capacityUnits units. Reading stops at the first zero
// unit, at the capacity or at the end of the view, whichever comes first: an
// unterminated field is never read past its end.
size_t SettingTextLength(SettingsView view, size_t offset, size_t capacityUnits);
// kStatusOutOfMemory, and out left empty, when the text finds no room.
Status ReadSettingText(SettingsView view, size_t offset, size_t capacityUnits, Text16& out) noexcept;

// Writes at most capacityUnits - 1 units of text and a terminating zero; the
// units after the terminator are left as they are. Null text writes the empty
// text. Returns false when the text was cut, or when the field is not inside
// the span (nothing is written then).
bool WriteSettingText(SettingsSpan span, size_t offset, size_t capacityUnits, const Char16* text);

// Raw byte ranges (carrying ranges between blocks, saving and restoring a
// field). False, and nothing copied, when the range is not inside the view.
bool ReadSettingBytes(SettingsView view, size_t offset, void* out, size_t count);
bool WriteSettingBytes(SettingsSpan span, size_t offset, const void* bytes, size_t count);

// The identification text at offset 0: "VTA/NP" and its terminator, seven
// units compared. A view shorter than 14 bytes has none.
constexpr size_t kIdentificationBytes = 14;
bool HasSettingsIdentification(SettingsView view);
