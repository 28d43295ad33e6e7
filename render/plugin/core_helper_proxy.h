// Owner of the driver's IPrintCoreHelperPS interface for the lifetime of the
// plug-in object, with guarded forwarding of the interface's operations.
#pragma once

#include "platform/platform.h"

// Holds one reference. Every forwarding operation calls the held interface
// only when the pointer came with IID_IPrintCoreHelperPS; an empty proxy, or
// one holding a pointer that came with another IID, answers E_NOINTERFACE
// without calling anything. Arguments and results pass through unchanged.
// The font-substitution and XML-object operations of the interface are not
// offered.
class CoreHelperProxy {
public:
    CoreHelperProxy() = default;
    ~CoreHelperProxy();
    CoreHelperProxy(const CoreHelperProxy&) = delete;
    CoreHelperProxy& operator=(const CoreHelperProxy&) = delete;

    // Takes over the caller's reference (no AddRef); whatever was held before
    // is released first.
    void Attach(REFIID iid, IPrintCoreHelperPS* pointer);
    // Releases what is held, if anything, and empties the proxy.
    void Detach();

    // The held pointer (null when empty), as handed to the device-settings handler.
    IPrintCoreHelperPS* HeldInterface() const { return heldInterface; }
    const IID& HeldIid() const { return heldIid; }

    HRESULT GetOption(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureRequested, PCSTR* ppszOption);
    HRESULT SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts, const PRINT_FEATURE_OPTION* pFOPairs,
                       DWORD cPairs, PDWORD pcPairsWritten, PDWORD pdwResult);
    HRESULT EnumConstrainedOptions(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                   PCSTR** pConstrainedOptionList, DWORD* pdwNumOptions);
    HRESULT WhyConstrained(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword,
                           const PRINT_FEATURE_OPTION** ppFOConstraints, DWORD* pdwNumOptions);
    HRESULT GetGlobalAttribute(PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize);
    HRESULT GetFeatureAttribute(PCSTR pszFeatureKeyword, PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData,
                                PDWORD pcbSize);
    HRESULT GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword, PCSTR pszAttribute,
                               PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize);
    HRESULT EnumFeatures(PCSTR** pFeatureList, DWORD* pdwNumFeatures);
    HRESULT EnumOptions(PCSTR pszFeatureKeyword, PCSTR** pOptionList, DWORD* pdwNumOptions);

private:
    // The interface to call, or null when the held pointer may not be used.
    IPrintCoreHelperPS* Usable() const;

    IID heldIid = {};  // all zero while nothing is held
    IPrintCoreHelperPS* heldInterface = nullptr;
};
