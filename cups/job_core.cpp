#include "job_core.h"

#include "feature_templates.h"

#include "core/feature_rewrite.h"
#include "core/pjl_header.h"
#include "core/private_part.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"
#include "core/settings_text.h"
#include "core/text_convert.h"

#include <array>
#include <utility>

namespace cups {

namespace {

using SettingsBlock = std::array<uint8_t, kSettingsBlockBytes>;

// A name a client sent as UTF-8; one that is not (an old client's Latin-1
// title) still names the job, its bytes past ASCII as "?", rather than
// stopping it.
void Lenient(const std::string& utf8, Text16* out) {
    if (!Utf8ToText16(utf8, *out).Failed()) return;
    out->clear();
    for (const char c : utf8) out->push_back(static_cast<unsigned char>(c) < 0x80 ? Char16(c) : Char16('?'));
}

// The job's own user and today's date, for the blocks that carry them.
class CupsIdentity final : public JobIdentity {
public:
    Text16 UserName(SettingsView) const override { return user; }
    Text16 TodaysDate() const override { return date; }

    Text16 user;
    Text16 date;
};

class CoreJob final : public JobCore {
public:
    CoreJob() {
        SetDefaultSettings(Span());
        words_.isField = [](const std::string& name) { return FindSettingsField(name) != nullptr; };
        words_.customPaperNumber = kCustomPaperCode;
    }

    const Vocabulary& Words() const override { return words_; }

    bool Set(const Assignment& assignment, std::string* problem) override {
        return !StoreSettingText(Span(), assignment.field, assignment.value, *problem).Failed();
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
        Lenient(facts.documentName, &document);
        Lenient(facts.userName, &user);
        Lenient(facts.hostName, &host);
        Lenient(facts.dateText, &date);
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

    // The core's rewriter over this job's merged settings: the document name
    // is the job's title, the owner the job's user, today the date the header
    // carries.
    PieceRewriter Rewriter(const HeaderFacts& facts) override {
        Lenient(facts.documentName.substr(0, kDocumentNameUnits - 1), &documentName_);
        Lenient(facts.userName, &identity_.user);
        Lenient(facts.dateText, &identity_.date);
        const RewriteContext context{
            FeatureTemplates{CheckedTemplate(NumericTemplate(), 1), CheckedTemplate(TextTemplate(), 2)},
            documentName_.c_str(), View(), &identity_};
        return [context](std::string_view piece, int section, int orientation, std::string* out, std::string* problem) {
            const Status status =
                RewriteSetupPieceWith(context, piece, static_cast<SectionState>(section), orientation, *out);
            if (status.Failed()) *problem = "the rewriter failed with status " + std::to_string(status.Code());
            return !status.Failed();
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
    Text16 documentName_;
    CupsIdentity identity_;
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
