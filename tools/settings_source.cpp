#include "settings_source.h"

#include "cli.h"

#include "core/private_part.h"
#include "core/settings_text.h"
#include "harness/driver_session.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace qm22t {

namespace {

std::string Hex32(uint32_t value) {
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

bool BuildPrivatePart(const PrivatePart& defaults, const SettingsRequest& request, PrivatePart* part,
                      std::string* error) {
    if (request.privatePartFile.empty()) {
        *part = defaults;
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

SettingsLibrary FindSettingsLibrary(const std::string& pluginDir) {
    SettingsLibrary library;
    library.folder = pluginDir.empty() ? harness::DefaultPluginFolder() : pluginDir;
    library.present = access((library.folder + "/" + kSettingsLibraryName).c_str(), F_OK) == 0;
    return library;
}

std::string DefaultsName(const SettingsLibrary& library) {
    return library.present ? "the sibling library's defaults" : "the plug-in's own defaults (without QM22TIE.dll)";
}

std::string LibraryAbsence(const std::string& folder) {
    return "no QM22TIE.dll beside the plug-in in " + folder +
           ": the plug-in works without it, as on Windows: the defaults are its own, without the identification "
           "\"VTA/NP\" that only the library writes (a job needs a private part that carries it), and the merge is "
           "its own, without the library's conversion";
}

namespace {

// What the library's conversion leaves in the settings block of a default or
// merge request: the block as the plug-in handed it over, with the
// identification written; the plug-in validates what comes back.
void ConvertThroughLibrary(PrivatePart* part) {
    const SettingsSpan settings{part->data() + kPrivatePartHeaderBytes, kSettingsBlockBytes};
    static const Char16 kIdentification[] = u"VTA/NP";
    static_assert(sizeof kIdentification == kIdentificationBytes, "the identification fills its field");
    WriteFieldText(settings, *FindSettingsField("Identification"), kIdentification);
    ValidateSettings(settings);
}

}  // namespace

PrivatePart LibraryDefaults(const SettingsLibrary& library) {
    PrivatePart part{};
    WriteDefaultPrivatePart(part.data(), part.size());
    if (library.present) ConvertThroughLibrary(&part);
    return part;
}

bool MergeLikeThePlugin(const SettingsLibrary& library, PrivatePart* part, std::vector<FieldChange>* changes,
                        std::string* error) {
    const PrivatePart before = *part;
    const Status merged = MergePrivatePart(part->data(), part->data(), part->size());
    if (merged.Failed()) {
        *error = "the merge of the private part failed";
        return false;
    }
    if (library.present) ConvertThroughLibrary(part);
    *changes = ComparePrivateParts(before, *part);
    return true;
}

}  // namespace qm22t
