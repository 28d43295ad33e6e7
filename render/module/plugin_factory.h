// The class factory of the plug-in's one class.
#pragma once

#include "common/module_context.h"
#include "platform/platform.h"

// Starts with a reference count of 1 and deletes itself when Release brings
// the count to 0. Offers IUnknown and IClassFactory. Every plug-in object it
// creates works with `modules`.
class RenderPluginFactory final : public IClassFactory {
public:
    explicit RenderPluginFactory(const ModuleContext& modules) : modules(modules) {}
    RenderPluginFactory(const RenderPluginFactory&) = delete;
    RenderPluginFactory& operator=(const RenderPluginFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) noexcept override;

private:
    ~RenderPluginFactory() = default;

    LONG volatile refCount = 1;
    const ModuleContext modules;
};
