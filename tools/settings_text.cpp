#include "settings_text.h"

#include "cli.h"
#include "core/hex_text.h"
#include "json_writer.h"
#include "core/pjl_header.h"
#include "core/pjl_settings.h"
#include "core/feature_tables.h"
#include "core/settings_fields.h"
#include "core/settings_text.h"

#include <algorithm>
#include <map>
#include <cstring>

namespace qm22t {
namespace {

FieldType TypeOf(const SettingField& field) {
    switch (field.kind) {
        case SettingKind::Signed: return FieldType::Signed;
        case SettingKind::Unsigned: return FieldType::Unsigned;
        case SettingKind::Text16: return FieldType::Text;
        case SettingKind::Text8: return FieldType::PageList;
    }
    return FieldType::Signed;
}

// The core's fields by name, in its order (offsets).
std::vector<Field> MakeFields() {
    std::vector<Field> fields;
    for (size_t i = 0; i < kSettingsFieldCount; ++i) {
        const SettingField& field = SettingsFieldAt(i);
        fields.push_back(Field{field.name, field.offset, field.bytes, TypeOf(field), &field});
    }
    return fields;
}

// Which bytes of the block belong to a named field.
std::vector<bool> MakeCoverage() {
    std::vector<bool> covered(kSettingsBlockBytes, false);
    for (const Field& field : Fields()) {
        std::fill(covered.begin() + static_cast<long>(field.offset),
                  covered.begin() + static_cast<long>(field.offset + field.bytes), true);
    }
    return covered;
}

// Runs of bytes outside the fields where the two blocks differ. Runs a few
// equal bytes apart are joined, so a changed structure shows as one run.
std::vector<std::pair<size_t, size_t>> DifferingRuns(const SettingsBlock& a, const SettingsBlock& b) {
    static const std::vector<bool> covered = MakeCoverage();
    constexpr size_t kJoinGap = 8;
    std::vector<std::pair<size_t, size_t>> runs;  // offset, length
    for (size_t i = 0; i < kSettingsBlockBytes; ++i) {
        if (covered[i] || a[i] == b[i]) continue;
        if (!runs.empty()) {
            auto& last = runs.back();
            const size_t end = last.first + last.second;
            bool joinable = i - end <= kJoinGap;
            for (size_t k = end; joinable && k < i; ++k) joinable = !covered[k];
            if (joinable) {
                last.second = i + 1 - last.first;
                continue;
            }
        }
        runs.emplace_back(i, 1);
    }
    return runs;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string FieldBytes(const Field& field, const SettingsBlock& block) {
    return std::string(reinterpret_cast<const char*>(block.data() + field.offset), field.bytes);
}

std::string TypeName(const Field& field) {
    switch (field.type) {
        case FieldType::Signed: return std::to_string(field.bytes) + "-byte signed";
        case FieldType::Unsigned: return std::to_string(field.bytes) + "-byte unsigned";
        case FieldType::Text: return "text";
        case FieldType::PageList: return "page list";
    }
    return "";
}

const char* JsonTypeName(FieldType type) {
    switch (type) {
        case FieldType::Signed: return "signed";
        case FieldType::Unsigned: return "unsigned";
        case FieldType::Text: return "text";
        case FieldType::PageList: return "page list";
    }
    return "";
}

bool IsNumber(const Field& field) { return field.type == FieldType::Signed || field.type == FieldType::Unsigned; }

int64_t ReadNumber(const Field& field, const SettingsBlock& block) {
    return ReadField(SettingsView{block.data(), block.size()}, *field.descriptor);
}

bool ApplyRawAssignment(const std::string& name, const std::string& value, SettingsBlock* block, std::string* problem) {
    int64_t offset = 0;
    std::string bytes;
    if (!ParseInteger(name.substr(1), &offset) || offset < 0) {
        *problem = "\"" + name + "\" is not a byte offset (@ and a decimal number)";
        return false;
    }
    if (!BytesOfHex(Trim(value), &bytes)) {
        *problem = "the bytes for " + name + " are not hexadecimal digits in pairs";
        return false;
    }
    if (static_cast<uint64_t>(offset) + bytes.size() > kSettingsBlockBytes) {
        *problem = std::to_string(bytes.size()) + " bytes at " + name + " run past the block's " +
                   std::to_string(kSettingsBlockBytes) + " bytes";
        return false;
    }
    std::memcpy(block->data() + offset, bytes.data(), bytes.size());
    return true;
}

// Valid values of a field are enumerated only when there are few: a list of
// thousands of numbers helps nobody, and the ranges say it better.
constexpr int64_t kMostListedValues = 300;

const ReplaceRow* ReplaceRowOf(const Field& field) {
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            if (group.rows[i].field.offset == field.offset) return &group.rows[i];
        }
    }
    return nullptr;
}

bool IsNumberText(const std::string& text) {
    int64_t unused = 0;
    return ParseInteger(text, &unused);
}

// The comment value the replace row writes for `value`, the binding set as
// given (the staple mode's words follow it).
std::string SpeltValue(const ReplaceRow& row, const Field& field, int64_t value, int64_t binding) {
    SettingsBlock block{};
    const SettingsSpan span{block.data(), block.size()};
    WriteField(span, *field.descriptor, value);
    if (field.offset != kSettingBinding.offset) WriteField(span, kSettingBinding, binding);
    // The zoom rate is written only with manual zoom on; the switch itself is
    // spelt from the value asked for, not from this context.
    if (field.offset != kSettingManualZoom.offset) WriteField(span, kSettingManualZoom, 1);
    std::string spelt;
    if (!FillReplaceValue(row, SettingsView{block.data(), block.size()}, spelt)) return "";
    return spelt;
}

}  // namespace

FieldFacts DescribeField(const Field& field) {
    FieldFacts facts;
    facts.kind = field.type == FieldType::Text ? "text of " + std::to_string(field.bytes / 2 - 1) + " UTF-16 units"
                 : field.type == FieldType::PageList ? "page list of " + std::to_string(field.bytes * 2) + " symbols"
                                                     : TypeName(field);
    const SettingRow* row = FindSettingRow(field.name);
    const bool number = IsNumber(field);
    if (row != nullptr) {
        switch (row->rule) {
            case SettingRule::Values: facts.rule = "values"; break;
            case SettingRule::Clamp: facts.rule = "clamped"; break;
            case SettingRule::Text: facts.rule = "text"; break;
            case SettingRule::Staple: facts.rule = std::string("follows ") + kSettingBinding.name; break;
        }
        for (uint8_t i = 0; i < row->rangeCount; ++i)
            facts.ranges.emplace_back(row->ranges[i].low, row->ranges[i].high);
    }
    // The staple mode's values: every value some binding accepts.
    if (row != nullptr && row->rule == SettingRule::Staple) {
        for (int64_t value = -128; value <= 127; ++value) {
            bool valid = false;
            for (int64_t binding = 0; binding <= 2 && !valid; ++binding)
                valid = SettingValueValid(*row, value, binding);
            if (!valid) continue;
            if (!facts.ranges.empty() && facts.ranges.back().second == value - 1) facts.ranges.back().second = value;
            else facts.ranges.emplace_back(value, value);
        }
    }
    const ReplaceRow* replace = number ? ReplaceRowOf(field) : nullptr;
    if (replace != nullptr && (replace->rule == ValueRule::Spelled || replace->rule == ValueRule::Numbered ||
                               replace->rule == ValueRule::StapleMode)) {
        int64_t listed = 0;
        for (const auto& [low, high] : facts.ranges) listed += high - low + 1;
        for (const auto& [low, high] : facts.ranges) {
            for (int64_t value = low; value <= high && listed <= kMostListedValues; ++value) {
                for (int64_t binding = 0; binding <= 2; ++binding) {
                    if (row->rule == SettingRule::Staple && !SettingValueValid(*row, value, binding)) continue;
                    const std::string name = SpeltValue(*replace, field, value, binding);
                    if (name.empty() || IsNumberText(name)) break;
                    const bool known = std::any_of(facts.names.begin(), facts.names.end(),
                                                   [&](const NamedValue& named) { return named.name == name; });
                    if (!known) facts.names.push_back(NamedValue{value, name});
                    break;
                }
            }
        }
    }
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            if (group.rows[i].field.offset == field.offset) facts.featureKeywords.push_back(group.rows[i].keyword);
        }
    }
    for (const InsertRow& insert : kInsertTable) {
        if (insert.offset == field.offset) facts.featureKeywords.push_back(insert.keyword);
    }
    if (field.offset == kSettingOrientation.offset) facts.featureKeywords.push_back(kOrientationEntry.keyword);
    std::sort(facts.featureKeywords.begin(), facts.featureKeywords.end());
    facts.featureKeywords.erase(std::unique(facts.featureKeywords.begin(), facts.featureKeywords.end()),
                                facts.featureKeywords.end());
    // The PJL variables: every row of every job setting that reads the field.
    for (const JobSettingRow& job : kJobSettingTable) {
        const bool reads = job.field.offset == field.offset ||
                           (job.source == JobSource::Copies && field.offset == kSettingCopyCount.offset) ||
                           (job.source == JobSource::OwnerName && field.offset == kSettingOwnerNameSwitch.offset) ||
                           (job.source == JobSource::JobName && field.offset == kSettingJobNameSwitch.offset);
        if (!reads) continue;
        for (const PjlSettingRow& pjl : kPjlSettingTable) {
            const bool shared = job.source == JobSource::OutputBox && pjl.setting == kSharedBoxSetting;
            if (pjl.setting != job.setting && !shared) continue;
            std::string pieces = pjl.assignment;
            for (size_t start = 0; start <= pieces.size();) {
                const size_t bar = std::min(pieces.find('|', start), pieces.size());
                const std::string piece = pieces.substr(start, bar - start);
                const std::string variable = piece.substr(0, piece.find('='));
                if (std::find(facts.pjlVariables.begin(), facts.pjlVariables.end(), variable) ==
                    facts.pjlVariables.end()) {
                    facts.pjlVariables.push_back(variable);
                }
                start = bar + 1;
            }
        }
    }
    return facts;
}

bool ValueOfName(const Field& field, const std::string& name, int64_t* value) {
    const std::string wanted = Lower(Trim(name));
    for (const NamedValue& named : DescribeField(field).names) {
        if (Lower(named.name) == wanted) {
            *value = named.value;
            return true;
        }
    }
    return false;
}

const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = MakeFields();
    return fields;
}

const Field* FindField(const std::string& name) {
    for (const Field& field : Fields()) {
        if (name == field.name) return &field;
    }
    return nullptr;
}

std::vector<std::string> ClosestFieldNames(const std::string& name, size_t count) {
    const std::string wanted = Lower(name);
    std::vector<std::pair<size_t, std::string>> scored;
    for (const Field& field : Fields()) {
        const std::string candidate = Lower(field.name);
        size_t distance = EditDistance(wanted, candidate);
        // "duplex" is as near to ZTDuplex as "ztduplex" is.
        if (candidate.compare(0, 2, "zt") == 0) {
            distance = std::min(distance, EditDistance(wanted, candidate.substr(2)));
        }
        if (distance <= std::max<size_t>(2, wanted.size() / 3)) scored.emplace_back(distance, field.name);
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (size_t i = 0; i < scored.size() && i < count; ++i) names.push_back(scored[i].second);
    return names;
}

bool SpellField(const Field& field, const SettingsBlock& block, std::string* value) {
    switch (field.type) {
        case FieldType::Signed:
        case FieldType::Unsigned: *value = std::to_string(ReadNumber(field, block)); return true;
        case FieldType::Text: {
            const uint8_t* bytes = block.data() + field.offset;
            std::u16string units;
            size_t i = 0;
            for (; i + 1 < field.bytes; i += 2) {
                const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
                if (unit == 0) break;
                units.push_back(unit);
            }
            if (i + 1 >= field.bytes) return false;  // no terminator
            if (std::any_of(bytes + i, bytes + field.bytes, [](uint8_t b) { return b != 0; })) return false;
            if (!Utf16ToUtf8(units, value)) return false;
            return value->find_first_of("\r\n") == std::string::npos;
        }
        case FieldType::PageList: {
            Text16 decoded;
            if (DecodePageList(block.data() + field.offset, field.bytes, decoded).Failed()) return false;
            value->assign(decoded.begin(), decoded.end());
            // The spelling must store the same bytes back.
            SettingsBlock stored = block;
            std::string problem;
            return !StoreFieldText(SettingsSpan{stored.data(), stored.size()}, *field.descriptor, *value, problem)
                        .Failed() &&
                   stored == block;
        }
    }
    return false;
}

std::string ShowField(const Field& field, const SettingsBlock& block) {
    std::string value;
    if (SpellField(field, block, &value)) return IsNumber(field) ? value : "\"" + value + "\"";
    std::string bytes = FieldBytes(field, block);
    bytes.erase(bytes.find_last_not_of('\0') + 1);
    constexpr size_t kShownBytes = 32;
    const bool cut = bytes.size() > kShownBytes;
    if (cut) bytes.resize(kShownBytes);
    return "bytes " + UpperHex(bytes) + (cut ? "..." : "");
}

bool StoreField(const Field& field, const std::string& value, SettingsBlock* block, std::string* problem) {
    const SettingsSpan span{block->data(), block->size()};
    switch (field.type) {
        case FieldType::Signed:
        case FieldType::Unsigned: {
            const unsigned bits = static_cast<unsigned>(field.bytes * 8);
            const int64_t low = field.type == FieldType::Signed ? -(int64_t{1} << (bits - 1)) : 0;
            const int64_t high =
                field.type == FieldType::Signed ? (int64_t{1} << (bits - 1)) - 1 : (int64_t{1} << bits) - 1;
            int64_t number = 0;
            if (!ParseInteger(Trim(value), &number) && !ValueOfName(field, value, &number)) {
                const std::vector<NamedValue> names = DescribeField(field).names;
                *problem = "\"" + Printable(value) + "\" is not a number" + (names.empty() ? "" : " or a name") + "; " +
                           field.name + " is a number";
                for (size_t i = 0; i < names.size() && i < 12; ++i) {
                    *problem += (i == 0 ? " or one of " : ", ") + names[i].name;
                }
                if (names.size() > 12) *problem += ", ... (`qm22t settings fields` lists them)";
                return false;
            }
            if (number < low || number > high) {
                *problem = value + " does not fit " + field.name + " (" + TypeName(field) + ", " + std::to_string(low) +
                           ".." + std::to_string(high) + ")";
                return false;
            }
            WriteField(span, *field.descriptor, number);
            return true;
        }
        case FieldType::Text:
        case FieldType::PageList: {
            // Texts and page lists are stored as the core stores them for every host.
            std::string coreProblem;
            const Status stored = StoreFieldText(span, *field.descriptor, value, coreProblem);
            if (stored == kStatusOutOfMemory) throw std::bad_alloc();
            *problem = coreProblem;
            return !stored.Failed();
        }
    }
    return false;
}

bool ApplyAssignment(const std::string& assignment, SettingsBlock* block, std::string* problem) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        *problem = "\"" + Printable(assignment) + "\" is not Field=value";
        return false;
    }
    const std::string name = Trim(assignment.substr(0, equals));
    const std::string value = assignment.substr(equals + 1);
    if (!name.empty() && name[0] == '@') return ApplyRawAssignment(name, value, block, problem);
    const Field* field = FindField(name);
    if (field == nullptr) {
        *problem = "unknown field \"" + Printable(name) + "\"";
        const std::vector<std::string> closest = ClosestFieldNames(name);
        for (size_t i = 0; i < closest.size(); ++i) *problem += (i == 0 ? "; closest: " : ", ") + closest[i];
        if (closest.empty()) *problem += "; `qm22t settings fields` lists every field";
        return false;
    }
    return StoreField(*field, value, block, problem);
}

bool ApplySettingsText(const std::string& bytes, SettingsBlock* block, std::string* problem) {
    // Windows tools write UTF-16 with a byte-order mark; it is read as the
    // same text in UTF-8.
    std::string text = bytes;
    const bool little = bytes.compare(0, 2, "\xFF\xFE") == 0;
    if (little || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        if (bytes.size() % 2 != 0) {
            *problem = "UTF-16 text (it begins with a byte-order mark) of an odd number of bytes";
            return false;
        }
        std::u16string units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned char first = static_cast<unsigned char>(bytes[i]);
            const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
            units.push_back(static_cast<char16_t>(little ? first | (second << 8) : (first << 8) | second));
        }
        if (!Utf16ToUtf8(units, &text)) {
            *problem = "UTF-16 text with a lone surrogate";
            return false;
        }
    } else if (bytes.find('\0') != std::string::npos && bytes.size() >= 2 && (bytes[0] == 0 || bytes[1] == 0)) {
        *problem = "the file holds zero bytes: UTF-16 text needs its byte-order mark (FF FE) to be read";
        return false;
    }
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::map<std::string, size_t> firstLineOf;  // field name or "@OFFSET" -> its line
    for (size_t lineNumber = 1; start < text.size(); ++lineNumber) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        // A number read up to a zero byte would take the rest of the line as
        // nothing; no value holds one.
        const size_t zero = line.find('\0');
        if (zero != std::string::npos) {
            *problem = "line " + std::to_string(lineNumber) + ": a zero byte at column " + std::to_string(zero + 1) +
                       "; no value holds one";
            return false;
        }
        const size_t from = line[first] == '*' ? first + 1 : first;
        // Two lines for one field are a file edited twice: which one was meant
        // cannot be told, so neither is taken.
        const std::string name = Trim(line.substr(from, line.find('=', from) - from));
        const auto [earlier, added] = firstLineOf.emplace(name, lineNumber);
        if (!added && line.find('=', from) != std::string::npos) {
            *problem = "line " + std::to_string(lineNumber) + ": " + Printable(name) + " is set again (first at line " +
                       std::to_string(earlier->second) + "); a settings file sets each field once: remove one of them";
            return false;
        }
        if (!ApplyAssignment(line.substr(from), block, problem)) {
            *problem = "line " + std::to_string(lineNumber) + ": " + *problem;
            return false;
        }
    }
    return true;
}

std::string DumpSettings(const SettingsBlock& block, const SettingsBlock& defaults, const std::string& title,
                         const std::string& defaultsName) {
    std::string text = "# \"*\" marks a value that differs from " + defaultsName + ". Source: " + title + "\n";
    for (const Field& field : Fields()) {
        const bool changed = FieldBytes(field, block) != FieldBytes(field, defaults);
        std::string value;
        if (SpellField(field, block, &value)) {
            text += (changed ? "*" : "") + std::string(field.name) + "=" + value + "\n";
        } else {
            text += "# " + std::string(field.name) + " holds bytes that no " + TypeName(field) +
                    " spells; they follow raw\n";
            text +=
                (changed ? "*@" : "@") + std::to_string(field.offset) + "=" + UpperHex(FieldBytes(field, block)) + "\n";
        }
    }
    const auto runs = DifferingRuns(block, defaults);
    if (!runs.empty()) text += "# Bytes outside the named fields that differ from the defaults\n";
    for (const auto& run : runs) {
        const std::string bytes(reinterpret_cast<const char*>(block.data() + run.first), run.second);
        text += "*@" + std::to_string(run.first) + "=" + UpperHex(bytes) + "\n";
    }
    return text;
}

void DumpSettingsJson(const SettingsBlock& block, const SettingsBlock& defaults, JsonWriter& json) {
    auto value = [&](const Field& field, const SettingsBlock& from) {
        std::string spelt;
        if (!SpellField(field, from, &spelt)) json.Null();
        else if (IsNumber(field)) json.Number(ReadNumber(field, from));
        else json.String(spelt);
    };
    json.Key("fields");
    json.BeginArray();
    for (const Field& field : Fields()) {
        json.BeginObject();
        json.Member("name", field.name);
        json.Member("offset", field.offset);
        json.Member("bytes", field.bytes);
        json.Member("type", JsonTypeName(field.type));
        json.Key("value");
        value(field, block);
        json.Key("default");
        value(field, defaults);
        json.Member("isDefault", FieldBytes(field, block) == FieldBytes(field, defaults));
        std::string spelt;
        if (!SpellField(field, block, &spelt)) json.Member("hex", UpperHex(FieldBytes(field, block)));
        json.EndObject();
    }
    json.EndArray();
    json.Key("raw");
    json.BeginArray();
    for (const auto& run : DifferingRuns(block, defaults)) {
        json.BeginObject();
        json.Member("offset", run.first);
        json.Member("hex", UpperHex(std::string(reinterpret_cast<const char*>(block.data() + run.first), run.second)));
        json.EndObject();
    }
    json.EndArray();
}

std::vector<FieldChange> CompareBlocks(const SettingsBlock& before, const SettingsBlock& after) {
    std::vector<FieldChange> changes;
    for (const Field& field : Fields()) {
        if (FieldBytes(field, before) == FieldBytes(field, after)) continue;
        changes.push_back(FieldChange{field.name, ShowField(field, before), ShowField(field, after)});
    }
    for (const auto& run : DifferingRuns(before, after)) {
        auto hex = [&](const SettingsBlock& block) {
            return UpperHex(std::string(reinterpret_cast<const char*>(block.data() + run.first), run.second));
        };
        changes.push_back(FieldChange{"@" + std::to_string(run.first), hex(before), hex(after)});
    }
    return changes;
}

std::string DescribeChange(const FieldChange& change) {
    return change.name + ": " + change.before + " -> " + change.after;
}

void ChangesJson(const std::vector<FieldChange>& changes, JsonWriter& json) {
    json.BeginArray();
    for (const FieldChange& change : changes) {
        json.BeginObject();
        json.Member("field", change.name);
        json.Member("before", change.before);
        json.Member("after", change.after);
        json.EndObject();
    }
    json.EndArray();
}

SettingsBlock BlockOfPart(const uint8_t* part) {
    SettingsBlock block;
    std::memcpy(block.data(), part + kPrivatePartHeaderBytes, block.size());
    return block;
}

void StoreBlockInPart(const SettingsBlock& block, uint8_t* part) {
    std::memcpy(part + kPrivatePartHeaderBytes, block.data(), block.size());
}

}  // namespace qm22t
