// The subcommands of qm22t. Each takes the whole command line (its own name at
// argv[1]) and returns the program's exit code.
#pragma once

namespace qm22t {

int RunCommand(int argc, char** argv);
int SettingsCommand(int argc, char** argv);
int InspectCommand(int argc, char** argv);

}  // namespace qm22t
