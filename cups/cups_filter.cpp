// qm22t-cups: the CUPS filter of the printer family. cupsd runs it behind
// CUPS's PostScript filter with the job's arguments and the queue's printer
// description in PPD; it writes the PJL header the Windows plug-in writes, then
// the PostScript with its setup sections rewritten the same way, to standard
// output. It opens nothing but its input and the printer description, which is
// all a sandboxed filter (macOS) may do.
//
// Exit codes: 0 the whole job was written; 1 it was not (the ERROR line says
// why), which cupsd treats as a failed job.
#include "cups_stream.h"
#include "filter_args.h"
#include "job_core.h"
#include "job_options.h"

#include <cups/ppd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// libcups 2.4 keeps a few strings of the PPD cache cupsMarkOptions builds and
// never frees them: a leak of the library, not of the filter, which a
// sanitizer build would otherwise report at every exit (and so fail every job).
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:_ppdCacheCreateWithPPD\n"; }
#endif

namespace {

volatile std::sig_atomic_t canceled = 0;

void OnTerminate(int) { canceled = 1; }

constexpr size_t kReadBytes = 64 * 1024;
// The longest start LooksLikePostScript compares.
constexpr size_t kJudgedBytes = 3;

struct PpdCloser {
    void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd > 0) close(fd);
    }
};

bool WriteAll(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(STDOUT_FILENO, data, size);
        if (written < 0 && errno == EINTR && !canceled) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

// Today as the date stamp of the Windows plug-in's default locale shows it
// (month/day/year without leading zeros), so both print paths stamp alike.
std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::to_string(local.tm_mon + 1) + "/" + std::to_string(local.tm_mday) + "/" +
           std::to_string(local.tm_year + 1900);
}

// Reads the next bytes into buffer (resized to what came); 0 at the end, -1
// on a failure or when the job was canceled.
ssize_t ReadSome(int fd, std::string* buffer) {
    buffer->resize(kReadBytes);
    ssize_t got;
    do {
        got = read(fd, buffer->data(), buffer->size());
    } while (got < 0 && errno == EINTR && !canceled);
    buffer->resize(got > 0 ? static_cast<size_t>(got) : 0);
    return canceled ? -1 : got;
}

int Fail(const std::string& message) {
    cups::Report("ERROR", message);
    return 1;
}

// cupsd stops a job's filters with SIGTERM when the job is canceled: not a
// fault of the job, so no ERROR line, but not the whole job either.
int Canceled() {
    cups::Report("INFO", "the job was canceled");
    return 1;
}

// The first bytes must open a PostScript program: CUPS's PostScript filter
// hands over nothing else, and anything else would print as garbage.
bool LooksLikePostScript(const std::string& head) {
    return head.compare(0, 2, "%!") == 0 || head.compare(0, 4, "\x04%!") == 0;
}

std::string Printable(const std::string& bytes) {
    std::string shown;
    for (size_t i = 0; i < bytes.size() && i < 16; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        }
    }
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    cups::FilterArgs args;
    std::string problem;
    if (!cups::ParseFilterArgs(argc, argv, &args, &problem)) return Fail(problem);

    const char* ppdPath = std::getenv("PPD");
    if (ppdPath == nullptr || *ppdPath == '\0') {
        return Fail(
            "no printer description: PPD is not set (cupsd sets it to the queue's; by hand, run "
            "PPD=FILE qm22t-cups ...)");
    }
    std::unique_ptr<ppd_file_t, PpdCloser> ppd(ppdOpenFile(ppdPath));
    if (!ppd) {
        int line = 0;
        const ppd_status_t status = ppdLastError(&line);
        return Fail(std::string("cannot read the printer description ") + ppdPath + ": " + ppdErrorString(status) +
                    (line > 0 ? " on line " + std::to_string(line) : ""));
    }

    FdCloser input{STDIN_FILENO};
    if (!args.file.empty()) {
        input.fd = open(args.file.c_str(), O_RDONLY);
        if (input.fd < 0) return Fail("cannot open the job's file " + args.file + ": " + std::strerror(errno));
    }

    std::unique_ptr<cups::JobCore> core = cups::MakeJobCore(&problem);
    if (!core) return Fail("the settings defaults cannot be had: " + problem);
    const cups::JobRequest request = cups::ReadJobOptions(ppd.get(), args.options, args.copies, core->Words());
    for (const std::string& warning : request.warnings) cups::Report("WARNING", warning);
    for (const cups::Assignment& assignment : request.assignments) {
        if (core->Set(assignment, &problem)) continue;
        // A text cut short (a secret number, a job name) would print under a
        // name nobody asked for: the job stops instead.
        return Fail(assignment.option + "=" + assignment.value + " cannot be used: " + problem);
    }
    for (const cups::Correction& change : core->Merge()) {
        cups::Report("WARNING", change.field + "=" + cups::ChoiceOfValue(ppd.get(), change.field, change.before) +
                                    " is not allowed with these settings; " + change.field + "=" +
                                    cups::ChoiceOfValue(ppd.get(), change.field, change.after) + " is used");
    }

    // Copies: the job's copy count goes into the PJL header (COPIES or QTY,
    // as ZTCollate decides, the same as from Windows), and the NumCopies
    // request pstops writes into the PostScript is dropped (cups_stream.h).
    // The printer would multiply the two; the header is the one that carries
    // the printer's collation and finishing per copy set, so it is the one
    // kept.
    ppd_file_t* description = ppd.get();
    const cups::HeaderFacts facts{args.title, args.user, HostName(), Today(),
                                  [description](int number) { return cups::PaperCodeOf(description, number); }};
    std::string header;
    if (!core->Header(facts, &header, &problem)) return Fail("the PJL header cannot be built: " + problem);

    std::string buffer(kReadBytes, '\0');
    ssize_t got = ReadSome(input.fd, &buffer);
    // A pipe may hand the first bytes over one at a time: gather enough of
    // them to judge the job by its start.
    while (got > 0 && buffer.size() < kJudgedBytes) {
        std::string more;
        const ssize_t extra = ReadSome(input.fd, &more);
        if (extra <= 0) {
            if (extra < 0) got = extra;
            break;
        }
        buffer += more;
    }
    if (canceled) return Canceled();
    if (got < 0) return Fail(std::string("cannot read the job: ") + std::strerror(errno));
    if (got == 0) return Fail("the job is empty");
    if (!LooksLikePostScript(buffer)) {
        return Fail("the job is not PostScript (it begins \"" + Printable(buffer) +
                    "\"); this printer takes PostScript from CUPS's pstops or pdftops");
    }

    bool written = WriteAll(header.data(), header.size());
    // Each page for CUPS's page log, with the copies the header asks for.
    const int copies = args.copies;
    cups::CupsStream stream(
        core->Rewriter(facts), WriteAll, [](const std::string& message) { cups::Report("WARNING", message); },
        core->Orientation(), cups::ReplacedBlocks(ppd.get()),
        [copies](int page) { cups::Report("PAGE", std::to_string(page) + " " + std::to_string(copies)); });
    while (written && got > 0 && !canceled) {
        written = stream.Write(buffer.data(), buffer.size());
        got = ReadSome(input.fd, &buffer);
        if (got < 0 && !canceled) return Fail(std::string("cannot read the job: ") + std::strerror(errno));
    }
    if (canceled) return Canceled();
    if (!written || !stream.Finish()) return Fail(std::string("cannot write to the printer: ") + std::strerror(errno));
    cups::Report("INFO", "sent " + std::to_string(stream.Pages()) + " pages with the printer's settings");
    return 0;
}
