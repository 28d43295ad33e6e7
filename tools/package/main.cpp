// qm22t-package: writes the text files of the driver package (the printer
// description, the plug-in's configuration file and the INF) into a folder.
//
//   qm22t-package --out DIR --version 1.0.0.0 --date MM/DD/YYYY
//
// Exit codes: 0 written; 1 a table value a printer description cannot carry,
// or a file could not be written (nothing is left behind then); 2 bad usage.
#include "package_files.h"
#include "ppd_cups.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct OutFile {
    std::string name;
    std::string bytes;
};

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// Every file goes to a temporary name first and is renamed only when all of
// them were written, so a failure leaves no mix of old and new files.
bool WriteAll(const std::string& folder, const std::vector<OutFile>& files) {
    std::vector<std::string> temporaries;
    bool ok = true;
    for (const OutFile& file : files) {
        const std::string temporary = folder + "/." + file.name + ".part";
        temporaries.push_back(temporary);
        if (!WriteWhole(temporary, file.bytes)) {
            std::fprintf(stderr, "qm22t-package: cannot write %s\n", temporary.c_str());
            ok = false;
            break;
        }
    }
    std::vector<std::string> renamed;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        const std::string target = folder + "/" + files[i].name;
        if (std::rename(temporaries[i].c_str(), target.c_str()) != 0) {
            std::fprintf(stderr, "qm22t-package: cannot write %s\n", target.c_str());
            ok = false;
        } else {
            renamed.push_back(target);
        }
    }
    if (!ok) {
        // Only what this run wrote goes again; whatever stood in the way stays.
        for (const std::string& temporary : temporaries) std::remove(temporary.c_str());
        for (const std::string& target : renamed) std::remove(target.c_str());
    }
    return ok;
}

int Usage(const char* message) {
    if (message != nullptr) std::fprintf(stderr, "qm22t-package: %s\n", message);
    std::fprintf(stderr, "usage: qm22t-package --out DIR --version A.B.C.D --date MM/DD/YYYY\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    PackageNames names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(nullptr);
            return 0;
        }
        if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
        if (arg == "--out") {
            folder = argv[++i];
        } else if (arg == "--version") {
            names.version = argv[++i];
        } else if (arg == "--date") {
            names.driverDate = argv[++i];
        } else {
            return Usage(("unknown option " + arg).c_str());
        }
    }
    if (folder.empty() || names.version.empty() || names.driverDate.empty())
        return Usage("--out, --version and --date are needed");
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return Usage(("no folder " + folder).c_str());

    try {
        std::string error;
        const std::string ppd = MakePpd(PluginTables(), names, error);
        if (ppd.empty()) {
            std::fprintf(stderr, "qm22t-package: no package written: %s\n", error.c_str());
            return 1;
        }
        const std::string cupsPpd = MakeCupsPpd(PluginTables(), names.version, error);
        if (cupsPpd.empty()) {
            std::fprintf(stderr, "qm22t-package: no package written: %s\n", error.c_str());
            return 1;
        }
        const std::vector<OutFile> files = {{kPpdFileName, ppd},
                                            {kPluginIniFileName, MakePluginIni()},
                                            {kInfFileName, MakeInf(names)},
                                            {kCupsPpdFileName, cupsPpd}};
        return WriteAll(folder, files) ? 0 : 1;
    } catch (...) {
        std::fprintf(stderr, "qm22t-package: out of memory\n");
        return 1;
    }
}
