// Entry routine and COM server exports of the plug-in module.
#include "module_exports.h"
#include "plugin_factory.h"

#include "common/companion_path.h"
#include "common/debug_trace.h"
#include "common/module_context.h"
#include "common/result_macros.h"
#include "plugin/server_counts.h"

#include <new>

namespace {

// Room for the folder the entry routine looks for the sibling library in,
// terminator included.
constexpr size_t kSiblingDirectoryCapacity = 256;
static_assert(kSiblingDirectoryCapacity <= kPathCapacity, "the folder is part of the library's path");

// Filled by the entry routine under the loader lock and only read afterwards:
// every class factory hands it to the plug-in objects it creates.
ModuleContext attachedModules;

void AttachProcess(HINSTANCE hinstDLL) {
    InitDebugTrace();
    InitCommonControls();
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    // A folder whose path does not fit leaves the sibling library absent: a
    // bare file name would let the system's search order pick up a library of
    // the same name from some other folder.
    WCHAR path[kPathCapacity] = {};
    attachedModules.sibling = BuildCompanionPath(hinstDLL, kSiblingDirectoryCapacity, WIDE("QM22TIE.dll"), path)
                                  ? LoadLibraryW(path)
                                  : nullptr;
    attachedModules.module = hinstDLL;
}

void DetachProcess() {
    if (attachedModules.sibling != nullptr) {
        FreeLibrary(attachedModules.sibling);
        attachedModules.sibling = nullptr;
    }
}

}  // namespace

extern "C" MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    if (fdwReason == DLL_PROCESS_ATTACH) {
        AttachProcess(hinstDLL);
    } else if (fdwReason == DLL_PROCESS_DETACH) {
        DetachProcess();
    }
    return TRUE;
}

STDAPI MODULE_EXPORT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    RETURN_HR_IF(E_POINTER, ppv == nullptr);
    *ppv = nullptr;
    RETURN_HR_IF(CLASS_E_CLASSNOTAVAILABLE, !IsEqualCLSID(rclsid, CLSID_OEMRENDER));
    RenderPluginFactory* factory = new (std::nothrow) RenderPluginFactory(attachedModules);
    RETURN_IF_NULL_ALLOC(factory);
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI MODULE_EXPORT DllCanUnloadNow(void) {
    // Read through an interlocked operation, like every other access.
    const LONG objects = InterlockedCompareExchange(&liveObjects, 0, 0);
    const LONG locks = InterlockedCompareExchange(&lockCount, 0, 0);
    return objects == 0 && locks == 0 ? S_OK : S_FALSE;
}
