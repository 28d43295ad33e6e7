#include "plugin/render_plugin.h"

#include "common/function_cast.h"
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
constexpr DWORD kCommandNotHandled = 50;     // nothing injected at this point
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
    coreHelper.Detach();
    InterlockedDecrement(&liveObjects);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemPS2)) {
        *ppv = static_cast<IPrintOemPS2*>(this);
        AddRef();
        return S_OK;
    }
    // IID_IPrintOemPS included: the driver then uses the newer interface.
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE RenderPlugin::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

ULONG STDMETHODCALLTYPE RenderPlugin::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
    if (pcbNeeded == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    DWORD value = 0;
    switch (dwMode) {
    case OEMGI_GETSIGNATURE:
        value = kPluginSignature;
        break;
    case OEMGI_GETVERSION:
        value = kPluginVersion;
        break;
    case OEMGI_GETREQUESTEDHELPERINTERFACES:
        value = OEMPUBLISH_IPRINTCOREHELPER;
        break;
    case OEMGI_GETPUBLISHERINFO:
        // No publisher information: the size is reported, nothing is written
        // and the thread's last error stays as it was.
        *pcbNeeded = sizeof(PUBLISHERINFO);
        return E_FAIL;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    *pcbNeeded = sizeof(DWORD);
    if (pBuffer == nullptr || cbSize < sizeof(DWORD)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return E_FAIL;
    }
    std::memcpy(pBuffer, &value, sizeof(value));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    return HandleDevMode(dwMode, pOemDMParam, coreHelper.HeldInterface(), modules);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::EnableDriver(DWORD DriverVersion, DWORD, PDRVENABLEDATA pded) {
    if (pded == nullptr) return E_POINTER;
    pded->iDriverVersion = DriverVersion;
    pded->c = kHookCount;
    pded->pdrvfn = hookTable;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DisableDriver() {
    driverServices.Reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO*, ULONG, DEVINFO*,
                                                   DRVENABLEDATA* pded, PDEVOEM* pDevOem) {
    // Without a place to store the block it could never be freed again.
    if (pDevOem == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    PluginPdev* block = new (std::nothrow) PluginPdev;
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return E_FAIL;
    }
    block->driverSendPage = FunctionAs<DriverSendPageFunction>(FindDriverFunction(pded, INDEX_DrvSendPage));
    block->driverStartDoc = FunctionAs<DriverStartDocFunction>(FindDriverFunction(pded, INDEX_DrvStartDoc));
    block->driverEndDoc = FunctionAs<DriverEndDocFunction>(FindDriverFunction(pded, INDEX_DrvEndDoc));
    block->pageCount = 0;
    block->modules = modules;
    *pDevOem = block;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DisablePDEV(PDEVOBJ pdevobj) {
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

HRESULT STDMETHODCALLTYPE RenderPlugin::ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) {
    PluginPdev* oldBlock = PdevOf(pdevobjOld);
    PluginPdev* newBlock = PdevOf(pdevobjNew);
    if (oldBlock == nullptr || newBlock == nullptr) return S_OK;
    TakeOverPdevState(*newBlock, *oldBlock);
    CarryJobSettings(pdevobjOld, pdevobjNew, newBlock->pageCount);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::PublishDriverInterface(IUnknown* pIUnknown) {
    if (pIUnknown == nullptr) return E_POINTER;
    if (coreHelper.HeldInterface() == nullptr) {
        void* helper = nullptr;
        const HRESULT hr = pIUnknown->QueryInterface(IID_IPrintCoreHelperPS, &helper);
        if (SUCCEEDED(hr) && helper != nullptr) {
            coreHelper.Attach(IID_IPrintCoreHelperPS, static_cast<IPrintCoreHelperPS*>(helper));
            return hr;
        }
    }
    if (!driverServices) {
        void* services = nullptr;
        const HRESULT hr = pIUnknown->QueryInterface(IID_IPrintOemDriverPS, &services);
        if (FAILED(hr) || services == nullptr) return E_FAIL;
        driverServices.Reset(static_cast<IPrintOemDriverPS*>(services));
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID, DWORD, DWORD* pdwResult) {
    if (dwIndex != PSINJECT_BEGINSTREAM) {
        SetResult(pdwResult, kCommandNotHandled);
        return E_NOTIMPL;
    }
    // A device object without private part has no identification either, and
    // is refused like one whose settings lack it.
    HeaderInputs inputs;
    if (!PrepareHeaderInputs(SettingsOf(pdevobj).data, inputs)) {
        SetResult(pdwResult, kCommandNoIdentification);
        return E_FAIL;
    }
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

HRESULT STDMETHODCALLTYPE RenderPlugin::WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer, PDWORD pcbWritten) {
    if (PdevOf(pdevobj) == nullptr) return WriteToSpooler(pdevobj, pBuf, cbBuffer, pcbWritten);
    // A device object with a block but no private part is refused like a
    // settings block without identification.
    const SettingsView settings = AsView(SettingsOf(pdevobj));
    if (!HasSettingsIdentification(settings)) {
        if (pcbWritten != nullptr) *pcbWritten = 0;
        return E_FAIL;
    }
    PluginPdev* block = PdevOf(pdevobj);
    if (block->headerBroken) {
        if (pcbWritten != nullptr) *pcbWritten = 0;
        SetLastError(block->headerError);
        return E_FAIL;
    }
    const FilterJob job{pdevobj->hPrinter, static_cast<HMODULE>(pdevobj->hOEM), settings, block->documentName};
    return StreamFilterWrite(block->filter, job, pBuf, cbBuffer, pcbWritten);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::GetPDEVAdjustment(PDEVOBJ, DWORD, PVOID, DWORD, BOOL*) { return E_NOTIMPL; }
