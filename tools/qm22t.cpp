// qm22t: the job tools of the rendering plug-in QM22TRD.dll, for engineers and
// support staff. Each subcommand lives in a source of its own.
#include "cli.h"
#include "commands.h"
#include "qm22t_version.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr char kUsage[] = R"(usage: qm22t COMMAND [options]

Job tools of the PostScript rendering plug-in QM22TRD.dll, which they load
on the simulated Windows of the host build.

  run       run one print job through the plug-in and write what reached the spooler
  settings  show, change, validate and compare device settings (private parts and
            settings files), and list every field with its valid values
  inspect   decode and check a spool file: its PJL header, setup sections and
            feature blocks, against the job it was made from

  qm22t COMMAND --help   tells more about each command, its options and exit codes
  qm22t help COMMAND     the same
  qm22t --version        the version of the plug-in these tools belong to
)";

}  // namespace

namespace {

bool IsCommand(const std::string& name) { return name == "run" || name == "settings" || name == "inspect"; }

int Dispatch(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return qm22t::kExitUsage;
    }
    const std::string command = argv[1];
    try {
        if (command == "run") return qm22t::RunCommand(argc, argv);
        if (command == "settings") return qm22t::SettingsCommand(argc, argv);
        if (command == "inspect") return qm22t::InspectCommand(argc, argv);
        if (command == "help" && argc > 2) {
            // "qm22t help run" is "qm22t run --help".
            const std::string topic = argv[2];
            if (argc > 3 || !IsCommand(topic)) {
                qm22t::Error("help takes one command: run, settings or inspect, not \"" +
                             qm22t::Printable(argc > 3 ? argv[3] : topic) + "\"");
                return qm22t::kExitUsage;
            }
            char helpOption[] = "--help";
            char* helpArguments[] = {argv[0], argv[2], helpOption, nullptr};
            return Dispatch(3, helpArguments);
        }
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kUsage;
            return qm22t::kExitOk;
        }
        if (command == "--version") {
            std::cout << "qm22t " << kRenderVersion << "\n"
                      << kRenderDescription << " " << kRenderModule << ", " << kRenderProduct << "\n";
            return qm22t::kExitOk;
        }
    } catch (const std::exception& e) {
        qm22t::Error(e.what());
        return qm22t::kExitFound;
    }
    if (command.size() > 1 && command[0] == '-') {
        qm22t::Error("unknown option " + qm22t::Printable(command) +
                     ": qm22t itself takes only --help and --version; the other options follow a command "
                     "(qm22t run, settings or inspect; qm22t help COMMAND lists them)");
    } else {
        qm22t::Error("unknown command \"" + qm22t::Printable(command) +
                     "\": the commands are run, settings and inspect (see qm22t --help)");
    }
    return qm22t::kExitUsage;
}

}  // namespace

// Every command's output, --help and --version included, is checked once more
// here: a write error on standard output is never an "ok".
int main(int argc, char** argv) {
    qm22t::OpenStandardDescriptors();
    return qm22t::FinishStandardOutput(Dispatch(argc, argv));
}
