#include "cli.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace qm22t {
namespace {

std::string& CommandName() {
    static std::string name = "qm22t";
    return name;
}

}  // namespace

void SetCommandName(const std::string& command) { CommandName() = "qm22t " + command; }

void Error(const std::string& message) { std::cerr << CommandName() << ": " << message << "\n"; }
void Warning(const std::string& message) { std::cerr << CommandName() << ": warning: " << message << "\n"; }
void Note(const std::string& message) { std::cerr << CommandName() << ": " << message << "\n"; }

Arguments::Arguments(int argc, char** argv, int first) : next_(0) {
    for (int i = first; i < argc; ++i) args_.emplace_back(argv[i]);
}

bool Arguments::Matches(const char* name, std::string* inlineValue) const {
    if (optionsEnded_ || Done()) return false;
    const std::string& arg = args_[next_];
    const size_t length = std::strlen(name);
    if (arg.compare(0, length, name) != 0) return false;
    if (arg.size() == length) return true;
    if (inlineValue != nullptr && arg[length] == '=') {
        *inlineValue = arg.substr(length + 1);
        return true;
    }
    return false;
}

bool Arguments::Flag(const char* name) {
    if (!Matches(name, nullptr)) return false;
    ++next_;
    return true;
}

bool Arguments::Value(const char* name, std::string* value) {
    std::string inlineValue;
    const bool hasInline = !optionsEnded_ && !Done() && args_[next_].size() > std::strlen(name);
    if (!Matches(name, &inlineValue)) return false;
    ++next_;
    if (hasInline) {
        *value = inlineValue;
    } else if (Done()) {
        Error(std::string(name) + " needs a value");
        failed_ = true;
    } else {
        *value = args_[next_++];
    }
    return true;
}

bool Arguments::Values(const char* name, std::vector<std::string>* values) {
    std::string value;
    if (!Value(name, &value)) return false;
    if (!failed_) values->push_back(value);
    return true;
}

bool Arguments::Positional(std::string* value) {
    const std::string& arg = args_[next_++];
    if (!optionsEnded_ && arg == "--") {
        optionsEnded_ = true;
        return false;
    }
    // "-" alone names standard input or output.
    if (!optionsEnded_ && arg.size() > 1 && arg[0] == '-') {
        Error("unknown option " + arg + " (see --help)");
        failed_ = true;
        return false;
    }
    *value = arg;
    return true;
}

bool ParseInteger(const std::string& text, int64_t* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    *value = parsed;
    return true;
}

bool ParseByteCount(const std::string& text, uint64_t* value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0) return false;
    unsigned shift = 0;
    const std::string suffix = end;
    if (suffix == "K" || suffix == "k") shift = 10;
    else if (suffix == "M" || suffix == "m") shift = 20;
    else if (suffix == "G" || suffix == "g") shift = 30;
    else if (!suffix.empty()) return false;
    if (shift != 0 && parsed > (~0ULL >> shift)) return false;
    *value = parsed << shift;
    return true;
}

std::string SystemError() { return std::strerror(errno); }

std::string DisplayName(const std::string& path, bool output) {
    if (path == "-") return output ? "standard output" : "standard input";
    return path;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
    FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot read " + path + ": " + SystemError();
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    const std::string reason = SystemError();
    if (file != stdin) std::fclose(file);
    if (failed) *error = "cannot read " + DisplayName(path, false) + ": " + reason;
    return !failed;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    FILE* file = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + SystemError();
        return false;
    }
    // Small outputs stay buffered until the stream is flushed, so a full disk
    // shows only there.
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok;
    const std::string reason = SystemError();
    if (file != stdout) ok = std::fclose(file) == 0 && ok;
    if (!ok) *error = "cannot write " + DisplayName(path, true) + ": " + reason;
    return ok;
}

std::string Printable(const std::string& bytes, size_t limit) {
    std::string shown;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') shown += "\\r";
        else if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else if (c == '\\') shown += "\\\\";
        else if (c >= 0x20 && c < 0x7F) shown += static_cast<char>(c);
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        }
    }
    if (bytes.size() > limit) shown += "...";
    return shown;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16) {
    utf16->clear();
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        uint32_t code = 0;
        size_t extra = 0;
        uint32_t least = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            extra = 1;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            extra = 2;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07;
            extra = 3;
            least = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= utf8.size() && extra > 0) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            utf16->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            utf16->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            utf16->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

bool Utf16ToUtf8(const std::u16string& utf16, std::string* utf8) {
    utf8->clear();
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t code = utf16[i];
        if (code >= 0xDC00 && code <= 0xDFFF) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        }
        if (code < 0x80) {
            utf8->push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            utf8->push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            utf8->push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            utf8->push_back(static_cast<char>(0xF0 | (code >> 18)));
            utf8->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            utf8->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return true;
}

bool BytesOfHex(const std::string& hex, std::string* bytes) {
    if (hex.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

}  // namespace qm22t
