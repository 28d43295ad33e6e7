#include "fake_core_helper.h"

#include <cstring>

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
// FakeCoreHelper

void FakeCoreHelper::SetDisplayName(const std::string& keyword, const WString& name) {
    displayNames_[keyword] = UnitsAsBytes(name, true);
}

void FakeCoreHelper::SetUnterminatedDisplayName(const std::string& keyword, const WString& units) {
    displayNames_[keyword] = UnitsAsBytes(units, false);
}

HRESULT STDMETHODCALLTYPE FakeCoreHelper::QueryInterface(REFIID riid, void** ppv) {
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

ULONG STDMETHODCALLTYPE FakeCoreHelper::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE FakeCoreHelper::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::GetOption(const DEVMODEW*, DWORD, PCSTR, PCSTR*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts,
                                                     const PRINT_FEATURE_OPTION* pFOPairs, DWORD cPairs,
                                                     PDWORD pcPairsWritten, PDWORD pdwResult) {
    SetOptionsCall call{pDevmode, cbSize, bResolveConflicts, {}, cPairs, pcPairsWritten == nullptr,
                        pdwResult == nullptr};
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

HRESULT STDMETHODCALLTYPE FakeCoreHelper::EnumConstrainedOptions(const DEVMODEW*, DWORD, PCSTR, PCSTR**, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeCoreHelper::WhyConstrained(const DEVMODEW*, DWORD, PCSTR, PCSTR,
                                                         const PRINT_FEATURE_OPTION**, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeCoreHelper::EnumFeatures(PCSTR**, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::EnumOptions(PCSTR, PCSTR**, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::GetFontSubstitution(PCWSTR, PCWSTR*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::SetFontSubstitution(PCWSTR, PCWSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::CreateInstanceOfMSXMLObject(REFCLSID, LPUNKNOWN, DWORD, REFIID,
                                                                      LPVOID* ppv) {
    if (ppv != nullptr) {
        *ppv = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeCoreHelper::GetGlobalAttribute(PCSTR, PDWORD, PBYTE*, PDWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeCoreHelper::GetFeatureAttribute(PCSTR, PCSTR, PDWORD, PBYTE*, PDWORD) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeCoreHelper::GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword,
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
// FakeOemDriver

HRESULT STDMETHODCALLTYPE FakeOemDriver::QueryInterface(REFIID riid, void** ppv) {
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

ULONG STDMETHODCALLTYPE FakeOemDriver::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE FakeOemDriver::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }

HRESULT STDMETHODCALLTYPE FakeOemDriver::DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeOemDriver::DrvWriteSpoolBuf(PDEVOBJ, PVOID pBuffer, DWORD cbSize, DWORD* pdwResult) {
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
// FakePublisher

HRESULT STDMETHODCALLTYPE FakePublisher::QueryInterface(REFIID riid, void** ppv) {
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

ULONG STDMETHODCALLTYPE FakePublisher::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE FakePublisher::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }
