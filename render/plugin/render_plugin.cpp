#include "plugin/render_plugin.h"

#include "common/function_cast.h"
#include "common/result_macros.h"
#include "pjl/pjl_header.h"
#include "plugin/carry_settings.h"
#include "plugin/document_hooks.h"
#include "plugin/header_inputs.h"
#include "plugin/job_cancel.h"
#include "plugin/plugin_pdev.h"
#include "plugin/server_counts.h"
#include "psfilter/stream_filter.h"
#include "settings/devmode_handler.h"

#include <cstring>
#include <new>

namespace {

// Result codes Command leaves for the driver.
constexpr DWORD kCommandNotHandled = 50;  // nothing injected at this point
constexpr DWORD kCommandNoIdentification = 160;

// The driver's own function for a DDI index: the first entry of its table with
// that index, null when the table has none (or no table was given).
PFN FindDriverFunction(const DRVENABLEDATA* pded, ULONG index) {
    if (pded == nullptr || pded->pdrvfn == nullptr) return nullptr;
    for (ULONG i = 0; i < pded->c; ++i) {
        if (pded->pdrvfn[i].iFunc == index) return pded->pdrvfn[i].pfn;
    }
    return nullptr;
}

void SetResult(DWORD* pdwResult, DWORD value) {
    if (pdwResult != nullptr) *pdwResult = value;
}

// The number GetInfo reports for a mode; false for a mode without one.
bool InfoValue(DWORD dwMode, DWORD* value) {
    switch (dwMode) {
        case OEMGI_GETSIGNATURE: *value = kPluginSignature; return true;
        case OEMGI_GETVERSION: *value = kPluginVersion; return true;
        case OEMGI_GETREQUESTEDHELPERINTERFACES: *value = OEMPUBLISH_IPRINTCOREHELPER; return true;
        default: return false;
    }
}

// The last error that goes with a header's outcome: the spooler's (already the
// thread's last error) for a failed write, out of memory for a shortage.
DWORD HeaderLastError(HRESULT header) {
    if (SUCCEEDED(header)) return ERROR_SUCCESS;
    return header == E_OUTOFMEMORY ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) : GetLastError();
}

}  // namespace

DRVFN hookTable[kHookCount] = {
    {INDEX_DrvSendPage, FunctionAs<PFN>(&SendPageHook)},
    {INDEX_DrvStartDoc, FunctionAs<PFN>(&StartDocHook)},
    {INDEX_DrvEndDoc, FunctionAs<PFN>(&EndDocHook)},
};

RenderPlugin::RenderPlugin(const ModuleContext& modules) : modules(modules) { InterlockedIncrement(&liveObjects); }

RenderPlugin::~RenderPlugin() {
    // Driver services before the core helper: left to the members, the order would be reversed.
    driverServices.Reset();
    coreHelper.Reset();
    InterlockedDecrement(&liveObjects);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::QueryInterface(REFIID riid, void** ppv) noexcept {
    RETURN_HR_IF(E_POINTER, ppv == nullptr);
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemPS2)) {
        *ppv = static_cast<IPrintOemPS2*>(this);
        AddRef();
        return S_OK;
    }
    // IID_IPrintOemPS included: the driver then uses the newer interface.
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE RenderPlugin::AddRef() noexcept { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

ULONG STDMETHODCALLTYPE RenderPlugin::Release() noexcept {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) noexcept {
    RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INVALID_PARAMETER, pcbNeeded == nullptr);
    if (dwMode == OEMGI_GETPUBLISHERINFO) {
        // No publisher information, the interface's answer for "none": the
        // size is reported, nothing is written and the thread's last error
        // stays as it was.
        *pcbNeeded = sizeof(PUBLISHERINFO);
        return E_FAIL;
    }
    DWORD value = 0;
    RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INVALID_PARAMETER, !InfoValue(dwMode, &value));
    *pcbNeeded = sizeof(DWORD);
    RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INSUFFICIENT_BUFFER, pBuffer == nullptr || cbSize < sizeof(DWORD));
    std::memcpy(pBuffer, &value, sizeof(value));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) noexcept {
    return DriverConventionResult(HandleDevMode(dwMode, pOemDMParam, coreHelper.Get(), modules));
}

HRESULT STDMETHODCALLTYPE RenderPlugin::EnableDriver(DWORD DriverVersion, DWORD, PDRVENABLEDATA pded) noexcept {
    RETURN_HR_IF(E_POINTER, pded == nullptr);
    pded->iDriverVersion = DriverVersion;
    pded->c = kHookCount;
    pded->pdrvfn = hookTable;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DisableDriver() noexcept {
    driverServices.Reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO*, ULONG, DEVINFO*,
                                                   DRVENABLEDATA* pded, PDEVOEM* pDevOem) noexcept {
    // Without a place to store the block it could never be freed again.
    RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INVALID_PARAMETER, pDevOem == nullptr);
    PluginPdev* block = new (std::nothrow) PluginPdev;
    RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_NOT_ENOUGH_MEMORY, block == nullptr);
    block->driverSendPage = FunctionAs<DriverSendPageFunction>(FindDriverFunction(pded, INDEX_DrvSendPage));
    block->driverStartDoc = FunctionAs<DriverStartDocFunction>(FindDriverFunction(pded, INDEX_DrvStartDoc));
    block->driverEndDoc = FunctionAs<DriverEndDocFunction>(FindDriverFunction(pded, INDEX_DrvEndDoc));
    block->pageCount = 0;
    block->modules = modules;
    *pDevOem = block;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DisablePDEV(PDEVOBJ pdevobj) noexcept {
    PluginPdev* block = PdevOf(pdevobj);
    if (block != nullptr) {
        // A document the driver never ended: what the filter still holds was
        // taken from the driver and goes out now rather than with the block.
        // DisablePDEV never fails; a spooler failure here has no one to hear it.
        (void)EndStream(pdevobj, *block);
        delete block;
        pdevobj->pdevOEM = nullptr;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) noexcept {
    PluginPdev* oldBlock = PdevOf(pdevobjOld);
    PluginPdev* newBlock = PdevOf(pdevobjNew);
    if (oldBlock == nullptr || newBlock == nullptr) return S_OK;
    TakeOverPdevState(*newBlock, *oldBlock);
    CarryJobSettings(pdevobjOld, pdevobjNew, newBlock->pageCount);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::PublishDriverInterface(IUnknown* pIUnknown) noexcept {
    RETURN_HR_IF(E_POINTER, pIUnknown == nullptr);
    if (!coreHelper) {
        void* helper = nullptr;
        const HRESULT hr = pIUnknown->QueryInterface(IID_IPrintCoreHelperPS, &helper);
        if (SUCCEEDED(hr) && helper != nullptr) {
            coreHelper.Reset(static_cast<IPrintCoreHelperPS*>(helper));
            return hr;
        }
    }
    if (!driverServices) {
        void* services = nullptr;
        const HRESULT hr = pIUnknown->QueryInterface(IID_IPrintOemDriverPS, &services);
        RETURN_HR_IF(E_FAIL, FAILED(hr) || services == nullptr);
        driverServices.Reset(static_cast<IPrintOemDriverPS*>(services));
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID, DWORD,
                                                DWORD* pdwResult) noexcept {
    if (dwIndex != PSINJECT_BEGINSTREAM) {
        SetResult(pdwResult, kCommandNotHandled);
        return E_NOTIMPL;
    }
    // A device object without private part has no identification either, and
    // is refused like one whose settings lack it.
    HeaderInputs inputs;
    const bool identified = PrepareHeaderInputs(SettingsOf(pdevobj).data, inputs);
    if (!identified) SetResult(pdwResult, kCommandNoIdentification);
    RETURN_HR_IF(E_FAIL, !identified);
    // Without a per-device block no StartDoc has named the document: the
    // header then carries an empty document name. The answer stays "not
    // handled" whatever the header met (the driver injects nothing here);
    // a header that did not reach the spooler whole leaves its error as the
    // last error and fails the rest of the document (PluginPdev::headerBroken).
    PluginPdev* block = PdevOf(pdevobj);
    const HRESULT header = BuildPjlHeader(modules, pdevobj->hPrinter, inputs.settings,
                                          block != nullptr ? block->documentName : nullptr, inputs.userName);
    const DWORD headerError = HeaderLastError(header);
    if (block != nullptr) {
        block->headerBroken = FAILED(header);
        block->headerError = headerError;
    }
    if (FAILED(header)) SetLastError(headerError);
    // The driver injects nothing itself at the stream's start.
    SetResult(pdwResult, kCommandNotHandled);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer,
                                                     PDWORD pcbWritten) noexcept {
    if (PdevOf(pdevobj) == nullptr) return WriteToSpooler(pdevobj, pBuf, cbBuffer, pcbWritten);
    // A device object with a block but no private part is refused like a
    // settings block without identification.
    const SettingsView settings = AsView(SettingsOf(pdevobj));
    const bool identified = HasSettingsIdentification(settings);
    if (!identified && pcbWritten != nullptr) *pcbWritten = 0;
    RETURN_HR_IF(E_FAIL, !identified);
    PluginPdev* block = PdevOf(pdevobj);
    if (block->headerBroken && pcbWritten != nullptr) *pcbWritten = 0;
    RETURN_HR_IF_SET_ERROR(E_FAIL, block->headerError, block->headerBroken);
    const FilterJob job{pdevobj->hPrinter, static_cast<HMODULE>(pdevobj->hOEM), settings, block->documentName};
    return StreamFilterWrite(block->filter, job, pBuf, cbBuffer, pcbWritten);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::GetPDEVAdjustment(PDEVOBJ, DWORD, PVOID, DWORD, BOOL*) noexcept {
    return E_NOTIMPL;
}
