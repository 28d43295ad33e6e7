// Owner of the driver's IPrintCoreHelperPS interface for the lifetime of the
// plug-in object, with guarded forwarding of the interface's operations.
#pragma once

#include "common/unique_handle.h"
#include "platform/platform.h"

// Holds one reference. Every forwarding operation calls the held interface
// only when the pointer came with IID_IPrintCoreHelperPS; an empty proxy, or
// one holding a pointer that came with another IID, answers E_NOINTERFACE
// without calling anything. Arguments and results pass through unchanged.
// The font-substitution and XML-object operations of the interface are not
// offered.
class CoreHelperProxy {
public:
    // Takes over the caller's reference (no AddRef); whatever was held before
    // is released first.
    void Attach(REFIID iid, IPrintCoreHelperPS* pointer) {
        Detach();
        heldInterface.Reset(pointer);
        heldIid = iid;
    }
    // Releases what is held, if anything, and empties the proxy.
    void Detach() {
        heldInterface.Reset();
        heldIid = IID{};
    }

    // The held pointer (null when empty), as handed to the device-settings handler.
    IPrintCoreHelperPS* HeldInterface() const { return heldInterface.Get(); }
    const IID& HeldIid() const { return heldIid; }

    HRESULT GetOption(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureRequested, PCSTR* ppszOption) {
        return Forward(&IPrintCoreHelperPS::GetOption, pDevmode, cbSize, pszFeatureRequested, ppszOption);
    }
    HRESULT SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts, const PRINT_FEATURE_OPTION* pFOPairs,
                       DWORD cPairs, PDWORD pcPairsWritten, PDWORD pdwResult) {
        return Forward(&IPrintCoreHelperPS::SetOptions, pDevmode, cbSize, bResolveConflicts, pFOPairs, cPairs,
                       pcPairsWritten, pdwResult);
    }
    HRESULT EnumConstrainedOptions(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                   PCSTR** pConstrainedOptionList, DWORD* pdwNumOptions) {
        return Forward(&IPrintCoreHelperPS::EnumConstrainedOptions, pDevmode, cbSize, pszFeatureKeyword,
                       pConstrainedOptionList, pdwNumOptions);
    }
    HRESULT WhyConstrained(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword,
                           const PRINT_FEATURE_OPTION** ppFOConstraints, DWORD* pdwNumOptions) {
        return Forward(&IPrintCoreHelperPS::WhyConstrained, pDevmode, cbSize, pszFeatureKeyword, pszOptionKeyword,
                       ppFOConstraints, pdwNumOptions);
    }
    HRESULT GetGlobalAttribute(PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize) {
        return Forward(&IPrintCoreHelperPS::GetGlobalAttribute, pszAttribute, pdwDataType, ppbData, pcbSize);
    }
    HRESULT GetFeatureAttribute(PCSTR pszFeatureKeyword, PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData,
                                PDWORD pcbSize) {
        return Forward(&IPrintCoreHelperPS::GetFeatureAttribute, pszFeatureKeyword, pszAttribute, pdwDataType,
                       ppbData, pcbSize);
    }
    HRESULT GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword, PCSTR pszAttribute,
                               PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize) {
        return Forward(&IPrintCoreHelperPS::GetOptionAttribute, pszFeatureKeyword, pszOptionKeyword, pszAttribute,
                       pdwDataType, ppbData, pcbSize);
    }
    HRESULT EnumFeatures(PCSTR** pFeatureList, DWORD* pdwNumFeatures) {
        return Forward(&IPrintCoreHelperPS::EnumFeatures, pFeatureList, pdwNumFeatures);
    }
    HRESULT EnumOptions(PCSTR pszFeatureKeyword, PCSTR** pOptionList, DWORD* pdwNumOptions) {
        return Forward(&IPrintCoreHelperPS::EnumOptions, pszFeatureKeyword, pOptionList, pdwNumOptions);
    }

private:
    template <typename Method, typename... Args>
    HRESULT Forward(Method method, Args... args) const {
        if (!heldInterface || !IsEqualIID(heldIid, IID_IPrintCoreHelperPS)) return E_NOINTERFACE;
        return (heldInterface.Get()->*method)(args...);
    }

    IID heldIid = {};  // all zero while nothing is held
    ComPtr<IPrintCoreHelperPS> heldInterface;
};
