#include "package_args.h"

#include <cstdio>

const char kPackageUsage[] = "usage: qm22t-package --out DIR --version A.B.C.D --date MM/DD/YYYY";

const char kPackageHelp[] =
    "usage: qm22t-package --out DIR --version A.B.C.D --date MM/DD/YYYY\n"
    "\n"
    "Writes the text files of the Windows driver package into the folder DIR:\n"
    "the printer description QM22TPS.PPD, the plug-in's configuration file\n"
    "QM22TRD.INI and the INF QM22T.INF, and the CUPS queue's printer\n"
    "description qm22t-cups.ppd, made from the plug-in's own tables.\n"
    "\n"
    "Options:\n"
    "  --out DIR            the folder to write into (it must exist)\n"
    "  --version A.B.C.D    the driver version: four numbers of 0 to 65535\n"
    "  --date MM/DD/YYYY    the driver date of DriverVer (the source's date, so\n"
    "                       two builds of one commit give the same bytes)\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit codes:\n"
    "  0  the files were written (or --help)\n"
    "  1  a table value a printer description cannot carry, or a file could not\n"
    "     be written; no file is left changed then\n"
    "  2  bad usage: an unknown option, a missing or malformed value\n";

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The byte of text a printer description or an INF cannot carry, or -1.
int ControlCharacter(const std::string& text) {
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return byte;
    }
    return -1;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Digits only, 1 to `most` of them; the value in number.
bool ReadNumber(const std::string& text, size_t most, long& number) {
    if (text.empty() || text.size() > most) return false;
    number = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return false;
        number = number * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::string CheckVersionText(const std::string& version) {
    const std::string fault = "--version " + Quoted(version) + " is not four numbers of 0 to 65535 (like 1.0.0.0)";
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = version.find('.', start);
        if ((part < 3) == (dot == std::string::npos)) return fault;
        const std::string piece = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        long number = 0;
        if (!ReadNumber(piece, 5, number) || number > 65535) return fault;
        start = dot + 1;
    }
    return std::string();
}

std::string CheckDateText(const std::string& date) {
    const std::string fault = "--date " + Quoted(date) + " is not a calendar date MM/DD/YYYY from 1980 on";
    long month = 0;
    long day = 0;
    long year = 0;
    if (date.size() != 10 || date[2] != '/' || date[5] != '/' || !ReadNumber(date.substr(0, 2), 2, month) ||
        !ReadNumber(date.substr(3, 2), 2, day) || !ReadNumber(date.substr(6), 4, year)) {
        return fault;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const long monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1980 || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1]) return fault;
    return std::string();
}

std::string ParsePackageArguments(int argc, const char* const* argv, PackageArguments& arguments) {
    arguments = PackageArguments{};
    for (int i = 1; i < argc; ++i) {
        const int control = ControlCharacter(argv[i]);
        if (control >= 0) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(control));
            return "argument " + std::to_string(i) + " holds the control character " + code +
                   ", which no package file can carry";
        }
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            arguments.help = true;
            continue;
        }
        std::string* value = arg == "--out"       ? &arguments.folder
                             : arg == "--version" ? &arguments.version
                             : arg == "--date"    ? &arguments.date
                                                  : nullptr;
        if (value == nullptr) return "unknown option " + Quoted(arg);
        if (i + 1 >= argc) return arg + " needs a value";
        if (!value->empty()) return arg + " is given twice";
        *value = argv[++i];
        if (value->empty()) return arg + " needs a value";
    }
    if (arguments.help) return std::string();
    if (arguments.folder.empty() || arguments.version.empty() || arguments.date.empty()) {
        return "--out, --version and --date are needed";
    }
    std::string fault = CheckVersionText(arguments.version);
    if (fault.empty()) fault = CheckDateText(arguments.date);
    return fault;
}
