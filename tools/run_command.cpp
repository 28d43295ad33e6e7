// qm22t run: one print job through the plug-in, streamed from the driver's
// output to what reached the spooler.
#include "cli.h"
#include "commands.h"
#include "job_io.h"
#include "plugin_session.h"

#include <cstdio>
#include <iostream>
#include <set>
#include <vector>

#include <sys/stat.h>

namespace qm22t {
namespace {

constexpr char kUsage[] = R"(usage: qm22t run [options] JOB

Runs one print job through the plug-in QM22TRD.dll on the simulated Windows,
the way the PostScript driver drives it, and writes what reached the spooler.

  JOB                      the driver's PostScript output; - reads standard input
                           (also --job JOB)
  --out FILE               where the spooled bytes go (default: standard output)

Device settings, applied in this order:
  --private-part FILE      start from a 12016-byte private part captured from a
                           DEVMODE (default: the sibling library's defaults;
                           without QM22TIE.dll beside the plug-in, its own,
                           which carry no identification: the plug-in then
                           writes no job header, as on Windows)
  --settings FILE          Field=value lines, as `qm22t settings dump` writes them
                           (repeatable)
  --set Field=value        one field of the settings table (repeatable; texts in UTF-8)
  --raw                    skip the plug-in's device-settings merge, to reproduce a
                           damaged block
  --save-private-part FILE write the private part the job used
  --no-private-part        the driver starts the document without the plug-in's
                           private part (a DEVMODE that lost it): the plug-in
                           cancels the job, and the message tells what it did
                           and the notice the user would see

The job:
  --document NAME          the document name StartDoc gets (default "Example job")
  --user NAME              the simulated machine's user (default "operator")
  --date YYYY-MM-DD        fixes the simulated clock (default: today); a calendar
                           date from 1601 on
  --paper-list FILE        the plug-in's QM22T.ini (default: the one next to the
                           plug-in, if any)
  --plugin DIR             folder of QM22TRD.dll and QM22TIE.dll (default: the
                           folder of this program, or ../lib/qm22t from it as
                           installed)
  --write-size N           bytes the driver writes at a time (default 4096; K and M
                           suffixes)

The spooler:
  --spooler-accept N       takes at most N bytes a call (N from 1)
  --spooler-fail-after N   fails every write once it has taken N bytes
  --trace FILE             one line per spooler call: offset, bytes offered, bytes
                           taken, and whether the header or the filter wrote them;
                           - writes it to standard error

Every option and path is checked before any file is opened. An output that
names an input, or standard input named twice, is refused. Output files (--out,
--trace, --save-private-part) are written to a temporary file next to them and
put in place only when the job is done (exit 0) or the spooler failed as asked
(exit 3, the file then holds what reached the spooler): any other failure leaves
an existing file as it was. The plug-in's work folder goes to TMPDIR (else
/tmp); it and every temporary output go when SIGINT, SIGTERM, SIGHUP, SIGQUIT
or SIGPIPE ends the run. Outputs are written as the shell writes them: a
symbolic link is followed and its target replaced, /dev/stdout, /dev/fd/N,
devices and pipes are written straight, and a read-only file is refused.

The settings are merged as the driver merges them after a user changed them;
every value that changes is told on standard error ("CopyCount: -5 -> 1"). A job
that does not begin with "%!PS-" and a paper-list file that is not UTF-16 are
warned about, and the job runs on as the plug-in would run it. Progress shows on
standard error when it is a terminal and the job takes more than a second.

Exit codes:
  0  the job is done
  1  the plug-in refused a step (the message says which and why)
  2  bad command line, settings or input; an output that cannot be written
  3  the spooler failed a write (--spooler-fail-after)
)";

constexpr uint64_t kDefaultWriteSize = 4096;
constexpr uint64_t kLargestWriteSize = 64ull << 20;

struct RunOptions {
    std::string job;
    SessionOptions session;
    SettingsRequest settings;
    PortOptions port;
    std::string documentName = "Example job";
    std::string savePrivatePart;
    std::string date;
    bool raw = false;
    bool noPrivatePart = false;
    uint64_t writeSize = kDefaultWriteSize;
};

bool ParseCount(const char* option, const std::string& text, uint64_t low, uint64_t high, uint64_t* value) {
    if (!ParseByteCount(text, value) || *value < low || *value > high) {
        Error(std::string(option) + " wants a count of bytes from " + std::to_string(low) + " to " +
              std::to_string(high) + ", not \"" + text + "\"");
        return false;
    }
    return true;
}

// 0 to go on, 1 when --help was asked for, 2 for a bad command line.
int ParseRunOptions(int argc, char** argv, RunOptions* o) {
    std::string writeSize, accept, failAfter;
    std::vector<std::string> jobs;
    std::set<std::string> given;  // the single-valued options met, each once
    Arguments args(argc, argv, 2);
    while (!args.Done()) {
        std::string positional;
        if (args.Help()) return 1;
        const std::string option = args.OptionName();
        if (!option.empty() && option != "--set" && option != "--settings" && option != "--raw" &&
            !given.insert(option).second) {
            Error(option + " is given twice; it takes one value (see --help)");
            return 2;
        }
        if (args.Value("--job", &positional)) jobs.push_back(positional);
        else if (args.Value("--out", &o->port.outFile)) {
        } else if (args.Value("--private-part", &o->settings.privatePartFile)) {
        } else if (args.Values("--settings", &o->settings.settingsFiles)) {
        } else if (args.Values("--set", &o->settings.assignments)) {
        } else if (args.Flag("--raw")) o->raw = true;
        else if (args.Flag("--no-private-part")) o->noPrivatePart = true;
        else if (args.Value("--save-private-part", &o->savePrivatePart)) {
        } else if (args.Value("--document", &o->documentName)) {
        } else if (args.Value("--user", &o->session.userName)) {
        } else if (args.Value("--date", &o->date)) {
        } else if (args.Value("--paper-list", &o->session.paperListFile)) {
        } else if (args.Value("--plugin", &o->session.pluginDir)) {
        } else if (args.Value("--write-size", &writeSize)) {
        } else if (args.Value("--spooler-accept", &accept)) {
        } else if (args.Value("--spooler-fail-after", &failAfter)) {
        } else if (args.Value("--trace", &o->port.traceFile)) {
        } else if (args.Positional(&positional)) jobs.push_back(positional);
    }
    if (args.Failed()) return 2;
    if (jobs.size() != 1) {
        Error(jobs.empty() ? "no job given (a file, or - for standard input; see --help)" : "give one job only");
        return 2;
    }
    o->job = jobs[0];
    if (given.count("--write-size") && !ParseCount("--write-size", writeSize, 1, kLargestWriteSize, &o->writeSize)) {
        return 2;
    }
    // A spooler that takes nothing a call would have the driver offer the same
    // bytes for ever: no spooler does that, so it is no setting.
    if (given.count("--spooler-accept") &&
        !ParseCount("--spooler-accept", accept, 1, UINT32_MAX, &o->port.acceptPerCall)) {
        return 2;
    }
    if (given.count("--spooler-fail-after") &&
        !ParseCount("--spooler-fail-after", failAfter, 0, UINT64_MAX, &o->port.failAfter)) {
        return 2;
    }
    int year = 0, month = 0, day = 0;
    if (given.count("--date")) {
        if (!ParseDate(o->date, &year, &month, &day)) {
            Error("--date wants a calendar date YYYY-MM-DD from 1601-01-01 on, not \"" + Printable(o->date) + "\"");
            return 2;
        }
        // The simulated machine's local time: that day at noon.
        SYSTEMTIME now{};
        now.wYear = static_cast<WORD>(year);
        now.wMonth = static_cast<WORD>(month);
        now.wDay = static_cast<WORD>(day);
        now.wHour = 12;
        o->session.clock = now;
    }
    // Names reach the plug-in as UTF-16.
    std::u16string units;
    for (const auto& [option, text] : {std::pair<const char*, const std::string*>{"--document", &o->documentName},
                                       {"--user", &o->session.userName}}) {
        if (!Utf8ToUtf16(*text, &units)) {
            Error(std::string(option) + " is not UTF-8 text: \"" + Printable(*text) + "\"");
            return 2;
        }
    }
    // Every path a value: an empty one names no file.
    for (const auto& [option, path] : {std::pair<const char*, const std::string*>{"--out", &o->port.outFile},
                                       {"--private-part", &o->settings.privatePartFile},
                                       {"--save-private-part", &o->savePrivatePart},
                                       {"--paper-list", &o->session.paperListFile},
                                       {"--plugin", &o->session.pluginDir},
                                       {"--trace", &o->port.traceFile},
                                       {"--job", &o->job}}) {
        if (given.count(option) && path->empty()) {
            Error(std::string(option) + " wants a file name, not an empty text");
            return 2;
        }
    }
    for (const std::string& file : o->settings.settingsFiles) {
        if (file.empty()) {
            Error("--settings wants a file name, not an empty text");
            return 2;
        }
    }
    if (o->job.empty()) {
        Error("the job is an empty file name");
        return 2;
    }
    if (o->noPrivatePart && (!o->settings.privatePartFile.empty() || !o->settings.settingsFiles.empty() ||
                             !o->settings.assignments.empty() || !o->savePrivatePart.empty() || o->raw)) {
        Error(
            "--no-private-part runs the job without device settings; it goes with no --private-part, --settings, "
            "--set, --raw or --save-private-part");
        return 2;
    }
    if (o->savePrivatePart == "-") {
        Error("--save-private-part wants a file: a private part is binary");
        return 2;
    }
    std::vector<FileUse> uses = {{o->job, "the job", false}};
    if (!o->settings.privatePartFile.empty()) uses.push_back({o->settings.privatePartFile, "--private-part", false});
    for (const std::string& file : o->settings.settingsFiles) uses.push_back({file, "--settings", false});
    if (!o->session.paperListFile.empty()) uses.push_back({o->session.paperListFile, "--paper-list", false});
    uses.push_back({o->port.outFile, "--out", true});
    if (!o->port.traceFile.empty() && o->port.traceFile != "-") uses.push_back({o->port.traceFile, "--trace", true});
    if (!o->savePrivatePart.empty()) uses.push_back({o->savePrivatePart, "--save-private-part", true});
    std::string error;
    if (!CheckFileUses(uses, &error)) {
        Error(error);
        return 2;
    }
    return 0;
}

// The driver's output begins with "%!PS-" and is made of CR LF lines; the
// plug-in forwards whole CR LF lines only.
void CheckJobHead(const std::string& head, const std::string& name) {
    if (head.empty()) {
        Warning("the job " + name + " is empty");
        return;
    }
    if (head.compare(0, 5, "%!PS-") != 0) {
        Warning("the job does not begin with \"%!PS-\" but with \"" + Printable(head, 24) +
                "\"; it goes to the plug-in as it is");
    }
    const size_t lineEnd = head.find('\n');
    if (lineEnd != std::string::npos && (lineEnd == 0 || head[lineEnd - 1] != '\r')) {
        Warning(
            "the job's lines end in LF, not CR LF; the plug-in forwards whole CR LF lines only, so it holds "
            "such text back until the document ends");
    }
}

// The first unit of UTF-16 little-endian text (from byte `from` on) that no
// text holds: a control character other than tab and line ends, a
// noncharacter or a lone surrogate. Empty when there is none.
std::string BinaryUnit(const std::string& bytes, size_t from) {
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        bool bad = (unit < 0x20 && unit != '\t' && unit != '\r' && unit != '\n') || unit >= 0xFFFE || low;
        if (high) {
            const unsigned next = i + 3 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) |
                                                             static_cast<unsigned char>(bytes[i + 3]) << 8
                                                       : 0;
            bad = next < 0xDC00 || next > 0xDFFF;
            if (!bad) i += 2;
        }
        if (!bad) continue;
        char text[64];
        std::snprintf(text, sizeof text, "the unit 0x%04X at byte %zu", unit, i);
        return text;
    }
    return "";
}

// The paper-list file is UTF-16 little-endian text; the plug-in finds no
// entry in anything else. Empty when the bytes look right, else what was found.
std::string PaperListFinding(const std::string& bytes) {
    if (bytes.empty()) return "it is empty";
    const auto starts = [&](const std::string& mark) { return bytes.compare(0, mark.size(), mark) == 0; };
    if (starts("\xFE\xFF")) return "it is UTF-16 big-endian (it begins with FE FF)";
    if (starts("\xEF\xBB\xBF")) return "it is UTF-8 (it begins with EF BB BF)";
    const bool marked = starts("\xFF\xFE");
    if (!marked) {
        // ASCII text in UTF-16 has a zero in every second byte; a quarter of
        // them may be other characters.
        size_t zeros[2] = {0, 0};
        size_t seen[2] = {0, 0};
        size_t controls = 0;
        for (size_t i = 0; i < bytes.size() && i < 512; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            ++seen[i % 2];
            if (c == 0) ++zeros[i % 2];
            else if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') ++controls;
        }
        const bool little = bytes.size() % 2 == 0 && zeros[1] * 4 >= seen[1] * 3 && zeros[0] * 4 < seen[0];
        if (!little && zeros[0] * 4 >= seen[0] * 3 && zeros[1] * 4 < seen[1]) return "it looks like UTF-16 big-endian";
        if (!little && (zeros[0] + zeros[1] + controls) > 0) {
            return "it holds binary data, not text (" +
                   Count(zeros[0] + zeros[1] + controls, "control byte", "control bytes") + " in its first 512)";
        }
        if (!little) return "it holds 8-bit text, beginning \"" + Printable(bytes, 32) + "\"";
    }
    if (bytes.size() % 2 != 0) return "it has an odd number of bytes (" + std::to_string(bytes.size()) + ")";
    const std::string unit = BinaryUnit(bytes, marked ? 2 : 0);
    return unit.empty() ? "" : "it holds binary data, not text (" + unit + ")";
}

// False, with the message told, when the file cannot be read at all; a file
// that is missing is for the session to tell.
bool CheckPaperList(const std::string& path, bool named) {
    std::string bytes;
    std::string error;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return true;
    if (!ReadWholeFile(path, &bytes, &error, named ? "--paper-list" : "paper-list")) {
        Error(error + (S_ISDIR(info.st_mode) ? " (the plug-in's QM22T.ini)" : ""));
        return false;
    }
    const std::string finding = PaperListFinding(bytes);
    if (!finding.empty()) {
        Warning("the paper-list file " + path + " is not UTF-16 little-endian text: " + finding +
                "; the plug-in finds no paper entries in it (save it as UTF-16, as Windows' Notepad does)");
    }
    return true;
}

// The plug-in keeps the document name in 520 UTF-16 units, terminator
// included, and cuts a longer one there.
constexpr size_t kDocumentNameUnits = 519;

void CheckDocumentName(const std::string& documentName) {
    std::u16string units;
    if (!Utf8ToUtf16(documentName, &units) || units.size() <= kDocumentNameUnits) return;
    Warning("the document name has " + std::to_string(units.size()) + " UTF-16 units; the plug-in keeps the first " +
            std::to_string(kDocumentNameUnits) + " (--document names it)");
}

// Why the plug-in wrote no job header, when the settings tell: it refuses a
// settings block that does not begin with its identification.
std::string HeaderRefusalReason(const PrivatePart& part, bool pluginDefaults) {
    const SettingsBlock block = BlockOfPart(part.data());
    const Field* identification = FindField("Identification");
    std::string shown;
    if (identification == nullptr || (SpellField(*identification, block, &shown) && shown == "VTA/NP")) return "";
    if (pluginDefaults && shown.empty()) {
        return "; the plug-in wrote no job header and gives the job up: without QM22TIE.dll its own defaults carry no "
               "identification \"VTA/NP\" (only the library writes it); give --private-part with a part captured "
               "where the library is, or --plugin DIR with QM22TIE.dll in DIR";
    }
    return "; the plug-in wrote no job header and gives the job up: its settings block must begin with the "
           "identification \"VTA/NP\", and this one holds " +
           ShowField(*identification, block) + " (a private part of another driver, or one changed with --raw)";
}

// What the plug-in did when StartDoc failed, as the simulated machine recorded
// it: the job cancelled in the spooler, and the notice the user in the active
// session got (caption and text as shown there), or why no notice was shown.
std::string DescribeCancellation(bool siblingLoaded) {
    bool cancelled = false;
    DWORD jobId = 0;
    for (const sim::JobCommand& command : sim::JobCommands()) {
        if (command.command != JOB_CONTROL_CANCEL) continue;
        cancelled = true;
        jobId = command.jobId;
    }
    if (!cancelled) return "";
    std::string text =
        "the device object carried no private part, so the plug-in cancelled the job: it asked the "
        "spooler to cancel job " +
        std::to_string(jobId) + " (SetJob with JOB_CONTROL_CANCEL) and ";
    const std::vector<sim::Message> messages = sim::Messages();
    if (messages.empty()) {
        return text + (siblingLoaded ? "showed no notice: no user session was active"
                                     : "showed no notice: the notice needs the sibling library QM22TIE.dll beside "
                                       "the plug-in, and there is none");
    }
    const sim::Message& message = messages.back();
    // The notice as the user sees it: its line breaks and tabs as they are.
    std::string notice = sim::ToUtf8(message.text);
    for (size_t at = notice.find('\n'); at != std::string::npos; at = notice.find('\n', at + 5)) {
        notice.insert(at + 1, "    ");
    }
    return text + "showed the user in session " + std::to_string(message.sessionId) + " this notice:\n    " +
           sim::ToUtf8(message.title) + "\n    " + notice;
}

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

int Run(const RunOptions& o) {
    std::string error;
    // The outputs first: each is a temporary file until the job is done, so a
    // run that fails on the way leaves every existing file as it was.
    SpoolerPort port;
    if (!port.Open(o.port, &error)) {
        Error(error);
        return kExitUsage;
    }
    OutputFile savedPart;
    if (!o.savePrivatePart.empty() && !savedPart.Open(o.savePrivatePart, &error)) {
        Error(error);
        return kExitUsage;
    }
    JobInput input;
    if (!input.Open(o.job, &error)) {
        Error(error);
        return kExitUsage;
    }
    CheckJobHead(input.Head(), input.Name());
    CheckDocumentName(o.documentName);
    const std::string pluginDir = o.session.pluginDir.empty() ? DefaultPluginFolder() : o.session.pluginDir;
    if (!CheckPaperList(o.session.paperListFile.empty() ? pluginDir + "/QM22T.ini" : o.session.paperListFile,
                        !o.session.paperListFile.empty())) {
        return kExitUsage;
    }

    // The port outlives the session, whose last calls may still write; the
    // work folder's paths stay registered until the session has removed them.
    TemporaryPaths workPaths;
    SessionOptions sessionOptions = o.session;
    sessionOptions.onWorkPath = [&workPaths](const std::string& path) { workPaths.Add(path); };
    DriverSession session;
    if (!CheckTemporaryFolder(&error)) {
        Error(error);
        return kExitUsage;
    }
    if (const int code = ExitCodeOf(session.Open(sessionOptions, &error))) {
        Error(error);
        return code;
    }
    const std::string absence = SiblingAbsence(session, o.session.pluginDir);
    if (!absence.empty()) Note(absence);

    PrivatePart defaults{};
    if (o.settings.privatePartFile.empty() && !session.Defaults(&defaults, &error)) {
        Error(error);
        return kExitFound;
    }
    PrivatePart part;
    if (!BuildPrivatePart(defaults, o.settings, &part, &error)) {
        Error(error);
        return kExitUsage;
    }
    if (!o.raw) {
        std::vector<FieldChange> changes;
        if (!MergeAndCompare(session, &part, &changes, &error)) {
            Error(error);
            return kExitFound;
        }
        for (const FieldChange& change : changes) Note(DescribeChange(change));
    }
    if (savedPart.IsOpen()) savedPart.Write(part.data(), part.size());
    sim::SetWriteSink(session.Printer(), [&port](const void* bytes, DWORD count) { return port.Take(bytes, count); });

    int status = kExitOk;
    bool abandoned = false;
    if (!session.StartJob(o.noPrivatePart ? nullptr : &part, o.documentName, &error)) {
        const std::string cancellation = DescribeCancellation(session.SiblingLoaded());
        Error(error + (cancellation.empty() ? "" : "; " + cancellation));
        status = kExitFound;
    } else {
        port.SetWriter("header");
        if (!session.BeginStream(&error)) {
            Error(error + HeaderRefusalReason(part, !absence.empty() && o.settings.privatePartFile.empty()));
            status = kExitFound;
        }
        port.SetWriter("filter");
        std::vector<char> buffer(o.writeSize);
        Progress progress(input.Size());
        uint64_t fed = 0;
        size_t got = 0;
        while (status == kExitOk) {
            if (!input.Read(buffer.data(), buffer.size(), &got)) {
                Error("cannot read the job " + input.Name() + ": " + SystemError());
                status = kExitUsage;
                break;
            }
            if (got == 0) break;
            DWORD taken = 0;
            const HRESULT hr = session.Write(buffer.data(), static_cast<DWORD>(got), &taken);
            if (FAILED(hr) || taken != got) {
                // The driver gives a job up at the first write that fails.
                abandoned = true;
                if (port.OutputFailed()) {
                    status = kExitUsage;
                } else if (port.FailedByRequest()) {
                    Error("the spooler failed a write after " + std::to_string(port.Taken()) +
                          " bytes (--spooler-fail-after); the plug-in's WritePrinter answered " + HexResult(hr) +
                          " and the job was given up");
                    status = kExitSpooler;
                } else {
                    Error("the plug-in's WritePrinter answered " + HexResult(hr) + " and took " +
                          std::to_string(taken) + " of " + std::to_string(got) + " bytes at job offset " +
                          std::to_string(fed) + "; the job was given up");
                    status = kExitFound;
                }
                break;
            }
            fed += got;
            progress.Update(fed);
        }
        progress.Finish();
    }
    if (!session.EndJob(abandoned || status != kExitOk) && status == kExitOk) {
        Error(port.FailedByRequest() ? "the spooler failed a write at the end of the job (--spooler-fail-after)"
                                     : "the plug-in's EndDoc hook answered FALSE");
        status = port.FailedByRequest() ? kExitSpooler : kExitFound;
    }
    sim::SetWriteSink(session.Printer(), nullptr);
    // What reached the spooler is kept when the job is done, and when the
    // spooler failed as --spooler-fail-after asked: then it is the record the
    // option exists for. Any other failure keeps no output.
    const bool keep = status == kExitOk || status == kExitSpooler;
    if (!port.Finish(keep, savedPart.IsOpen() ? &savedPart : nullptr, &error)) {
        Error(error);
        return kExitUsage;
    }
    Note(Count(port.Taken(), "byte", "bytes") + " reached the spooler in " + Count(port.Calls(), "write", "writes") +
         (keep || o.port.outFile == "-" ? "" : "; " + o.port.outFile + " was not written"));
    return status;
}

}  // namespace

int RunCommand(int argc, char** argv) {
    SetCommandName("run");
    RunOptions options;
    const int parsed = ParseRunOptions(argc, argv, &options);
    if (parsed == 1) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (parsed != 0) return kExitUsage;
    return Run(options);
}

}  // namespace qm22t
