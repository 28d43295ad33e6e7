// The command line of qm22t-package, checked before anything is made: every
// value ends up in an INF or a printer description, where a stray character
// or a version Windows cannot hold breaks the installation.
#pragma once

#include <string>

struct PackageArguments {
    std::string folder;
    std::string version;  // four numbers of 0 to 65535: "1.0.0.0"
    std::string date;     // a calendar date MM/DD/YYYY
    bool help = false;
};

// The help text --help prints, exit codes included.
extern const char kPackageHelp[];
// The one usage line a refusal prints behind its message.
extern const char kPackageUsage[];

// Fills arguments from argv (argv[0] is the program). Empty when the command
// line is good; else the message that names what is wrong. With --help the
// other arguments are not needed.
std::string ParsePackageArguments(int argc, const char* const* argv, PackageArguments& arguments);

// Empty when version is four decimal numbers of 0 to 65535 joined by dots.
std::string CheckVersionText(const std::string& version);

// Empty when date is MM/DD/YYYY naming a day of the calendar (years 1980 to
// 9999: Windows keeps driver dates from 1980 on).
std::string CheckDateText(const std::string& date);
