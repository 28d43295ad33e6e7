#include "cli.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm22t {
namespace {

// The paths the signal handler removes: fixed storage, since the handler may
// neither allocate nor lock.
constexpr size_t kTemporarySlots = 16;
char temporaryPaths[kTemporarySlots][PATH_MAX];
volatile sig_atomic_t temporaryCount = 0;

// The signals that end a program by default and may come from a user or a
// pipe; SIGQUIT dumps core besides, which the handler keeps by raising it again.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Set once a failure to write standard output has been told.
bool standardOutputReported = false;
// Why standard output failed, taken when the failure was seen.
std::string standardOutputFailure;

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (sig_atomic_t i = temporaryCount; i > 0; --i) {
        // unlink fails on a folder and rmdir on a file; both are async-signal-safe.
        if (unlink(temporaryPaths[i - 1]) != 0) rmdir(temporaryPaths[i - 1]);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : kCleanupSignals) {
        // A signal ignored when the program started (nohup, a background job
        // of a shell without job control) stays ignored.
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RemoveTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

// Holds the cleanup signals while the list changes.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kCleanupSignals) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

// Length of the whole UTF-8 sequence (of a character that is not a control
// character) that starts at text[i]; 0 when none does.
size_t Utf8Length(const std::string& text, size_t i) {
    std::u16string units;
    for (size_t length = 2; length <= 4 && i + length <= text.size(); ++length) {
        if (Utf8ToUtf16(text.substr(i, length), &units)) return units[0] >= 0xA0 || units.size() > 1 ? length : 0;
    }
    return 0;
}

bool IsRegularFile(const struct stat& info) { return S_ISREG(info.st_mode); }

// Regular files only: a device or a pipe may well be read and written at once
// (/dev/null as job and output).
struct FileIdentity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool special = false;  // exists and is no regular file
};

FileIdentity IdentityOf(const std::string& path) {
    struct stat info {};
    FileIdentity identity;
    if (path == "-" || stat(path.c_str(), &info) != 0) return identity;
    if (!IsRegularFile(info)) identity.special = true;
    else identity = FileIdentity{true, info.st_dev, info.st_ino, false};
    return identity;
}

FileIdentity IdentityOfDescriptor(int descriptor) {
    struct stat info {};
    FileIdentity identity;
    if (fstat(descriptor, &info) == 0 && IsRegularFile(info)) {
        identity = FileIdentity{true, info.st_dev, info.st_ino, false};
    }
    return identity;
}

// A path made absolute with its folder resolved, so "a/../b" and "./b" meet;
// the file itself need not exist.
std::string CanonicalPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) == nullptr) return path;
    return std::string(resolved) + "/" + name;
}

std::string& CommandName() {
    static std::string name = "qm22t";
    return name;
}

}  // namespace

void SetCommandName(const std::string& command) { CommandName() = "qm22t " + command; }

void Error(const std::string& message) { std::cerr << CommandName() << ": " << message << "\n"; }
void Warning(const std::string& message) { std::cerr << CommandName() << ": warning: " << message << "\n"; }
void Note(const std::string& message) { std::cerr << CommandName() << ": " << message << "\n"; }

Arguments::Arguments(int argc, char** argv, int first) : next_(0) {
    for (int i = first; i < argc; ++i) args_.emplace_back(argv[i]);
}

bool Arguments::Matches(const char* name, std::string* inlineValue) const {
    if (optionsEnded_ || Done()) return false;
    const std::string& arg = args_[next_];
    const size_t length = std::strlen(name);
    if (arg.compare(0, length, name) != 0) return false;
    if (arg.size() == length) return true;
    if (inlineValue != nullptr && arg[length] == '=') {
        *inlineValue = arg.substr(length + 1);
        return true;
    }
    return false;
}

std::string Arguments::OptionName() const {
    if (optionsEnded_ || Done()) return "";
    const std::string& arg = args_[next_];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) return "";
    return arg.substr(0, arg.find('='));
}

bool Arguments::Flag(const char* name) {
    if (!Matches(name, nullptr)) return false;
    ++next_;
    return true;
}

bool Arguments::Value(const char* name, std::string* value) {
    std::string inlineValue;
    const bool hasInline = !optionsEnded_ && !Done() && args_[next_].size() > std::strlen(name);
    if (!Matches(name, &inlineValue)) return false;
    ++next_;
    if (hasInline) {
        *value = inlineValue;
    } else if (Done()) {
        Error(std::string(name) + " needs a value");
        failed_ = true;
    } else {
        *value = args_[next_++];
    }
    return true;
}

bool Arguments::Values(const char* name, std::vector<std::string>* values) {
    std::string value;
    if (!Value(name, &value)) return false;
    if (!failed_) values->push_back(value);
    return true;
}

bool Arguments::Positional(std::string* value) {
    const std::string& arg = args_[next_++];
    if (!optionsEnded_ && arg == "--") {
        optionsEnded_ = true;
        return false;
    }
    // "-" alone names standard input or output.
    if (!optionsEnded_ && arg.size() > 1 && arg[0] == '-') {
        Error("unknown option " + arg + " (see --help)");
        failed_ = true;
        return false;
    }
    *value = arg;
    return true;
}

bool ParseInteger(const std::string& text, int64_t* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    *value = parsed;
    return true;
}

bool ParseByteCount(const std::string& text, uint64_t* value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0) return false;
    unsigned shift = 0;
    const std::string suffix = end;
    if (suffix == "K" || suffix == "k") shift = 10;
    else if (suffix == "M" || suffix == "m") shift = 20;
    else if (suffix == "G" || suffix == "g") shift = 30;
    else if (!suffix.empty()) return false;
    if (shift != 0 && parsed > (~0ULL >> shift)) return false;
    *value = parsed << shift;
    return true;
}

std::string SystemError() { return std::strerror(errno); }

std::string DisplayName(const std::string& path, bool output) {
    if (path == "-") return output ? "standard output" : "standard input";
    return path;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error, const std::string& role) {
    const std::string cannot =
        "cannot read " + (role.empty() ? "" : "the " + role + " file ") + DisplayName(path, false);
    struct stat info {};
    if (path != "-" && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = cannot + ": it is a folder; give a file";
        return false;
    }
    FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = cannot + ": " + SystemError();
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    const std::string reason = SystemError();
    if (file != stdin) std::fclose(file);
    if (failed) *error = cannot + ": " + reason;
    return !failed;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    OutputFile file;
    if (!file.Open(path, error)) return false;
    file.Write(bytes.data(), bytes.size());
    return file.Commit(error);
}

OutputFile::~OutputFile() { Discard(); }

namespace {

// The program's own descriptor that a path names: /dev/stdin, /dev/stdout,
// /dev/stderr, /dev/fd/N and /proc/self/fd/N (or the program's own number
// for self); -1 for any other path.
int DescriptorNamed(const std::string& path) {
    if (path == "/dev/stdin") return STDIN_FILENO;
    if (path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    std::string number;
    for (const std::string& folder :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), std::string("/proc/thread-self/fd/"),
          "/proc/" + std::to_string(getpid()) + "/fd/"}) {
        if (path.compare(0, folder.size(), folder) == 0) number = path.substr(folder.size());
    }
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(number);
}

// Follows the symbolic links of `path` to the name they end at (which need not
// exist). A name on the way that is one of the program's descriptors ends the
// walk: its number goes to `descriptor`, else -1 does. False for a loop.
bool FollowLinks(const std::string& path, std::string* target, int* descriptor) {
    std::string current = path;
    constexpr int kMostLinks = 40;  // as the kernel allows
    for (int step = 0; step < kMostLinks; ++step) {
        *descriptor = DescriptorNamed(current);
        struct stat info {};
        if (*descriptor >= 0 || lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *target = current;
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(current.c_str(), &link[0], link.size());
        if (length < 0) {
            *target = current;
            return true;
        }
        link.resize(static_cast<size_t>(length));
        const size_t slash = current.find_last_of('/');
        if (!link.empty() && link[0] != '/' && slash != std::string::npos) link = current.substr(0, slash + 1) + link;
        current = link;
    }
    errno = ELOOP;
    return false;
}

}  // namespace

bool OutputFile::Open(const std::string& path, std::string* error) {
    path_ = path;
    target_ = path;
    failure_.clear();
    finished_ = false;
    ownsStream_ = false;
    standardOutput_ = false;
    const std::string cannot = "cannot write " + DisplayName(path, true) + ": ";
    int descriptor = path == "-" ? STDOUT_FILENO : -1;
    if (path != "-" && !FollowLinks(path, &target_, &descriptor)) {
        *error = cannot + SystemError();
        return false;
    }
    if (descriptor >= 0) {
        if (fcntl(descriptor, F_GETFD) < 0) {
            *error = cannot + "descriptor " + std::to_string(descriptor) + " is not open";
            return false;
        }
        if (descriptor == STDOUT_FILENO || descriptor == STDERR_FILENO) {
            file_ = descriptor == STDOUT_FILENO ? stdout : stderr;
            standardOutput_ = descriptor == STDOUT_FILENO;
            return true;
        }
        const int copy = dup(descriptor);
        file_ = copy < 0 ? nullptr : fdopen(copy, "wb");
        if (file_ == nullptr) {
            *error = cannot + SystemError();
            if (copy >= 0) close(copy);
            return false;
        }
        ownsStream_ = true;
        return true;
    }
    struct stat info {};
    const bool exists = stat(target_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        *error = cannot + "it is a folder";
        return false;
    }
    if (exists && !IsRegularFile(info)) {
        file_ = std::fopen(target_.c_str(), "wb");
        if (file_ == nullptr) *error = cannot + SystemError();
        ownsStream_ = file_ != nullptr;
        return file_ != nullptr;
    }
    // The rename would replace a file its owner made read-only, even for root.
    if (exists && ((info.st_mode & 0222) == 0 || access(target_.c_str(), W_OK) != 0)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        *error = cannot + "the file is read-only (mode " + mode +
                 ") and is left as it is; make it writable or give another file";
        return false;
    }
    const size_t slash = target_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".qm22t-XXXXXX";
    const int temporary = mkstemp(&pattern[0]);
    if (temporary < 0) {
        *error = cannot + SystemError();
        return false;
    }
    temporary_ = pattern;
    RegisterTemporaryPath(temporary_);
    // The file gets the mode the target has, or the one a new file would get.
    mode_t mode = 0;
    if (exists) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(temporary, mode);
    file_ = fdopen(temporary, "wb");
    if (file_ == nullptr) {
        *error = cannot + SystemError();
        close(temporary);
        Discard();
        return false;
    }
    ownsStream_ = true;
    return true;
}

bool OutputFile::Write(const void* bytes, size_t count) {
    if (!failure_.empty()) return false;
    if (count > 0 && std::fwrite(bytes, 1, count, file_) != count) {
        failure_ = SystemError();
        // Whoever writes reports the failure; the program's last check must not again.
        if (standardOutput_) StandardOutputFailureReported();
        return false;
    }
    return true;
}

bool OutputFile::Finish(std::string* error) {
    if (!finished_ && file_ != nullptr) {
        // Small outputs stay buffered until the stream is flushed, so a full disk
        // or a closed pipe shows only here.
        if (std::fflush(file_) != 0 && failure_.empty()) failure_ = SystemError();
        if (std::ferror(file_) && failure_.empty()) failure_ = "a write failed";
        if (ownsStream_ && std::fclose(file_) != 0 && failure_.empty()) failure_ = SystemError();
        file_ = nullptr;
    }
    finished_ = true;
    if (failure_.empty()) return true;
    *error = "cannot write " + DisplayName(path_, true) + ": " + failure_;
    if (standardOutput_) StandardOutputFailureReported();
    Discard();
    return false;
}

bool OutputFile::Place(std::string* error) {
    if (temporary_.empty()) return true;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        *error = "cannot write " + DisplayName(path_, true) + ": " + SystemError();
        Discard();
        return false;
    }
    ForgetTemporaryPath(temporary_);
    temporary_.clear();
    return true;
}

bool OutputFile::Commit(std::string* error) { return Finish(error) && Place(error); }

void OutputFile::Discard() {
    if (file_ != nullptr && ownsStream_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        ForgetTemporaryPath(temporary_);
        temporary_.clear();
    }
}

bool CommitAll(const std::vector<OutputFile*>& outputs, std::string* error) {
    bool complete = true;
    for (OutputFile* output : outputs) {
        std::string reason;
        if (output != nullptr && !output->Finish(&reason) && complete) {
            *error = reason;
            complete = false;
        }
    }
    for (OutputFile* output : outputs) {
        if (output == nullptr) continue;
        if (!complete) output->Discard();
        else if (!output->Place(error)) complete = false;
    }
    return complete;
}

void OpenStandardDescriptors() {
    for (int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free number: the one just found closed.
        const int opened = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
    }
}

void StandardOutputFailureReported() { standardOutputReported = true; }

void NoteStandardOutputState() {
    if (standardOutputFailure.empty() && (std::ferror(stdout) || !std::cout)) {
        standardOutputFailure = errno != 0 ? SystemError() : "a write failed";
    }
}

void RegisterTemporaryPath(const std::string& path) {
    InstallSignalHandlers();
    SignalsHeld held;
    if (static_cast<size_t>(temporaryCount) >= kTemporarySlots || path.size() >= PATH_MAX) return;
    std::memcpy(temporaryPaths[temporaryCount], path.c_str(), path.size() + 1);
    temporaryCount = temporaryCount + 1;
}

void ForgetTemporaryPath(const std::string& path) {
    SignalsHeld held;
    for (sig_atomic_t i = temporaryCount; i > 0; --i) {
        if (path != temporaryPaths[i - 1]) continue;
        for (sig_atomic_t k = i; k < temporaryCount; ++k) {
            std::memcpy(temporaryPaths[k - 1], temporaryPaths[k], PATH_MAX);
        }
        temporaryCount = temporaryCount - 1;
        return;
    }
}

int FinishStandardOutput(int code) {
    std::cout.flush();
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout;
    if (!failed) return code;
    if (standardOutputFailure.empty()) standardOutputFailure = errno != 0 ? SystemError() : "a write failed";
    if (!standardOutputReported) Error("cannot write standard output: " + standardOutputFailure);
    standardOutputReported = true;
    return kExitUsage;
}

std::string Count(uint64_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

bool ParseDate(const std::string& text, int* year, int* month, int* day) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    *year = std::stoi(text.substr(0, 4));
    *month = std::stoi(text.substr(5, 2));
    *day = std::stoi(text.substr(8, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1) return false;
    const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
    return *day <= kDays[*month - 1] + (*month == 2 && leap ? 1 : 0);
}

bool CheckFileUses(const std::vector<FileUse>& uses, std::string* error) {
    auto same = [](const FileIdentity& a, const FileIdentity& b) {
        return a.known && b.known && a.device == b.device && a.inode == b.inode;
    };
    auto identity = [](const FileUse& use) {
        if (use.path != "-") return IdentityOf(use.path);
        return IdentityOfDescriptor(use.output ? STDOUT_FILENO : STDIN_FILENO);
    };
    auto shown = [](const FileUse& use) {
        return use.path == "-" ? use.role + " (" + DisplayName("-", use.output) + ")" : use.role + " " + use.path;
    };
    for (size_t i = 0; i < uses.size(); ++i) {
        for (size_t k = i + 1; k < uses.size(); ++k) {
            const FileUse& a = uses[i];
            const FileUse& b = uses[k];
            if (!a.output && !b.output) {
                if (a.path == "-" && b.path == "-") {
                    *error =
                        "standard input is named twice (" + a.role + " and " + b.role + "); it can be read only once";
                    return false;
                }
                continue;
            }
            const bool bothStreams = a.path == "-" && b.path == "-";
            const FileIdentity first = identity(a);
            const FileIdentity second = identity(b);
            bool clash = same(first, second);
            // Two outputs, or an output and an input, by the same path even
            // when the file does not exist yet.
            if (!clash && !bothStreams && a.path != "-" && b.path != "-" && !first.special && !second.special) {
                clash = CanonicalPath(a.path) == CanonicalPath(b.path);
            }
            if (a.output && b.output && bothStreams) clash = true;
            if (!clash) continue;
            const FileUse& out = a.output ? a : b;
            const FileUse& other = a.output ? b : a;
            *error =
                shown(out) + " and " + shown(other) + " are the same file; " +
                (other.output ? "two outputs would overwrite each other" : "the output would overwrite its input") +
                " (give another file)";
            return false;
        }
    }
    return true;
}

std::string Printable(const std::string& bytes, size_t limit) {
    std::string shown;
    size_t i = 0;
    for (; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const size_t sequence = c >= 0xC2 ? Utf8Length(bytes, i) : 0;
        if (sequence > 1) {
            if (i + sequence > limit) break;
            shown.append(bytes, i, sequence);
            i += sequence - 1;
        } else if (c == '\r') shown += "\\r";
        else if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else if (c == '\\') shown += "\\\\";
        else if (c >= 0x20 && c < 0x7F) shown += static_cast<char>(c);
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        }
    }
    if (i < bytes.size()) shown += "...";
    return shown;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16) {
    utf16->clear();
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        uint32_t code = 0;
        size_t extra = 0;
        uint32_t least = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            extra = 1;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            extra = 2;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07;
            extra = 3;
            least = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= utf8.size() && extra > 0) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            utf16->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            utf16->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            utf16->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

bool Utf16ToUtf8(const std::u16string& utf16, std::string* utf8) {
    utf8->clear();
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t code = utf16[i];
        if (code >= 0xDC00 && code <= 0xDFFF) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        }
        if (code < 0x80) {
            utf8->push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            utf8->push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            utf8->push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            utf8->push_back(static_cast<char>(0xF0 | (code >> 18)));
            utf8->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            utf8->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return true;
}

bool BytesOfHex(const std::string& hex, std::string* bytes) {
    if (hex.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

}  // namespace qm22t
