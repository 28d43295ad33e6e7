// qm22t-package: writes the text files of the driver package (the printer
// description, the plug-in's configuration file and the INF) into a folder.
// `qm22t-package --help` tells the options and exit codes.
#include "package_args.h"
#include "package_files.h"
#include "ppd_cups.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct OutFile {
    std::string name;
    std::string bytes;
};

// Writes bytes to path; on failure prints what went wrong with its cause.
bool WriteWhole(const std::string& path, const std::string& bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "qm22t-package: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "qm22t-package: cannot write %s: %s\n", path.c_str(),
                     std::strerror(written ? errno : writeError));
        return false;
    }
    return true;
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
            ok = false;
            break;
        }
    }
    std::vector<std::string> renamed;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        const std::string target = folder + "/" + files[i].name;
        if (std::rename(temporaries[i].c_str(), target.c_str()) != 0) {
            std::fprintf(stderr, "qm22t-package: cannot write %s: %s\n", target.c_str(), std::strerror(errno));
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

}  // namespace

int main(int argc, char** argv) {
    PackageArguments arguments;
    const std::string fault = ParsePackageArguments(argc, argv, arguments);
    if (!fault.empty()) {
        std::fprintf(stderr, "qm22t-package: %s\n%s\n", fault.c_str(), kPackageUsage);
        return 2;
    }
    if (arguments.help) {
        std::fputs(kPackageHelp, stdout);
        return 0;
    }
    struct stat info {};
    if (stat(arguments.folder.c_str(), &info) != 0) {
        std::fprintf(stderr, "qm22t-package: --out %s: %s\n%s\n", arguments.folder.c_str(), std::strerror(errno),
                     kPackageUsage);
        return 2;
    }
    if (!S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "qm22t-package: --out %s is no folder\n%s\n", arguments.folder.c_str(), kPackageUsage);
        return 2;
    }

    try {
        const PackageNames names{arguments.version, arguments.date};
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
        return WriteAll(arguments.folder, files) ? 0 : 1;
    } catch (...) {
        std::fprintf(stderr, "qm22t-package: out of memory\n");
        return 1;
    }
}
