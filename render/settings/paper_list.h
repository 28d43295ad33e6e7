// The paper-list file "QM22T.ini" next to the plug-in module.
//
// UTF-16LE text, read whole at every lookup. Lines end at a line feed; one
// trailing carriage return is removed. A line whose first unit is ";" is a
// comment; every other line is examined, and keys may stand anywhere in it
// (the first occurrence counts). A leading U+FEFF is an ordinary unit of the
// first line.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <type_traits>

// Room for the module's directory, terminator included.
constexpr size_t kPaperListDirectoryCapacity = 256;
// The longest line, in units before its line feed (carriage return included).
// A longer line is skipped whole: it is malformed, and examining a cut piece
// could turn a longer keyword into a shorter one that happens to match.
constexpr size_t kPaperListLineUnits = 1022;

// Called for each examined line in file order with the zero-terminated line
// (no line feed, no trailing carriage return) and its length. Return true to go
// on, false to stop reading.
using PaperListVisitor = bool (*)(const WCHAR* line, size_t length, void* context);

// Reads the paper-list file in module's folder and hands each examined line to
// visit. Returns false when the file could not be found, opened, read or is
// empty (visit is then never called). Never throws.
bool ReadPaperList(HMODULE module, PaperListVisitor visit, void* context);

// The same with any callable bool(const WCHAR* line, size_t length).
template <typename F>
bool ForEachPaperListLine(HMODULE module, F&& visit) {
    return ReadPaperList(
        module,
        [](const WCHAR* line, size_t length, void* context) -> bool {
            return (*static_cast<std::remove_reference_t<F>*>(context))(line, length);
        },
        const_cast<void*>(static_cast<const void*>(&visit)));
}

// The text after the first occurrence of key in line, or null when the line
// does not contain it.
const WCHAR* PaperListValue(const WCHAR* line, const WCHAR* key);

// When text begins with name followed by "=" (name not empty), the text after
// that "=", else null.
const WCHAR* PaperListEntryValue(const WCHAR* text, const WCHAR* name);

// True for a line that begins with "[PAPER_LIST_END]".
bool IsPaperListEnd(const WCHAR* line);
