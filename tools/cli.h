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

// Whole files, "-" being standard input or output. The error names the file
// and says what went wrong.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);
// "standard input" / "standard output" for "-", else the path itself.
std::string DisplayName(const std::string& path, bool output);
// strerror of the current errno.
std::string SystemError();

// Bytes shown in a message: printable ASCII as it is, everything else escaped
// (\r, \n, \t, \xHH), cut after `limit` bytes with "...".
std::string Printable(const std::string& bytes, size_t limit = 40);

// Strict conversions: false for invalid UTF-8, or for a lone surrogate.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16);
bool Utf16ToUtf8(const std::u16string& utf16, std::string* utf8);

// The bytes that hexadecimal digits spell (either case; UpperHex of
// common/hex_text.h goes the other way). False for an odd count or another
// character.
bool BytesOfHex(const std::string& hex, std::string* bytes);

}  // namespace qm22t
