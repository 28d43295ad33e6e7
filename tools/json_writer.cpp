#include "json_writer.h"

#include <cstdio>

namespace qm22t {
namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when none does.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    }
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
    if (lead == 0xED && second > 0x9F) return 0;  // surrogate
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second > 0x8F) return 0;  // beyond U+10FFFF
    return length;
}

}  // namespace

void JsonWriter::NewLine() {
    out_ += '\n';
    out_.append(hasMembers_.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (hasMembers_.empty()) return;
    if (hasMembers_.back()) out_ += ',';
    hasMembers_.back() = true;
    NewLine();
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    out_ += bracket;
    hasMembers_.push_back(false);
}

void JsonWriter::Close(char bracket) {
    const bool hadMembers = hasMembers_.back();
    hasMembers_.pop_back();
    if (hadMembers) NewLine();
    out_ += bracket;
    if (hasMembers_.empty()) out_ += '\n';
}

void JsonWriter::BeginObject() { Open('{'); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray() { Open('['); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(const std::string& name) {
    String(name);
    out_ += ": ";
    afterKey_ = true;
}

void JsonWriter::String(const std::string& value) {
    BeforeValue();
    out_ += '"';
    for (size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += static_cast<char>(c);
        } else if (c == '\n') {
            out_ += "\\n";
        } else if (c == '\r') {
            out_ += "\\r";
        } else if (c == '\t') {
            out_ += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out_ += escaped;
        } else if (c < 0x80) {
            out_ += static_cast<char>(c);
        } else if (const size_t length = Utf8SequenceLength(value, i)) {
            out_.append(value, i, length);
            i += length - 1;
        } else {
            out_ += "\\uFFFD";
        }
    }
    out_ += '"';
}

void JsonWriter::Number(int64_t value) {
    BeforeValue();
    out_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    out_ += "null";
}

void JsonWriter::Member(const std::string& name, const std::string& value) {
    Key(name);
    String(value);
}

void JsonWriter::Member(const std::string& name, const char* value) { Member(name, std::string(value)); }

void JsonWriter::Member(const std::string& name, bool value) {
    Key(name);
    Bool(value);
}

}  // namespace qm22t
