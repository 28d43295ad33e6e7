// What Command hands the PJL header builder at the start of a job.
#pragma once

#include "platform/platform.h"
#include "pjl/pjl_header.h"
#include "settings/job_identity.h"

struct HeaderInputs {
    // The first kPjlHeaderSettingsBytes of the settings block, with today's date in the
    // date text when the block's date switch asks for it.
    BYTE settings[kPjlHeaderSettingsBytes];
    WCHAR userName[kUserNameUnits];
};

// Fills `out` from a settings block of the full size. Returns false, leaving
// `out` unspecified, when the block is null or lacks the identification text.
//
// User name: JobUserName's, the block's stored name when its switch is set or
// else the name the thread runs as, cut after kJobUserNameMaxChars characters;
// when the system reports no name at all the builder gets the empty text.
//
// Date: with the date switch at zero, the copy's date text holds today's local
// date in the system's short date format (empty if that cannot be formatted).
// The date goes into the copy only, never into the driver's settings, so the
// driver's date text stays exactly as it was even if a later step fails.
[[nodiscard]] bool PrepareHeaderInputs(const BYTE* settingsBlock, HeaderInputs& out);
