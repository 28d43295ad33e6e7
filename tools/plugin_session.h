// What `qm22t run` asks of the plug-in it loads on the simulated Windows: the
// session's setup and the answers of its device-settings requests.
#pragma once

#include "harness/driver_session.h"
#include "settings_source.h"

#include <string>
#include <vector>

namespace qm22t {

using harness::DefaultPluginFolder;
using harness::DriverSession;
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

// Runs the plug-in's merge on the part and tells what it changed, header
// words included ("dwSize: 8000 -> 12016").
bool MergeAndCompare(DriverSession& session, PrivatePart* part, std::vector<FieldChange>* changes, std::string* error);

}  // namespace qm22t
