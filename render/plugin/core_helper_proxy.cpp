#include "plugin/core_helper_proxy.h"

CoreHelperProxy::~CoreHelperProxy() { Detach(); }

void CoreHelperProxy::Attach(REFIID iid, IPrintCoreHelperPS* pointer) {
    Detach();
    heldInterface = pointer;
    heldIid = iid;
}

void CoreHelperProxy::Detach() {
    if (heldInterface == nullptr) return;
    IPrintCoreHelperPS* released = heldInterface;
    heldInterface = nullptr;
    heldIid = IID{};
    released->Release();
}

IPrintCoreHelperPS* CoreHelperProxy::Usable() const {
    if (heldInterface == nullptr || !IsEqualIID(heldIid, IID_IPrintCoreHelperPS)) return nullptr;
    return heldInterface;
}

HRESULT CoreHelperProxy::GetOption(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureRequested,
                                   PCSTR* ppszOption) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->GetOption(pDevmode, cbSize, pszFeatureRequested, ppszOption);
}

HRESULT CoreHelperProxy::SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts,
                                    const PRINT_FEATURE_OPTION* pFOPairs, DWORD cPairs, PDWORD pcPairsWritten,
                                    PDWORD pdwResult) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->SetOptions(pDevmode, cbSize, bResolveConflicts, pFOPairs, cPairs, pcPairsWritten, pdwResult);
}

HRESULT CoreHelperProxy::EnumConstrainedOptions(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                                PCSTR** pConstrainedOptionList, DWORD* pdwNumOptions) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->EnumConstrainedOptions(pDevmode, cbSize, pszFeatureKeyword, pConstrainedOptionList,
                                          pdwNumOptions);
}

HRESULT CoreHelperProxy::WhyConstrained(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                        PCSTR pszOptionKeyword, const PRINT_FEATURE_OPTION** ppFOConstraints,
                                        DWORD* pdwNumOptions) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->WhyConstrained(pDevmode, cbSize, pszFeatureKeyword, pszOptionKeyword, ppFOConstraints,
                                  pdwNumOptions);
}

HRESULT CoreHelperProxy::GetGlobalAttribute(PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->GetGlobalAttribute(pszAttribute, pdwDataType, ppbData, pcbSize);
}

HRESULT CoreHelperProxy::GetFeatureAttribute(PCSTR pszFeatureKeyword, PCSTR pszAttribute, PDWORD pdwDataType,
                                             PBYTE* ppbData, PDWORD pcbSize) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->GetFeatureAttribute(pszFeatureKeyword, pszAttribute, pdwDataType, ppbData, pcbSize);
}

HRESULT CoreHelperProxy::GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword, PCSTR pszAttribute,
                                            PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->GetOptionAttribute(pszFeatureKeyword, pszOptionKeyword, pszAttribute, pdwDataType, ppbData,
                                      pcbSize);
}

HRESULT CoreHelperProxy::EnumFeatures(PCSTR** pFeatureList, DWORD* pdwNumFeatures) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->EnumFeatures(pFeatureList, pdwNumFeatures);
}

HRESULT CoreHelperProxy::EnumOptions(PCSTR pszFeatureKeyword, PCSTR** pOptionList, DWORD* pdwNumOptions) {
    IPrintCoreHelperPS* helper = Usable();
    if (helper == nullptr) return E_NOINTERFACE;
    return helper->EnumOptions(pszFeatureKeyword, pOptionList, pdwNumOptions);
}
