// qm22t inspect: a spool file as it reached the printer, decoded.
#include "cli.h"
#include "commands.h"
#include "json_writer.h"
#include "pjl_decode.h"
#include "spool_reader.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <sstream>

namespace qm22t {
namespace {

constexpr char kUsage[] = R"(usage: qm22t inspect [--job JOB] [--json] SPOOLFILE

Decodes a file as it reached the printer (- reads standard input):
  - the PJL header, each "@PJL SET" line with the settings field and the value
    it comes from (the PJL table read in reverse); a line the table cannot
    produce is flagged with "!"
  - the setup sections of the PostScript part with each feature block: keyword,
    comment value and invocation value; with --job, whether the block is the
    driver's, replaced or inserted
  - the page count (%%Page: comments)
  - checks: every header line ends in CR LF, the header switches to PostScript,
    the PostScript part begins with "%!PS-", document and page setup markers
    pair up; with --job, the sections and blocks of the job are all there

  --job JOB   the driver's output the spool file was made from
  --json      for scripts

Exit codes:
  0  every check passed
  1  a check failed, or a header line is flagged
  2  bad command line, or a file that cannot be read
)";

enum class Origin { Unknown, Driver, Replaced, Inserted };

struct BlockVerdict {
    Origin origin = Origin::Unknown;
    std::string jobValue;  // the comment value the job had, for replaced blocks
};

struct Check {
    std::string name;
    bool ok;
    std::string detail;
};

const char* OriginName(Origin origin) {
    switch (origin) {
        case Origin::Driver: return "driver's";
        case Origin::Replaced: return "replaced";
        case Origin::Inserted: return "inserted";
        case Origin::Unknown: break;
    }
    return "";
}

std::string SectionTitle(const SetupSection& section) {
    std::string title = section.page ? "page setup" : "document setup";
    if (section.page && !section.pageLabel.empty()) title += ", %%Page: " + section.pageLabel;
    return title + " (line " + std::to_string(section.line) + ")";
}

std::string Invocation(const FeatureBlock& block) {
    return block.custom ? "(" + block.invocation + ")" : block.invocation;
}

struct Inspection {
    SpoolFile spool;
    std::vector<std::string> assignments;        // the "@PJL SET" lines, in order
    std::map<size_t, size_t> assignmentOfLine;   // header line index -> assignment index
    std::vector<DecodedLine> decoded;
    std::map<size_t, size_t> decodedOfAssignment;  // first assignment of a group -> decoded index
    bool compared = false;
    std::vector<std::vector<BlockVerdict>> verdicts;  // per section, per block
    std::vector<std::string> missingBlocks;           // blocks of the job the spool file lacks
    std::vector<Check> checks;
};

void DecodeHeader(Inspection* in) {
    const std::string prefix = "@PJL SET ";
    for (size_t i = 0; i < in->spool.header.size(); ++i) {
        const std::string& text = in->spool.header[i].text;
        if (text.compare(0, prefix.size(), prefix) != 0) continue;
        in->assignmentOfLine[i] = in->assignments.size();
        in->assignments.push_back(text.substr(prefix.size()));
    }
    in->decoded = DecodeSetLines(in->assignments);
    for (size_t k = 0; k < in->decoded.size(); ++k) in->decodedOfAssignment[in->decoded[k].firstLine] = k;
}

// Pairs the sections by their order (the plug-in neither adds nor drops any)
// and the blocks of a section by keyword.
void CompareWithJob(const PostScriptScanner& job, Inspection* in) {
    in->compared = true;
    const auto& sections = in->spool.postScript.sections;
    in->verdicts.resize(sections.size());
    for (size_t s = 0; s < sections.size(); ++s) {
        const bool paired = s < job.sections.size() && job.sections[s].page == sections[s].page;
        std::vector<bool> used(paired ? job.sections[s].blocks.size() : 0, false);
        for (const FeatureBlock& block : sections[s].blocks) {
            BlockVerdict verdict;
            verdict.origin = Origin::Inserted;
            for (size_t b = 0; paired && b < used.size(); ++b) {
                const FeatureBlock& original = job.sections[s].blocks[b];
                if (used[b] || original.keyword != block.keyword) continue;
                used[b] = true;
                verdict.origin = original.text == block.text ? Origin::Driver : Origin::Replaced;
                verdict.jobValue = original.commentValue;
                break;
            }
            in->verdicts[s].push_back(verdict);
        }
        for (size_t b = 0; b < used.size(); ++b) {
            if (!used[b]) {
                in->missingBlocks.push_back(job.sections[s].blocks[b].keyword + " of the " +
                                            SectionTitle(job.sections[s]) + " in the job");
            }
        }
    }
    const size_t spoolCount = sections.size();
    const size_t jobCount = job.sections.size();
    bool same = spoolCount == jobCount;
    for (size_t s = 0; same && s < spoolCount; ++s) same = sections[s].page == job.sections[s].page;
    in->checks.push_back({"the setup sections are the job's", same,
                          std::to_string(spoolCount) + " here, " + std::to_string(jobCount) + " in the job"});
    std::string missing;
    for (size_t i = 0; i < in->missingBlocks.size() && i < 5; ++i) missing += (i ? "; " : "") + in->missingBlocks[i];
    in->checks.push_back({"every feature block of the job is still there", in->missingBlocks.empty(), missing});
}

void RunChecks(Inspection* in) {
    const SpoolFile& spool = in->spool;
    std::string badEnds;
    size_t badCount = 0;
    for (const HeaderLine& line : spool.header) {
        if (line.crlf) continue;
        if (++badCount <= 5) badEnds += (badEnds.empty() ? "line " : ", ") + std::to_string(line.number);
    }
    if (badCount > 5) badEnds += " and " + std::to_string(badCount - 5) + " more";
    size_t flagged = 0;
    for (const DecodedLine& line : in->decoded) flagged += line.flag.empty() ? 0 : 1;
    const PostScriptScanner& ps = spool.postScript;
    size_t pageSections = 0;
    for (const SetupSection& section : ps.sections) pageSections += section.page ? 1 : 0;
    std::string markers;
    for (size_t i = 0; i < ps.markerProblems.size() && i < 5; ++i) markers += (i ? "; " : "") + ps.markerProblems[i];
    if (markers.empty()) {
        markers = std::to_string(ps.sections.size() - pageSections) + " document, " + std::to_string(pageSections) +
                  " page setup sections";
    }

    const bool startsRight = ps.firstLine.compare(0, 5, "%!PS-") == 0;
    const std::string start = ps.firstLine.empty() ? "there is none" : "it begins \"" + Printable(ps.firstLine, 24) + "\"";
    std::vector<Check> checks = {
        {"the file begins with a PJL header", spool.hasHeader, ""},
        {"every header line ends in CR LF", badCount == 0, badEnds},
        {"the header switches to PostScript", spool.headerEnded, ""},
        {"every @PJL SET line comes from the PJL table", flagged == 0,
         flagged == 0 ? "" : std::to_string(flagged) + " flagged"},
        {"the PostScript part begins with \"%!PS-\"", startsRight,
         startsRight ? "" : start},
        {"document and page setup markers pair up", ps.markerProblems.empty(), markers},
    };
    in->checks.insert(in->checks.begin(), checks.begin(), checks.end());
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + "  " : text + std::string(width - text.size(), ' ');
}

std::string Text(const Inspection& in, const std::string& name) {
    std::ostringstream out;
    const SpoolFile& spool = in.spool;
    out << "spool file " << name << ": " << spool.bytes << " bytes\n\n";
    if (spool.hasHeader) {
        out << "PJL header: " << spool.header.size() << " lines\n";
        for (size_t i = 0; i < spool.header.size(); ++i) {
            const HeaderLine& line = spool.header[i];
            std::string shown = Printable(line.text, 200) + (line.crlf ? "" : "  [no CR LF]");
            std::string description;
            const auto assignment = in.assignmentOfLine.find(i);
            if (assignment != in.assignmentOfLine.end()) {
                const auto group = in.decodedOfAssignment.find(assignment->second);
                description = group != in.decodedOfAssignment.end()
                                  ? DescribeDecodedLine(in.decoded[group->second])
                                  : "(with the line above)";
            }
            std::string number = std::to_string(line.number);
            out << std::string(number.size() < 5 ? 5 - number.size() : 0, ' ') << number << "  "
                << (description.empty() ? shown : Padded(shown, 44) + description) << "\n";
        }
        out << "\n";
    }
    const PostScriptScanner& ps = spool.postScript;
    out << "PostScript: \"" << Printable(ps.firstLine, 60) << "\", " << ps.pages << (ps.pages == 1 ? " page" : " pages")
        << ", " << ps.sections.size() << " setup sections\n";
    for (size_t s = 0; s < ps.sections.size(); ++s) {
        const SetupSection& section = ps.sections[s];
        out << "  " << SectionTitle(section) << (section.closed ? "" : ", never closed") << "\n";
        size_t keywordWidth = 0;
        size_t valueWidth = 0;
        size_t invocationWidth = 0;
        for (const FeatureBlock& block : section.blocks) {
            keywordWidth = std::max(keywordWidth, block.keyword.size());
            valueWidth = std::max(valueWidth, block.commentValue.size());
            // The driver's own code may be long; it does not widen the column.
            if (block.custom) invocationWidth = std::max(invocationWidth, Invocation(block).size());
        }
        for (size_t b = 0; b < section.blocks.size(); ++b) {
            const FeatureBlock& block = section.blocks[b];
            out << "    " << Padded(block.keyword, keywordWidth + 2) << Padded(block.commentValue, valueWidth + 2);
            if (in.compared) {
                const BlockVerdict& verdict = in.verdicts[s][b];
                out << Padded(Invocation(block), invocationWidth + 2) << OriginName(verdict.origin);
                if (verdict.origin == Origin::Replaced) out << "; the job had " << verdict.jobValue;
            } else {
                out << Invocation(block);
            }
            out << "\n";
        }
    }
    out << "\nchecks:\n";
    for (const Check& check : in.checks) {
        out << "  " << (check.ok ? "ok    " : "FAIL  ") << check.name << (check.detail.empty() ? "" : ": ")
            << check.detail << "\n";
    }
    return out.str();
}

std::string Json(const Inspection& in, const std::string& name) {
    JsonWriter json;
    const SpoolFile& spool = in.spool;
    json.BeginObject();
    json.Member("file", name);
    json.Member("bytes", spool.bytes);
    json.Key("header");
    json.BeginObject();
    json.Member("present", spool.hasHeader);
    json.Member("ended", spool.headerEnded);
    json.Key("lines");
    json.BeginArray();
    for (size_t i = 0; i < spool.header.size(); ++i) {
        const HeaderLine& line = spool.header[i];
        json.BeginObject();
        json.Member("line", line.number);
        json.Member("text", line.text);
        json.Member("crlf", line.crlf);
        const auto assignment = in.assignmentOfLine.find(i);
        const auto group = assignment == in.assignmentOfLine.end() ? in.decodedOfAssignment.end()
                                                                   : in.decodedOfAssignment.find(assignment->second);
        if (group != in.decodedOfAssignment.end()) {
            const DecodedLine& decoded = in.decoded[group->second];
            json.Member("kind", decoded.kind == DecodedLine::Kind::Identification ? "identification"
                                : decoded.kind == DecodedLine::Kind::Setting      ? "setting"
                                                                                  : "unknown");
            json.Member("pjlSetting", decoded.setting);
            json.Member("lines", decoded.lineCount);
            json.Key("values");
            json.BeginArray();
            for (const DecodedValue& value : decoded.values) {
                json.BeginObject();
                json.Member("field", value.field);
                json.Key("value");
                int64_t number = 0;
                if (value.number && ParseInteger(value.value, &number)) json.Number(number);
                else json.String(value.value);
                json.Member("valid", value.valid);
                json.EndObject();
            }
            json.EndArray();
            json.Key("fields");
            json.BeginArray();
            for (const std::string& field : decoded.fields) json.String(field);
            json.EndArray();
            if (!decoded.note.empty()) json.Member("note", decoded.note);
            if (!decoded.flag.empty()) json.Member("flag", decoded.flag);
        }
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();

    const PostScriptScanner& ps = spool.postScript;
    json.Key("postScript");
    json.BeginObject();
    json.Member("firstLine", ps.firstLine);
    json.Member("pages", ps.pages);
    json.Key("sections");
    json.BeginArray();
    for (size_t s = 0; s < ps.sections.size(); ++s) {
        const SetupSection& section = ps.sections[s];
        json.BeginObject();
        json.Member("kind", section.page ? "page" : "document");
        if (section.page) json.Member("page", section.pageLabel);
        json.Member("line", section.line);
        json.Member("closed", section.closed);
        json.Key("blocks");
        json.BeginArray();
        for (size_t b = 0; b < section.blocks.size(); ++b) {
            const FeatureBlock& block = section.blocks[b];
            json.BeginObject();
            json.Member("line", block.line);
            json.Member("keyword", block.keyword);
            json.Member("commentValue", block.commentValue);
            json.Member("invocation", block.invocation);
            json.Member("custom", block.custom);
            if (in.compared) {
                json.Member("origin", OriginName(in.verdicts[s][b].origin));
                if (in.verdicts[s][b].origin == Origin::Replaced) json.Member("jobValue", in.verdicts[s][b].jobValue);
            }
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();

    json.Key("checks");
    json.BeginArray();
    for (const Check& check : in.checks) {
        json.BeginObject();
        json.Member("check", check.name);
        json.Member("ok", check.ok);
        if (!check.detail.empty()) json.Member("detail", check.detail);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

}  // namespace

int InspectCommand(int argc, char** argv) {
    SetCommandName("inspect");
    std::string jobFile;
    std::vector<std::string> files;
    bool json = false;
    Arguments args(argc, argv, 2);
    while (!args.Done()) {
        std::string positional;
        if (args.Help()) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (args.Flag("--json")) json = true;
        else if (args.Value("--job", &jobFile)) {}
        else if (args.Positional(&positional)) files.push_back(positional);
    }
    if (args.Failed()) return kExitUsage;
    if (files.size() != 1) {
        Error("give one spool file (see --help)");
        return kExitUsage;
    }

    Inspection in;
    std::string error;
    if (!ReadSpoolFile(files[0], &in.spool, &error)) {
        Error(error);
        return kExitUsage;
    }
    DecodeHeader(&in);
    RunChecks(&in);
    if (!jobFile.empty()) {
        PostScriptScanner job;
        if (!ReadJobFile(jobFile, &job, &error)) {
            Error(error);
            return kExitUsage;
        }
        CompareWithJob(job, &in);
    }
    const std::string name = DisplayName(files[0], false);
    std::cout << (json ? Json(in, name) : Text(in, name));
    const bool allOk = std::all_of(in.checks.begin(), in.checks.end(), [](const Check& c) { return c.ok; });
    return allOk ? kExitOk : kExitFound;
}

}  // namespace qm22t
