#include "plugin_session.h"

#include "cli.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace qm22t {

std::string DefaultsName(const DriverSession& session) {
    return session.SiblingLoaded() ? "the sibling library's defaults"
                                   : "the plug-in's own defaults (without QM22TIE.dll)";
}

std::string SiblingAbsence(const DriverSession& session, const std::string& pluginDir) {
    if (session.SiblingLoaded()) return "";
    const std::string folder = pluginDir.empty() ? DefaultPluginFolder() : pluginDir;
    const std::string path = folder + "/QM22TIE.dll";
    const bool present = access(path.c_str(), F_OK) == 0;
    if (!present) return LibraryAbsence(folder);
    const std::string absence = LibraryAbsence(folder);
    return "QM22TIE.dll beside the plug-in could not be loaded (" + path + ")" + absence.substr(absence.find(':'));
}

bool CheckTemporaryFolder(std::string* error) {
    const char* variable = std::getenv("TMPDIR");
    const bool set = variable != nullptr && variable[0] != '\0';
    const std::string folder = set ? variable : "/tmp";
    struct stat info {};
    std::string reason;
    if (stat(folder.c_str(), &info) != 0) reason = SystemError();
    else if (!S_ISDIR(info.st_mode)) reason = "it is not a folder";
    else if (access(folder.c_str(), W_OK | X_OK) != 0) reason = SystemError();
    if (reason.empty()) return true;
    *error = "cannot make the plug-in's work folder in " +
             (set ? "TMPDIR=" + folder : folder + " (TMPDIR is not set)") + ": " + reason +
             "; set TMPDIR to a folder you can write to";
    return false;
}

int ExitCodeOf(harness::OpenResult result) {
    switch (result) {
        case harness::OpenResult::kOpened: return kExitOk;
        case harness::OpenResult::kBadSetup: return kExitUsage;
        case harness::OpenResult::kRefused: return kExitFound;
    }
    return kExitFound;
}
bool MergeAndCompare(DriverSession& session, PrivatePart* part, std::vector<FieldChange>* changes, std::string* error) {
    const PrivatePart before = *part;
    if (!session.Merge(part, error)) return false;
    *changes = ComparePrivateParts(before, *part);
    return true;
}

}  // namespace qm22t
