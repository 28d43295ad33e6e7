#include "harness/driver_hooks.h"

#include "common/function_cast.h"

#include <type_traits>

namespace harness {
namespace {

static_assert(std::is_standard_layout_v<DriverSurface>, "the surface must be the record's first member");

DriverSurface* SurfaceRecord(SURFOBJ* surface) noexcept { return reinterpret_cast<DriverSurface*>(surface); }

BOOL APIENTRY DriverStartDoc(SURFOBJ* surface, LPWSTR documentName, DWORD jobId) {
    DriverSurface* record = SurfaceRecord(surface);
    ++record->calls.startDoc;
    record->calls.surface = surface;
    record->calls.documentName = documentName;
    record->calls.jobId = jobId;
    return record->answer;
}

BOOL APIENTRY DriverEndDoc(SURFOBJ* surface, FLONG flags) {
    DriverSurface* record = SurfaceRecord(surface);
    ++record->calls.endDoc;
    record->calls.surface = surface;
    record->calls.endFlags = flags;
    return record->answer;
}

BOOL APIENTRY DriverSendPage(SURFOBJ* surface) {
    DriverSurface* record = SurfaceRecord(surface);
    ++record->calls.sendPage;
    record->calls.surface = surface;
    return record->answer;
}

}  // namespace

DriverFunctions::DriverFunctions() noexcept
    : functions_{{INDEX_DrvStartDoc, FunctionAs<PFN>(&DriverStartDoc)},
                 {INDEX_DrvEndDoc, FunctionAs<PFN>(&DriverEndDoc)},
                 {INDEX_DrvSendPage, FunctionAs<PFN>(&DriverSendPage)}},
      table_{DDI_DRIVER_VERSION_NT5, 3, functions_} {}

PluginHooks PluginHooks::From(const DRVENABLEDATA& table) noexcept {
    PluginHooks hooks;
    for (ULONG i = 0; table.pdrvfn != nullptr && i < table.c; ++i) {
        const DRVFN& entry = table.pdrvfn[i];
        if (entry.iFunc == INDEX_DrvStartDoc) hooks.startDoc = FunctionAs<StartDocHook>(entry.pfn);
        if (entry.iFunc == INDEX_DrvEndDoc) hooks.endDoc = FunctionAs<EndDocHook>(entry.pfn);
        if (entry.iFunc == INDEX_DrvSendPage) hooks.sendPage = FunctionAs<SendPageHook>(entry.pfn);
    }
    return hooks;
}

}  // namespace harness
