#include "harness/core_helper.h"

#include <cstring>

namespace harness {
namespace {

std::string TextOrEmpty(PCSTR s) { return s != nullptr ? std::string(s) : std::string(); }

std::vector<BYTE> UnitsAsBytes(const WString& units, bool terminated) {
    std::vector<BYTE> bytes((units.size() + (terminated ? 1 : 0)) * sizeof(WCHAR), 0);
    if (!units.empty()) {
        std::memcpy(bytes.data(), units.data(), units.size() * sizeof(WCHAR));
    }
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------
// CoreHelper

void CoreHelper::SetDisplayName(const std::string& keyword, const WString& name) {
    displayNames_[keyword] = UnitsAsBytes(name, true);
}

void CoreHelper::SetUnterminatedDisplayName(const std::string& keyword, const WString& units) {
    displayNames_[keyword] = UnitsAsBytes(units, false);
}

HRESULT STDMETHODCALLTYPE CoreHelper::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPrintCoreHelper || riid == IID_IPrintCoreHelperPS) {
        *ppv = static_cast<IPrintCoreHelperPS*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CoreHelper::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE CoreHelper::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }

HRESULT STDMETHODCALLTYPE CoreHelper::GetOption(const DEVMODEW*, DWORD, PCSTR, PCSTR*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts,
                                                 const PRINT_FEATURE_OPTION* pFOPairs, DWORD cPairs,
                                                 PDWORD pcPairsWritten, PDWORD pdwResult) {
    SetOptionsCall call{
        pDevmode, cbSize, bResolveConflicts, {}, cPairs, pcPairsWritten == nullptr, pdwResult == nullptr};
    for (DWORD i = 0; pFOPairs != nullptr && i < cPairs; ++i) {
        call.pairs.emplace_back(TextOrEmpty(pFOPairs[i].pszFeature), TextOrEmpty(pFOPairs[i].pszOption));
    }
    setOptionsCalls.push_back(std::move(call));
    if (SUCCEEDED(setOptionsResult)) {
        if (pcPairsWritten != nullptr) {
            *pcPairsWritten = cPairs;
        }
        if (pdwResult != nullptr) {
            *pdwResult = setOptionsConflictResult;
        }
    }
    return setOptionsResult;
}

HRESULT STDMETHODCALLTYPE CoreHelper::EnumConstrainedOptions(const DEVMODEW*, DWORD, PCSTR, PCSTR**, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CoreHelper::WhyConstrained(const DEVMODEW*, DWORD, PCSTR, PCSTR, const PRINT_FEATURE_OPTION**,
                                                     DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CoreHelper::EnumFeatures(PCSTR**, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::EnumOptions(PCSTR, PCSTR**, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::GetFontSubstitution(PCWSTR, PCWSTR*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::SetFontSubstitution(PCWSTR, PCWSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::CreateInstanceOfMSXMLObject(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* ppv) {
    if (ppv != nullptr) {
        *ppv = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CoreHelper::GetGlobalAttribute(PCSTR, PDWORD, PBYTE*, PDWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::GetFeatureAttribute(PCSTR, PCSTR, PDWORD, PBYTE*, PDWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CoreHelper::GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword,
                                                         PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData,
                                                         PDWORD pcbSize) {
    attributeQueries.push_back(
        AttributeQuery{TextOrEmpty(pszFeatureKeyword), TextOrEmpty(pszOptionKeyword), TextOrEmpty(pszAttribute)});
    if (pdwDataType == nullptr || ppbData == nullptr || pcbSize == nullptr) {
        return E_POINTER;
    }
    // As the driver does: outputs keep their previous values on failure.
    if (pszFeatureKeyword == nullptr || pszOptionKeyword == nullptr || pszAttribute == nullptr ||
        std::strcmp(pszFeatureKeyword, "PageSize") != 0 || std::strcmp(pszAttribute, "DisplayName") != 0) {
        return E_INVALIDARG;
    }
    auto found = displayNames_.find(pszOptionKeyword);
    if (found == displayNames_.end()) {
        return E_INVALIDARG;
    }
    *pdwDataType = kADT_UNICODE;
    *ppbData = found->second.data();
    *pcbSize = static_cast<DWORD>(found->second.size());
    return S_OK;
}

// ---------------------------------------------------------------------------
// DriverServices

HRESULT STDMETHODCALLTYPE DriverServices::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPrintOemDriverPS) {
        *ppv = static_cast<IPrintOemDriverPS*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DriverServices::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE DriverServices::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }

HRESULT STDMETHODCALLTYPE DriverServices::DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DriverServices::DrvWriteSpoolBuf(PDEVOBJ, PVOID pBuffer, DWORD cbSize, DWORD* pdwResult) {
    ++writeCalls;
    if (FAILED(writeResult)) {
        return writeResult;
    }
    if (pBuffer != nullptr && cbSize > 0) {
        spooled.append(static_cast<const char*>(pBuffer), cbSize);
    }
    if (pdwResult != nullptr) {
        *pdwResult = cbSize;
    }
    return writeResult;
}

// ---------------------------------------------------------------------------
// Publisher

HRESULT STDMETHODCALLTYPE Publisher::QueryInterface(REFIID riid, void** ppv) {
    ++queries;
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    if ((riid == IID_IPrintCoreHelperPS || riid == IID_IPrintCoreHelper) && coreHelper_ != nullptr) {
        return coreHelper_->QueryInterface(riid, ppv);
    }
    if (riid == IID_IPrintOemDriverPS && driver_ != nullptr) {
        return driver_->QueryInterface(riid, ppv);
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE Publisher::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE Publisher::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }

HRESULT PublishDriverInterfaces(IPrintOemPS2* plugin, CoreHelper* coreHelper, DriverServices* driverServices) noexcept {
    Publisher publisher(coreHelper, driverServices);
    const HRESULT first = plugin->PublishDriverInterface(&publisher);
    const HRESULT second = plugin->PublishDriverInterface(&publisher);
    return FAILED(first) ? first : second;
}

}  // namespace harness
