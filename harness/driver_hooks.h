// The hook table between the driver and the plug-in: the driver's own DDI
// functions that the plug-in's hooks chain to after their work, and the
// plug-in's hooks found in the table its EnableDriver fills. Builds for the
// host and with mingw-w64 (the Windows smoke program shares it).
#pragma once

#include "platform/platform.h"

namespace harness {

using StartDocHook = BOOL(APIENTRY*)(SURFOBJ*, LPWSTR, DWORD);
using EndDocHook = BOOL(APIENTRY*)(SURFOBJ*, FLONG);
using SendPageHook = BOOL(APIENTRY*)(SURFOBJ*);

// What the driver's functions received from the plug-in's hooks.
struct DriverCalls {
    int startDoc = 0;
    int endDoc = 0;
    int sendPage = 0;
    SURFOBJ* surface = nullptr;  // the last surface handed on
    LPWSTR documentName = nullptr;
    DWORD jobId = 0;
    FLONG endFlags = 0xFFFFFFFF;
};

// The surface of one device context. The driver's functions find the record
// of their device through the surface the hook hands on, so jobs on several
// threads keep separate records. A hook that hands on some other surface
// leaves this record untouched, which the checks of the counts catch.
struct DriverSurface {
    SURFOBJ surface{};
    DriverCalls calls;
    BOOL answer = TRUE;  // what the driver's functions return
};

// The driver's StartDoc, EndDoc and SendPage as the table EnablePDEV receives.
// They take every surface they are handed for a DriverSurface: a device enabled
// with this table gets only DriverSurface surfaces from its caller. The table
// points into the object: it is neither copied nor moved.
class DriverFunctions {
public:
    DriverFunctions() noexcept;
    DriverFunctions(const DriverFunctions&) = delete;
    DriverFunctions& operator=(const DriverFunctions&) = delete;

    DRVENABLEDATA* Table() noexcept { return &table_; }

private:
    DRVFN functions_[3];
    DRVENABLEDATA table_;
};

// The plug-in's hooks by DDI index; a hook the table lacks stays null.
struct PluginHooks {
    StartDocHook startDoc = nullptr;
    EndDocHook endDoc = nullptr;
    SendPageHook sendPage = nullptr;

    static PluginHooks From(const DRVENABLEDATA& table) noexcept;
    bool Complete() const noexcept { return startDoc != nullptr && endDoc != nullptr && sendPage != nullptr; }
};

}  // namespace harness
