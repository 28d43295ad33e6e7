#include "settings_source.h"

#include "cli.h"

#include <cstdio>
#include <cstring>

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
    return std::string(present ? "QM22TIE.dll beside the plug-in could not be loaded (" + path + ")"
                               : "no QM22TIE.dll beside the plug-in in " + folder) +
           ": the plug-in works without it, as on Windows: the defaults are its own, without the identification "
           "\"VTA/NP\" that only the library writes (a job needs a private part that carries it), and the merge is "
           "its own, without the library's conversion";
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
namespace {

std::string Hex32(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

bool LooksLikePrivatePart(const std::string& bytes) {
    if (bytes.size() == kPrivatePartBytes) return true;
    if (bytes.size() < kPrivatePartHeaderBytes || bytes.size() > kPrivatePartBytes) return false;
    return ReadPrivatePartHeader(bytes.data()).dwSignature == kPrivatePartSignature;
}

bool CheckSourceSize(const std::string& bytes, const std::string& name, std::string* error) {
    if (bytes.empty()) {
        *error = name + " is empty: it is neither a private part nor a settings file";
        return false;
    }
    if (bytes.size() > kPrivatePartBytes && bytes.size() >= kPrivatePartHeaderBytes &&
        ReadPrivatePartHeader(bytes.data()).dwSignature == kPrivatePartSignature) {
        *error = name + " has " + std::to_string(bytes.size()) + " bytes, more than a private part's " +
                 std::to_string(kPrivatePartBytes) + ", behind the plug-in's signature; give the private part alone";
        return false;
    }
    return true;
}

bool ReadPrivatePart(const std::string& path, PrivatePart* part, std::string* error) {
    std::string bytes;
    const std::string name = DisplayName(path, false);
    if (!ReadWholeFile(path, &bytes, error, "--private-part") || !CheckSourceSize(bytes, name, error)) return false;
    if (bytes.size() > kPrivatePartBytes) {
        *error = name + " is not a private part: it has " + std::to_string(bytes.size()) +
                 " bytes, more than a private part's " + std::to_string(kPrivatePartBytes);
        return false;
    }
    return PrivatePartOfBytes(bytes, name, part, error);
}

bool PrivatePartOfBytes(const std::string& bytes, const std::string& name, PrivatePart* part, std::string* error) {
    // A part of another size is taken only when it carries the plug-in's
    // signature: anything else is more likely the wrong file than a part.
    if (!LooksLikePrivatePart(bytes)) {
        *error = name + " is not a private part: it has " + std::to_string(bytes.size()) + " bytes (a private part " +
                 std::to_string(kPrivatePartBytes) + ") and no plug-in signature";
        return false;
    }
    part->fill(0);
    std::memcpy(part->data(), bytes.data(), bytes.size());
    const PrivatePartHeader header = ReadPrivatePartHeader(part->data());
    if (bytes.size() < kPrivatePartBytes) {
        Warning(name + " has " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(kPrivatePartBytes) +
                "; the rest is taken as zeros");
    }
    if (header.dwSignature != kPrivatePartSignature) {
        Warning(name + " carries the signature " + Hex32(header.dwSignature) + ", not the plug-in's " +
                Hex32(kPrivatePartSignature) + "; the driver would give the plug-in its defaults instead");
    }
    if (header.dwSize != bytes.size()) {
        Warning(name + " declares " + std::to_string(header.dwSize) + " bytes (dwSize) but has " +
                std::to_string(bytes.size()) + "; the plug-in goes by dwSize");
    }
    return true;
}

bool BuildPrivatePart(DriverSession& session, const SettingsRequest& request, PrivatePart* part, std::string* error) {
    if (request.privatePartFile.empty()) {
        if (!session.Defaults(part, error)) return false;
    } else if (!ReadPrivatePart(request.privatePartFile, part, error)) {
        return false;
    }
    SettingsBlock block = BlockOfPart(part->data());
    for (const std::string& file : request.settingsFiles) {
        std::string text;
        if (!ReadWholeFile(file, &text, error, "--settings")) return false;
        std::string problem;
        if (!ApplySettingsText(text, &block, &problem)) {
            *error = DisplayName(file, false) + ": " + problem;
            return false;
        }
    }
    for (const std::string& assignment : request.assignments) {
        std::string problem;
        if (!ApplyAssignment(assignment, &block, &problem)) {
            *error = "--set " + Printable(assignment) + ": " + problem;
            return false;
        }
    }
    StoreBlockInPart(block, part->data());
    return true;
}

std::vector<FieldChange> ComparePrivateParts(const PrivatePart& before, const PrivatePart& after) {
    const PrivatePartHeader was = ReadPrivatePartHeader(before.data());
    const PrivatePartHeader now = ReadPrivatePartHeader(after.data());
    std::vector<FieldChange> changes;
    if (was.dwSize != now.dwSize) changes.push_back({"dwSize", std::to_string(was.dwSize), std::to_string(now.dwSize)});
    if (was.dwSignature != now.dwSignature) {
        changes.push_back({"dwSignature", Hex32(was.dwSignature), Hex32(now.dwSignature)});
    }
    if (was.dwVersion != now.dwVersion) {
        changes.push_back({"dwVersion", std::to_string(was.dwVersion), std::to_string(now.dwVersion)});
    }
    for (FieldChange& change : CompareBlocks(BlockOfPart(before.data()), BlockOfPart(after.data()))) {
        changes.push_back(std::move(change));
    }
    return changes;
}

bool MergeAndCompare(DriverSession& session, PrivatePart* part, std::vector<FieldChange>* changes, std::string* error) {
    const PrivatePart before = *part;
    if (!session.Merge(part, error)) return false;
    *changes = ComparePrivateParts(before, *part);
    return true;
}

}  // namespace qm22t
