// qm22t settings: device settings as people read and write them, with the same
// field names as `qm22t run`.
#include "cli.h"
#include "commands.h"
#include "json_writer.h"
#include "settings_source.h"
#include "settings_text.h"

#include <cstdio>
#include <iostream>
#include <vector>

#include <unistd.h>

namespace qm22t {
namespace {

constexpr char kUsage[] = R"(usage: qm22t settings dump [--json] SOURCE
       qm22t settings set [SOURCE] Field=value... [--out FILE] [--part] [--raw]
       qm22t settings validate [--json] SOURCE
       qm22t settings diff [--json] SOURCE SOURCE
       qm22t settings defaults [--json] [--out FILE] [--part]

A SOURCE is a private part as captured from a DEVMODE (a file of 12016 bytes,
or one that carries the plug-in's signature), or a settings file of Field=value
lines, which applies to the sibling library's defaults. The field names are
those of `qm22t run --set`.

  dump       every field as Field=value, values that are not the defaults
             marked "*"; the output is a settings file that `qm22t run
             --settings` takes back byte for byte
  set        changes fields and writes the result: a private part when SOURCE
             is one or with --part, else a settings file; the merge runs on it
             as in `qm22t run` (every change told on standard error) unless --raw
  validate   what the plug-in's device-settings merge would change, field by field
  diff       the fields in which two sources differ
  defaults   the sibling library's defaults

  --json        for scripts
  --out FILE    where set and defaults write (default: standard output; a
                private part is not written to a terminal)
  --plugin DIR  folder of QM22TRD.dll and QM22TIE.dll (default: the folder of
                this program)

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
bool LoadSource(DriverSession& session, const std::string& path, Source* source, std::string* error) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error)) return false;
    source->name = DisplayName(path, false);
    source->isPrivatePart = LooksLikePrivatePart(bytes);
    if (source->isPrivatePart) return PrivatePartOfBytes(bytes, source->name, &source->part, error);
    if (!session.Defaults(&source->part, error)) return false;
    SettingsBlock block = BlockOfPart(source->part.data());
    std::string problem;
    if (!ApplySettingsText(bytes, &block, &problem)) {
        *error = source->name + ": " + problem;
        return false;
    }
    StoreBlockInPart(block, source->part.data());
    return true;
}

std::string Describe(const Source& source) {
    if (!source.isPrivatePart) return "settings of " + source.name + " over the sibling library's defaults";
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
std::string Dump(const Source& source, const PrivatePart& defaults, bool json, const std::string& title,
                 const char* kind) {
    const SettingsBlock block = BlockOfPart(source.part.data());
    const SettingsBlock defaultBlock = BlockOfPart(defaults.data());
    if (!json) return DumpSettings(block, defaultBlock, title);
    JsonWriter writer;
    writer.BeginObject();
    writer.Member("source", source.name);
    writer.Member("kind", kind);
    if (source.isPrivatePart) HeaderJson(source.part, writer);
    DumpSettingsJson(block, defaultBlock, writer);
    writer.EndObject();
    return writer.Text();
}

int ReportChanges(const std::string& title, const std::vector<FieldChange>& changes, bool json,
                  const char* noneText) {
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
int WriteSettings(DriverSession& session, const SettingsOptions& o, const std::vector<Source>& sources,
                  const PrivatePart& defaults) {
    Source result;
    result.name = sources.empty() ? "the sibling library's defaults" : sources[0].name;
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
        if (!MergeAndCompare(session, &result.part, &changes, &error)) {
            Error(error);
            return kExitFound;
        }
        for (const FieldChange& change : changes) Note(DescribeChange(change));
    }
    bool written = false;
    if (result.isPrivatePart && !o.json) {
        written = WriteOutput(o.out, std::string(result.part.begin(), result.part.end()), true);
    } else {
        const char* kind = result.isPrivatePart        ? "private part"
                           : o.action == "defaults" ? "defaults"
                                                    : "settings file";
        written = WriteOutput(o.out, Dump(result, defaults, o.json, title, kind), false);
    }
    return written ? kExitOk : kExitUsage;
}

int RunAction(const SettingsOptions& o) {
    DriverSession session;
    std::string error;
    SessionOptions sessionOptions;
    sessionOptions.pluginDir = o.pluginDir;
    if (const int code = ExitCodeOf(session.Open(sessionOptions, &error))) {
        Error(error);
        return code;
    }
    PrivatePart defaults;
    if (!session.Defaults(&defaults, &error)) {
        Error(error);
        return kExitFound;
    }
    std::vector<Source> sources(o.sources.size());
    for (size_t i = 0; i < o.sources.size(); ++i) {
        if (!LoadSource(session, o.sources[i], &sources[i], &error)) {
            Error(error);
            return kExitUsage;
        }
    }

    if (o.action == "dump") {
        std::cout << Dump(sources[0], defaults, o.json, Describe(sources[0]),
                          sources[0].isPrivatePart ? "private part" : "settings file");
        return kExitOk;
    }
    if (o.action == "defaults" || o.action == "set") return WriteSettings(session, o, sources, defaults);
    if (o.action == "validate") {
        PrivatePart merged = sources[0].part;
        std::vector<FieldChange> changes;
        if (!MergeAndCompare(session, &merged, &changes, &error)) {
            Error(error);
            return kExitFound;
        }
        return ReportChanges(sources[0].name, changes, o.json, "nothing to change");
    }
    // diff
    return ReportChanges(sources[0].name + " -> " + sources[1].name,
                         ComparePrivateParts(sources[0].part, sources[1].part), o.json, "no difference");
}

}  // namespace

int SettingsCommand(int argc, char** argv) {
    SetCommandName("settings");
    SettingsOptions o;
    std::vector<std::string> positionals;
    Arguments args(argc, argv, 2);
    while (!args.Done()) {
        std::string positional;
        if (args.Help()) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (args.Flag("--json")) o.json = true;
        else if (args.Flag("--part")) o.part = true;
        else if (args.Flag("--raw")) o.raw = true;
        else if (args.Value("--out", &o.out)) {}
        else if (args.Value("--plugin", &o.pluginDir)) {}
        else if (args.Positional(&positional)) positionals.push_back(positional);
    }
    if (args.Failed()) return kExitUsage;
    if (positionals.empty()) {
        Error("which action? dump, set, validate, diff or defaults (see --help)");
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
    else if (o.action == "defaults") wanted = 0;
    else if (o.action == "set") wanted = o.sources.size();
    else if (o.action != "dump" && o.action != "validate") {
        Error("unknown action \"" + o.action + "\" (dump, set, validate, diff or defaults)");
        return kExitUsage;
    }
    if (o.sources.size() != wanted) {
        Error(o.action + " takes " + std::to_string(wanted) + (wanted == 1 ? " source" : " sources") + " (see --help)");
        return kExitUsage;
    }
    if (o.action == "set" && o.assignments.empty()) {
        Error("set needs at least one Field=value");
        return kExitUsage;
    }
    return RunAction(o);
}

}  // namespace qm22t
