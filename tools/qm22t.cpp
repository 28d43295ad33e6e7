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
  qm22t --version        the version of the plug-in these tools belong to
)";

}  // namespace

namespace {

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
    qm22t::Error("unknown command \"" + qm22t::Printable(command) + "\" (run, settings or inspect; see --help)");
    return qm22t::kExitUsage;
}

}  // namespace

// Every command's output, --help and --version included, is checked once more
// here: a write error on standard output is never an "ok".
int main(int argc, char** argv) {
    qm22t::OpenStandardDescriptors();
    return qm22t::FinishStandardOutput(Dispatch(argc, argv));
}
