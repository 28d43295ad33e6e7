// What the qm22t subcommands share: exit codes, messages, the argument walker,
// numbers, files and the two text encodings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm22t {

// Exit codes. Every subcommand's --help says which of them it uses and when.
constexpr int kExitOk = 0;
constexpr int kExitFound = 1;    // run: the plug-in refused a step; settings, inspect: differences or failed checks
constexpr int kExitUsage = 2;    // bad command line or input; a file that cannot be read or written
constexpr int kExitSpooler = 3;  // run: the spooler failed a write

// Messages go to standard error as "qm22t <command>: ...", so a script that runs
// several commands can tell them apart.
void SetCommandName(const std::string& command);
void Error(const std::string& message);
void Warning(const std::string& message);
void Note(const std::string& message);

// Walks the arguments after the subcommand. Options take their value as the
// next argument or after "=" ("--out FILE", "--out=FILE"); "--" ends the options.
class Arguments {
public:
    Arguments(int argc, char** argv, int first);

    bool Done() const { return next_ >= args_.size(); }
    // The argument is this flag: consumes it.
    bool Flag(const char* name);
    // --help or -h.
    bool Help() { return Flag("--help") || Flag("-h"); }
    // The argument is this option: consumes it and its value. A missing value is
    // reported, and Failed() turns true.
    bool Value(const char* name, std::string* value);
    // The same for a repeatable option.
    bool Values(const char* name, std::vector<std::string>* values);
    // Anything else: an unknown option is reported (and Failed() turns true),
    // a positional argument is handed back.
    bool Positional(std::string* value);
    bool Failed() const { return failed_; }
    // The option the next argument names ("--out" of "--out=x"), or empty for
    // a positional argument.
    std::string OptionName() const;

private:
    bool Matches(const char* name, std::string* inlineValue) const;

    std::vector<std::string> args_;
    size_t next_;
    bool optionsEnded_ = false;
    bool failed_ = false;
};

// Decimal integers with an optional sign, nothing else around them.
bool ParseInteger(const std::string& text, int64_t* value);
// A count of bytes: decimal, optionally followed by K, M or G (powers of 1024).
bool ParseByteCount(const std::string& text, uint64_t* value);

// Whole files, "-" being standard input or output. The error names the file,
// the option that named it (`role`, as "--settings"; none when empty) and
// says what went wrong. A folder is refused as such.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error, const std::string& role = "");
// Through an OutputFile: the target is replaced only when every byte is written.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);
// "standard input" / "standard output" for "-", else the path itself.
std::string DisplayName(const std::string& path, bool output);
// strerror of the current errno.
std::string SystemError();

// Bytes shown in a message: printable text as it is (UTF-8 sequences whole,
// so names in any script read as written), everything else escaped (\r, \n,
// \t, \xHH), cut after `limit` bytes with "..." without splitting a character.
std::string Printable(const std::string& bytes, size_t limit = 40);

// "1 byte", "2 bytes": the count and the noun in the number it needs.
std::string Count(uint64_t count, const char* singular, const char* plural);

// A calendar date YYYY-MM-DD from 1601 (the first year Windows clocks know) to
// 30827 (their last): 2026-02-30 and 2026-13-01 are refused.
bool ParseDate(const std::string& text, int* year, int* month, int* day);

// Standard output, flushed and checked. A write that failed at any time since
// the program started (a full disk, a closed pipe) is reported once, and the
// answer is kExitUsage; else `code` is handed back.
int FinishStandardOutput(int code);
// Keeps the reason of a failed write on standard output while errno still
// holds it; a command that writes in many pieces calls it after each.
void NoteStandardOutputState();

// The files a command reads and writes, all checked before any is opened: an
// output that names an input (the same file by device and inode, or the same
// path), two outputs that name one file, and standard input named twice are
// usage errors. `role` names the option in the message ("--out", "the job").
struct FileUse {
    std::string path;  // "-": standard input or output
    std::string role;
    bool output = false;
};
bool CheckFileUses(const std::vector<FileUse>& uses, std::string* error);

// Paths removed when SIGINT, SIGTERM, SIGHUP, SIGQUIT or SIGPIPE ends the program: files
// and empty folders, the last registered first, so a folder registered before
// the links inside it goes after them. The handler then ends the program by
// the same signal. Registering installs the handler.
void RegisterTemporaryPath(const std::string& path);
void ForgetTemporaryPath(const std::string& path);

// Registers paths for as long as it lives: declared before the object that
// makes and removes them, it forgets them once that object is gone.
class TemporaryPaths {
public:
    TemporaryPaths() = default;
    ~TemporaryPaths() {
        for (const std::string& path : paths_) ForgetTemporaryPath(path);
    }
    TemporaryPaths(const TemporaryPaths&) = delete;
    TemporaryPaths& operator=(const TemporaryPaths&) = delete;
    void Add(const std::string& path) {
        RegisterTemporaryPath(path);
        paths_.push_back(path);
    }

private:
    std::vector<std::string> paths_;
};

// An output file written the way the shell's ">" writes it, but safely: a
// regular file (or a name that does not exist yet) is written to a temporary
// file beside it and renamed over it only by Place, so a command that fails
// leaves an existing file as it was. A symbolic link is followed, and its
// final target is the file replaced; the link stays. "-" is standard output,
// and /dev/stdout, /dev/stderr and /dev/fd/N (also through links) are the
// program's own descriptors; they, devices and pipes are written straight,
// since renaming over them would replace them. An existing file without write
// permission is refused, not replaced.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return file_ != nullptr; }
    FILE* Stream() const { return file_; }
    // False once a write failed; the reason is kept for Finish.
    bool Write(const void* bytes, size_t count);
    // Flushes and closes; false with the reason when any write failed (then
    // or earlier). The target is not touched yet.
    bool Finish(std::string* error);
    // Renames the finished temporary file into place.
    bool Place(std::string* error);
    // Finish and Place.
    bool Commit(std::string* error);
    // Removes the temporary file; the target stays as it was.
    void Discard();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string target_;     // the file the rename replaces: path_ with its links followed
    std::string temporary_;  // empty: written straight
    FILE* file_ = nullptr;
    bool ownsStream_ = false;  // file_ is ours to close (not stdout or stderr)
    bool standardOutput_ = false;
    bool finished_ = false;
    std::string failure_;
};

// Commits the outputs of one command together: every one is finished first,
// and only when all were written completely are the temporary files renamed
// into place; else every temporary file goes and no existing file changes.
// Null entries (outputs not asked for) are skipped.
bool CommitAll(const std::vector<OutputFile*>& outputs, std::string* error);

// Descriptors 0, 1 and 2 that are closed are opened on /dev/null, so that no
// file the program opens takes their place (and a message lands in a spool
// file). Called first thing.
void OpenStandardDescriptors();

// A failure to write standard output that the command has already reported:
// FinishStandardOutput then answers kExitUsage without a second message.
void StandardOutputFailureReported();

// Strict conversions: false for invalid UTF-8, or for a lone surrogate.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16);
bool Utf16ToUtf8(const std::u16string& utf16, std::string* utf8);

// The bytes that hexadecimal digits spell (either case; UpperHex of
// common/hex_text.h goes the other way). False for an odd count or another
// character.
bool BytesOfHex(const std::string& hex, std::string* bytes);

}  // namespace qm22t
