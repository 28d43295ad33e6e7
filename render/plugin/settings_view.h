// The places of the private part that the plug-in frame itself reads.
#pragma once

#include "pjl/pjl_header.h"
#include "platform/platform.h"
#include "settings/private_part.h"
#include "settings/settings_access.h"

#include <cstddef>

// The PJL header builder gets this much of the block.
constexpr size_t kHeaderSettingsSize = kPjlHeaderSettingsBytes;

constexpr size_t kUserNameSwitchOffset = 7248;  // 1 byte, non-zero: use the stored name
constexpr size_t kUserNameOffset = 7250;        // 21 UTF-16 units
constexpr size_t kUserNameUnits = 21;
constexpr size_t kDateSwitchOffset = 959;  // 1 byte, zero: today's date
constexpr size_t kDateTextOffset = 960;    // 24 UTF-16 units
constexpr size_t kDateTextUnits = 24;

// The settings block of a device object's private part (the bytes after its
// extra header); data is null when the device object or its private part is
// missing. The driver sized the part by the plug-in's own size answer, so the
// whole block is there.
SettingsSpan SettingsBlockOf(const DEVOBJ* pdevobj);
