// Where the device settings of a command come from: the sibling library's
// defaults or a private part captured from a DEVMODE, then settings files and
// single assignments on top, and finally the plug-in's own merge.
#pragma once

#include "harness/driver_session.h"
#include "settings_text.h"

#include <string>
#include <vector>

namespace qm22t {

using harness::DefaultPluginFolder;
using harness::DriverSession;
using harness::PrivatePart;
using harness::SessionOptions;

// Where the defaults of an open session come from: "the sibling library's
// defaults", or the plug-in's own when QM22TIE.dll is not beside it.
std::string DefaultsName(const DriverSession& session);
// Empty when the sibling library is loaded; else what its absence means, as
// "no QM22TIE.dll beside the plug-in in DIR: ..." (or that it is there but
// could not be loaded).
std::string SiblingAbsence(const DriverSession& session, const std::string& pluginDir);

// The folder the plug-in's work folder goes to (TMPDIR, else /tmp) can take
// it: false with the reason, which names TMPDIR and the fix.
bool CheckTemporaryFolder(std::string* error);

// The exit code a failure to open the session deserves (kExitOk when it opened).
int ExitCodeOf(harness::OpenResult result);

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
bool BuildPrivatePart(DriverSession& session, const SettingsRequest& request, PrivatePart* part, std::string* error);

// The differences between two private parts, header words first.
std::vector<FieldChange> ComparePrivateParts(const PrivatePart& before, const PrivatePart& after);

// Runs the plug-in's merge on the part and tells what it changed, header
// words included ("dwSize: 8000 -> 12016").
bool MergeAndCompare(DriverSession& session, PrivatePart* part, std::vector<FieldChange>* changes, std::string* error);

}  // namespace qm22t
