// The command line and messages of a CUPS filter: "queue job-id user title
// copies options [file]", and the lines on standard error that cupsd reads
// ("ERROR: ...", "WARNING: ...", "INFO: ...", "PAGE: ...").
#pragma once

#include <string>

namespace cups {

struct FilterArgs {
    std::string jobId;
    std::string user;
    std::string title;
    int copies = 1;
    std::string options;  // "name=value name2=value2 ...", as cupsParseOptions reads it
    std::string file;     // empty: standard input
};

// False with the reason when the arguments are not a filter's.
bool ParseFilterArgs(int argc, const char* const* argv, FilterArgs* args, std::string* problem);

// One line for cupsd: "LEVEL: text". Line ends in the text become blanks, so
// a value a user typed cannot start a message line of its own.
void Report(const char* level, const std::string& text);

}  // namespace cups
