// qm22t inspect: a spool file as it reached the printer, decoded and checked.
// The file is streamed: the header is kept, each setup section is reported
// once it is read and then forgotten, so a spool file of any size is inspected
// in a few megabytes.
#include "cli.h"
#include "commands.h"
#include "json_writer.h"
#include "core/pjl_header.h"
#include "pjl_decode.h"
#include "core/feature_tables.h"
#include "core/settings_text.h"
#include "settings_text.h"
#include "spool_reader.h"

#include <algorithm>
#include <deque>
#include <iostream>
#include <map>
#include <sstream>

namespace qm22t {
namespace {

constexpr char kUsage[] = R"(usage: qm22t inspect [--job JOB] [--json | --summary] SPOOLFILE

Decodes a file as it reached the printer (- reads standard input):
  - the PJL header, each "@PJL SET" line with the settings field and the value
    it comes from (the PJL table read in reverse); a line the table cannot
    produce is flagged with "!"
  - the setup sections of the PostScript part with each feature block: keyword,
    comment value and invocation value; with --job, whether the block is the
    driver's, replaced or inserted
  - the page count (%%Page: comments)
  - checks: every header line ends in CR LF, the header switches to PostScript,
    every header line comes from the PJL table with a value the settings can
    hold, no variable is set twice, every line the settings always make is
    there (QTY or COPIES, ZTSTAPLEMODE...), every feature block agrees
    with the header on the settings both carry (duplex and binding, copies and
    collation, trays, paper size, orientation and every other field the PJL
    table and the feature tables share), the PostScript part begins with
    "%!PS-", document and page setup markers pair up, and the job ends: a
    %%Trailer or %%EOF after the last page, nothing but the job-end sequence
    after %%EOF; with --job, the PostScript outside the setup sections is the
    job's byte for byte, the page count is the job's, and the job's sections
    and feature blocks are all there

A file holds one job. Jobs joined into one file (with cat) fail the check
"the file holds one job", which names the line where the second begins;
split the file there and inspect each job alone. Line numbers of feature
blocks are those of their %%BeginFeature: lines.

  --job JOB   the driver's output the spool file was made from
  --json      for scripts
  --summary   one line per check and the totals, instead of every line

The file is read once, from start to end, in bounded memory: any size will do.

Exit codes:
  0  every check passed
  1  a check failed, or a header line is flagged
  2  bad command line, a file that cannot be read, or an output that cannot
     be written
)";

constexpr size_t kShownProblems = 5;

enum class Origin { Unknown, Driver, Replaced, Inserted };

struct BlockVerdict {
    Origin origin = Origin::Unknown;
    std::string jobValue;  // the comment value the job had, for replaced blocks
};

// One check: how often it was tried, how often it failed, and the first few
// failures in words.
struct Check {
    std::string name;
    bool ok = true;
    std::string detail;
};

// Counts failures and keeps the first few in words.
struct Problems {
    uint64_t count = 0;
    std::string shown;

    void Add(const std::string& problem) {
        if (++count <= kShownProblems) shown += (shown.empty() ? "" : "; ") + problem;
    }
    std::string Detail() const {
        return count > kShownProblems ? shown + "; and " + std::to_string(count - kShownProblems) + " more" : shown;
    }
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

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + "  " : text + std::string(width - text.size(), ' ');
}

// ---------------------------------------------------------------------------
// The header against the feature blocks.

// What a feature block must say, given the header: the settings the PJL table
// and the feature tables both read are found from the tables themselves (the
// job settings of the header name their fields, the replace rows and number
// inserts of the feature code name theirs); the values come from the header's
// lines, decoded, stored in a settings block and spelled by the feature code's
// own rules.
class HeaderAgreement {
public:
    explicit HeaderAgreement(const std::vector<DecodedLine>& decoded) {
        for (const DecodedLine& line : decoded) {
            if (!line.flag.empty()) continue;
            for (const DecodedValue& value : line.values) {
                const Field* field = FindField(value.field);
                int64_t number = 0;
                if (field == nullptr || !value.number || !ParseInteger(value.value, &number)) continue;
                std::string problem;
                if (!StoreField(*field, value.value, &block_, &problem)) continue;
                known_[field->offset] = value.field + "=" + value.value;
            }
        }
    }

    // Empty when the block agrees or the header says nothing of its setting;
    // else what the header makes of it.
    std::string Disagreement(const FeatureBlock& block, const SetupSection& section) const {
        const SettingsView view{block_.data(), block_.size()};
        for (const ReplaceGroup& group : kReplaceGroups) {
            for (size_t i = 0; i < group.count; ++i) {
                const ReplaceRow& row = group.rows[i];
                if (block.keyword != row.keyword || !Knows(row.field.offset)) continue;
                if (row.rule == ValueRule::Font || row.rule == ValueRule::Hex) return "";
                // Two rules read a second field; without it there is nothing to compare.
                if (row.rule == ValueRule::StapleMode && !Knows(kSettingBinding.offset)) return "";
                if (row.rule == ValueRule::ZoomRate && !Knows(kSettingManualZoom.offset)) return "";
                std::string expected;
                if (!FillReplaceValue(row, view, expected)) return "";
                // An orientation block the plug-in adds follows the page's
                // viewing orientation.
                if (row.field.offset == kSettingOrientation.offset && section.viewingOrientation != 0 &&
                    block.commentValue == OrientationValue(section.viewingOrientation, view)) {
                    return "";
                }
                return block.commentValue == expected ? "" : Expected(block, expected, row.field.offset);
            }
        }
        for (const InsertRow& row : kInsertTable) {
            if (block.keyword != row.keyword || row.source != InsertSource::Field || !Knows(row.offset)) continue;
            const SettingField* field = FindSettingsFieldAt(row.offset);
            if ((row.kind != InsertKind::Int32 && row.kind != InsertKind::Int16) || field == nullptr) return "";
            const int64_t number = ReadFieldValue(view, *field);
            const std::string expected = std::to_string(number);
            return block.commentValue == expected ? "" : Expected(block, expected, row.offset);
        }
        return "";
    }

private:
    bool Knows(size_t offset) const { return known_.count(offset) != 0; }

    std::string Expected(const FeatureBlock& block, const std::string& expected, size_t offset) const {
        return block.keyword + " " + block.commentValue + " at line " + std::to_string(block.line) +
               ", but the header's " + known_.at(offset) + " makes " + expected;
    }

    SettingsBlock block_{};
    std::map<size_t, std::string> known_;  // field offset -> "Field=value" as the header told it
};

// ---------------------------------------------------------------------------
// The job beside the spool file.

// Reads the driver's job a line at a time as the spool file's lines arrive,
// and hands over each of its setup sections whole.
class JobFollower {
public:
    bool Open(const std::string& path, std::string* error) {
        scanner_.OnLine([this](const Line&, bool inSection) { lastInSection_ = inSection; });
        scanner_.OnSection([this](SetupSection& section) { sections_.push_back(std::move(section)); });
        return reader_.Open(path, error);
    }
    // The next line and whether it belongs to a setup section. False at the end.
    bool Pull(Line* line, bool* inSection) {
        if (ended_ || !reader_.Next(line)) {
            if (!ended_) scanner_.Finish();
            ended_ = true;
            return false;
        }
        scanner_.Feed(*line);
        *inSection = lastInSection_;
        return true;
    }
    // Reads on until the scanner handed over the section that `first` began.
    void ReadSection() {
        const size_t before = sections_.size();
        Line line;
        bool inSection = false;
        while (sections_.size() == before && Pull(&line, &inSection)) {
        }
    }
    bool TakeSection(SetupSection* section) {
        if (sections_.empty()) return false;
        *section = std::move(sections_.front());
        sections_.pop_front();
        return true;
    }
    const PostScriptScanner& Scanner() const { return scanner_; }
    bool Failed() const { return reader_.Failed(); }

private:
    JobReader reader_;
    PostScriptScanner scanner_;
    std::deque<SetupSection> sections_;
    bool lastInSection_ = false;
    bool ended_ = false;
};

// ---------------------------------------------------------------------------
// The inspection.

struct Options {
    std::string spoolFile;
    std::string jobFile;
    bool json = false;
    bool summary = false;
};

class Inspection {
public:
    explicit Inspection(const Options& options) : o_(options), name_(DisplayName(options.spoolFile, false)) {}
    int Run();

private:
    void DecodeHeader();
    // The file's line number of an "@PJL SET" line, by its place among them.
    uint64_t HeaderLineNumber(size_t assignment) const;
    void ReportHeader();
    void OnLine(const Line& line, bool inSection);
    void OnSection(SetupSection& section);
    void ReportSection(const SetupSection& section, const std::vector<BlockVerdict>& verdicts);
    void Finish();
    void Emit(const std::string& text) {
        std::cout << text;
        NoteStandardOutputState();
    }
    void EmitJson() {
        std::cout << json_.Take();
        NoteStandardOutputState();
    }

    const Options& o_;
    std::string name_;
    SpoolReader spool_;
    PostScriptScanner scanner_;
    JsonWriter json_;

    std::vector<std::string> assignments_;       // the "@PJL SET" lines, in order
    std::map<size_t, size_t> assignmentOfLine_;  // header line index -> assignment index
    std::vector<DecodedLine> decoded_;
    std::map<size_t, size_t> decodedOfAssignment_;  // first assignment of a group -> decoded index
    std::unique_ptr<HeaderAgreement> agreement_;
    Problems disagreements_;

    std::unique_ptr<JobFollower> job_;
    Problems missingBlocks_;
    Problems unpairedSections_;
    std::string firstDifference_;  // where the PostScript outside the sections first differs
    bool psStarted_ = false;
    uint64_t lastExitLine_ = 0;  // the last universal exit in the PostScript part
    std::string secondJob_;      // where a second job begins, when the file holds one
};

uint64_t Inspection::HeaderLineNumber(size_t assignment) const {
    for (const auto& [index, number] : assignmentOfLine_) {
        if (number == assignment) return spool_.header[index].number;
    }
    return 0;
}

void Inspection::DecodeHeader() {
    const std::string prefix = "@PJL SET ";
    for (size_t i = 0; i < spool_.header.size(); ++i) {
        const std::string& text = spool_.header[i].text;
        if (text.compare(0, prefix.size(), prefix) != 0) continue;
        assignmentOfLine_[i] = assignments_.size();
        assignments_.push_back(text.substr(prefix.size()));
    }
    decoded_ = DecodeSetLines(assignments_);
    for (size_t k = 0; k < decoded_.size(); ++k) decodedOfAssignment_[decoded_[k].firstLine] = k;
    agreement_ = std::make_unique<HeaderAgreement>(decoded_);
}

void Inspection::ReportHeader() {
    if (o_.summary) return;
    if (o_.json) {
        json_.BeginObject();
        json_.Member("file", name_);
        json_.Key("header");
        json_.BeginObject();
        json_.Member("present", spool_.hasHeader);
        json_.Member("ended", spool_.headerEnded);
        json_.Key("lines");
        json_.BeginArray();
        for (size_t i = 0; i < spool_.header.size(); ++i) {
            const HeaderLine& line = spool_.header[i];
            json_.BeginObject();
            json_.Member("line", line.number);
            json_.Member("text", line.text);
            json_.Member("crlf", line.crlf);
            const auto assignment = assignmentOfLine_.find(i);
            const auto group = assignment == assignmentOfLine_.end() ? decodedOfAssignment_.end()
                                                                     : decodedOfAssignment_.find(assignment->second);
            if (group != decodedOfAssignment_.end()) {
                const DecodedLine& decoded = decoded_[group->second];
                json_.Member("kind", decoded.kind == DecodedLine::Kind::Identification ? "identification"
                                     : decoded.kind == DecodedLine::Kind::Setting      ? "setting"
                                                                                       : "unknown");
                json_.Member("pjlSetting", decoded.setting);
                json_.Member("lines", decoded.lineCount);
                json_.Key("values");
                json_.BeginArray();
                for (const DecodedValue& value : decoded.values) {
                    json_.BeginObject();
                    json_.Member("field", value.field);
                    json_.Key("value");
                    int64_t number = 0;
                    if (value.number && ParseInteger(value.value, &number)) json_.Number(number);
                    else json_.String(value.value);
                    json_.Member("valid", value.valid);
                    json_.EndObject();
                }
                json_.EndArray();
                json_.Key("fields");
                json_.BeginArray();
                for (const std::string& field : decoded.fields) json_.String(field);
                json_.EndArray();
                if (!decoded.note.empty()) json_.Member("note", decoded.note);
                if (!decoded.flag.empty()) json_.Member("flag", decoded.flag);
            }
            json_.EndObject();
        }
        json_.EndArray();
        json_.EndObject();
        json_.Key("postScript");
        json_.BeginObject();
        json_.Key("sections");
        json_.BeginArray();
        EmitJson();
        return;
    }
    std::ostringstream out;
    out << "spool file " << name_ << "\n\n";
    if (spool_.hasHeader) {
        out << "PJL header: " << Count(spool_.header.size(), "line", "lines") << "\n";
        for (size_t i = 0; i < spool_.header.size(); ++i) {
            const HeaderLine& line = spool_.header[i];
            std::string shown = Printable(line.text, 200) + (line.crlf ? "" : "  [no CR LF]");
            std::string description;
            const auto assignment = assignmentOfLine_.find(i);
            if (assignment != assignmentOfLine_.end()) {
                const auto group = decodedOfAssignment_.find(assignment->second);
                description = group != decodedOfAssignment_.end() ? DescribeDecodedLine(decoded_[group->second])
                                                                  : "(with the line above)";
            }
            std::string number = std::to_string(line.number);
            out << std::string(number.size() < 5 ? 5 - number.size() : 0, ' ') << number << "  "
                << (description.empty() ? shown : Padded(shown, 44) + description) << "\n";
        }
        out << "\n";
    }
    Emit(out.str());
}

void Inspection::OnLine(const Line& line, bool inSection) {
    // A header of its own that switches to PostScript: jobs joined into one file.
    if (line.text.compare(0, 9, "\x1B%-12345X") == 0) lastExitLine_ = line.number;
    if (secondJob_.empty() && line.text.compare(0, 20, "@PJL ENTER LANGUAGE=") == 0) {
        secondJob_ = "a second job begins at line " + std::to_string(lastExitLine_ != 0 ? lastExitLine_ : line.number) +
                     " (its header switches to PostScript at line " + std::to_string(line.number) +
                     "); split the file there and inspect each job alone";
    }
    if (!psStarted_) {
        psStarted_ = true;
        if (!o_.json && !o_.summary) Emit("PostScript: \"" + Printable(line.text, 60) + "\"\n");
    }
    if (!job_ || !firstDifference_.empty()) return;
    const bool begin = line.text == "%%BeginSetup" || line.text == "%%BeginPageSetup";
    if (inSection && !begin) return;  // compared block by block with the job's section
    Line jobLine;
    bool jobInSection = false;
    if (!job_->Pull(&jobLine, &jobInSection)) {
        firstDifference_ = "the job ends before line " + std::to_string(line.number) + " of the spool file";
        return;
    }
    if (!SameBytes(line, jobLine) || jobInSection != inSection) {
        firstDifference_ = "line " + std::to_string(line.number) + " (\"" + Printable(line.text, 32) +
                           "\") is not the job's line " + std::to_string(jobLine.number) + " (\"" +
                           Printable(jobLine.text, 32) + "\")";
        return;
    }
    if (begin) job_->ReadSection();
}

// Pairs the section with the job's of the same place (the plug-in neither adds
// nor drops any) and its blocks with the job's by keyword.
void Inspection::OnSection(SetupSection& section) {
    std::vector<BlockVerdict> verdicts;
    for (const FeatureBlock& block : section.blocks) {
        const std::string disagreement = agreement_->Disagreement(block, section);
        if (!disagreement.empty()) disagreements_.Add(disagreement + " (" + SectionTitle(section) + ")");
    }
    if (job_ && !firstDifference_.empty()) {
        // Out of step with the job: nothing more can be paired.
        verdicts.assign(section.blocks.size(), BlockVerdict{});
    } else if (job_) {
        SetupSection jobSection;
        const bool paired = job_->TakeSection(&jobSection) && jobSection.page == section.page;
        if (!paired) unpairedSections_.Add(SectionTitle(section) + " has no counterpart in the job");
        std::vector<bool> used(paired ? jobSection.blocks.size() : 0, false);
        for (const FeatureBlock& block : section.blocks) {
            BlockVerdict verdict;
            verdict.origin = Origin::Inserted;
            for (size_t b = 0; b < used.size(); ++b) {
                const FeatureBlock& original = jobSection.blocks[b];
                if (used[b] || original.keyword != block.keyword) continue;
                used[b] = true;
                verdict.origin = SameBlock(original, block) ? Origin::Driver : Origin::Replaced;
                verdict.jobValue = original.commentValue;
                break;
            }
            verdicts.push_back(verdict);
        }
        for (size_t b = 0; b < used.size(); ++b) {
            if (!used[b]) {
                missingBlocks_.Add(jobSection.blocks[b].keyword + " of the " + SectionTitle(jobSection) +
                                   " in the job");
            }
        }
    }
    ReportSection(section, verdicts);
}

void Inspection::ReportSection(const SetupSection& section, const std::vector<BlockVerdict>& verdicts) {
    if (o_.summary) return;
    const bool compared = !verdicts.empty() || (job_ && section.blocks.empty());
    if (o_.json) {
        json_.BeginObject();
        json_.Member("kind", section.page ? "page" : "document");
        if (section.page) json_.Member("page", section.pageLabel);
        json_.Member("line", section.line);
        json_.Member("closed", section.closed);
        json_.Key("blocks");
        json_.BeginArray();
        for (size_t b = 0; b < section.blocks.size(); ++b) {
            const FeatureBlock& block = section.blocks[b];
            json_.BeginObject();
            json_.Member("line", block.line);
            json_.Member("keyword", block.keyword);
            json_.Member("commentValue", block.commentValue);
            json_.Member("invocation", block.invocation);
            json_.Member("custom", block.custom);
            if (compared) {
                json_.Member("origin", OriginName(verdicts[b].origin));
                if (verdicts[b].origin == Origin::Replaced) json_.Member("jobValue", verdicts[b].jobValue);
            }
            json_.EndObject();
        }
        json_.EndArray();
        json_.EndObject();
        EmitJson();
        return;
    }
    std::ostringstream out;
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
        if (compared) {
            out << Padded(Invocation(block), invocationWidth + 2) << OriginName(verdicts[b].origin);
            if (verdicts[b].origin == Origin::Replaced) out << "; the job had " << verdicts[b].jobValue;
        } else {
            out << Invocation(block);
        }
        out << "\n";
    }
    Emit(out.str());
}

int Inspection::Run() {
    std::string error;
    if (!spool_.Open(o_.spoolFile, !o_.jobFile.empty(), &error)) {
        Error(error);
        return kExitUsage;
    }
    if (!o_.jobFile.empty()) {
        job_ = std::make_unique<JobFollower>();
        if (!job_->Open(o_.jobFile, &error)) {
            Error(error);
            return kExitUsage;
        }
    }
    if (!spool_.ReadHeader(&error)) {
        Error(error);
        return kExitUsage;
    }
    DecodeHeader();
    ReportHeader();
    scanner_.OnLine([this](const Line& line, bool inSection) { OnLine(line, inSection); });
    scanner_.OnSection([this](SetupSection& section) { OnSection(section); });
    if (!spool_.ReadRest(&scanner_, &error)) {
        Error(error);
        return kExitUsage;
    }
    if (job_ && job_->Failed()) {
        Error("cannot read the job " + DisplayName(o_.jobFile, false) + ": " + SystemError());
        return kExitUsage;
    }

    // The checks, in the order a reader follows the file.
    std::vector<Check> checks;
    std::string badEnds;
    size_t badCount = 0;
    for (const HeaderLine& line : spool_.header) {
        if (line.crlf) continue;
        if (++badCount <= kShownProblems) badEnds += (badEnds.empty() ? "line " : ", ") + std::to_string(line.number);
    }
    if (badCount > kShownProblems) badEnds += " and " + std::to_string(badCount - kShownProblems) + " more";
    size_t flagged = 0;
    Problems invalid;
    for (const DecodedLine& line : decoded_) {
        flagged += line.flag.empty() ? 0 : 1;
        for (const DecodedValue& value : line.values) {
            if (!value.valid) {
                invalid.Add("line " + std::to_string(HeaderLineNumber(line.firstLine)) + ": " + value.field + "=" +
                            value.value);
            }
        }
    }
    // Each variable once, and every one the settings always make.
    Problems repeated;
    std::map<std::string, uint64_t> firstSet;
    for (const auto& [index, assignment] : assignmentOfLine_) {
        const std::string variable = VariableOf(assignments_[assignment]);
        const uint64_t number = spool_.header[index].number;
        const auto [at, added] = firstSet.emplace(variable, number);
        if (!added) {
            repeated.Add(variable + " at line " + std::to_string(number) + ", first set at line " +
                         std::to_string(at->second));
        }
    }
    Problems missing;
    if (spool_.hasHeader) {
        for (const RequiredLine& required : RequiredHeaderLines()) {
            const bool present = std::any_of(required.variables.begin(), required.variables.end(),
                                             [&](const std::string& variable) { return firstSet.count(variable); });
            if (present) continue;
            std::string names;
            for (const std::string& variable : required.variables) names += (names.empty() ? "" : " or ") + variable;
            missing.Add(names + (required.field.empty() ? "" : " (" + required.field + ")"));
        }
    }
    const PostScriptScanner& ps = scanner_;
    std::string markers;
    for (const std::string& problem : ps.markerProblems) markers += (markers.empty() ? "" : "; ") + problem;
    if (ps.markerProblemCount > ps.markerProblems.size()) {
        markers += "; and " + std::to_string(ps.markerProblemCount - ps.markerProblems.size()) + " more";
    }
    if (markers.empty()) {
        markers = std::to_string(ps.sectionCount - ps.pageSectionCount) + " document, " +
                  Count(ps.pageSectionCount, "page setup section", "page setup sections");
    }
    const bool startsRight = ps.firstLine.compare(0, 5, "%!PS-") == 0;
    const std::string start = !psStarted_ ? "there is none" : "it begins \"" + Printable(ps.firstLine, 24) + "\"";
    std::string ending;
    const bool endsRight = ps.ended && ps.tailProblem.empty() && ps.lastLineEnded;
    if (!psStarted_) {
        ending = "there is no PostScript part";
    } else if (!ps.ended) {
        ending = ps.lastPageLine != 0
                     ? "no %%Trailer or %%EOF after the last %%Page: (line " + std::to_string(ps.lastPageLine) +
                           "); the file ends at line " + std::to_string(ps.lastLineNumber)
                     : "no %%Trailer or %%EOF; the file ends at line " + std::to_string(ps.lastLineNumber);
    } else if (!ps.tailProblem.empty()) {
        ending = ps.tailProblem + ", where only the job-end sequence may follow";
    } else if (!ps.lastLineEnded) {
        ending = "line " + std::to_string(ps.lastLineNumber) + " is cut: it has no line end";
    }
    checks = {
        {"the file begins with a PJL header", spool_.hasHeader, ""},
        {"every header line ends in CR LF", badCount == 0, badEnds},
        {"the header switches to PostScript", spool_.headerEnded, ""},
        {"every @PJL SET line comes from the PJL table", flagged == 0,
         flagged == 0 ? "" : Count(flagged, "line", "lines") + " flagged"},
        {"every header value is one the settings can hold", invalid.count == 0, invalid.Detail()},
        {"no variable is set twice", repeated.count == 0, repeated.Detail()},
        {"every line the settings always make is there", missing.count == 0,
         missing.count == 0 ? "" : "missing: " + missing.Detail()},
        {"every feature block agrees with the header", disagreements_.count == 0, disagreements_.Detail()},
        {"the PostScript part begins with \"%!PS-\"", startsRight, startsRight ? "" : start},
        {"document and page setup markers pair up", ps.markerProblemCount == 0, markers},
        {"the job ends: %%Trailer or %%EOF after the last page", endsRight, ending},
        {"the file holds one job", secondJob_.empty(), secondJob_},
    };
    if (job_) {
        Line extra;
        bool unused = false;
        if (firstDifference_.empty() && job_->Pull(&extra, &unused)) {
            firstDifference_ =
                "the job goes on at its line " + std::to_string(extra.number) + " after the spool file's end";
        }
        while (job_->Pull(&extra, &unused)) {
        }  // the job's own counts
        const PostScriptScanner& job = job_->Scanner();
        checks.push_back({"the PostScript outside the setup sections is the job's, byte for byte",
                          firstDifference_.empty(), firstDifference_});
        checks.push_back({"the page count is the job's", ps.pages == job.pages,
                          std::to_string(ps.pages) + " here, " + std::to_string(job.pages) + " in the job"});
        std::string sections =
            std::to_string(ps.sectionCount) + " here, " + std::to_string(job.sectionCount) + " in the job";
        if (unpairedSections_.count != 0) sections += "; " + unpairedSections_.Detail();
        checks.push_back({"the setup sections are the job's",
                          ps.sectionCount == job.sectionCount && unpairedSections_.count == 0, sections});
        checks.push_back(
            {"every feature block of the job is still there", missingBlocks_.count == 0, missingBlocks_.Detail()});
    }
    const size_t failed =
        static_cast<size_t>(std::count_if(checks.begin(), checks.end(), [](const Check& check) { return !check.ok; }));

    const std::string totals = Count(spool_.bytes, "byte", "bytes") + ", " + Count(ps.pages, "page", "pages") + ", " +
                               Count(ps.sectionCount, "setup section", "setup sections") + ", " +
                               Count(ps.blockCount, "feature block", "feature blocks");
    if (o_.json) {
        json_.EndArray();
        json_.Member("firstLine", ps.firstLine);
        json_.Member("pages", ps.pages);
        json_.EndObject();
        json_.Member("bytes", spool_.bytes);
        json_.Key("checks");
        json_.BeginArray();
        for (const Check& check : checks) {
            json_.BeginObject();
            json_.Member("check", check.name);
            json_.Member("ok", check.ok);
            if (!check.detail.empty()) json_.Member("detail", check.detail);
            json_.EndObject();
        }
        json_.EndArray();
        json_.EndObject();
        EmitJson();
        return failed == 0 ? kExitOk : kExitFound;
    }
    std::ostringstream out;
    if (o_.summary) {
        out << "spool file " << name_ << ": " << Count(spool_.header.size(), "header line", "header lines") << ", "
            << totals << "\n";
    } else {
        out << "\n" << totals << "\n\nchecks:\n";
    }
    for (const Check& check : checks) {
        out << (o_.summary ? "" : "  ") << (check.ok ? "ok    " : "FAIL  ") << check.name
            << (check.detail.empty() ? "" : ": ") << check.detail << "\n";
    }
    if (o_.summary) {
        out << Count(checks.size(), "check", "checks") << ": " << checks.size() - failed << " passed, " << failed
            << " failed\n";
    }
    Emit(out.str());
    return failed == 0 ? kExitOk : kExitFound;
}

}  // namespace

int InspectCommand(int argc, char** argv) {
    SetCommandName("inspect");
    Options o;
    std::vector<std::string> files;
    int jobs = 0;
    Arguments args(argc, argv, 2);
    while (!args.Done()) {
        std::string positional;
        if (args.Help()) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (args.Flag("--json")) o.json = true;
        else if (args.Flag("--summary")) o.summary = true;
        else if (args.Value("--job", &o.jobFile)) ++jobs;
        else if (args.Positional(&positional)) files.push_back(positional);
    }
    if (args.Failed()) return kExitUsage;
    if (files.size() != 1) {
        Error("give one spool file (see --help)");
        return kExitUsage;
    }
    if (jobs > 1) {
        Error("--job is given twice; it takes one job");
        return kExitUsage;
    }
    if (o.json && o.summary) {
        Error("--json and --summary exclude each other");
        return kExitUsage;
    }
    if (jobs == 1 && o.jobFile.empty()) {
        Error("--job wants a file name, not an empty text");
        return kExitUsage;
    }
    o.spoolFile = files[0];
    std::vector<FileUse> uses = {{o.spoolFile, "the spool file", false}};
    if (!o.jobFile.empty()) uses.push_back({o.jobFile, "--job", false});
    std::string error;
    if (!CheckFileUses(uses, &error)) {
        Error(error);
        return kExitUsage;
    }
    Inspection inspection(o);
    return inspection.Run();
}

}  // namespace qm22t
