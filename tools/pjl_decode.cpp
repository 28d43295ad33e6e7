#include "pjl_decode.h"

#include "cli.h"
#include "core/pjl_header.h"
#include "core/pjl_settings.h"
#include "core/private_part.h"
#include "core/paper_table.h"

#include "settings_text.h"

#include <algorithm>
#include <cstring>

namespace qm22t {
namespace {

constexpr int32_t kAutomaticPaperCode = kAutoPaperCode;

// The identification row of a setting, or null for a job setting.
const PjlIdentityRow* IdentityRowOf(int32_t setting) {
    for (const PjlIdentityRow& row : kPjlIdentityTable) {
        if (row.setting == setting) return &row;
    }
    return nullptr;
}

// A row of the PJL table that can have made the lines at some position.
struct RowMatch {
    const PjlSettingRow* row = nullptr;
    size_t lines = 1;
    int rank = 0;  // more specific forms win: split 4, fixed 3, number 2, text 1
    int64_t number = 0;
    std::string text;
    std::string flag;
};

bool SplitFormat(const char* assignment, const char* placeholder, std::string* before, std::string* after) {
    const char* at = std::strstr(assignment, placeholder);
    if (at == nullptr) return false;
    before->assign(assignment, at);
    after->assign(at + std::strlen(placeholder));
    return true;
}

// The part of `line` that a "%d" or "%s" stood for, when the rest matches.
bool Middle(const std::string& line, const std::string& before, const std::string& after, std::string* middle) {
    if (line.size() < before.size() + after.size()) return false;
    if (line.compare(0, before.size(), before) != 0) return false;
    if (line.compare(line.size() - after.size(), after.size(), after) != 0) return false;
    *middle = line.substr(before.size(), line.size() - before.size() - after.size());
    return true;
}

bool MatchRow(const PjlSettingRow& row, const std::vector<std::string>& lines, size_t at, RowMatch* match) {
    const std::string& line = lines[at];
    std::string before, after, middle;
    match->row = &row;
    switch (row.converter) {
        case PjlConverterKind::Fixed: match->rank = 3; return line == row.assignment;
        case PjlConverterKind::Split: {
            const std::string pieces = row.assignment;
            size_t start = 0;
            size_t count = 0;
            while (true) {
                const size_t bar = pieces.find('|', start);
                const size_t length = bar == std::string::npos ? std::string::npos : bar - start;
                const std::string piece = pieces.substr(start, length);
                if (at + count >= lines.size() || lines[at + count] != piece) return false;
                ++count;
                if (bar == std::string::npos) break;
                start = bar + 1;
            }
            match->lines = count;
            match->rank = 4;
            return true;
        }
        case PjlConverterKind::Number:
            match->rank = 2;
            return SplitFormat(row.assignment, "%d", &before, &after) && Middle(line, before, after, &middle) &&
                   ParseInteger(middle, &match->number);
        case PjlConverterKind::AnsiText:
            match->rank = 1;
            if (!SplitFormat(row.assignment, "%s", &before, &after) || !Middle(line, before, after, &match->text)) {
                return false;
            }
            return true;
        case PjlConverterKind::HexUtf8:
        case PjlConverterKind::HexUtf8Limited: {
            match->rank = 1;
            if (!SplitFormat(row.assignment, "%s", &before, &after) || !Middle(line, before, after, &middle)) {
                return false;
            }
            std::u16string unused;
            if (!BytesOfHex(middle, &match->text) || middle.find_first_of("abcdef") != std::string::npos ||
                !Utf8ToUtf16(match->text, &unused)) {
                match->flag = "the value is not upper-case hexadecimal of UTF-8 text, as the table writes it";
                match->text = middle;
            }
            return true;
        }
    }
    return false;
}

RowMatch BestMatch(const std::vector<std::string>& lines, size_t at) {
    RowMatch best;
    for (const PjlSettingRow& row : kPjlSettingTable) {
        RowMatch candidate;
        if (MatchRow(row, lines, at, &candidate) && candidate.rank > best.rank) best = candidate;
    }
    return best;
}

const JobSettingRow* JobRowOf(int32_t setting) {
    for (const JobSettingRow& row : kJobSettingTable) {
        if (row.setting == setting) return &row;
        // Shared boxes have a setting of their own, made by the output-box row.
        if (setting == kSharedBoxSetting && row.source == JobSource::OutputBox) return &row;
    }
    return nullptr;
}

std::string PaperCodeNote(int64_t code) {
    const std::string note = "printer paper code " + std::to_string(code);
    if (code == kAutomaticPaperCode) return note + " (chosen by the printer)";
    for (const PaperRow& paper : kPaperTable) {
        if (paper.code == code) return note + " (" + paper.keyword + ", paper " + std::to_string(paper.number) + ")";
    }
    return note + " (a custom size, or a form the paper list gives no code)";
}

// Tells the value of a settings field, as the header read it (1-byte options
// unsigned, so a stored -1 arrives as 255).
class Decoder {
public:
    DecodedLine Decode(const std::vector<std::string>& lines, size_t at);

private:
    void AddValue(DecodedLine* line, const SettingField& field, int64_t number);
    void AddText(DecodedLine* line, const SettingField& field, const std::string& text);

    int64_t binding_ = 0;  // the staple mode's rule reads the binding, which comes first
};

void Decoder::AddValue(DecodedLine* line, const SettingField& field, int64_t number) {
    const SettingRow* row = FindSettingRow(field.name);
    if (row == nullptr) return;
    if (row->kind == SettingKind::Signed && row->bytes == 1 && number > 127) number -= 256;
    if (row->kind == SettingKind::Unsigned && row->bytes == 4 && number < 0) number += int64_t{1} << 32;
    if (row->offset == kSettingBinding.offset) binding_ = number;
    DecodedValue value{row->name, std::to_string(number), true, SettingValueValid(*row, number, binding_)};
    line->values.push_back(value);
    line->fields.push_back(row->name);
}

void Decoder::AddText(DecodedLine* line, const SettingField& field, const std::string& text) {
    line->values.push_back(DecodedValue{field.name, text, false, true});
    line->fields.push_back(field.name);
}

DecodedLine Decoder::Decode(const std::vector<std::string>& lines, size_t at) {
    DecodedLine line;
    line.firstLine = at;
    const RowMatch match = BestMatch(lines, at);
    if (match.row == nullptr || match.rank == 0) {
        line.flag = "no row of the PJL table makes this line";
        return line;
    }
    line.lineCount = match.lines;
    line.setting = match.row->setting;
    line.flag = match.flag;
    if (const PjlIdentityRow* identity = IdentityRowOf(line.setting)) {
        line.kind = DecodedLine::Kind::Identification;
        line.note =
            identity->value == PjlIdentityValue::HostName ? "computer name \"" + match.text + "\"" : "identification";
        return line;
    }
    const JobSettingRow* job = JobRowOf(line.setting);
    if (job == nullptr) {
        line.flag = "setting " + std::to_string(line.setting) + " of the PJL table is not one a job header carries";
        return line;
    }
    line.kind = DecodedLine::Kind::Setting;
    const int64_t key = match.row->key;
    const std::string name = job->field.name;
    switch (job->source) {
        case JobSource::Key: AddValue(&line, job->field, key); break;
        case JobSource::Value: AddValue(&line, job->field, match.number); break;
        case JobSource::Text:
        case JobSource::PageList: AddText(&line, job->field, match.text); break;
        case JobSource::Copies:
            AddValue(&line, job->field, key);
            AddValue(&line, kSettingCopyCount, match.number);
            break;
        case JobSource::PageSizeCode:
        case JobSource::OutputPaperCode:
            line.fields.push_back(name);
            line.note = PaperCodeNote(key);
            break;
        case JobSource::OwnerName:
            line.fields = {kSettingOwnerNameSwitch.name, name};
            line.note = "\"" + match.text + "\": " + name + ", or the user name";
            break;
        case JobSource::JobName:
            line.fields = {kSettingJobNameSwitch.name, name};
            line.note = "\"" + match.text + "\": " + name + ", or the document name";
            break;
        case JobSource::OutputBox:
            AddValue(&line, job->field, line.setting == kSharedBoxSetting ? match.number : key);
            break;
    }
    return line;
}

}  // namespace

std::vector<DecodedLine> DecodeSetLines(const std::vector<std::string>& assignments) {
    std::vector<DecodedLine> decoded;
    Decoder decoder;
    for (size_t at = 0; at < assignments.size();) {
        decoded.push_back(decoder.Decode(assignments, at));
        at += decoded.back().lineCount;
    }
    return decoded;
}

std::string VariableOf(const std::string& assignment) { return assignment.substr(0, assignment.find('=')); }

namespace {

// The variables of a setting's rows, and whether every key in `keys` has a row.
void VariablesOfSetting(int32_t setting, std::vector<std::string>* variables) {
    for (const PjlSettingRow& row : kPjlSettingTable) {
        if (row.setting != setting) continue;
        const std::string variable = VariableOf(row.assignment);
        if (std::find(variables->begin(), variables->end(), variable) == variables->end()) {
            variables->push_back(variable);
        }
    }
}

bool HasRow(int32_t setting, int64_t key) {
    return std::any_of(std::begin(kPjlSettingTable), std::end(kPjlSettingTable),
                       [&](const PjlSettingRow& row) { return row.setting == setting && row.key == key; });
}

// Every value the validation keeps has a row: then the line is always there.
bool EveryValidValueHasRow(const JobSettingRow& job) {
    const Field* field = FindField(job.field.name);
    if (field == nullptr) return false;
    const FieldFacts facts = DescribeField(*field);
    if (facts.rule != "values" && facts.rule.compare(0, 8, "follows ") != 0) return false;
    constexpr int64_t kMostKeys = 4096;  // a table of keys is short; a wider range is no list of options
    int64_t count = 0;
    for (const auto& [low, high] : facts.ranges) count += high - low + 1;
    if (count == 0 || count > kMostKeys) return false;
    for (const auto& [low, high] : facts.ranges) {
        for (int64_t key = low; key <= high; ++key) {
            // 1-byte options are read unsigned as keys.
            const int64_t stored = field->bytes == 1 && key < 0 ? key + 256 : key;
            if (!HasRow(job.setting, stored)) return false;
        }
    }
    return true;
}

std::vector<RequiredLine> FindRequiredLines() {
    std::vector<RequiredLine> lines;
    for (const PjlIdentityRow& identity : kPjlIdentityTable) {
        RequiredLine line;
        VariablesOfSetting(identity.setting, &line.variables);
        if (!line.variables.empty()) lines.push_back(line);
    }
    for (const JobSettingRow& job : kJobSettingTable) {
        RequiredLine line;
        line.field = job.field.name;
        VariablesOfSetting(job.setting, &line.variables);
        bool always = false;
        switch (job.source) {
            case JobSource::Value:
            case JobSource::Text:
            case JobSource::PageList:
            case JobSource::OwnerName:
            case JobSource::JobName: always = HasRow(job.setting, -1); break;
            case JobSource::OutputBox:
                VariablesOfSetting(kSharedBoxSetting, &line.variables);
                always = HasRow(job.setting, 0) && HasRow(kSharedBoxSetting, -1);
                break;
            case JobSource::Key:
            case JobSource::Copies: always = EveryValidValueHasRow(job); break;
            // The printer's paper codes come from the paper list as well.
            case JobSource::PageSizeCode:
            case JobSource::OutputPaperCode: break;
        }
        if (always && !line.variables.empty()) lines.push_back(line);
    }
    return lines;
}

}  // namespace

const std::vector<RequiredLine>& RequiredHeaderLines() {
    static const std::vector<RequiredLine> lines = FindRequiredLines();
    return lines;
}

std::string DescribeDecodedLine(const DecodedLine& line) {
    std::string text;
    for (const DecodedValue& value : line.values) {
        if (!text.empty()) text += ", ";
        text += value.field + "=" + (value.number ? value.value : "\"" + value.value + "\"");
        if (!value.valid) text += " (not a valid value)";
    }
    if (!line.note.empty()) {
        // A paper code names its one field; a name line names both of its own.
        const bool named = line.values.empty() && line.fields.size() == 1;
        text += (text.empty() ? "" : "; ") + (named ? line.fields[0] + ": " : "") + line.note;
    }
    if (!line.flag.empty()) text += (text.empty() ? "! " : "; ! ") + line.flag;
    return text;
}

}  // namespace qm22t
