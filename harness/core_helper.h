// The interfaces the PostScript driver publishes to the plug-in, as the job
// tools and the tests play the driver: its core helper (IPrintCoreHelperPS),
// its driver services (IPrintOemDriverPS) and an IUnknown that offers them, as
// PublishDriverInterface receives it. They record what the plug-in asks of them.
//
// The objects are owned by their user (on the stack or in a smart pointer).
// Their reference counts start at 1 for that owner and are observable; Release
// never deletes, so a test can check that the plug-in gave back exactly the
// references it took.
#pragma once

#include "common/wtext.h"
#include "platform/platform.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace harness {

class CoreHelper final : public IPrintCoreHelperPS {
public:
    struct SetOptionsCall {
        PDEVMODEW devmode;
        DWORD cbSize;
        BOOL resolveConflicts;
        std::vector<std::pair<std::string, std::string>> pairs;  // the first cPairs pairs
        DWORD cPairs;
        bool pairsWrittenNull;
        bool resultNull;
    };

    struct AttributeQuery {
        std::string feature;
        std::string option;
        std::string attribute;
    };

    CoreHelper() = default;
    CoreHelper(const CoreHelper&) = delete;
    CoreHelper& operator=(const CoreHelper&) = delete;

    // GetOptionAttribute("PageSize", keyword, "DisplayName") answers name as
    // kADT_UNICODE, with its terminating zero counted in the size.
    void SetDisplayName(const std::string& keyword, const WString& name);
    // The same without a terminating zero: the size covers exactly the units.
    void SetUnterminatedDisplayName(const std::string& keyword, const WString& units);

    ULONG RefCount() const { return refCount_; }

    // What SetOptions returns and writes to *pdwResult.
    HRESULT setOptionsResult = S_OK;
    DWORD setOptionsConflictResult = SETOPTIONS_RESULT_NO_CONFLICT;

    std::vector<SetOptionsCall> setOptionsCalls;
    std::vector<AttributeQuery> attributeQueries;

    // IUnknown: IID_IUnknown, IID_IPrintCoreHelper and IID_IPrintCoreHelperPS.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPrintCoreHelper
    HRESULT STDMETHODCALLTYPE GetOption(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureRequested,
                                        PCSTR* ppszOption) override;
    HRESULT STDMETHODCALLTYPE SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts,
                                         const PRINT_FEATURE_OPTION* pFOPairs, DWORD cPairs, PDWORD pcPairsWritten,
                                         PDWORD pdwResult) override;
    HRESULT STDMETHODCALLTYPE EnumConstrainedOptions(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                                     PCSTR** pConstrainedOptionList, DWORD* pdwNumOptions) override;
    HRESULT STDMETHODCALLTYPE WhyConstrained(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                             PCSTR pszOptionKeyword, const PRINT_FEATURE_OPTION** ppFOConstraints,
                                             DWORD* pdwNumOptions) override;
    HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR** pFeatureList, DWORD* pdwNumFeatures) override;
    HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR pszFeatureKeyword, PCSTR** pOptionList, DWORD* pdwNumOptions) override;
    HRESULT STDMETHODCALLTYPE GetFontSubstitution(PCWSTR pszTrueTypeFontName, PCWSTR* ppszDevFontName) override;
    HRESULT STDMETHODCALLTYPE SetFontSubstitution(PCWSTR pszTrueTypeFontName, PCWSTR pszDevFontName) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceOfMSXMLObject(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                                          REFIID riid, LPVOID* ppv) override;

    // IPrintCoreHelperPS
    HRESULT STDMETHODCALLTYPE GetGlobalAttribute(PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData,
                                                 PDWORD pcbSize) override;
    HRESULT STDMETHODCALLTYPE GetFeatureAttribute(PCSTR pszFeatureKeyword, PCSTR pszAttribute, PDWORD pdwDataType,
                                                  PBYTE* ppbData, PDWORD pcbSize) override;
    HRESULT STDMETHODCALLTYPE GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword, PCSTR pszAttribute,
                                                 PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize) override;

private:
    LONG refCount_ = 1;
    // Keyword -> the bytes handed out; the driver owns what it answers, so the
    // double keeps them alive for its own lifetime.
    std::map<std::string, std::vector<BYTE>> displayNames_;
};

class DriverServices final : public IPrintOemDriverPS {
public:
    DriverServices() = default;
    DriverServices(const DriverServices&) = delete;
    DriverServices& operator=(const DriverServices&) = delete;

    ULONG RefCount() const { return refCount_; }

    // Every DrvWriteSpoolBuf call appends its bytes here (when the result is S_OK).
    std::string spooled;
    unsigned writeCalls = 0;
    HRESULT writeResult = S_OK;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature, PVOID pOutput, DWORD cbSize,
                                                  PDWORD pcbNeeded, PDWORD pdwOptionsReturned) override;
    HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize, DWORD* pdwResult) override;

private:
    LONG refCount_ = 1;
};

// The IUnknown that the driver hands to PublishDriverInterface. QueryInterface
// answers IID_IUnknown with itself and the helper IIDs with the objects given
// (a null one is not offered), adding a reference to what it hands out.
class Publisher final : public IUnknown {
public:
    Publisher(CoreHelper* coreHelper, DriverServices* driver) : coreHelper_(coreHelper), driver_(driver) {}
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    ULONG RefCount() const { return refCount_; }
    unsigned queries = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    LONG refCount_ = 1;
    CoreHelper* coreHelper_;
    DriverServices* driver_;
};

// Hands both objects to the plug-in as the driver does: one publishing call for
// the core helper and one for the driver services, through the same IUnknown
// that offers both. The first failing answer, or S_OK.
HRESULT PublishDriverInterfaces(IPrintOemPS2* plugin, CoreHelper* coreHelper, DriverServices* driverServices) noexcept;

}  // namespace harness
