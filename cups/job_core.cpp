#include "job_core.h"

#include "core/pjl_header.h"
#include "core/private_part.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"
#include "core/text_convert.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace cups {

namespace {

using SettingsBlock = std::array<uint8_t, kSettingsBlockBytes>;

// UTF-8 to UTF-16 for the names CUPS hands over (CHARSET is utf-8); false for
// bytes that are not UTF-8.
bool Utf16Of(const std::string& text, Text16* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80         ? 1
                              : (lead >> 5) == 6  ? 2
                              : (lead >> 4) == 14 ? 3
                              : (lead >> 3) == 30 ? 4
                                                  : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code >= 0x110000 || (code >= 0xD800 && code < 0xE000)) return false;
        if (code >= 0x10000) {
            out->push_back(static_cast<Char16>(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(static_cast<Char16>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<Char16>(code));
        }
        i += length;
    }
    return true;
}

// A job's value for a field, spelt as a settings file spells it: a decimal
// number within the field's width, a UTF-8 text within its room, or a page
// list ("1,3-5") as the field's 4-bit codes (digits 1-9, 15 for 0, 10 for
// ",", 11 for "-", low half of each byte first), the codes DecodePageList
// reads back. False with the reason; the block is then unchanged.
bool StoreFieldText(const SettingRow& row, const std::string& value, SettingsSpan block, std::string* problem) {
    if (row.kind == SettingKind::Text16) {
        Text16 text;
        if (!Utf16Of(value, &text) || text.find(Char16(0)) != Text16::npos) {
            *problem = "the text is not UTF-8 without zero characters";
            return false;
        }
        if (text.size() >= row.Units()) {
            *problem = std::string(row.name) + " holds at most " + std::to_string(row.Units() - 1) +
                       " characters (UTF-16 units); the text has " + std::to_string(text.size());
            return false;
        }
        std::memset(block.data + row.offset, 0, row.bytes);
        return WriteSettingText(block, row.offset, row.Units(), text.c_str());
    }
    if (row.kind == SettingKind::Text8) {
        std::string codes(row.bytes, '\0');
        size_t symbol = 0;
        for (const char c : value) {
            const unsigned code = c >= '1' && c <= '9' ? static_cast<unsigned>(c - '0')
                                  : c == '0'           ? 15u
                                  : c == ','           ? 10u
                                  : c == '-'           ? 11u
                                                       : 0u;
            if (code == 0 || symbol >= 2 * row.bytes) {
                *problem = code == 0 ? "a page list holds digits, \",\" and \"-\" only"
                                     : "the page list is longer than " + std::to_string(2 * row.bytes) + " symbols";
                return false;
            }
            codes[symbol / 2] = static_cast<char>(codes[symbol / 2] | (symbol % 2 == 0 ? code : code << 4));
            ++symbol;
        }
        return WriteSettingBytes(block, row.offset, codes.data(), codes.size());
    }
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(value.c_str(), &end, 10);
    const int bits = static_cast<int>(8 * row.bytes);
    const long long low = row.kind == SettingKind::Signed ? -(1LL << (bits - 1)) : 0;
    const long long high = row.kind == SettingKind::Signed ? (1LL << (bits - 1)) - 1 : (1LL << bits) - 1;
    if (value.empty() || *end != '\0' || errno != 0 || number < low || number > high) {
        *problem = "\"" + value + "\" is no number of " + std::to_string(low) + " to " + std::to_string(high);
        return false;
    }
    return WriteSettingNumber(block, row.offset, row.bytes, number);
}

class CoreJob final : public JobCore {
public:
    CoreJob() {
        SetDefaultSettings(Span());
        words_.isField = [](const std::string& name) { return FindSettingRow(name.c_str()) != nullptr; };
        words_.customPaperNumber = kCustomPaperCode;
    }

    const Vocabulary& Words() const override { return words_; }

    bool Set(const Assignment& assignment, std::string* problem) override {
        const SettingRow* row = FindSettingRow(assignment.field.c_str());
        if (row == nullptr) {
            *problem = "no setting " + assignment.field;
            return false;
        }
        return StoreFieldText(*row, assignment.value, Span(), problem);
    }

    std::vector<Correction> Merge() override {
        SettingCorrections corrections;
        ValidateSettings(Span(), &corrections);
        std::vector<Correction> changes;
        for (size_t i = 0; i < corrections.count; ++i) {
            const SettingCorrection& item = corrections.items[i];
            changes.push_back({item.row->name, std::to_string(item.before), std::to_string(item.after)});
        }
        return changes;
    }

    int Orientation() const override { return ReadFieldValue(View(), kSettingOrientation); }

    bool Header(const HeaderFacts& facts, std::string* header, std::string* problem) override {
        Text16 document;
        Text16 user;
        Text16 host;
        Text16 date;
        if (!Utf16Of(facts.documentName, &document) || !Utf16Of(facts.userName, &user) ||
            !Utf16Of(facts.hostName, &host) || !Utf16Of(facts.dateText, &date)) {
            *problem = "the job's title, user or the host name is not UTF-8";
            return false;
        }
        const PjlHeaderInputs inputs{block_.data(),
                                     Text16View(document),
                                     Text16View(user),
                                     Text16View(host),
                                     Text16View(date),
                                     PaperCodes(facts),
                                     PjlConverters{Utf8Converter(), Windows1252Converter()}};
        const Status status = BuildPjlHeaderBytes(inputs, *header);
        if (status.Failed()) *problem = "status " + std::to_string(status.Code());
        return !status.Failed();
    }

    // The core has no feature-code rewriter yet: pieces go out as pstops wrote
    // them, with the blocks of the printer description's choices.
    PieceRewriter Rewriter(const HeaderFacts&) override {
        return [](std::string_view piece, int, int, std::string* out, std::string*) {
            out->assign(piece);
            return true;
        };
    }

private:
    SettingsSpan Span() { return SettingsSpan{block_.data(), block_.size()}; }
    SettingsView View() const { return SettingsView{block_.data(), block_.size()}; }

    // The printer's codes of the paper and output paper (a print server has no
    // spooler forms to look further in): a paper the table lacks is a custom
    // size, as on Windows.
    PrinterPaperCodes PaperCodes(const HeaderFacts& facts) const {
        const int paper = facts.paperCode(ReadFieldValue(View(), kSettingPaperNumber));
        const int32_t outputPaper = ReadFieldValue(View(), kSettingOutputPaper);
        const int output = outputPaper == kAutoPaperCode ? kAutoPaperCode : facts.paperCode(outputPaper);
        return PrinterPaperCodes{paper >= 0 ? paper : kCustomPaperCode, output >= 0 ? output : kCustomPaperCode};
    }

    SettingsBlock block_{};
    Vocabulary words_;
};

}  // namespace

std::unique_ptr<JobCore> MakeJobCore(std::string* problem) {
    try {
        return std::make_unique<CoreJob>();
    } catch (const std::bad_alloc&) {
        *problem = "out of memory";
        return nullptr;
    }
}

}  // namespace cups
