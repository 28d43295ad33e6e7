// The paper-list file "QM22T.ini": parsed from its bytes, wherever the host
// found them (the Windows plug-in reads the file next to its module).
//
// UTF-16LE text; an odd last byte is no unit, and the text ends at its first
// zero unit. Lines end at a line feed; one trailing carriage return is removed.
// A line whose first unit is ";" is a comment; every other line is examined,
// and keys may stand anywhere in it (the first occurrence counts). A leading
// U+FEFF is an ordinary unit of the first line.
#pragma once

#include "core/core_types.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// The longest line, in units before its line feed (carriage return included).
// A longer line is skipped whole: it is malformed, and examining a cut piece
// could turn a longer keyword into a shorter one that happens to match.
constexpr size_t kPaperListLineUnits = 1022;

// Called for each examined line in file order with the zero-terminated line
// (no line feed, no trailing carriage return) and its length. Return true to go
// on, false to stop reading.
using PaperListVisitor = bool (*)(const Char16* line, size_t length, void* context);

// Hands each examined line of the file's bytes to visit. kStatusOk when the
// bytes were examined; kStatusInvalidArgument without a visitor,
// kStatusInvalidData when the bytes hold no unit (visit is then never called),
// kStatusOutOfMemory when the text found no room.
Status ParsePaperList(ByteRange bytes, PaperListVisitor visit, void* context) noexcept;

// The same with any callable bool(const Char16* line, size_t length).
template <typename F>
Status ForEachPaperListLine(ByteRange bytes, F&& visit) noexcept {
    return ParsePaperList(
        bytes,
        [](const Char16* line, size_t length, void* context) -> bool {
            return (*static_cast<std::remove_reference_t<F>*>(context))(line, length);
        },
        const_cast<void*>(static_cast<const void*>(&visit)));
}

// The text after the first occurrence of key in line, or null when the line
// does not contain it.
const Char16* PaperListValue(const Char16* line, const Char16* key);

// When text begins with name followed by "=" (name not empty), the text after
// that "=", else null.
const Char16* PaperListEntryValue(const Char16* text, const Char16* name);

// True for a line that begins with "[PAPER_LIST_END]".
bool IsPaperListEnd(const Char16* line);

// One printer paper code the PJL header builder looks for.
struct PjlPaperQuery {
    const Char16* formName;  // null or empty: nothing to look for
    bool found;              // in: already found (skipped); out: found
    int32_t code;            // the code read from the file when found here
};

// True while some query has a form name and is not found yet.
bool AnyPjlPaperQueryPending(const PjlPaperQuery* queries, size_t count);

// Reads the "PJL_PAPER_LIST=" lines of the file's bytes for every query not
// yet found: a line PJL_PAPER_LIST=<form name>=<code> gives the code (read as
// _wtoi reads it). Reading stops when all are found, at a line that begins
// with "[PAPER_LIST_END]" (checked before the line's keys), or at the end.
// The status is ParsePaperList's.
Status LookupPjlPaperCodes(ByteRange bytes, PjlPaperQuery* queries, size_t count) noexcept;
