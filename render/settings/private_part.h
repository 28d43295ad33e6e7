// The plug-in's private part of the driver's DEVMODE: an extra header
// followed by the settings block, with the defaults and validity rules of the
// settings the plug-in relies on.
#pragma once

#include "common/wtext.h"
#include "platform/platform.h"
#include "settings/settings_access.h"
#include "settings/settings_fields.h"

#include <cstddef>
#include <cstdint>

constexpr DWORD kPrivatePartBytes = 12016;  // what the plug-in answers to a size request
constexpr DWORD kPrivatePartHeaderBytes = 12;
constexpr DWORD kPrivatePartSignature = 0x4D534654;  // bytes 54 46 53 4D; also the GetInfo signature
constexpr DWORD kPrivatePartVersion = 1;
static_assert(kPrivatePartBytes == kPrivatePartHeaderBytes + kSettingsBlockBytes, "private part layout");

// The three header words, read and written with memcpy.
struct PrivatePartHeader {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
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
// The rules of the settings table (settings/settings_fields.h).

// Writes every default of the table into the settings block; leaves every other
// byte as it was. Fields outside the span are skipped.
void SetDefaultSettings(SettingsSpan settings);
// Applies every rule of the table; the staple rule runs after the binding rule.
void ValidateSettings(SettingsSpan settings);

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
bool ValidatePrivatePart(void* out, size_t outCapacity);

// The OEMDM_* request on the private part itself: size, default, convert or
// merge. S_OK, or E_FAIL with the last error ERROR_INVALID_PARAMETER for a
// missing parameter block, an unknown mode or a default request without an
// output, ERROR_INSUFFICIENT_BUFFER (nothing written) when there is an output
// and cbBufSize is below kPrivatePartBytes. A convert or merge request without an output
// does nothing and answers S_OK. A convert request without an input writes the
// header and the defaults into its output; a merge request without an input
// writes the header of its output and validates it. Never throws.
HRESULT ProcessPrivatePart(DWORD dwMode, POEMDMPARAM pOemDMParam) noexcept;

// ---------------------------------------------------------------------------
// Page lists: 500 bytes of 4-bit codes, low half first.

// Decodes min(size, 500) bytes: codes 1-9 and 15 are the digits 1-9 and 0, 10 is
// ",", 11 is "-"; 0, 12, 13 and 14 end the text. Null decodes to the empty text.
// May throw std::bad_alloc.
WString DecodePageList(const BYTE* field, size_t size = kPageListBytes);
// The page list at offset, bounded by the view.
WString DecodePageList(SettingsView view, size_t offset);
