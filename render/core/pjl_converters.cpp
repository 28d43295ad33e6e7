// Converters from a row of the PJL settings table and a value to "@PJL SET" lines.
#include "core/hex_text.h"
#include "core/pjl_settings.h"
#include "core/pjl_steps.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

const PjlLengthLimit kLengthLimitTable[kPjlLengthLimitCount] = {
    {"ZTHOSTNAME", 255, 1024},
};

namespace {

constexpr char kSetPrefix[] = "@PJL SET ";
constexpr size_t kSetPrefixLength = sizeof(kSetPrefix) - 1;
constexpr char kLineEnd[] = "\r\n";
constexpr size_t kLineEndLength = sizeof(kLineEnd) - 1;

void AppendLine(std::string& lines, const char* assignment, size_t length) {
    lines.append(kSetPrefix, kSetPrefixLength);
    lines.append(assignment, length);
    lines.append(kLineEnd, kLineEndLength);
}

// An assignment format split around its one "%d" or "%s". Without a placeholder
// the whole assignment is `before` and the value has no room.
struct SplitFormat {
    const char* before;
    size_t beforeLength;
    const char* after;
    size_t afterLength;
    bool hasPlaceholder;
};

SplitFormat SplitAtPlaceholder(const char* assignment) {
    const size_t length = std::strlen(assignment);
    for (size_t i = 0; i + 1 < length; ++i) {
        if (assignment[i] == '%' && (assignment[i + 1] == 'd' || assignment[i + 1] == 's')) {
            return SplitFormat{assignment, i, assignment + i + 2, length - i - 2, true};
        }
    }
    return SplitFormat{assignment, length, "", 0, false};
}

// Bytes left for the value so that the whole line stays within kPjlMaxLineBytes.
size_t ValueRoom(const SplitFormat& format) {
    const size_t fixed = kSetPrefixLength + format.beforeLength + format.afterLength + kLineEndLength;
    return fixed < kPjlMaxLineBytes ? kPjlMaxLineBytes - fixed : 0;
}

void AppendFilledLine(std::string& lines, const SplitFormat& format, const std::string& value) {
    lines.append(kSetPrefix, kSetPrefixLength);
    lines.append(format.before, format.beforeLength);
    if (format.hasPlaceholder) lines.append(value);
    lines.append(format.after, format.afterLength);
    lines.append(kLineEnd, kLineEndLength);
}

bool IsHighSurrogate(Char16 unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(Char16 unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Cutting a text after `count` of its `length` units must not leave half of a
// surrogate pair behind, which would come out as a replacement character.
size_t KeepPairsWhole(const Char16* text, size_t count, size_t length) {
    if (count > 0 && count < length && IsHighSurrogate(text[count - 1]) && IsLowSurrogate(text[count])) {
        return count - 1;
    }
    return count;
}

// The first `count` units of text converted. A conversion that fails for
// want of memory ends the header as every other shortage does; one the
// converter refuses gives the empty text: the line is still written, only
// without its value.
std::string ToCodePage(const TextConverter& converter, const Char16* text, size_t count) {
    std::string out;
    if (count == 0) return out;
    const Status converted = converter.Convert(Text16View(text, count), out);
    if (converted == kStatusOutOfMemory) throw std::bad_alloc();
    return out;
}

// The conversion of the longest prefix of text (at most `length` units, whole
// surrogate pairs) whose bytes number at most maxBytes. No unit converts to more
// than four bytes, so dropping (excess - 1) / 4 units at a time never drops more
// than needed, and the excess shrinks by at least a quarter per round.
std::string ConvertFitting(const TextConverter& converter, const Char16* text, size_t length, size_t maxBytes) {
    size_t count = length;
    std::string out = ToCodePage(converter, text, count);
    while (out.size() > maxBytes && count > 0) {
        const size_t excess = out.size() - maxBytes;
        const size_t drop = std::max<size_t>(1, (excess - 1) / 4);
        count = KeepPairsWhole(text, count > drop ? count - drop : 0, length);
        out = ToCodePage(converter, text, count);
    }
    return out;
}

void AppendHexLine(const char* assignment, const Char16* text, size_t units, const TextConverter& utf8,
                   std::string& lines) {
    const SplitFormat format = SplitAtPlaceholder(assignment);
    const size_t room = ValueRoom(format) / 2;
    AppendFilledLine(lines, format, UpperHex(ConvertFitting(utf8, text, units, room)));
}

const PjlLengthLimit* FindLengthLimit(const char* assignment) {
    for (const PjlLengthLimit& limit : kLengthLimitTable) {
        if (std::strncmp(assignment, limit.variable, std::strlen(limit.variable)) == 0) return &limit;
    }
    return nullptr;
}

}  // namespace

void ConvertFixed(const char* assignment, const PjlValue& /*value*/, const PjlConverters& /*converters*/,
                  std::string& lines) {
    AppendLine(lines, assignment, std::strlen(assignment));
}

void ConvertSplit(const char* assignment, const PjlValue& /*value*/, const PjlConverters& /*converters*/,
                  std::string& lines) {
    const char* piece = assignment;
    for (;;) {
        const char* bar = std::strchr(piece, '|');
        if (bar == nullptr) break;
        AppendLine(lines, piece, static_cast<size_t>(bar - piece));
        piece = bar + 1;
    }
    AppendLine(lines, piece, std::strlen(piece));
}

void ConvertNumber(const char* assignment, const PjlValue& value, const PjlConverters& /*converters*/,
                   std::string& lines) {
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value.number));
    AppendFilledLine(lines, SplitAtPlaceholder(assignment),
                     std::string(digits, length > 0 ? static_cast<size_t>(length) : 0));
}

void ConvertAnsiText(const char* assignment, const PjlValue& value, const PjlConverters& converters,
                     std::string& lines) {
    const size_t length = value.length;
    Text16 printable;
    printable.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const Char16 unit = value.text[i];
        // DEL is a control character too: a printer may act on it in the
        // password rather than take it as part of it.
        if (unit >= 0x20 && unit != 0x7F) printable.push_back(unit);
    }
    const SplitFormat format = SplitAtPlaceholder(assignment);
    AppendFilledLine(lines, format,
                     ConvertFitting(converters.systemCodePage, printable.c_str(), printable.size(), ValueRoom(format)));
}

void ConvertHexUtf8(const char* assignment, const PjlValue& value, const PjlConverters& converters,
                    std::string& lines) {
    AppendHexLine(assignment, value.text, value.length, converters.utf8, lines);
}

void ConvertHexUtf8Limited(const char* assignment, const PjlValue& value, const PjlConverters& converters,
                           std::string& lines) {
    const size_t length = value.length;
    size_t units = length;
    if (const PjlLengthLimit* limit = FindLengthLimit(assignment)) {
        if (limit->units > 0 && limit->bytes > 0) {
            // The limits are counts of units and bytes, so the text loses one
            // unit at a time; a surrogate pair cut in two leaves a lone unit
            // that the conversion turns into the replacement character.
            units = std::min(length, static_cast<size_t>(limit->units));
            // The byte limit counts the terminating zero.
            const size_t maxBytes = static_cast<size_t>(limit->bytes) - 1;
            while (units > 0 && ToCodePage(converters.utf8, value.text, units).size() > maxBytes) --units;
        }
    }
    AppendHexLine(assignment, value.text, units, converters.utf8, lines);
}
