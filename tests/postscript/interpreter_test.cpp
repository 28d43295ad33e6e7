// Finished jobs run through a real PostScript interpreter: the PostScript part of
// what reached the spooler goes to Ghostscript (a child process) behind the
// test prolog feature_prolog.ps, which records every feature the job invokes.
// The interpreter must end without an error, every feature block must run, and
// every recorded value must be what the settings say, texts that PostScript
// treats specially (parentheses, backslashes, line ends, control bytes)
// included. Ghostscript comes from the Debian package that
// scripts/install-deps.sh installs; without it these tests fail.
#include "driver_session_fixture.h"
#include "hex_digits.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr char kInterpreter[] = "gs";

struct TempFolder {
    std::string path;
    TempFolder() {
        char pattern[] = "/tmp/postscript_test_XXXXXX";
        if (mkdtemp(pattern) != nullptr) path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct ProcessResult {
    std::string startError;  // why the program could not be started; empty when it ran
    int status = -1;         // its exit code, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program (looked up on PATH) with its standard output and error in
// files of `folder`, and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& folder) {
    ProcessResult result;
    const std::string outPath = folder + "/stdout";
    const std::string errPath = folder + "/stderr";
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.startError = std::strerror(spawned);
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

// The PostScript part of a spooled job: from "%!PS-" to the end of the line
// that holds "%%EOF". The PJL around it is no PostScript. Empty when either is
// missing.
std::string PostScriptPart(const std::string& spooled) {
    const size_t start = spooled.find("%!PS-");
    if (start == std::string::npos) return std::string();
    const size_t eof = spooled.find("%%EOF", start);
    if (eof == std::string::npos) return std::string();
    const size_t lineEnd = spooled.find('\n', eof);
    return spooled.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd + 1 - start);
}

bool FromHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const std::string pair = hex.substr(i, 2);
        if (pair.find_first_not_of("0123456789ABCDEF") != std::string::npos) return false;
        bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    }
    return true;
}

// What the interpreter recorded, in order: "KEYWORD=value" with the value's
// bytes as they arrived, and "PAGE" for every page.
using Records = std::vector<std::string>;

// Runs the PostScript behind the test prolog and checks that the interpreter
// ran it to its end without an error; returns what it recorded.
Records Interpret(const std::string& postscript) {
    Records records;
    TempFolder folder;
    EXPECT_FALSE(folder.path.empty());
    if (folder.path.empty()) return records;
    const std::string job = folder.path + "/job.ps";
    WriteFile(job, postscript);
    const ProcessResult run = RunProcess({kInterpreter, "-q", "-dNODISPLAY", "-dBATCH", "-dNOPAUSE", "-dSAFER",
                                          POSTSCRIPT_PROLOG, job, "-c", "(JOB-END) = flush"},
                                         folder.path);
    if (!run.startError.empty()) {
        ADD_FAILURE() << "cannot start " << kInterpreter << " (" << run.startError
                      << "): Ghostscript is missing; scripts/install-deps.sh installs the Debian package ghostscript";
        return records;
    }
    bool ended = false;
    std::string unexpected;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        std::string value;
        if (ended) {
            unexpected += line + "\n";
        } else if (line == "JOB-END") {
            ended = true;
        } else if (line == "PAGE") {
            records.push_back(line);
        } else if (line.compare(0, 2, "ZT") == 0 && equals != std::string::npos &&
                   FromHex(line.substr(equals + 1), value)) {
            records.push_back(line.substr(0, equals + 1) + value);
        } else {
            unexpected += line + "\n";
        }
    }
    EXPECT_TRUE(run.status == 0 && ended && unexpected.empty() && run.err.empty())
        << "the interpreter exited with " << run.status << (ended ? "" : "; the job ended it before the job's end")
        << "; what it reported:\n"
        << unexpected << run.err;
    return records;
}

// ---------------------------------------------------------------------------
// The example job, as scripts/run-job.sh runs it.

#ifdef JOB_TOOL

TEST(Interpreter, ExampleJobCarriesTheExampleSettings) {
    TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    const std::string examples = EXAMPLES_DIR;
    const std::string spooled = folder.path + "/example.prn";
    const ProcessResult run = RunProcess(
        {JOB_TOOL, "run", "--plugin", PLUGIN_FOLDER, "--settings", examples + "/settings.txt", "--paper-list",
         examples + "/QM22T.ini", "--job", examples + "/job.ps", "--date", "2026-12-07", "--out", spooled},
        folder.path);
    ASSERT_EQ(run.startError, "");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string postscript = PostScriptPart(ReadFile(spooled));
    ASSERT_FALSE(postscript.empty());

    // examples/settings.txt: long-edge duplex, collated, one staple, shared box 45.
    EXPECT_EQ(Interpret(postscript),
              (Records{"ZTOrientation=Portrait", "ZTDuplex=LongEdge", "ZTCollate=On", "ZTJobComment=", "ZTPageSize=A4",
                       "ZTPageSizeWidth=21000", "ZTPageSizeHeight=29700", "ZTOutputBox=SharedBox45",
                       "ZTStapleMode=1Staple", "ZTOrientation=Portrait", "ZTInputSlot=Auto", "ZTMediaType=Auto", "PAGE",
                       "ZTOrientation=Landscape", "ZTInputSlot=Auto", "ZTMediaType=Auto", "PAGE"}));
}
#endif  // JOB_TOOL

// ---------------------------------------------------------------------------
// Generated jobs: the driver's blocks of every feature whose value is a text
// the user types, with texts that PostScript treats specially.

std::string DriverBlock(const std::string& keyword, const std::string& value) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + value + "\r\n(" + value +
           ") /Custom /ProcSet findresource /" + keyword + " get exec\r\n%%EndFeature\r\n}featurecleanup\r\n";
}

struct Page {
    bool landscape;
};

// A driver's job: the document setup ends with a block the plug-in leaves
// alone, so every block before it counts as complete.
std::string DriverJob(const std::vector<Page>& pages) {
    std::string job = "%!PS-Adobe-3.0\r\n%%Title: Generated\r\n%%Pages: " + std::to_string(pages.size()) +
                      "\r\n%%EndComments\r\n%%BeginProlog\r\n%%EndProlog\r\n%%BeginSetup\r\n";
    job += DriverBlock("ZTDuplex", "OFF") + DriverBlock("ZTCollate", "On") + DriverBlock("ZTStampPageFont", "") +
           DriverBlock("ZTStampDateFont", "") + DriverBlock("ZTOwnerName", "Off") + DriverBlock("ZTJobName", "Off") +
           DriverBlock("ZTSecretNum", "Off") + DriverBlock("ZTFormSelect1", "");
    job +=
        "featurebegin{\r\n%%BeginFeature: *PageSize A4\r\n<</PageSize [595 842]>> setpagedevice\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n%%EndSetup\r\n";
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        job += "%%Page: " + number + " " + number +
               "\r\n%%ViewingOrientation: " + (pages[i].landscape ? "0 1 -1 0" : "1 0 0 1") +
               "\r\n%%EndPageComments\r\n%%BeginPageSetup\r\n" + DriverBlock("ZTInputSlot", "Auto") +
               DriverBlock("ZTMediaType", "Auto") + "%%EndPageSetup\r\n" +
               "/Helvetica findfont 12 scalefont setfont 72 720 moveto (Page " + number + ") show\r\nshowpage\r\n";
    }
    return job + "%%Trailer\r\n%%EOF\r\n";
}

// The settings a generated job carries, as the user typed them.
struct JobTexts {
    int duplex = 1;  // 1 off, 2 long edge, 3 short edge
    bool ownerSwitch = false;
    bool jobNameSwitch = false;
    bool secretSwitch = false;
    std::u16string secret;    // at most 8 units
    std::u16string pageFont;  // at most 63 units and 63 UTF-8 bytes
    std::u16string dateFont;  // the same
    std::u16string comment;   // at most 128 units
    std::u16string owner;     // at most 20 units
    std::u16string jobName;   // at most 255 units
    std::u16string form;      // at most 255 units and 259 UTF-8 bytes
};

constexpr char16_t kUserName[] = u"alice";
constexpr char16_t kDocumentName[] = u"Generated job";

// What the interpreter must record for a job of DriverJob(pages) with these
// settings. Texts go into the invocation as hexadecimal digits of their UTF-8
// form, except the secret number, which goes as its UTF-8 text.
Records ExpectedRecords(const JobTexts& t, const std::vector<Page>& pages) {
    const char* const duplex[] = {"OFF", "LongEdge", "ShortEdge"};
    const auto onOff = [](bool on) { return std::string(on ? "On" : "Off"); };
    const std::u16string owner = t.ownerSwitch && !t.owner.empty() ? t.owner : kUserName;
    const std::u16string jobName = t.jobNameSwitch && !t.jobName.empty() ? t.jobName : kDocumentName;
    Records records = {"ZTOrientation=Portrait",
                       std::string("ZTDuplex=") + duplex[t.duplex - 1],
                       "ZTCollate=On",
                       "ZTJobComment=" + HexDigits(sim::ToUtf8(t.comment)),
                       "ZTStampPageFont=" + HexDigits(sim::ToUtf8(t.pageFont)),
                       "ZTStampDateFont=" + HexDigits(sim::ToUtf8(t.dateFont)),
                       "ZTOwnerName=" + onOff(t.ownerSwitch),
                       "ZTOwnerNameInfo=" + HexDigits(sim::ToUtf8(owner)),
                       "ZTJobName=" + onOff(t.jobNameSwitch),
                       "ZTJobNameInfo=" + HexDigits(sim::ToUtf8(jobName)),
                       "ZTSecretNum=" + onOff(t.secretSwitch),
                       "ZTSecretNumInfo=" + sim::ToUtf8(t.secret),
                       "ZTFormSelect1=" + HexDigits(sim::ToUtf8(t.form))};
    for (const Page& page : pages) {
        records.insert(records.end(), {std::string("ZTOrientation=") + (page.landscape ? "Landscape" : "Portrait"),
                                       "ZTInputSlot=Auto", "ZTMediaType=Auto", "PAGE"});
    }
    return records;
}

// Pieces of text: what PostScript strings and comments treat specially,
// control bytes, and characters of two, three and four UTF-8 bytes.
const std::vector<std::u16string> kPieces = {u"(", u")",    u"\\",       u"\r",   u"\n",     u"\r\n",   u"%",
                                             u" ", u"\x7F", u"\x01",     u"\x1B", u"\t",     u"\f",     u"\b",
                                             u"a", u"Z",    u"7",        u"<",    u">",      u"/",      u"{",
                                             u"}", u"(\\)", u"showpage", u"quit", u"\u00E9", u"\u3042", u"\U0001F600"};

// A text of pieces drawn at random that stays within both budgets.
std::u16string RandomText(std::mt19937& rng, size_t maxUnits, size_t maxUtf8Bytes) {
    std::u16string text;
    const size_t pieces = rng() % 24;
    for (size_t i = 0; i < pieces; ++i) {
        const std::u16string& piece = kPieces[rng() % kPieces.size()];
        const std::u16string longer = text + piece;
        if (longer.size() > maxUnits || sim::ToUtf8(longer).size() > maxUtf8Bytes) break;
        text = longer;
    }
    return text;
}

class GeneratedJobs : public DriverSessionTest {
protected:
    void SetUp() override {
        DriverSessionTest::SetUp();
        sim::SetUserName(kUserName);
    }

    // The settings texts and switches written into the private part's block.
    static void Store(std::vector<BYTE>& part, const JobTexts& t) {
        BYTE* const settings = part.data() + 12;
        const auto text = [settings](size_t offset, const std::u16string& value) {
            std::memcpy(settings + offset, value.c_str(), (value.size() + 1) * sizeof(char16_t));
        };
        const int16_t duplex = static_cast<int16_t>(t.duplex);
        std::memcpy(settings + 372, &duplex, sizeof duplex);
        settings[6977] = t.ownerSwitch ? 1 : 0;
        settings[5432] = t.jobNameSwitch ? 1 : 0;
        settings[4903] = t.secretSwitch ? 1 : 0;
        text(4904, t.secret);
        text(824, t.pageFont);
        text(1010, t.dateFont);
        text(5174, t.comment);
        text(6978, t.owner);
        text(5434, t.jobName);
        text(5952, t.form);
    }

    // Runs the job through the plug-in, written by the driver in the pieces
    // `cuts` gives, and the PostScript that reached the spooler through the
    // interpreter.
    void Check(const JobTexts& t, const std::vector<Page>& pages, std::vector<size_t> cuts) {
        DEVMODEW publicDm{};
        publicDm.dmSize = sizeof publicDm;
        publicDm.dmPaperSize = 9;
        std::vector<BYTE> part = DefaultPrivatePart(&publicDm);
        ASSERT_EQ(part.size(), 12016u);
        Store(part, t);
        const std::string job = DriverJob(pages);
        cuts.insert(cuts.begin(), 0);
        cuts.push_back(job.size());
        printer = sim::AddPrinter(u"Job Printer");  // a spooler record of this job alone
        RunDocument(publicDm, part, kDocumentName, job, cuts);
        const std::string postscript = PostScriptPart(sim::WrittenBytes(printer));
        ASSERT_FALSE(postscript.empty());
        EXPECT_EQ(Interpret(postscript), ExpectedRecords(t, pages)) << postscript;
    }
};

// Every text at once breaks out of its string or comment line unless it is
// written as PostScript requires: a line break in a font name would run
// "showpage", an unbalanced parenthesis in the secret number would swallow the
// rest of the job, "quit" would end it.
TEST_F(GeneratedJobs, TextsThatPostScriptTreatsSpeciallyArriveUnchanged) {
    JobTexts t;
    t.duplex = 2;
    t.ownerSwitch = true;
    t.jobNameSwitch = true;
    t.secretSwitch = true;
    t.secret = u")(\\\r\n9";
    t.pageFont = u"Arial\r\nshowpage";
    t.dateFont = u"F)\r\n(quit\\";
    t.comment = u"(\\\r\n)%";
    t.owner = u"own\r\ner)";
    t.jobName = u"job\\";
    t.form = u"form\r\nshowpage";
    Check(t, {Page{false}, Page{true}}, {});
}

// Random texts within each field's capacity, random switches and pages, the
// driver's writes cut at random places.
TEST_F(GeneratedJobs, RandomTextsArriveUnchanged) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        JobTexts t;
        t.duplex = 1 + static_cast<int>(rng() % 3);
        t.ownerSwitch = rng() % 2 == 0;
        t.jobNameSwitch = rng() % 2 == 0;
        t.secretSwitch = rng() % 2 == 0;
        t.secret = RandomText(rng, 8, 64);
        t.pageFont = RandomText(rng, 63, 63);
        t.dateFont = RandomText(rng, 63, 63);
        t.comment = RandomText(rng, 128, 1024);
        t.owner = RandomText(rng, 20, 1024);
        t.jobName = RandomText(rng, 255, 1024);
        t.form = RandomText(rng, 255, 259);
        std::vector<Page> pages(1 + rng() % 3);
        for (Page& page : pages) page.landscape = rng() % 2 == 0;
        const size_t jobSize = DriverJob(pages).size();
        std::vector<size_t> cuts;
        for (size_t at = rng() % 400; at < jobSize; at += 1 + rng() % 400) cuts.push_back(at);
        Check(t, pages, cuts);
        if (HasFailure()) return;
    }
}

}  // namespace
