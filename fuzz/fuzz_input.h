// Input format and checks shared by the fuzz targets.
//
// An input is text directives, a line "--", then the body (a job, a setup
// piece, ...): the directives set up what the body goes through, so a seed is
// readable and a reproducer can be read and edited by hand. Without a "--" line
// the whole input is the body (or, for targets that have no body, directives).
//
// Directive lines are "key=value"; a line without "=" is a key with an empty
// value, a line that begins with "#" is a comment. Unknown keys are ignored, so
// a mutated key costs nothing but that line.
//   Name=value    a settings-table field (FindSettingRow): a number for number
//                 fields, text for UTF-16 fields, raw bytes for page lists
//   @offset=hex   raw bytes written into the settings block at that offset
// Text values take "\uXXXX" for any 16-bit unit; every other byte stands for
// the unit of the same value, so control characters reach the code as they are.
//
// A property that does not hold is reported on standard error and ends the
// process with abort(): libFuzzer saves the input as a crash, and the replay
// program fails.
#pragma once

#include "core/private_part.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

// What every target defines: libFuzzer, or the replay program, calls it with one input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\nFUZZ PROPERTY VIOLATED at %s:%d\n%s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, what)                                 \
    do {                                                            \
        if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, (what)); \
    } while (0)

// A property that a known, still open fault breaks is checked under its name
// (FUZZ_CHECK_OPEN). scripts/fuzz.sh passes the names listed in
// fuzz/known-failing/open-faults.txt in FUZZ_OPEN_FAULTS, so a long run keeps
// searching for new faults instead of stopping at the known one; without the
// variable (the replay of the stored inputs) every property is checked.
inline bool IsOpenFault(const char* name) {
    const char* open = std::getenv("FUZZ_OPEN_FAULTS");
    if (open == nullptr) return false;
    const std::string list = std::string(" ") + open + " ";
    const std::string wanted = name;
    for (size_t at = list.find(wanted); at != std::string::npos; at = list.find(wanted, at + 1)) {
        const char before = list[at - 1];
        const char after = list[at + wanted.size()];
        if ((before == ' ' || before == ',') && (after == ' ' || after == ',')) return true;
    }
    return false;
}

#define FUZZ_CHECK_OPEN(name, condition, what)                                           \
    do {                                                                                 \
        if (!(condition) && !::fuzz::IsOpenFault(name))                                  \
            ::fuzz::Fail(__FILE__, __LINE__, std::string("[") + (name) + "] " + (what)); \
    } while (0)

// Printable form of bytes for reports (the first `limit` bytes).
inline std::string Escaped(const std::string& bytes, size_t limit = 600) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n\n";
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (bytes.size() > limit) out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

struct Input {
    std::vector<std::pair<std::string, std::string>> directives;
    std::string body;
};

// bodyOnly: without a "--" line everything is the body (else: directives).
inline Input SplitInput(const uint8_t* data, size_t size, bool bodyOnly) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    std::string head;
    Input input;
    if (all.compare(0, 3, "--\n") == 0) {
        input.body = all.substr(3);
    } else {
        const size_t separator = all.find("\n--\n");
        if (separator != std::string::npos) {
            head = all.substr(0, separator);
            input.body = all.substr(separator + 4);
        } else if (bodyOnly) {
            input.body = all;
        } else {
            head = all;
        }
    }
    size_t start = 0;
    while (start < head.size()) {
        size_t end = head.find('\n', start);
        if (end == std::string::npos) end = head.size();
        const std::string line = head.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#') continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            input.directives.emplace_back(line, std::string());
        } else {
            input.directives.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return input;
}

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A lenient number: optional sign, decimal or 0x hexadecimal, whatever follows
// ignored; 0 when there are no digits. Saturates instead of overflowing.
inline int64_t Number(const std::string& text, size_t* used = nullptr) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const bool hex = i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    if (hex) i += 2;
    const int base = hex ? 16 : 10;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || digit >= base) break;
        if (value < (INT64_MAX - digit) / base) value = value * base + digit;
    }
    if (used != nullptr) *used = i;
    return negative ? -value : value;
}

// Numbers separated by commas or blanks ("5,300 7").
inline std::vector<int64_t> Numbers(const std::string& text, size_t most = 4096) {
    std::vector<int64_t> numbers;
    size_t at = 0;
    while (at < text.size() && numbers.size() < most) {
        size_t used = 0;
        const std::string rest = text.substr(at);
        const int64_t value = Number(rest, &used);
        if (used == 0) {
            ++at;
            continue;
        }
        numbers.push_back(value);
        at += used;
    }
    return numbers;
}

// The units of a text value (see the format above).
inline std::u16string Units(const std::string& value) {
    std::u16string units;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 5 < value.size() && value[i + 1] == 'u') {
            int unit = 0;
            bool ok = true;
            for (size_t k = 2; k < 6; ++k) {
                const int digit = HexDigit(value[i + k]);
                ok = ok && digit >= 0;
                unit = unit * 16 + (digit < 0 ? 0 : digit);
            }
            if (ok) {
                units.push_back(static_cast<char16_t>(unit));
                i += 5;
                continue;
            }
        }
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(value[i])));
    }
    return units;
}

// Applies one settings directive; false when the key is none.
inline bool ApplySetting(SettingsSpan span, const std::string& key, const std::string& value) {
    if (!key.empty() && key[0] == '@') {
        const size_t offset = static_cast<size_t>(Number(key.substr(1)) & 0xFFFF);
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i + 1 < value.size(); i += 2) {
            const int high = HexDigit(value[i]);
            const int low = HexDigit(value[i + 1]);
            if (high < 0 || low < 0) break;
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        for (size_t i = 0; i < bytes.size() && offset + i < span.size; ++i) span.data[offset + i] = bytes[i];
        return true;
    }
    const SettingRow* row = FindSettingRow(key.c_str());
    if (row == nullptr) return false;
    switch (row->kind) {
        case SettingKind::Signed:
        case SettingKind::Unsigned: WriteSettingNumber(span, row->offset, row->bytes, Number(value)); break;
        case SettingKind::Text16: {
            // As many units as the field holds, terminated when there is room:
            // a field filled to the last unit has no terminator, as a damaged
            // block would.
            const std::u16string units = Units(value);
            const size_t capacity = row->bytes / 2;
            for (size_t i = 0; i < capacity; ++i) {
                const char16_t unit = i < units.size() ? units[i] : u'\0';
                const uint8_t bytes[2] = {static_cast<uint8_t>(unit & 0xFF), static_cast<uint8_t>(unit >> 8)};
                WriteSettingBytes(span, row->offset + 2 * i, bytes, 2);
            }
            break;
        }
        case SettingKind::Text8: {
            std::vector<uint8_t> bytes(row->bytes, 0);
            for (size_t i = 0; i < bytes.size() && i < value.size(); ++i) bytes[i] = static_cast<uint8_t>(value[i]);
            WriteSettingBytes(span, row->offset, bytes.data(), bytes.size());
            break;
        }
    }
    return true;
}

// A settings block: the defaults, every settings directive applied, then
// validated as the device-settings handler leaves a block (unless a "raw"
// directive asks for the block as the directives left it), and the
// identification text (unless "noidentification").
inline std::vector<uint8_t> SettingsFrom(const Input& input) {
    std::vector<uint8_t> block(kSettingsBlockBytes, 0);
    const SettingsSpan span{block.data(), block.size()};
    SetDefaultSettings(span);
    bool raw = false;
    bool identification = true;
    for (const auto& directive : input.directives) {
        if (directive.first == "raw") raw = true;
        if (directive.first == "noidentification") identification = false;
        ApplySetting(span, directive.first, directive.second);
    }
    if (!raw) ValidateSettings(span);
    if (identification) WriteSettingText(span, 0, kIdentificationBytes / 2, TEXT16("VTA/NP"));
    return block;
}

// The value of the last directive `key`, or `fallback`.
inline std::string Directive(const Input& input, const std::string& key, const std::string& fallback = "") {
    std::string value = fallback;
    for (const auto& directive : input.directives) {
        if (directive.first == key) value = directive.second;
    }
    return value;
}

inline bool HasDirective(const Input& input, const std::string& key) {
    for (const auto& directive : input.directives) {
        if (directive.first == key) return true;
    }
    return false;
}

}  // namespace fuzz
