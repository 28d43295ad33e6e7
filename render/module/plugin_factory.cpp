#include "plugin_factory.h"

#include "common/result_macros.h"
#include "plugin/render_plugin.h"
#include "plugin/server_counts.h"

#include <new>

HRESULT STDMETHODCALLTYPE RenderPluginFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
    RETURN_HR_IF(E_POINTER, ppv == nullptr);
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        static_cast<IClassFactory*>(this)->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE RenderPluginFactory::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

ULONG STDMETHODCALLTYPE RenderPluginFactory::Release() noexcept {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE RenderPluginFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) noexcept {
    RETURN_HR_IF(E_POINTER, ppv == nullptr);
    *ppv = nullptr;
    RETURN_HR_IF(CLASS_E_NOAGGREGATION, pUnkOuter != nullptr);
    RenderPlugin* plugin = new (std::nothrow) RenderPlugin(modules);
    RETURN_IF_NULL_ALLOC(plugin);
    // The query adds the caller's reference; dropping the creation reference
    // then destroys an object whose interface was refused.
    const HRESULT hr = plugin->QueryInterface(riid, ppv);
    plugin->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE RenderPluginFactory::LockServer(BOOL fLock) noexcept {
    if (fLock) {
        InterlockedIncrement(&lockCount);
    } else {
        InterlockedDecrement(&lockCount);
    }
    return S_OK;
}
