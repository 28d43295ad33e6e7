#include "core/settings_text.h"

#include "core/core_failure.h"

#include <cstring>
#include <new>

namespace {

constexpr SettingField kIdentificationField{"Identification", 0, kIdentificationBytes, SettingKind::Text16};

struct FieldIndex {
    SettingField fields[kSettingsFieldCount];
};

constexpr FieldIndex MakeFieldIndex() {
    FieldIndex index{};
    size_t count = 0;
    const SettingField extra[3] = {kIdentificationField, kSettingUserNameSwitch, kSettingUserName};
    size_t next = 0;
    for (const SettingRow& row : kSettingTable) {
        while (next < 3 && extra[next].offset < row.offset) index.fields[count++] = extra[next++];
        index.fields[count++] = row;
    }
    while (next < 3) index.fields[count++] = extra[next++];
    return index;
}

// In offset order, built while the code compiles.
constexpr FieldIndex kFieldIndex = MakeFieldIndex();

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string_view();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal number with an optional sign and nothing else; false past int64.
bool ParseDecimal(std::string_view text, int64_t& value) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
    if (i == text.size()) return false;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (magnitude > (UINT64_C(1) << 63) / 10) return false;
        magnitude = magnitude * 10 + digit;
        if (magnitude > (UINT64_C(1) << 63)) return false;
    }
    if (!negative && magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

std::string Quoted(std::string_view text) {
    std::string shown = "\"";
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown.push_back(c);
        } else {
            static const char kDigits[] = "0123456789ABCDEF";
            shown += "\\x";
            shown.push_back(kDigits[byte >> 4]);
            shown.push_back(kDigits[byte & 0x0F]);
        }
    }
    return shown + "\"";
}

bool StoreNumber(SettingsSpan span, const SettingField& field, std::string_view value, std::string& problem) {
    const unsigned bits = static_cast<unsigned>(field.bytes * 8);
    const bool isSigned = field.kind == SettingKind::Signed;
    const int64_t low = isSigned ? -(int64_t{1} << (bits - 1)) : 0;
    const int64_t high = isSigned ? (int64_t{1} << (bits - 1)) - 1 : (int64_t{1} << bits) - 1;
    int64_t number = 0;
    if (!ParseDecimal(Trimmed(value), number)) {
        problem = Quoted(value) + " is not a number; " + field.name + " takes a decimal number";
        return false;
    }
    if (number < low || number > high) {
        problem = std::string(Trimmed(value)) + " does not fit " + field.name + " (" + std::to_string(field.bytes) +
                  "-byte " + (isSigned ? "signed" : "unsigned") + ", " + std::to_string(low) + ".." +
                  std::to_string(high) + ")";
        return false;
    }
    WriteSettingNumber(span, field.offset, field.bytes, number);
    return true;
}

bool StoreText(SettingsSpan span, const SettingField& field, std::string_view value, std::string& problem) {
    Text16 units;
    const Status decoded = Utf8ToText16(value, units);
    if (decoded == kStatusOutOfMemory) throw std::bad_alloc();
    if (decoded.Failed()) {
        problem = std::string("the text for ") + field.name + " is not UTF-8";
        return false;
    }
    if (units.find(Char16(0)) != Text16::npos) {
        problem = "a text cannot hold a zero character";
        return false;
    }
    const size_t room = field.Units() - 1;
    if (units.size() > room) {
        problem = std::string(field.name) + " holds at most " + std::to_string(room) + " UTF-16 units; the text has " +
                  std::to_string(units.size());
        return false;
    }
    std::memset(span.data + field.offset, 0, field.bytes);
    WriteSettingText(span, field.offset, field.Units(), units.c_str());
    return true;
}

// "1,3-5" as 4-bit codes, low half of each byte first: digits 1-9, 15 for 0,
// 10 for "," and 11 for "-"; the rest of the field zero.
bool StorePageList(SettingsSpan span, const SettingField& field, std::string_view value, std::string& problem) {
    const std::string_view text = Trimmed(value);
    std::string codes(field.bytes, '\0');
    size_t nibble = 0;
    for (char c : text) {
        unsigned code = 0;
        if (c >= '1' && c <= '9') {
            code = static_cast<unsigned>(c - '0');
        } else if (c == '0') {
            code = 15;
        } else if (c == ',') {
            code = 10;
        } else if (c == '-') {
            code = 11;
        } else {
            problem = "a page list holds digits, \",\" and \"-\" only, not " + Quoted(std::string_view(&c, 1));
            return false;
        }
        if (nibble >= 2u * field.bytes) {
            problem = "a page list holds at most " + std::to_string(2u * field.bytes) + " symbols";
            return false;
        }
        char& byte = codes[nibble / 2];
        byte = static_cast<char>(nibble % 2 == 0 ? code : (static_cast<unsigned char>(byte) | (code << 4)));
        ++nibble;
    }
    std::memcpy(span.data + field.offset, codes.data(), codes.size());
    return true;
}

}  // namespace

const SettingField& SettingsFieldAt(size_t index) noexcept {
    return kFieldIndex.fields[index < kSettingsFieldCount ? index : 0];
}

const SettingField* FindSettingsField(std::string_view name) noexcept {
    for (const SettingField& field : kFieldIndex.fields) {
        if (name == field.name) return &field;
    }
    return nullptr;
}

const SettingField* FindSettingsFieldAt(size_t offset) noexcept {
    for (const SettingField& field : kFieldIndex.fields) {
        if (field.offset == offset) return &field;
    }
    return nullptr;
}

Status StoreFieldText(SettingsSpan span, const SettingField& field, std::string_view value,
                      std::string& problem) noexcept {
    CORE_RETURN_IF(kStatusInvalidArgument, !FieldInside(AsView(span), field.offset, field.bytes) || field.bytes == 0);
    try {
        problem.clear();
        bool stored = false;
        switch (field.kind) {
            case SettingKind::Signed:
            case SettingKind::Unsigned: stored = StoreNumber(span, field, value, problem); break;
            case SettingKind::Text16: stored = StoreText(span, field, value, problem); break;
            case SettingKind::Text8: stored = StorePageList(span, field, value, problem); break;
        }
        CORE_RETURN_IF(kStatusInvalidData, !stored);
        return kStatusOk;
    }
    CORE_CATCH_RETURN()
}

Status StoreSettingText(SettingsSpan span, std::string_view name, std::string_view value,
                        std::string& problem) noexcept {
    if (const SettingField* field = FindSettingsField(name)) return StoreFieldText(span, *field, value, problem);
    try {
        problem = "no settings field is named " + Quoted(name) + " (`qm22t settings fields` lists them)";
    }
    CORE_CATCH_RETURN()
    CORE_RETURN(kStatusInvalidData);
}

Status Utf8ToText16(std::string_view utf8, Text16& out) noexcept {
    out.clear();
    try {
        for (size_t i = 0; i < utf8.size();) {
            const unsigned lead = static_cast<unsigned char>(utf8[i]);
            size_t extra = 0;
            uint32_t code = 0;
            uint32_t least = 0;
            if (lead < 0x80) {
                code = lead;
            } else if ((lead & 0xE0) == 0xC0) {
                extra = 1;
                code = lead & 0x1F;
                least = 0x80;
            } else if ((lead & 0xF0) == 0xE0) {
                extra = 2;
                code = lead & 0x0F;
                least = 0x800;
            } else if ((lead & 0xF8) == 0xF0) {
                extra = 3;
                code = lead & 0x07;
                least = 0x10000;
            }
            if ((lead >= 0x80 && extra == 0) || i + extra >= utf8.size()) {
                out.clear();
                return kStatusInvalidData;
            }
            for (size_t k = 1; k <= extra; ++k) {
                const unsigned next = static_cast<unsigned char>(utf8[i + k]);
                if ((next & 0xC0) != 0x80) {
                    out.clear();
                    return kStatusInvalidData;
                }
                code = (code << 6) | (next & 0x3F);
            }
            if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                out.clear();
                return kStatusInvalidData;
            }
            if (code >= 0x10000) {
                out.push_back(static_cast<Char16>(0xD800 + ((code - 0x10000) >> 10)));
                out.push_back(static_cast<Char16>(0xDC00 + ((code - 0x10000) & 0x3FF)));
            } else {
                out.push_back(static_cast<Char16>(code));
            }
            i += extra + 1;
        }
    }
    CORE_CATCH_CLEAR_RETURN(out)
    return kStatusOk;
}
