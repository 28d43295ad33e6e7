#include "ppd_cups.h"

#include "cups/standard_options.h"
#include "core/private_part.h"
#include "core/settings_fields.h"

#include <cstring>
#include <vector>

namespace {

// The settings that are no option of their own here: the standard options
// and the job carry them (the paper and its custom size, the copies), or
// nothing prints from them (the Windows dialog's inch mirrors of metric
// distances).
constexpr const char* kNotOptions[] = {cups::kPaperField, cups::kCustomWidthField, cups::kCustomHeightField,
                                       cups::kCopiesField};

// The group of each setting that has no printer feature of its own.
struct ValueGroup {
    const char* prefix;
    PpdGroup group;
};
constexpr ValueGroup kValueGroups[] = {
    {"PageTray", PpdGroup::PaperAndTrays},          {"OutputPaper", PpdGroup::PaperAndTrays},
    {"ZTTarget", PpdGroup::PaperAndTrays},          {"ZTPageNum", PpdGroup::StampsAndOverlays},
    {"ZTDate", PpdGroup::StampsAndOverlays},        {"ZTBarcode", PpdGroup::ColorAndQuality},
    {"ZTOutputProfile", PpdGroup::ColorAndQuality},
};

// The longest page list a job may give ("1,3-5,..."): as many characters as a
// custom string of CUPS takes.
constexpr int kPageListCharacters = 255;

// The order number of the standard options; the printer features follow.
constexpr int kStandardOrder = 10;

// The most values of one field tried for the choices' values.
constexpr int32_t kMostValuesTried = 4096;

bool Named(const char* name, const char* other) { return std::strcmp(name, other) == 0; }

bool IsNumber(const std::string& text) {
    const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > digits && text.size() < 10 &&
           text.find_first_not_of("0123456789", digits) == std::string::npos;
}

const PpdOption* FindOption(const PpdModel& model, const char* keyword) {
    for (const PpdOption& option : model.options) {
        if (option.keyword == keyword) return &option;
    }
    return nullptr;
}

// Writes the settings value of each choice of a printer feature the settings
// spell in words ("*QM22TValue ZTManualZoom.OFF: "0""): the value whose feature
// text the choice is, the first one when several share it. The filter sets
// the field from it, so a choice always means what the rewriter would write
// for it. Found by trying the field's valid values on the defaults; the
// staple mode's texts follow the binding, so it is tried with each binding.
void WriteChoiceValues(PpdText& out, const PackageTables& tables, const PpdModel& model) {
    std::vector<uint8_t> defaults(kSettingsBlockBytes, 0);
    SetDefaultSettings(SettingsSpan{defaults.data(), defaults.size()});
    std::vector<uint8_t> block;
    std::string text;
    for (size_t g = 0; g < tables.groupCount; ++g) {
        for (size_t r = 0; r < tables.groups[g].count; ++r) {
            const ReplaceRow& row = tables.groups[g].rows[r];
            const PpdOption* option = FindOption(model, row.keyword);
            const SettingRow* setting = FindSettingRow(row.field.name);
            if (option == nullptr || option->kind != PpdValueKind::Closed || setting == nullptr) continue;
            std::vector<std::pair<int32_t, int32_t>> ranges;
            for (size_t i = 0; i < setting->rangeCount; ++i)
                ranges.push_back({setting->ranges[i].low, setting->ranges[i].high});
            if (ranges.empty()) ranges.push_back({0, 255});
            for (const PpdChoice& choice : option->choices) {
                bool found = false;
                for (int32_t binding : {-1, 2}) {
                    block = defaults;
                    if (binding >= 0)
                        WriteSettingNumber(SettingsSpan{block.data(), block.size()}, kSettingBinding.offset,
                                           kSettingBinding.bytes, binding);
                    int32_t tried = 0;
                    // A choice that is a number stands for that number when
                    // the field gives it back as its text.
                    std::vector<std::pair<int32_t, int32_t>> candidates = ranges;
                    if (IsNumber(choice.name)) {
                        const int32_t own = std::stoi(choice.name);
                        candidates.insert(candidates.begin(), {own, own});
                    }
                    for (const auto& range : candidates) {
                        for (int32_t value = range.first; value <= range.second && !found && tried++ < kMostValuesTried;
                             ++value) {
                            WriteSettingNumber(SettingsSpan{block.data(), block.size()}, row.field.offset,
                                               row.field.bytes, value);
                            if (!FillReplaceValue(row, SettingsView{block.data(), block.size()}, text) ||
                                text != choice.name) {
                                continue;
                            }
                            out.Line("*" + std::string(cups::kValueAttribute) + " " + option->keyword + "." +
                                     choice.name + ": \"" + std::to_string(value) + "\"");
                            found = true;
                        }
                    }
                    if (found) break;
                }
            }
        }
    }
}

// A setting a user sets on Windows that the model offers no option for: a
// text or a number with no block of its own in the feature code.
bool IsValueSetting(const PpdModel& model, const SettingRow& row) {
    if (FindOption(model, row.name) != nullptr) return false;
    for (const char* name : kNotOptions) {
        if (Named(row.name, name)) return false;
    }
    const size_t length = std::strlen(row.name);
    return !(length > 4 && Named(row.name + length - 4, "Inch"));
}

PpdGroup GroupOf(const char* name) {
    for (const ValueGroup& group : kValueGroups) {
        if (std::strncmp(name, group.prefix, std::strlen(group.prefix)) == 0) return group.group;
    }
    return PpdGroup::JobAndSecurity;
}

// The option of a setting without a block: one choice that keeps the
// setting, and a custom value.
PpdOption ValueOption(const SettingRow& row) {
    PpdOption option{row.name, PpdSection::DocumentSetup, cups::kKeepChoice,
                     {},       KeywordLabel(row.name),    GroupOf(row.name),
                     0,        PpdValueKind::Number,      0,
                     0};
    option.choices.push_back({cups::kKeepChoice, "", ChoiceText(row.name, kNeutralChoice)});
    if (row.IsText()) {
        option.kind = PpdValueKind::Text;
        option.high = row.kind == SettingKind::Text8 ? kPageListCharacters : static_cast<int32_t>(row.Units() - 1);
    } else {
        option.low = row.ranges[0].low;
        option.high = row.ranges[row.rangeCount - 1].high;
    }
    return option;
}

// An option whose choices do nothing in PostScript: the filter turns them
// into settings, and the feature blocks come from those.
void WriteSettingOption(PpdText& out, const PpdOption& option) {
    out.Line("*OpenUI *" + option.keyword + "/" + option.text + ": PickOne");
    out.Line("*OrderDependency: " + std::to_string(kStandardOrder) + " AnySetup *" + option.keyword);
    out.Line("*Default" + option.keyword + ": " + option.defaultChoice);
    for (const PpdChoice& choice : option.choices)
        out.Line("*" + option.keyword + " " + choice.name + "/" + choice.text + ": \"\"");
    out.Line("*CloseUI: *" + option.keyword);
}

// A text or number option takes a custom value: CUPS reads these lines only
// outside *OpenUI/*CloseUI. The filter puts the value into the settings; the
// code is empty, as the plug-in's block carries it.
void WriteCustomValue(PpdText& out, const PpdOption& option) {
    const bool text = option.kind == PpdValueKind::Text;
    out.Line("*Custom" + option.keyword + " True/Custom: \"\"");
    out.Line("*ParamCustom" + option.keyword + " Value/" + (text ? "Text" : "Value") + ": 1 " +
             (text ? "string " : "int ") + std::to_string(option.low) + " " + std::to_string(option.high));
}

// The standard options, with the choices of the settings they drive.
bool WriteStandardOptions(PpdText& out, const PpdModel& model, std::string& error) {
    for (const cups::StandardOption& standard : cups::kStandardOptions) {
        if (*standard.field == '\0') continue;  // PageSize: the paper writer's
        const PpdOption* setting = FindOption(model, standard.field);
        if (setting == nullptr) {
            error = std::string("the standard option ") + standard.keyword + " has no setting " + standard.field;
            return false;
        }
        PpdOption option{standard.keyword,
                         PpdSection::AnySetup,
                         "",
                         {},
                         KeywordLabel(standard.keyword),
                         setting->group,
                         0,
                         PpdValueKind::Closed,
                         0,
                         0};
        for (const PpdChoice& choice : setting->choices) {
            std::string name = choice.name;
            for (size_t i = 0; i < standard.choiceCount; ++i) {
                const cups::ChoiceName& pair = standard.choices[i];
                if (pair.value != nullptr && choice.name == pair.value) name = pair.choice;
            }
            option.choices.push_back({name, "", choice.text});
            if (choice.name == setting->defaultChoice) option.defaultChoice = name;
        }
        WriteSettingOption(out, option);
    }
    return true;
}

}  // namespace

std::string MakeCupsPpd(const PackageTables& tables, const std::string& version, std::string& error) {
    const PrinterModel& printer = kPrinterModels[0];
    const PpdModel model = BuildPpdModel(tables, printer.resolutionDpi, error);
    if (!error.empty()) return std::string();
    return WriteCupsPpd(tables, model, printer, version, error);
}

std::string WriteCupsPpd(const PackageTables& tables, const PpdModel& model, const PrinterModel& printer,
                         const std::string& version, std::string& error) {
    const PpdFlavour flavour{"\n", kCupsPcFileName, " CUPS"};
    PpdText out(flavour.lineEnd);
    WritePpdHeader(out, printer, version, flavour);
    out.Line(std::string("*cupsFilter2: \"") + cups::kFilterLine + "\"");
    // pstops then asks for the copies in the PostScript, which the filter
    // drops: the PJL header carries them.
    out.Line("*cupsManualCopies: False");
    out.Line("*% No JCL keywords: the filter writes the job's PJL header, and CUPS would write a second one.");
    out.Line("*% The printer features below are filled in by the filter from the printer settings these");
    out.Line("*% options make; the standard options drive the same settings.");
    const PpdOption* pageSize = FindOption(model, "ZTPageSize");
    WritePpdPaper(out, model, pageSize);
    WritePpdCustomSize(out, model);
    const std::string dpi = std::to_string(model.resolutionDpi) + "dpi";
    out.Line("*OpenUI *Resolution/Resolution: PickOne");
    out.Line("*OrderDependency: " + std::to_string(kStandardOrder) + " AnySetup *Resolution");
    out.Line("*DefaultResolution: " + dpi);
    out.Line("*Resolution " + dpi + "/" + std::to_string(model.resolutionDpi) + " dots per inch: \"\"");
    out.Line("*CloseUI: *Resolution");
    if (!WriteStandardOptions(out, model, error)) return std::string();
    WriteChoiceValues(out, tables, model);
    // The paper table: the settings' paper number of each PageSize choice, and
    // the printer's code of each paper number for the PJL header.
    for (size_t p = 0; p < tables.paperCount; ++p) {
        const PaperRow& paper = tables.papers[p];
        out.Line("*" + std::string(cups::kValueAttribute) + " PageSize." + paper.keyword + ": \"" +
                 std::to_string(paper.number) + "\"");
        out.Line("*" + std::string(cups::kPaperCodeAttribute) + " " + std::to_string(paper.number) + ": \"" +
                 std::to_string(paper.code) + "\"");
    }

    std::vector<PpdOption> values;
    for (const SettingRow& row : kSettingTable) {
        if (IsValueSetting(model, row)) values.push_back(ValueOption(row));
    }
    for (size_t g = 0; g < kPpdGroupCount; ++g) {
        const PpdGroupName& group = kPpdGroupTable[g];
        out.Line(std::string("*OpenGroup: ") + group.keyword + "/" + group.text);
        for (const PpdOption& option : model.options) {
            // The paper: PageSize carries it, its code names the printer's paper.
            if (option.group != group.group || &option == pageSize) continue;
            WritePpdOption(out, option);
            if (option.kind != PpdValueKind::Closed) WriteCustomValue(out, option);
        }
        for (const PpdOption& option : values) {
            if (option.group != group.group) continue;
            WriteSettingOption(out, option);
            WriteCustomValue(out, option);
        }
        out.Line(std::string("*CloseGroup: ") + group.keyword);
    }
    return FinishPpd(out, flavour, error);
}
