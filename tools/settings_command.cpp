// qm22t settings: device settings as people read and write them, with the same
// field names as `qm22t run`.
#include "cli.h"
#include "commands.h"
#include "json_writer.h"
#include "settings_source.h"
#include "settings_text.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace qm22t {
namespace {

constexpr char kUsage[] = R"(usage: qm22t settings dump [--json] SOURCE
       qm22t settings set [SOURCE] Field=value... [--out FILE] [--part] [--raw] [--json]
       qm22t settings validate [--json] SOURCE
       qm22t settings diff [--json] SOURCE SOURCE
       qm22t settings defaults [--json] [--out FILE] [--part]
       qm22t settings fields [--json]
Every action also takes --plugin DIR.

A SOURCE is a private part as captured from a DEVMODE (a file of 12016 bytes,
or one that carries the plug-in's signature), or a settings file of Field=value
lines (UTF-8, or UTF-16 with its byte-order mark; each field once), which
applies to the sibling library's defaults (the plug-in's own when QM22TIE.dll
is not beside it: the first line of a dump says which). The field names are those of `qm22t run --set`; a
number field takes the names of its values too (ZTDuplex=LongEdge).

  dump       every field as Field=value, values that differ from the sibling
             library's defaults marked "*" (the first line says so); the output
             is a settings file that `qm22t run --settings` takes back byte for
             byte
  set        changes fields and writes the result: a private part when SOURCE
             is one or with --part, else a settings file; the merge runs on it
             as in `qm22t run` (every change told on standard error) unless --raw
  validate   what the plug-in's device-settings merge would change, field by field
  diff       the fields in which two sources differ
  defaults   the sibling library's defaults, or the plug-in's own without
             QM22TIE.dll beside it (a note on standard error says so)
  fields     every field: its kind, valid values and their names, default, and
             the @PJL SET variables and feature blocks it drives

  --json        for scripts
  --out FILE    where set and defaults write (default: standard output; a
                private part is not written to a terminal); the file is
                replaced only when the command succeeds
  --part        set, defaults: write a private part rather than a settings file
  --raw         set: skip the merge
  --plugin DIR  the plug-in's folder, where QM22TIE.dll is looked for (default:
                the folder of this program, or ../lib/qm22t from it as
                installed); nothing is loaded: the plug-in's defaults and merge
                are computed from its own rules

Exit codes:
  0  done; for validate and diff: nothing to change, no difference
  1  validate: the merge would change something; diff: the sources differ;
     the plug-in refused a settings request
  2  bad command line, unreadable source, bad value, or an output that cannot
     be written
)";

struct SettingsOptions {
    std::string action;
    std::vector<std::string> sources;
    std::vector<std::string> assignments;
    std::string out = "-";
    std::string pluginDir;
    bool json = false;
    bool part = false;
    bool raw = false;
};

struct Source {
    std::string name;
    PrivatePart part;
    bool isPrivatePart = false;
};

// The part a source stands for, as it is: no merge.
bool LoadSource(const PrivatePart& defaults, const std::string& path, Source* source, std::string* error) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error, "source")) return false;
    source->name = DisplayName(path, false);
    if (!CheckSourceSize(bytes, source->name, error)) return false;
    source->isPrivatePart = LooksLikePrivatePart(bytes);
    if (source->isPrivatePart) return PrivatePartOfBytes(bytes, source->name, &source->part, error);
    source->part = defaults;
    SettingsBlock block = BlockOfPart(source->part.data());
    std::string problem;
    if (!ApplySettingsText(bytes, &block, &problem)) {
        *error = source->name + ": " + problem;
        return false;
    }
    StoreBlockInPart(block, source->part.data());
    return true;
}

std::string Describe(const Source& source, const std::string& defaultsName) {
    if (!source.isPrivatePart) return "settings of " + source.name + " over " + defaultsName;
    const PrivatePartHeader header = ReadPrivatePartHeader(source.part.data());
    char words[96];
    std::snprintf(words, sizeof words, "size %u, signature 0x%08X, version %u", static_cast<unsigned>(header.dwSize),
                  static_cast<unsigned>(header.dwSignature), static_cast<unsigned>(header.dwVersion));
    return "private part " + source.name + " (" + words + ")";
}

void HeaderJson(const PrivatePart& part, JsonWriter& json) {
    const PrivatePartHeader header = ReadPrivatePartHeader(part.data());
    json.Key("header");
    json.BeginObject();
    json.Member("dwSize", header.dwSize);
    json.Member("dwSignature", header.dwSignature);
    json.Member("dwVersion", header.dwVersion);
    json.EndObject();
}

bool WriteOutput(const std::string& path, const std::string& bytes, bool binary) {
    if (binary && path == "-" && isatty(STDOUT_FILENO) == 1) {
        Error("a private part is binary; give --out FILE or redirect standard output");
        return false;
    }
    std::string error;
    if (!WriteWholeFile(path, bytes, &error)) {
        Error(error);
        return false;
    }
    return true;
}

// Text or JSON of the whole part, as dump, set and defaults write it.
std::string Dump(const Source& source, const PrivatePart& defaults, const std::string& defaultsName, bool json,
                 const std::string& title, const char* kind) {
    const SettingsBlock block = BlockOfPart(source.part.data());
    const SettingsBlock defaultBlock = BlockOfPart(defaults.data());
    if (!json) return DumpSettings(block, defaultBlock, title, defaultsName);
    JsonWriter writer;
    writer.BeginObject();
    writer.Member("source", source.name);
    writer.Member("kind", kind);
    writer.Member("defaults", defaultsName);
    if (source.isPrivatePart) HeaderJson(source.part, writer);
    DumpSettingsJson(block, defaultBlock, writer);
    writer.EndObject();
    return writer.Text();
}

int ReportChanges(const std::string& title, const std::vector<FieldChange>& changes, bool json, const char* noneText) {
    if (json) {
        JsonWriter writer;
        writer.BeginObject();
        writer.Member("source", title);
        writer.Key("changes");
        ChangesJson(changes, writer);
        writer.EndObject();
        std::cout << writer.Text();
    } else if (changes.empty()) {
        std::cout << noneText << "\n";
    } else {
        for (const FieldChange& change : changes) std::cout << DescribeChange(change) << "\n";
    }
    return changes.empty() ? kExitOk : kExitFound;
}

// set and defaults: the part with the assignments applied (and merged), as a
// private part or as a settings file.
int WriteSettings(const SettingsLibrary& library, const SettingsOptions& o, const std::vector<Source>& sources,
                  const PrivatePart& defaults) {
    const std::string defaultsName = DefaultsName(library);
    Source result;
    result.name = sources.empty() ? defaultsName : sources[0].name;
    result.part = sources.empty() ? defaults : sources[0].part;
    result.isPrivatePart = o.part || (!sources.empty() && sources[0].isPrivatePart);
    std::string title = result.name;
    for (size_t i = 0; i < o.assignments.size(); ++i) title += (i == 0 ? " with " : ", ") + o.assignments[i];

    SettingsBlock block = BlockOfPart(result.part.data());
    for (const std::string& assignment : o.assignments) {
        std::string problem;
        if (!ApplyAssignment(assignment, &block, &problem)) {
            Error(Printable(assignment) + ": " + problem);
            return kExitUsage;
        }
    }
    StoreBlockInPart(block, result.part.data());
    if (o.action == "set" && !o.raw) {
        std::vector<FieldChange> changes;
        std::string error;
        if (!MergeLikeThePlugin(library, &result.part, &changes, &error)) {
            Error(error);
            return kExitFound;
        }
        for (const FieldChange& change : changes) Note(DescribeChange(change));
    }
    bool written = false;
    if (result.isPrivatePart && !o.json) {
        written = WriteOutput(o.out, std::string(result.part.begin(), result.part.end()), true);
    } else {
        const char* kind = result.isPrivatePart     ? "private part"
                           : o.action == "defaults" ? "defaults"
                                                    : "settings file";
        written = WriteOutput(o.out, Dump(result, defaults, defaultsName, o.json, title, kind), false);
    }
    return written ? kExitOk : kExitUsage;
}

std::string RangesText(const std::vector<std::pair<int64_t, int64_t>>& ranges) {
    std::string text;
    for (const auto& [low, high] : ranges) {
        text += (text.empty() ? "" : ", ") + std::to_string(low) + (low == high ? "" : ".." + std::to_string(high));
    }
    return text;
}

std::string ListText(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "-" : text;
}

// Every field with what the tables say of it, and its default.
std::string FieldsReport(const PrivatePart& defaults, bool json) {
    const SettingsBlock block = BlockOfPart(defaults.data());
    JsonWriter writer;
    std::string text;
    if (json) {
        writer.BeginObject();
        writer.Key("fields");
        writer.BeginArray();
    } else {
        text =
            "# Every settings field: kind, valid values (value=name), default, the @PJL SET\n"
            "# variables and the feature blocks it drives. A name works wherever its number does.\n";
    }
    for (const Field& field : Fields()) {
        const FieldFacts facts = DescribeField(field);
        const std::string shownDefault = ShowField(field, block);
        if (json) {
            writer.BeginObject();
            writer.Member("name", field.name);
            writer.Member("kind", facts.kind);
            writer.Member("rule", facts.rule);
            writer.Key("ranges");
            writer.BeginArray();
            for (const auto& [low, high] : facts.ranges) {
                writer.BeginObject();
                writer.Member("low", low);
                writer.Member("high", high);
                writer.EndObject();
            }
            writer.EndArray();
            writer.Key("names");
            writer.BeginArray();
            for (const NamedValue& named : facts.names) {
                writer.BeginObject();
                writer.Member("value", named.value);
                writer.Member("name", named.name);
                writer.EndObject();
            }
            writer.EndArray();
            // Numbers as numbers; a text as its spelling, or null when none gives it back.
            std::string spelt;
            writer.Key("default");
            if (!SpellField(field, block, &spelt)) writer.Null();
            else if (field.type == FieldType::Signed || field.type == FieldType::Unsigned) {
                int64_t number = 0;
                ParseInteger(spelt, &number);
                writer.Number(number);
            } else {
                writer.String(spelt);
            }
            writer.Key("pjl");
            writer.BeginArray();
            for (const std::string& variable : facts.pjlVariables) writer.String(variable);
            writer.EndArray();
            writer.Key("features");
            writer.BeginArray();
            for (const std::string& keyword : facts.featureKeywords) writer.String(keyword);
            writer.EndArray();
            writer.EndObject();
            continue;
        }
        text +=
            std::string("\n") + field.name + "  (" + facts.kind + (facts.rule.empty() ? "" : ", " + facts.rule) + ")\n";
        std::string values;
        if (!facts.names.empty()) {
            // A run of names that number their values ("SharedBox1" for 1)
            // shows as one range.
            auto numbered = [](const NamedValue& named, std::string* prefix) {
                const std::string number = std::to_string(named.value);
                if (named.name.size() <= number.size() ||
                    named.name.compare(named.name.size() - number.size(), number.size(), number) != 0) {
                    return false;
                }
                *prefix = named.name.substr(0, named.name.size() - number.size());
                return true;
            };
            for (size_t i = 0; i < facts.names.size();) {
                std::string prefix, next;
                size_t end = i + 1;
                if (numbered(facts.names[i], &prefix)) {
                    while (end < facts.names.size() && numbered(facts.names[end], &next) && next == prefix &&
                           facts.names[end].value == facts.names[end - 1].value + 1) {
                        ++end;
                    }
                }
                values += values.empty() ? "" : ", ";
                if (end - i >= 3) {
                    values += std::to_string(facts.names[i].value) + ".." + std::to_string(facts.names[end - 1].value) +
                              "=" + facts.names[i].name + ".." + facts.names[end - 1].name;
                } else {
                    end = i + 1;
                    values += std::to_string(facts.names[i].value) + "=" + facts.names[i].name;
                }
                i = end;
            }
            int64_t valid = 0;
            for (const auto& [low, high] : facts.ranges) valid += high - low + 1;
            if (valid > static_cast<int64_t>(facts.names.size())) values += "; valid: " + RangesText(facts.ranges);
        } else if (!facts.ranges.empty()) {
            values = RangesText(facts.ranges);
        } else {
            values = field.type == FieldType::PageList ? "pages and ranges, as 1,3-5"
                     : field.type == FieldType::Text   ? "any text that fits"
                                                       : "any that fits";
        }
        text += "  values:   " + values + "\n";
        text += "  default:  " + shownDefault + "\n";
        text += "  PJL:      " + ListText(facts.pjlVariables) + "\n";
        text += "  features: " + ListText(facts.featureKeywords) + "\n";
    }
    if (!json) return text;
    writer.EndArray();
    writer.EndObject();
    return writer.Text();
}

int RunAction(const SettingsOptions& o) {
    // The plug-in's answers are computed here from its own rules; nothing is
    // loaded, so the library counts as there when its file is.
    std::string error;
    struct stat info {};
    if (!o.pluginDir.empty() && (stat(o.pluginDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
        Error("--plugin " + o.pluginDir + " is not a folder; give the folder of QM22TRD.dll and QM22TIE.dll");
        return kExitUsage;
    }
    const SettingsLibrary library = FindSettingsLibrary(o.pluginDir);
    if (!library.present) Note(LibraryAbsence(library.folder));
    const PrivatePart defaults = LibraryDefaults(library);
    const std::string defaultsName = DefaultsName(library);
    std::vector<Source> sources(o.sources.size());
    for (size_t i = 0; i < o.sources.size(); ++i) {
        if (!LoadSource(defaults, o.sources[i], &sources[i], &error)) {
            Error(error);
            return kExitUsage;
        }
    }

    if (o.action == "fields") {
        std::cout << FieldsReport(defaults, o.json);
        return kExitOk;
    }
    if (o.action == "dump") {
        std::cout << Dump(sources[0], defaults, defaultsName, o.json, Describe(sources[0], defaultsName),
                          sources[0].isPrivatePart ? "private part" : "settings file");
        return kExitOk;
    }
    if (o.action == "defaults" || o.action == "set") return WriteSettings(library, o, sources, defaults);
    if (o.action == "validate") {
        PrivatePart merged = sources[0].part;
        std::vector<FieldChange> changes;
        if (!MergeLikeThePlugin(library, &merged, &changes, &error)) {
            Error(error);
            return kExitFound;
        }
        return ReportChanges(sources[0].name, changes, o.json, "nothing to change");
    }
    // diff
    return ReportChanges(sources[0].name + " -> " + sources[1].name,
                         ComparePrivateParts(sources[0].part, sources[1].part), o.json, "no difference");
}

// The options each action takes; any other is refused rather than ignored.
bool ActionTakes(const std::string& action, const std::string& option) {
    if (option == "--plugin") return true;
    if (option == "--json") return true;
    if (option == "--out" || option == "--part") return action == "set" || action == "defaults";
    if (option == "--raw") return action == "set";
    return false;
}

}  // namespace

int SettingsCommand(int argc, char** argv) {
    SetCommandName("settings");
    SettingsOptions o;
    std::vector<std::string> positionals;
    std::vector<std::string> given;  // options in the order given
    Arguments args(argc, argv, 2);
    while (!args.Done()) {
        std::string positional;
        if (args.Help()) {
            std::cout << kUsage;
            return kExitOk;
        }
        const std::string option = args.OptionName();
        if (!option.empty()) given.push_back(option);
        if (args.Flag("--json")) o.json = true;
        else if (args.Flag("--part")) o.part = true;
        else if (args.Flag("--raw")) o.raw = true;
        else if (args.Value("--out", &o.out)) {
        } else if (args.Value("--plugin", &o.pluginDir)) {
        } else if (args.Positional(&positional)) positionals.push_back(positional);
    }
    if (args.Failed()) return kExitUsage;
    if (positionals.empty()) {
        Error("which action? dump, set, validate, diff, defaults or fields (see --help)");
        return kExitUsage;
    }
    o.action = positionals[0];
    SetCommandName("settings " + o.action);
    for (size_t i = 1; i < positionals.size(); ++i) {
        // The first argument of set that is no assignment is its source.
        const bool assignment = o.action == "set" && (positionals[i].find('=') != std::string::npos || i > 1);
        (assignment ? o.assignments : o.sources).push_back(positionals[i]);
    }
    size_t wanted = 1;
    if (o.action == "diff") wanted = 2;
    else if (o.action == "defaults" || o.action == "fields") wanted = 0;
    else if (o.action == "set") wanted = o.sources.size();
    else if (o.action != "dump" && o.action != "validate") {
        Error("unknown action \"" + Printable(o.action) + "\" (dump, set, validate, diff, defaults or fields)");
        return kExitUsage;
    }
    for (const std::string& option : given) {
        if (!ActionTakes(o.action, option)) {
            Error(option + " is no option of settings " + o.action + " (see --help)");
            return kExitUsage;
        }
    }
    if (std::count(given.begin(), given.end(), "--out") > 1 || std::count(given.begin(), given.end(), "--plugin") > 1) {
        Error("--out and --plugin take one value each (see --help)");
        return kExitUsage;
    }
    if (o.sources.size() != wanted) {
        Error(o.action + " takes " + Count(wanted, "source", "sources") + " (see --help)");
        return kExitUsage;
    }
    if (o.action == "set" && o.assignments.empty()) {
        Error("set needs at least one Field=value");
        return kExitUsage;
    }
    if (o.out.empty() || o.pluginDir.empty() != (std::find(given.begin(), given.end(), "--plugin") == given.end())) {
        Error(std::string(o.out.empty() ? "--out" : "--plugin") + " wants a file name, not an empty text");
        return kExitUsage;
    }
    std::vector<FileUse> uses;
    for (const std::string& source : o.sources) uses.push_back({source, "the source", false});
    if (o.action == "set" || o.action == "defaults") uses.push_back({o.out, "--out", true});
    std::string error;
    if (!CheckFileUses(uses, &error)) {
        Error(error);
        return kExitUsage;
    }
    return RunAction(o);
}

}  // namespace qm22t
