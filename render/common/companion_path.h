// Paths of the files that lie next to the plug-in module.
#pragma once

#include "platform/platform.h"

#include <cstddef>

// Room for module paths, document names and companion paths, in units with the terminator.
constexpr size_t kPathCapacity = 520;

// Builds drive + directory of `module`'s own path + fileName into out (kPathCapacity units).
// directoryCapacity is the room for the directory part, terminator included (256 for the
// module entry and the paper-list file, 512 for the cancellation notice).
//
// When the module path cannot be read, or its directory does not fit directoryCapacity,
// this returns false and out is empty. Callers then do without the companion file rather
// than hand a bare file name to the system's search order, which could pick up a file of
// the same name from some other folder.
[[nodiscard]] bool BuildCompanionPath(HMODULE module, size_t directoryCapacity, const WCHAR* fileName, WCHAR* out);
