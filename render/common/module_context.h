// The two modules the plug-in works with. The module's entry routine finds them
// once, when the process attaches the plug-in, and every part that opens a
// companion file or calls the sibling is handed them; nothing reads them from a
// process-wide variable.
#pragma once

#include "platform/platform.h"

struct ModuleContext {
    // The plug-in's own module; its folder holds the sibling library and the
    // paper-list file.
    HMODULE module = nullptr;
    // The sibling settings library loaded from that folder, or null when it
    // could not be loaded.
    HMODULE sibling = nullptr;
};
