// Paper-list file, parsed by the core: the whole input is the file's bytes.
//
// A small reference reading of the same bytes, written from the file's
// documented format (core/paper_list.h), gives the lines the parser must
// examine and the printer's paper codes the lookup must find. The names asked
// for come from the file itself (the names its lines list) plus a few fixed
// ones, so the lookup meets real entries. (The page-size keywords and form
// positions, which need the spooler's forms, are the Windows side's:
// tests/robustness/paper_list_fuzz_test.cpp.)
#include "fuzz_input.h"

#include "core/paper_list.h"

#include <climits>
#include <string>
#include <vector>

namespace {

using Text = std::u16string;

// The reference reading: UTF-16LE units (an odd last byte dropped), up to the
// first zero unit, cut at each LF; a line of more than 1022 units is skipped,
// one trailing CR removed, a line that begins with ";" is a comment. A file of
// no unit is no file.
std::vector<Text> ReferenceLines(const std::string& bytes, bool* readable) {
    Text units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (unit == 0) break;
        units.push_back(unit);
    }
    *readable = bytes.size() >= 2;
    std::vector<Text> lines;
    size_t start = 0;
    while (start < units.size()) {
        size_t end = units.find(u'\n', start);
        if (end == Text::npos) end = units.size();
        Text line = units.substr(start, end - start);
        start = end + 1;
        if (line.size() > 1022) continue;
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        if (!line.empty() && line[0] == u';') continue;
        lines.push_back(line);
    }
    return lines;
}

// The text after the first occurrence of key, or npos.
size_t After(const Text& line, const Text& key) {
    const size_t at = line.find(key);
    return at == Text::npos ? Text::npos : at + key.size();
}

// "name=" at the start of text: the position after "=", or npos.
size_t EntryValue(const Text& text, size_t from, const Text& name) {
    if (name.empty() || text.compare(from, name.size(), name) != 0) return Text::npos;
    const size_t equals = from + name.size();
    return equals < text.size() && text[equals] == u'=' ? equals + 1 : Text::npos;
}

// _wtoi: blanks, a sign, digits; saturating.
int32_t ReferenceNumber(const Text& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > 1LL << 40) value = 1LL << 40;
    }
    if (negative) value = -value;
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int32_t>(value);
}

struct Code {
    bool found = false;
    int32_t code = 0;
};

std::vector<Code> ReferenceCodes(const std::vector<Text>& lines, const std::vector<Text>& names) {
    std::vector<Code> codes(names.size());
    const auto pending = [&] {
        for (size_t i = 0; i < names.size(); ++i) {
            if (!codes[i].found && !names[i].empty()) return true;
        }
        return false;
    };
    for (const Text& line : lines) {
        if (!pending()) break;
        if (line.compare(0, 16, u"[PAPER_LIST_END]") == 0) break;
        const size_t value = After(line, u"PJL_PAPER_LIST=");
        if (value == Text::npos || value == line.size()) continue;
        for (size_t i = 0; i < names.size(); ++i) {
            if (codes[i].found || names[i].empty()) continue;
            const size_t code = EntryValue(line, value, names[i]);
            if (code == Text::npos || code == line.size()) continue;
            codes[i] = Code{true, ReferenceNumber(line.substr(code))};
        }
    }
    return codes;
}

// The name a listing line gives: its text after the key up to the next "=".
void CollectNames(const std::vector<Text>& lines, const Text& key, std::vector<Text>& names, size_t most) {
    for (const Text& line : lines) {
        if (names.size() >= most) return;
        const size_t value = After(line, key);
        if (value == Text::npos) continue;
        const size_t equals = line.find(u'=', value);
        Text name = line.substr(value, equals == Text::npos ? Text::npos : equals - value);
        if (!name.empty() && name.size() < 200) names.push_back(name);
    }
}

std::string Show(const Text& text) {
    std::string shown;
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            shown.push_back(static_cast<char>(unit));
        } else {
            shown += "\\u" + std::to_string(static_cast<unsigned>(unit));
        }
    }
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    bool readable = false;
    const std::vector<Text> lines = ReferenceLines(bytes, &readable);
    const ByteRange file(data, size);

    std::vector<Text> read;
    const Status parsed = ForEachPaperListLine(file, [&read](const Char16* line, size_t length) {
        FUZZ_CHECK(line[length] == 0, "a line handed out without its terminator");
        read.emplace_back(reinterpret_cast<const char16_t*>(line), length);
        return true;
    });
    FUZZ_CHECK(parsed == (readable ? kStatusOk : kStatusInvalidData),
               "the parser answered " + std::to_string(parsed.Code()) + " for " + std::to_string(size) + " bytes");
    FUZZ_CHECK(read.size() == lines.size(), "the parser handed out " + std::to_string(read.size()) +
                                                " lines, the reference " + std::to_string(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(read[i] == lines[i], "line " + std::to_string(i) + " differs: read \"" + Show(read[i]) +
                                            "\", reference \"" + Show(lines[i]) + "\"");
    }

    std::vector<Text> pjlNames = {u"A4", u""};
    CollectNames(lines, u"PJL_PAPER_LIST=", pjlNames, 8);
    constexpr int32_t kUntouched = 0x7EADBEEF;
    std::vector<PjlPaperQuery> queries;
    for (const Text& name : pjlNames) {
        queries.push_back(PjlPaperQuery{reinterpret_cast<const Char16*>(name.c_str()), false, kUntouched});
    }
    (void)LookupPjlPaperCodes(file, queries.data(), queries.size());
    const std::vector<Code> codes = ReferenceCodes(lines, pjlNames);
    for (size_t i = 0; i < queries.size(); ++i) {
        FUZZ_CHECK(
            queries[i].found == codes[i].found && queries[i].code == (codes[i].found ? codes[i].code : kUntouched),
            "paper code for \"" + Show(pjlNames[i]) +
                "\": " + (queries[i].found ? std::to_string(queries[i].code) : std::string("not found")) +
                ", reference " + (codes[i].found ? std::to_string(codes[i].code) : std::string("not found")));
    }
    return 0;
}
