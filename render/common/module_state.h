// Process-wide handles, written only by the module's entry routine (under the
// loader lock) and read afterwards without locking.
#pragma once

#include "platform/platform.h"

// The plug-in's own module; its folder holds the sibling library and the
// paper-list file.
extern HMODULE moduleHandle;

// The sibling settings library loaded from the plug-in's folder, or null.
extern HMODULE siblingLibrary;
