// Where the device settings of a command come from: the sibling library's
// defaults or a private part captured from a DEVMODE, then settings files and
// single assignments on top, and finally the plug-in's own merge.
#pragma once

#include "settings_text.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qm22t {

using PrivatePart = std::array<uint8_t, kPrivatePartBytes>;

// The sibling settings library beside the plug-in, as the settings commands
// see it: they do not load the plug-in, so the library counts as there when
// its file is.
constexpr char kSettingsLibraryName[] = "QM22TIE.dll";
struct SettingsLibrary {
    std::string folder;  // the plug-in's folder: --plugin DIR, or where the program finds it
    bool present = false;
};
SettingsLibrary FindSettingsLibrary(const std::string& pluginDir);
// "the sibling library's defaults", or the plug-in's own without the library.
std::string DefaultsName(const SettingsLibrary& library);
// What the absence of the library from `folder` means, in one message.
std::string LibraryAbsence(const std::string& folder);

// The private part a default request gives, computed as the plug-in computes
// it: its own defaults and, with the library, the library's conversion of
// them (the identification written, the rules applied again).
PrivatePart LibraryDefaults(const SettingsLibrary& library);
// The merge a driver asks for after the settings changed, done on the part in
// place as the plug-in does it, and what it changed, header words included
// ("dwSize: 8000 -> 12016").
bool MergeLikeThePlugin(const SettingsLibrary& library, PrivatePart* part, std::vector<FieldChange>* changes,
                        std::string* error);

// A file that holds a private part: the plug-in's signature in its header, or
// exactly the private part's size.
bool LooksLikePrivatePart(const std::string& bytes);

// A source file of a size no source has: an empty file (an error: it would
// stand for the defaults without saying so) or a file longer than a private
// part that carries the plug-in's signature (a whole DEVMODE, or a part with
// something behind it). False with the reason.
bool CheckSourceSize(const std::string& bytes, const std::string& name, std::string* error);

// A captured private part. A shorter one (an older driver's) is taken with
// zeros behind it, as its dwSize tells the plug-in to do; a warning says so,
// and one says when the header is not the plug-in's.
bool ReadPrivatePart(const std::string& path, PrivatePart* part, std::string* error);
// The same for bytes already read; `name` names them in messages.
bool PrivatePartOfBytes(const std::string& bytes, const std::string& name, PrivatePart* part, std::string* error);

struct SettingsRequest {
    std::string privatePartFile;             // empty: start from the defaults
    std::vector<std::string> settingsFiles;  // applied in order
    std::vector<std::string> assignments;    // "Field=value", applied last
};

// The part before any merge: the defaults or the captured part, with the
// settings files and assignments applied.
bool BuildPrivatePart(const PrivatePart& defaults, const SettingsRequest& request, PrivatePart* part,
                      std::string* error);

// The differences between two private parts, header words first.
std::vector<FieldChange> ComparePrivateParts(const PrivatePart& before, const PrivatePart& after);

}  // namespace qm22t
