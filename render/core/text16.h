// Helpers over zero-terminated UTF-16 text (Char16, the plug-in's Char16). The C
// runtime's wide functions cannot be used because the unit is char16_t on
// every host but Windows.
#pragma once

#include "core/core_types.h"

#include <cstddef>
#include <string>

using WString = Text16;

// Units before the terminating zero. A null pointer has length 0.
size_t WTextLength(const Char16* s);

// Units before the terminating zero, but never more than capacity: reads at most
// `capacity` units, so an unterminated field is never read past its end.
size_t WTextLengthBounded(const Char16* s, size_t capacity);

// Exact, case-sensitive comparison; negative, zero or positive as wcscmp. Null
// compares as the empty text.
int WTextCompare(const Char16* a, const Char16* b);
bool WTextEqual(const Char16* a, const Char16* b);

// True when s begins with prefix (an empty prefix always matches).
bool WTextStartsWith(const Char16* s, const Char16* prefix);

// First occurrence of needle in haystack, or null.
const Char16* WTextFind(const Char16* haystack, const Char16* needle);

// Bounded "%s" copy: writes at most capacity - 1 units and always a terminating
// zero (when capacity > 0). Returns false when the source did not fit (the copy
// then holds its first capacity - 1 units) or when src is null (the copy is empty).
bool WTextCopy(Char16* dst, size_t capacity, const Char16* src);

// Bounded "%s%s%s" of three parts into dst, with the semantics of WTextCopy.
bool WTextJoin3(Char16* dst, size_t capacity, const Char16* a, const Char16* b, const Char16* c);

// Splits a full path into drive ("C:", or empty) and directory (everything up to
// and including the last '\\' or '/'), like _wsplitpath_s. Both '\\' and '/'
// separate. When either part does not fit its capacity (capacities include the
// terminator), both outputs are left empty and false is returned.
bool WSplitDriveDirectory(const Char16* path, Char16* drive, size_t driveCapacity, Char16* directory,
                          size_t directoryCapacity);

// _wtoi: leading blanks (space, tab, CR, LF, VT, FF), an optional sign, decimal
// digits; stops at the first other unit. Saturates at INT_MIN / INT_MAX.
int WTextToInt(const Char16* s);

// Widens 7-bit ASCII (each byte becomes one unit) with the semantics of WTextCopy.
bool WTextFromAscii(Char16* dst, size_t capacity, const char* src);
