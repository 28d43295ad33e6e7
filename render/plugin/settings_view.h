// The places of the private part that the plug-in frame itself reads.
#pragma once

#include "platform/platform.h"
#include "settings/settings_access.h"

#include <cstddef>

// The private part is a 12-byte extra header followed by the settings block;
// every settings offset counts from the block's first byte.
constexpr size_t kPrivateHeaderSize = 12;

// The PJL header builder gets this much of the block.
constexpr size_t kHeaderSettingsSize = 12000;

constexpr size_t kUserNameSwitchOffset = 7248;  // 1 byte, non-zero: use the stored name
constexpr size_t kUserNameOffset = 7250;        // 21 UTF-16 units
constexpr size_t kUserNameUnits = 21;
constexpr size_t kDateSwitchOffset = 959;  // 1 byte, zero: today's date
constexpr size_t kDateTextOffset = 960;    // 24 UTF-16 units
constexpr size_t kDateTextUnits = 24;

// The settings block of a device object's private part; data is null when the
// device object or its private part is missing.
SettingsSpan SettingsBlockOf(const DEVOBJ* pdevobj);
