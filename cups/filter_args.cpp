#include "filter_args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace cups {

namespace {

// The copies cupsd accepts (its MaxCopies default).
constexpr long kMostCopies = 9999;

}  // namespace

bool ParseFilterArgs(int argc, const char* const* argv, FilterArgs* args, std::string* problem) {
    if (argc != 6 && argc != 7) {
        *problem = "usage: qm22t-cups job-id user title copies options [file] (run by cupsd, with PPD set)";
        return false;
    }
    args->jobId = argv[1];
    args->user = argv[2];
    args->title = argv[3];
    errno = 0;
    char* end = nullptr;
    const long copies = std::strtol(argv[4], &end, 10);
    if (end == argv[4] || *end != '\0' || errno != 0 || copies < 1 || copies > kMostCopies) {
        *problem = std::string("copies \"") + argv[4] + "\" is not a number from 1 to 9999";
        return false;
    }
    args->copies = static_cast<int>(copies);
    args->options = argv[5];
    args->file = argc == 7 ? argv[6] : "";
    return true;
}

void Report(const char* level, const std::string& text) {
    std::string line = std::string(level) + ": " + text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace cups
