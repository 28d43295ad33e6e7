#include "common/companion_path.h"

#include "common/wtext.h"

bool BuildCompanionPath(HMODULE module, size_t directoryCapacity, const WCHAR* fileName, WCHAR* out) {
    if (out == nullptr) return false;
    out[0] = 0;
    WCHAR modulePath[kPathCapacity] = {};
    const DWORD length = GetModuleFileNameW(module, modulePath, static_cast<DWORD>(kPathCapacity));
    if (length == 0 || length >= kPathCapacity) return false;
    WCHAR drive[3] = {};
    WCHAR directory[kPathCapacity] = {};
    if (directoryCapacity > kPathCapacity) directoryCapacity = kPathCapacity;
    if (!WSplitDriveDirectory(modulePath, drive, sizeof(drive) / sizeof(drive[0]), directory, directoryCapacity)) {
        return false;
    }
    if (!WTextJoin3(out, kPathCapacity, drive, directory, fileName)) {
        out[0] = 0;
        return false;
    }
    return true;
}
