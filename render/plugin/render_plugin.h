// The object through which the PostScript driver drives the plug-in.
#pragma once

#include "common/module_context.h"
#include "platform/platform.h"
#include "plugin/core_helper_proxy.h"

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

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) override;

    HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize, PDRVENABLEDATA pded) override;
    HRESULT STDMETHODCALLTYPE DisableDriver() override;
    HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns, HSURF* phsurfPatterns,
                                         ULONG cjGdiInfo, GDIINFO* pGdiInfo, ULONG cjDevInfo, DEVINFO* pDevInfo,
                                         DRVENABLEDATA* pded, PDEVOEM* pDevOem) override;
    HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) override;
    HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) override;

    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) override;
    HRESULT STDMETHODCALLTYPE Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pData, DWORD cbSize,
                                      DWORD* pdwResult) override;

    HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer, PDWORD pcbWritten) override;
    HRESULT STDMETHODCALLTYPE GetPDEVAdjustment(PDEVOBJ pdevobj, DWORD dwAdjustType, PVOID pBuf, DWORD cbBuffer,
                                                BOOL* pbAdjustmentDone) override;

private:
    ~RenderPlugin();

    LONG volatile refCount = 1;
    const ModuleContext modules;
    ComPtr<IPrintOemDriverPS> driverServices;
    CoreHelperProxy coreHelper;
};
