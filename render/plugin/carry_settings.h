// What a settings change in the middle of a document keeps from the settings
// the job started with.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>

// A field of the public DEVMODEW (byte offset, width). Rows marked
// skipAfterOnePage are left to the new settings while exactly one page has
// been sent.
struct PublicCarryRow {
    size_t offset;
    size_t width;
    bool skipAfterOnePage;
};

// A byte range of the settings block, both ends included.
struct PrivateCarryRow {
    size_t first;
    size_t last;
    bool skipAfterOnePage;
};

constexpr size_t kPublicCarryRows = 9;
constexpr size_t kPrivateCarryRows = 35;
extern const PublicCarryRow kPublicCarryTable[kPublicCarryRows];
extern const PrivateCarryRow kPrivateCarryTable[kPrivateCarryRows];

// Copies the job-level settings from the old device object's settings into the
// new one's once a page has been sent: nothing for pageCount 0 or below,
// nothing when either device object lacks its public DEVMODEW or its private
// part. A public field is carried only when it lies within dmSize of both
// DEVMODEWs, so a short public part is never read or written past its end.
void CarryJobSettings(const DEVOBJ* oldDevice, DEVOBJ* newDevice, int32_t pageCount);
