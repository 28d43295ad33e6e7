// The object through which the PostScript driver drives the plug-in.
#pragma once

#include "common/module_context.h"
#include "common/unique_handle.h"
#include "platform/platform.h"

// The plug-in's hooked DDI functions, in the order handed to the driver:
// DrvSendPage, DrvStartDoc, DrvEndDoc. The driver only reads it.
constexpr ULONG kHookCount = 3;
extern DRVFN hookTable[kHookCount];

// Values GetInfo reports.
constexpr DWORD kPluginSignature = 0x4D534654;
constexpr DWORD kPluginVersion = 1;

// Created by the class factory with a reference count of 1 and destroyed by
// the Release that brings the count to 0. Only IUnknown and IPrintOemPS2 are
// offered. No method lets an exception escape. `modules` are the plug-in's own
// module and the sibling library, found when the process attached the module.
class RenderPlugin final : public IPrintOemPS2 {
public:
    explicit RenderPlugin(const ModuleContext& modules);
    RenderPlugin(const RenderPlugin&) = delete;
    RenderPlugin& operator=(const RenderPlugin&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) noexcept override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) noexcept override;

    HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize, PDRVENABLEDATA pded) noexcept override;
    HRESULT STDMETHODCALLTYPE DisableDriver() noexcept override;
    HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns, HSURF* phsurfPatterns,
                                         ULONG cjGdiInfo, GDIINFO* pGdiInfo, ULONG cjDevInfo, DEVINFO* pDevInfo,
                                         DRVENABLEDATA* pded, PDEVOEM* pDevOem) noexcept override;
    HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) noexcept override;
    HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) noexcept override;

    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) noexcept override;
    HRESULT STDMETHODCALLTYPE Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pData, DWORD cbSize,
                                      DWORD* pdwResult) noexcept override;

    HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer,
                                           PDWORD pcbWritten) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPDEVAdjustment(PDEVOBJ pdevobj, DWORD dwAdjustType, PVOID pBuf, DWORD cbBuffer,
                                                BOOL* pbAdjustmentDone) noexcept override;

private:
    ~RenderPlugin();

    LONG volatile refCount = 1;
    const ModuleContext modules;
    ComPtr<IPrintOemDriverPS> driverServices;
    // The driver's core helper, held for the object's lifetime and handed as
    // it is to the device-settings handler. It only ever comes from a query for
    // IID_IPrintCoreHelperPS, so it needs no wrapper that checks its kind again.
    ComPtr<IPrintCoreHelperPS> coreHelper;
};
