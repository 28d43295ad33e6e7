#include "job_core.h"

#include "core/pjl_header.h"
#include "core/private_part.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"
#include "core/text_convert.h"

#include <array>
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
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
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

class CoreJob final : public JobCore {
public:
    CoreJob() {
        SetDefaultSettings(Span());
        words_.isField = [](const std::string& name) { return FindSettingRow(name.c_str()) != nullptr; };
        words_.paperNumber = [](const std::string& keyword) {
            const PaperRow* row = FindPaperRowByKeyword(keyword.c_str());
            return row != nullptr ? static_cast<int>(row->number) : -1;
        };
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
                                     PaperCodes(),
                                     PjlConverters{Utf8Converter(), Windows1252Converter()}};
        const Status status = BuildPjlHeaderBytes(inputs, *header);
        if (status.Failed()) *problem = "status " + std::to_string(status.Code());
        return !status.Failed();
    }

    PieceRewriter Rewriter(const HeaderFacts& facts) override;

private:
    SettingsSpan Span() { return SettingsSpan{block_.data(), block_.size()}; }
    SettingsView View() const { return SettingsView{block_.data(), block_.size()}; }

    // The printer's codes of the paper and output paper, from the paper table
    // (a print server has no spooler forms to look further in).
    PrinterPaperCodes PaperCodes() const {
        const PaperRow* paper = FindPaperRow(static_cast<short>(ReadFieldValue(View(), kSettingPaperNumber)));
        const int32_t output = ReadFieldValue(View(), kSettingOutputPaper);
        const PaperRow* outputRow = FindPaperRow(static_cast<short>(output));
        return PrinterPaperCodes{paper != nullptr ? paper->code : kCustomPaperCode,
                                 output == kAutoPaperCode   ? kAutoPaperCode
                                 : outputRow != nullptr     ? outputRow->code
                                                            : kCustomPaperCode};
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
