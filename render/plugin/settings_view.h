// The places of the private part that the plug-in frame itself reads.
#pragma once

#include "pjl/pjl_header.h"
#include "platform/platform.h"
#include "settings/private_part.h"
#include "settings/job_identity.h"
#include "settings/settings_access.h"

#include <cstddef>

// The PJL header builder gets this much of the block.
constexpr size_t kHeaderSettingsSize = kPjlHeaderSettingsBytes;


// The settings block of a device object's private part (the bytes after its
// extra header); data is null when the device object or its private part is
// missing. The driver sized the part by the plug-in's own size answer, so the
// whole block is there.
SettingsSpan SettingsBlockOf(const DEVOBJ* pdevobj);
