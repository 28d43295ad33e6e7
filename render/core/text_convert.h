// Conversion of UTF-16 text into the bytes of one encoding, as the PJL header
// needs it: UTF-8, and the system's code page for the few values the printer
// reads as 8-bit text. The Windows plug-in hands in the system's own
// conversions (so a Japanese system keeps code page 932); other hosts take the
// core's, which give the bytes Windows gives for UTF-8 and for Windows-1252.
#pragma once

#include "core/core_types.h"

#include <string>

class TextConverter {
public:
    // Replaces out with the conversion of text. On failure out is empty and the
    // status says why (kStatusOutOfMemory, or the cause the system gave).
    virtual Status Convert(Text16View text, std::string& out) const noexcept = 0;

protected:
    ~TextConverter() = default;
};

// UTF-8. A surrogate pair is one character of four bytes; a lone surrogate
// becomes U+FFFD (EF BF BD), as WideCharToMultiByte(CP_UTF8, 0) makes it.
const TextConverter& Utf8Converter() noexcept;

// Windows-1252 as WideCharToMultiByte(1252, 0) makes it: every unit on its own
// becomes one byte, its own, its best-fit replacement (U+0100 "A", U+221E "8")
// or "?" (so a surrogate pair becomes "??").
const TextConverter& Windows1252Converter() noexcept;

// The byte Windows-1252 gives one UTF-16 unit, best fit included; '?' for a
// unit it cannot carry.
uint8_t Windows1252Byte(Char16 unit) noexcept;
