#include "job_options.h"

#include "standard_options.h"

#include <cups/cups.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace cups {

namespace {

struct OptionList {
    int count = 0;
    cups_option_t* options = nullptr;
    ~OptionList() { cupsFreeOptions(count, options); }
    const char* Get(const char* name) const { return cupsGetOption(name, count, options); }
};

bool Same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// The first parameter's value of a marked custom choice, spelt for a settings
// file.
bool CustomValue(ppd_file_t* ppd, const char* keyword, std::string* value) {
    ppd_coption_t* custom = ppdFindCustomOption(ppd, keyword);
    ppd_cparam_t* param = custom != nullptr ? ppdFirstCustomParam(custom) : nullptr;
    if (param == nullptr) return false;
    switch (param->type) {
        case PPD_CUSTOM_INT: *value = std::to_string(param->current.custom_int); return true;
        case PPD_CUSTOM_REAL:
        case PPD_CUSTOM_POINTS:
        case PPD_CUSTOM_CURVE:
        case PPD_CUSTOM_INVCURVE: *value = std::to_string(std::lround(param->current.custom_real)); return true;
        case PPD_CUSTOM_STRING:
        case PPD_CUSTOM_PASSWORD:
        case PPD_CUSTOM_PASSCODE:
            *value = param->current.custom_string != nullptr ? param->current.custom_string : "";
            return true;
        default: return false;
    }
}

// The value of an option's marked choice; false when the choice keeps the
// default (or nothing is marked).
bool MarkedValue(ppd_file_t* ppd, const char* keyword, std::string* value) {
    ppd_choice_t* choice = ppdFindMarkedChoice(ppd, keyword);
    if (choice == nullptr || Same(choice->choice, kKeepChoice)) return false;
    if (Same(choice->choice, "Custom")) return CustomValue(ppd, keyword, value);
    *value = choice->choice;
    return true;
}

// The settings value a choice of a field's option stands for: the printer
// description says it for the choices the settings spell in words; any other
// choice (a number, a custom value) is the value itself.
std::string SettingValue(ppd_file_t* ppd, const std::string& keyword, const std::string& choice) {
    ppd_attr_t* attribute = ppdFindAttr(ppd, kValueAttribute, (keyword + "." + choice).c_str());
    return attribute != nullptr && attribute->value != nullptr ? attribute->value : choice;
}

// Points to the hundredths of a millimetre the settings hold.
std::string HundredthsOfMillimetre(float points) { return std::to_string(std::lround(points * 2540.0 / 72.0)); }

class Collector {
public:
    Collector(ppd_file_t* ppd, const Vocabulary& vocabulary, JobRequest* request)
        : ppd_(ppd), vocabulary_(vocabulary), request_(request) {}

    void Add(const std::string& field, const std::string& value, const std::string& option) {
        request_->assignments.push_back({field, value, option});
    }

    void Standard(const StandardOption& standard) {
        if (ppdFindOption(ppd_, standard.keyword) == nullptr) return;
        if (Same(standard.keyword, "PageSize")) {
            ppd_choice_t* paper = ppdFindMarkedChoice(ppd_, "PageSize");
            if (paper != nullptr) PageSize(paper->choice);
            return;
        }
        std::string choice;
        if (!MarkedValue(ppd_, standard.keyword, &choice)) return;
        std::string value = choice;
        for (size_t i = 0; i < standard.choiceCount; ++i) {
            if (choice == standard.choices[i].choice && standard.choices[i].value != nullptr) {
                value = standard.choices[i].value;
            }
        }
        Add(standard.field, SettingValue(ppd_, standard.field, value), standard.keyword);
    }

    void PageSize(const std::string& choice) {
        if (choice == "Custom") {
            ppd_coption_t* custom = ppdFindCustomOption(ppd_, "PageSize");
            ppd_cparam_t* width = custom != nullptr ? ppdFindCustomParam(custom, "Width") : nullptr;
            ppd_cparam_t* height = custom != nullptr ? ppdFindCustomParam(custom, "Height") : nullptr;
            if (width == nullptr || height == nullptr) return;
            Add(kPaperField, std::to_string(vocabulary_.customPaperNumber), "PageSize");
            Add(kCustomWidthField, HundredthsOfMillimetre(width->current.custom_points), "PageSize");
            Add(kCustomHeightField, HundredthsOfMillimetre(height->current.custom_points), "PageSize");
            return;
        }
        const std::string number = SettingValue(ppd_, "PageSize", choice);
        if (number == choice) {
            request_->warnings.push_back("PageSize " + choice + " is no paper of this printer; the default is kept");
            return;
        }
        Add(kPaperField, number, "PageSize");
    }

    void Field(const char* keyword) {
        std::string value;
        if (MarkedValue(ppd_, keyword, &value)) Add(keyword, SettingValue(ppd_, keyword, value), keyword);
    }

private:
    ppd_file_t* ppd_;
    const Vocabulary& vocabulary_;
    JobRequest* request_;
};

// "tray-2" and "Tray2", "face-down" and "FaceDown": an IPP keyword and the
// choice CUPS derives it from.
std::string Loose(const char* name) {
    std::string loose;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c != '-' && *c != '_') loose += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
    }
    return loose;
}

// An IPP attribute CUPS does not turn into its option itself (media-source,
// media-type given alone) marks the choice it names.
void MarkFromAliases(ppd_file_t* ppd, const OptionList& job, const StandardOption& standard) {
    ppd_option_t* option = ppdFindOption(ppd, standard.keyword);
    if (option == nullptr) return;
    for (const char* alias : standard.aliases) {
        const char* value = alias != nullptr ? job.Get(alias) : nullptr;
        if (value == nullptr || ppdFindChoice(option, value) != nullptr) continue;
        for (int i = 0; i < option->num_choices; ++i) {
            if (Loose(option->choices[i].choice) == Loose(value))
                ppdMarkOption(ppd, standard.keyword, option->choices[i].choice);
        }
    }
}

bool JobSets(const OptionList& job, const StandardOption& standard) {
    if (job.Get(standard.keyword) != nullptr) return true;
    for (const char* alias : standard.aliases) {
        if (alias != nullptr && job.Get(alias) != nullptr) return true;
    }
    return false;
}

// The choices for a message: the first few and the last of a long list.
std::string ChoiceList(ppd_option_t* option) {
    constexpr int kShown = 8;
    std::string list;
    for (int i = 0; i < option->num_choices; ++i) {
        if (i >= kShown && i < option->num_choices - 1) {
            if (i == kShown) list += ", ...";
            continue;
        }
        list += (list.empty() ? "" : ", ") + std::string(option->choices[i].choice);
    }
    return list;
}

// Whether the job's value for an option of ours is one its printer
// description knows; a plain value of a custom option is taken as its custom
// value.
bool KnownChoice(ppd_file_t* ppd, ppd_option_t* option, const char* value) {
    if (ppdFindChoice(option, value) != nullptr) return true;
    if (ppdFindCustomOption(ppd, option->keyword) == nullptr) return false;
    if (std::strncmp(value, "Custom.", 7) == 0 || value[0] == '{') return true;
    ppdMarkOption(ppd, option->keyword, ("Custom." + std::string(value)).c_str());
    return true;
}

}  // namespace

std::string ChoiceOfValue(ppd_file_t* ppd, const std::string& field, const std::string& value) {
    ppd_option_t* option = ppdFindOption(ppd, field.c_str());
    for (int i = 0; option != nullptr && i < option->num_choices; ++i) {
        if (SettingValue(ppd, field, option->choices[i].choice) == value) return option->choices[i].choice;
    }
    return value;
}

BlockReplacements ReplacedBlocks(ppd_file_t* ppd) {
    BlockReplacements blocks;
    for (ppd_option_t* option = ppdFirstOption(ppd); option != nullptr; option = ppdNextOption(ppd)) {
        ppd_choice_t* keep = ppdFindChoice(option, kKeepChoice);
        if (keep == nullptr) continue;
        const bool hasCode = keep->code != nullptr && *keep->code != '\0';
        if (!hasCode) blocks[std::string(option->keyword) + " " + kKeepChoice] = "";
        if (ppdFindCustomOption(ppd, option->keyword) == nullptr) continue;
        blocks[std::string("Custom") + option->keyword + " True"] =
            hasCode ? std::string("[{\n%%BeginFeature: *") + option->keyword + " " + kKeepChoice + "\n" + keep->code +
                          "\n%%EndFeature\n} stopped cleartomark\n"
                    : "";
    }
    return blocks;
}

int PaperCodeOf(ppd_file_t* ppd, int paperNumber) {
    ppd_attr_t* attribute = ppdFindAttr(ppd, kPaperCodeAttribute, std::to_string(paperNumber).c_str());
    return attribute != nullptr && attribute->value != nullptr ? std::atoi(attribute->value) : -1;
}

JobRequest ReadJobOptions(ppd_file_t* ppd, const std::string& options, int copies, const Vocabulary& vocabulary) {
    JobRequest request;
    Collector collect(ppd, vocabulary, &request);

    // The printer description's defaults: standard options first, so a
    // field's own option, when the description has both, has the last word.
    ppdMarkDefaults(ppd);
    for (const StandardOption& standard : kStandardOptions) collect.Standard(standard);
    for (ppd_option_t* option = ppdFirstOption(ppd); option != nullptr; option = ppdNextOption(ppd)) {
        if (vocabulary.isField(option->keyword)) collect.Field(option->keyword);
    }

    OptionList job;
    job.count = cupsParseOptions(options.c_str(), 0, &job.options);
    cupsMarkOptions(ppd, job.count, job.options);
    for (int i = 0; i < job.count; ++i) {
        const char* name = job.options[i].name;
        ppd_option_t* option = ppdFindOption(ppd, name);
        if (option == nullptr) {
            if (std::strncmp(name, "ZT", 2) == 0) {
                request.warnings.push_back(std::string("option ") + name + " is unknown to this printer; ignored");
            }
        } else if (vocabulary.isField(name) && !KnownChoice(ppd, option, job.options[i].value)) {
            ppd_choice_t* kept = ppdFindMarkedChoice(ppd, name);
            request.warnings.push_back(std::string(name) + "=" + job.options[i].value + " is not a choice of " + name +
                                       " (" + ChoiceList(option) + "); " +
                                       (kept != nullptr ? kept->choice : "the default") + " is kept");
        }
    }
    for (const StandardOption& standard : kStandardOptions) {
        if (!JobSets(job, standard)) continue;
        if (*standard.field != '\0' && job.Get(standard.field) != nullptr) {
            request.warnings.push_back(std::string("both ") + standard.keyword + " and " + standard.field +
                                       " are set; " + standard.field + "=" + job.Get(standard.field) + " wins");
            continue;
        }
        MarkFromAliases(ppd, job, standard);
        collect.Standard(standard);
    }
    for (int i = 0; i < job.count; ++i) {
        if (vocabulary.isField(job.options[i].name) && ppdFindOption(ppd, job.options[i].name) != nullptr) {
            collect.Field(job.options[i].name);
        }
    }
    collect.Add(kCopiesField, std::to_string(copies), "copies");
    return request;
}

}  // namespace cups
