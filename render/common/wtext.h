// Target-neutral helpers over 16-bit WCHAR text. The C runtime's wide functions
// cannot be used because WCHAR is char16_t on the host build.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <string>

using WString = std::basic_string<WCHAR>;

// Units before the terminating zero. A null pointer has length 0.
size_t WTextLength(const WCHAR* s);

// Units before the terminating zero, but never more than capacity: reads at most
// `capacity` units, so an unterminated field is never read past its end.
size_t WTextLengthBounded(const WCHAR* s, size_t capacity);

// Exact, case-sensitive comparison; negative, zero or positive as wcscmp. Null
// compares as the empty text.
int WTextCompare(const WCHAR* a, const WCHAR* b);
bool WTextEqual(const WCHAR* a, const WCHAR* b);

// True when s begins with prefix (an empty prefix always matches).
bool WTextStartsWith(const WCHAR* s, const WCHAR* prefix);

// First occurrence of needle in haystack, or null.
const WCHAR* WTextFind(const WCHAR* haystack, const WCHAR* needle);

// Bounded "%s" copy: writes at most capacity - 1 units and always a terminating
// zero (when capacity > 0). Returns false when the source did not fit (the copy
// then holds its first capacity - 1 units) or when src is null (the copy is empty).
bool WTextCopy(WCHAR* dst, size_t capacity, const WCHAR* src);

// Bounded "%s%s%s" of three parts into dst, with the semantics of WTextCopy.
bool WTextJoin3(WCHAR* dst, size_t capacity, const WCHAR* a, const WCHAR* b, const WCHAR* c);

// Splits a full path into drive ("C:", or empty) and directory (everything up to
// and including the last '\\' or '/'), like _wsplitpath_s. Both '\\' and '/'
// separate. When either part does not fit its capacity (capacities include the
// terminator), both outputs are left empty and false is returned.
bool WSplitDriveDirectory(const WCHAR* path, WCHAR* drive, size_t driveCapacity, WCHAR* directory,
                          size_t directoryCapacity);

// _wtoi: leading blanks (space, tab, CR, LF, VT, FF), an optional sign, decimal
// digits; stops at the first other unit. Saturates at INT_MIN / INT_MAX.
int WTextToInt(const WCHAR* s);

// Widens 7-bit ASCII (each byte becomes one unit) with the semantics of WTextCopy.
bool WTextFromAscii(WCHAR* dst, size_t capacity, const char* src);
