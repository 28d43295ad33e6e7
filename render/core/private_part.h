// The plug-in's private part of the driver's settings (DEVMODE): an extra
// header followed by the settings block, with the defaults and validity rules
// of the settings the plug-in relies on, and the conversion and merge of whole
// parts. Plain bytes in, plain bytes out; the driver's requests that carry them
// are answered by the Windows adapter (settings/private_part.h).
#pragma once

#include "core/core_types.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t kPrivatePartBytes = 12016;  // what the plug-in answers to a size request
constexpr uint32_t kPrivatePartHeaderBytes = 12;
constexpr uint32_t kPrivatePartSignature = 0x4D534654;  // bytes 54 46 53 4D; also the GetInfo signature
constexpr uint32_t kPrivatePartVersion = 1;
static_assert(kPrivatePartBytes == kPrivatePartHeaderBytes + kSettingsBlockBytes, "private part layout");

// The three header words, read and written with memcpy.
struct PrivatePartHeader {
    uint32_t dwSize;
    uint32_t dwSignature;
    uint32_t dwVersion;
};
PrivatePartHeader ReadPrivatePartHeader(const void* part);
void WritePrivatePartHeader(void* part);  // (kPrivatePartBytes, kPrivatePartSignature, kPrivatePartVersion)

// The bytes a private part declares: its dwSize, capped at kPrivatePartBytes. A part that
// declares less than its own header (forged) declares nothing usable: 0.
size_t DeclaredPrivatePartBytes(const void* part);

// The settings block of a private part that the caller did not allocate (the
// device object's pOEMDM): bounded by the part's declared size, so an older or
// forged part never opens more than it declares. Null part: empty view.
SettingsView PrivatePartSettings(const void* part);
SettingsSpan PrivatePartSettings(void* part);
// The settings block of a buffer of known capacity (the driver's cbBufSize).
SettingsSpan PrivatePartSettings(void* part, size_t capacity);

// ---------------------------------------------------------------------------
// The rules of the settings table (core/settings_fields.h).

// Writes every default of the table into the settings block; leaves every other
// byte as it was. Fields outside the span are skipped.
void SetDefaultSettings(SettingsSpan settings);
// One field a validation changed: a number with the value it had and the one
// it was given, or a text field cleared whole (both values zero then).
struct SettingCorrection {
    const SettingRow* row;
    int64_t before;
    int64_t after;
};

// What one validation changed, in table order. No validation changes a field
// twice, so the room for every row is always enough.
struct SettingCorrections {
    size_t count = 0;
    SettingCorrection items[kSettingRowCount];
};

// Applies every rule of the table; the staple rule runs after the binding rule.
// With `corrections`, each field changed is listed there.
void ValidateSettings(SettingsSpan settings, SettingCorrections* corrections = nullptr);

// Whether a value passes a Values, Clamp or Staple row (binding: the value of
// ZTBinding, only used by the staple rule).
bool SettingValueValid(const SettingRow& row, int64_t value, int64_t binding);

// ---------------------------------------------------------------------------
// Operations on whole private parts. outCapacity is the room of the output
// buffer (the driver's cbBufSize). The input is bounded by its declared size.

// Converts in into out. With equal signatures: the defaults, then
// min(in dwSize, out dwSize) bytes of in (at most kPrivatePartBytes) over them, then
// dwSize kPrivatePartBytes and kPrivatePartVersion. Otherwise the plug-in's header and
// the defaults. An input that declares less than its 12-byte header counts as
// one of another signature. Returns false and leaves out untouched when either
// is null or outCapacity is below kPrivatePartBytes.
bool ConvertPrivatePart(const void* in, void* out, size_t outCapacity);

// Writes the header of out and validates its settings. False, nothing written,
// when out is null or outCapacity is below kPrivatePartBytes.
bool ValidatePrivatePart(void* out, size_t outCapacity, SettingCorrections* corrections = nullptr);

// The header and the defaults (a part to start from). False, nothing written,
// when out is null or outCapacity is below kPrivatePartBytes.
bool WriteDefaultPrivatePart(void* out, size_t outCapacity);

// What the driver's merge of a private part does to its output: with an input,
// ConvertPrivatePart; then ValidatePrivatePart, listing what the validation
// corrected. kStatusInvalidArgument for a null output, kStatusInsufficientBuffer
// (nothing written) when outCapacity is below kPrivatePartBytes.
Status MergePrivatePart(const void* in, void* out, size_t outCapacity, SettingCorrections* corrections = nullptr);

// ---------------------------------------------------------------------------
// Page lists: 500 bytes of 4-bit codes, low half first.

// Decodes min(size, kPageListBytes) bytes into out: codes 1-9 and 15 are the
// digits 1-9 and 0, 10 is ",", 11 is "-"; 0, 12, 13 and 14 end the text. Null
// decodes to the empty text. kStatusOutOfMemory, out empty, without room.
Status DecodePageList(const uint8_t* field, size_t size, Text16& out) noexcept;
// The page list at offset, bounded by the view.
Status DecodePageList(SettingsView view, size_t offset, Text16& out) noexcept;
