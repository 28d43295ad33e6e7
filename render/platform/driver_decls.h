// Declarations of the PostScript driver's plug-in interfaces that mingw-w64 does not
// ship (the WDK's printoem.h and prcomoem.h), written from the public reference:
//   https://learn.microsoft.com/windows-hardware/drivers/ddi/printoem/
//   https://learn.microsoft.com/windows-hardware/drivers/ddi/prcomoem/
// Shared by the Windows build (after the real SDK headers) and the host build
// (after host/winsim.h); only Windows base names are used. Include
// platform/platform.h, not this file.
#pragma once

#include <cstddef>

// ---------------------------------------------------------------------------
// Interface identifiers (printoem.h, prcomoem.h). C++17 inline variables: one
// object per module, usable from the plug-in and the sibling without a .cpp.
// ---------------------------------------------------------------------------
inline constexpr CLSID CLSID_OEMRENDER = {0x6d6abf26, 0x9f38, 0x11d1, {0x88, 0x2a, 0x00, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};
inline constexpr CLSID CLSID_OEMUI = {0xabce80d7, 0x9f46, 0x11d1, {0x88, 0x2a, 0x00, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};
inline constexpr IID IID_IPrintOemPS = {0x688342b5, 0x8e1a, 0x11d1, {0x88, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};
inline constexpr IID IID_IPrintOemPS2 = {0xbecf7f34, 0x51b3, 0x46c9, {0x8a, 0x1c, 0x18, 0x67, 0x9b, 0xd2, 0x1f, 0x36}};
inline constexpr IID IID_IPrintOemDriverPS = {
    0xd90060c7, 0x8e1a, 0x11d1, {0x88, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};
inline constexpr IID IID_IPrintCorePS2 = {0xcdbb0b0b, 0xa917, 0x40d7, {0x9f, 0xbf, 0x48, 0x3b, 0x3b, 0xe7, 0xef, 0x22}};
inline constexpr IID IID_IPrintCoreHelper = {
    0xa89ec53e, 0x3905, 0x49c6, {0x9c, 0x1a, 0xc0, 0xa8, 0x81, 0x17, 0xfd, 0xb6}};
inline constexpr IID IID_IPrintCoreHelperPS = {
    0xc2c14f6f, 0x95d3, 0x4d63, {0x96, 0xcf, 0x6b, 0xd9, 0xe6, 0xc9, 0x07, 0xc2}};

// ---------------------------------------------------------------------------
// Constants (printoem.h, prcomoem.h)
// ---------------------------------------------------------------------------
#define PRINTER_OEMINTF_VERSION 0x00010000

#define OEMGI_GETSIGNATURE 1
#define OEMGI_GETINTERFACEVERSION 2
#define OEMGI_GETVERSION 3
#define OEMGI_GETPUBLISHERINFO 4
#define OEMGI_GETREQUESTEDHELPERINTERFACES 5

#define OEMPUBLISH_DEFAULT 0
#define OEMPUBLISH_IPRINTCOREHELPER 0x00000001

#define OEM_MODE_PUBLISHER 0x00000001

#define OEMDM_SIZE 1
#define OEMDM_DEFAULT 2
#define OEMDM_CONVERT 3
#define OEMDM_MERGE 4

#define SETOPTIONS_FLAG_RESOLVE_CONFLICT 0x00000001
#define SETOPTIONS_FLAG_KEEP_CONFLICT 0x00000002
#define SETOPTIONS_RESULT_NO_CONFLICT 0
#define SETOPTIONS_RESULT_CONFLICT_RESOLVED 1
#define SETOPTIONS_RESULT_CONFLICT_REMAINED 2

// DrvConvertDevMode modes (winddiui.h; mingw-w64's copy lacks them).
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04

// The PostScript injection points come from wingdi.h on Windows; the host's winsim.h
// defines the full list. Guarded here for safety only.
#ifndef PSINJECT_BEGINSTREAM
#define PSINJECT_BEGINSTREAM 1
#endif
#ifndef PSINJECT_ENDSTREAM
#define PSINJECT_ENDSTREAM 20
#endif

typedef enum _EATTRIBUTE_DATATYPE {
    kADT_UNKNOWN,
    kADT_BOOL,
    kADT_INT,
    kADT_LONG,
    kADT_DWORD,
    kADT_ASCII,
    kADT_UNICODE,
    kADT_BINARY,
    kADT_SIZE,
    kADT_RECT,
    kADT_CUSTOMSIZEPARAMS,
} EATTRIBUTE_DATATYPE;

// ---------------------------------------------------------------------------
// Structures (printoem.h; PRINT_FEATURE_OPTION from prcomoem.h)
// ---------------------------------------------------------------------------
typedef PVOID PDEVOEM;
typedef PVOID PDRVPROCS;  // obsolete DRVPROCS, never used

typedef struct _DEVOBJ {
    DWORD dwSize;
    PDEVOEM pdevOEM;
    HANDLE hEngine;
    HANDLE hPrinter;
    HANDLE hOEM;
    PDEVMODEW pPublicDM;
    PVOID pOEMDM;
    PDRVPROCS pDrvProcs;
} DEVOBJ, *PDEVOBJ;

typedef struct _OEMDMPARAM {
    DWORD cbSize;
    PVOID pdriverobj;
    HANDLE hPrinter;
    HANDLE hModule;
    PDEVMODEW pPublicDMIn;
    PDEVMODEW pPublicDMOut;
    PVOID pOEMDMIn;
    PVOID pOEMDMOut;
    DWORD cbBufSize;
} OEMDMPARAM, *POEMDMPARAM;

typedef struct _OEM_DMEXTRAHEADER {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
} OEM_DMEXTRAHEADER, *POEM_DMEXTRAHEADER;

typedef struct _PRINT_FEATURE_OPTION {
    PCSTR pszFeature;
    PCSTR pszOption;
} PRINT_FEATURE_OPTION, *PPRINT_FEATURE_OPTION;

typedef struct _PUBLISHERINFO {
    DWORD dwMode;
    WORD wMinoutlinePPEM;
    WORD wMaxbitmapPPEM;
} PUBLISHERINFO, *PPUBLISHERINFO;

// ---------------------------------------------------------------------------
// Interfaces (prcomoem.h): pure virtual, exact slot order, single
// inheritance, no virtual destructor (it would add vtable slots).
// ---------------------------------------------------------------------------
struct IPrintOemCommon : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) = 0;
};

struct IPrintOemEngine : public IPrintOemCommon {
    virtual HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize, PDRVENABLEDATA pded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableDriver() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns,
                                                 HSURF* phsurfPatterns, ULONG cjGdiInfo, GDIINFO* pGdiInfo,
                                                 ULONG cjDevInfo, DEVINFO* pDevInfo, DRVENABLEDATA* pded,
                                                 PDEVOEM* pDevOem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) = 0;
};

struct IPrintOemPS : public IPrintOemEngine {
    virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pData, DWORD cbSize,
                                              DWORD* pdwResult) = 0;
};

struct IPrintOemPS2 : public IPrintOemPS {
    virtual HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuffer, PDWORD pcbWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPDEVAdjustment(PDEVOBJ pdevobj, DWORD dwAdjustType, PVOID pBuf, DWORD cbBuffer,
                                                        BOOL* pbAdjustmentDone) = 0;
};

struct IPrintOemDriverPS : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature, PVOID pOutput, DWORD cbSize,
                                                          PDWORD pcbNeeded, PDWORD pdwOptionsReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                       DWORD* pdwResult) = 0;
};

struct IPrintCoreHelper : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetOption(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureRequested,
                                                PCSTR* ppszOption) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOptions(PDEVMODEW pDevmode, DWORD cbSize, BOOL bResolveConflicts,
                                                 const PRINT_FEATURE_OPTION* pFOPairs, DWORD cPairs,
                                                 PDWORD pcPairsWritten, PDWORD pdwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConstrainedOptions(const DEVMODEW* pDevmode, DWORD cbSize,
                                                             PCSTR pszFeatureKeyword, PCSTR** pConstrainedOptionList,
                                                             DWORD* pdwNumOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE WhyConstrained(const DEVMODEW* pDevmode, DWORD cbSize, PCSTR pszFeatureKeyword,
                                                     PCSTR pszOptionKeyword,
                                                     const PRINT_FEATURE_OPTION** ppFOConstraints,
                                                     DWORD* pdwNumOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR** pFeatureList, DWORD* pdwNumFeatures) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR pszFeatureKeyword, PCSTR** pOptionList,
                                                  DWORD* pdwNumOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFontSubstitution(PCWSTR pszTrueTypeFontName, PCWSTR* ppszDevFontName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFontSubstitution(PCWSTR pszTrueTypeFontName, PCWSTR pszDevFontName) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceOfMSXMLObject(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                                  DWORD dwClsContext, REFIID riid, LPVOID* ppv) = 0;
};

struct IPrintCoreHelperPS : public IPrintCoreHelper {
    virtual HRESULT STDMETHODCALLTYPE GetGlobalAttribute(PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData,
                                                         PDWORD pcbSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFeatureAttribute(PCSTR pszFeatureKeyword, PCSTR pszAttribute,
                                                          PDWORD pdwDataType, PBYTE* ppbData, PDWORD pcbSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOptionAttribute(PCSTR pszFeatureKeyword, PCSTR pszOptionKeyword,
                                                         PCSTR pszAttribute, PDWORD pdwDataType, PBYTE* ppbData,
                                                         PDWORD pcbSize) = 0;
};

// ---------------------------------------------------------------------------
// Exports of a printer-interface DLL (the sibling library), looked up by name.
// ---------------------------------------------------------------------------
typedef DWORD(WINAPI* PFN_DrvDeviceCapabilities)(HANDLE hPrinter, PWSTR pszDeviceName, WORD Capability, PVOID pOutput,
                                                 PDEVMODEW pDevmode);
typedef BOOL(WINAPI* PFN_DrvConvertDevMode)(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut, LONG* pcbNeeded,
                                            DWORD fMode);

// ---------------------------------------------------------------------------
// Layout checks: every structure that crosses the driver boundary.
// ---------------------------------------------------------------------------
namespace platform_layout_checks {
constexpr bool kPtr32 = sizeof(void*) == 4;
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "32- or 64-bit targets only");
static_assert(sizeof(WCHAR) == 2 && sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4 &&
                  sizeof(HRESULT) == 4 && sizeof(WORD) == 2 && sizeof(BOOL) == 4,
              "Windows base type widths");
static_assert(sizeof(GUID) == 16, "GUID");

static_assert(offsetof(DEVOBJ, dwSize) == 0, "DEVOBJ");
static_assert(offsetof(DEVOBJ, pdevOEM) == (kPtr32 ? 4 : 8), "DEVOBJ.pdevOEM");
static_assert(offsetof(DEVOBJ, hEngine) == (kPtr32 ? 8 : 16), "DEVOBJ.hEngine");
static_assert(offsetof(DEVOBJ, hPrinter) == (kPtr32 ? 12 : 24), "DEVOBJ.hPrinter");
static_assert(offsetof(DEVOBJ, hOEM) == (kPtr32 ? 16 : 32), "DEVOBJ.hOEM");
static_assert(offsetof(DEVOBJ, pPublicDM) == (kPtr32 ? 20 : 40), "DEVOBJ.pPublicDM");
static_assert(offsetof(DEVOBJ, pOEMDM) == (kPtr32 ? 24 : 48), "DEVOBJ.pOEMDM");
static_assert(offsetof(DEVOBJ, pDrvProcs) == (kPtr32 ? 28 : 56), "DEVOBJ.pDrvProcs");
static_assert(sizeof(DEVOBJ) == (kPtr32 ? 32 : 64), "sizeof DEVOBJ");

static_assert(offsetof(OEMDMPARAM, cbSize) == 0, "OEMDMPARAM");
static_assert(offsetof(OEMDMPARAM, pdriverobj) == (kPtr32 ? 4 : 8), "OEMDMPARAM.pdriverobj");
static_assert(offsetof(OEMDMPARAM, hPrinter) == (kPtr32 ? 8 : 16), "OEMDMPARAM.hPrinter");
static_assert(offsetof(OEMDMPARAM, hModule) == (kPtr32 ? 12 : 24), "OEMDMPARAM.hModule");
static_assert(offsetof(OEMDMPARAM, pPublicDMIn) == (kPtr32 ? 16 : 32), "OEMDMPARAM.pPublicDMIn");
static_assert(offsetof(OEMDMPARAM, pPublicDMOut) == (kPtr32 ? 20 : 40), "OEMDMPARAM.pPublicDMOut");
static_assert(offsetof(OEMDMPARAM, pOEMDMIn) == (kPtr32 ? 24 : 48), "OEMDMPARAM.pOEMDMIn");
static_assert(offsetof(OEMDMPARAM, pOEMDMOut) == (kPtr32 ? 28 : 56), "OEMDMPARAM.pOEMDMOut");
static_assert(offsetof(OEMDMPARAM, cbBufSize) == (kPtr32 ? 32 : 64), "OEMDMPARAM.cbBufSize");
static_assert(sizeof(OEMDMPARAM) == (kPtr32 ? 36 : 72), "sizeof OEMDMPARAM");

static_assert(sizeof(OEM_DMEXTRAHEADER) == 12, "OEM_DMEXTRAHEADER");
static_assert(sizeof(PUBLISHERINFO) == 8, "PUBLISHERINFO");
static_assert(offsetof(PRINT_FEATURE_OPTION, pszOption) == (kPtr32 ? 4 : 8), "PRINT_FEATURE_OPTION.pszOption");
static_assert(sizeof(PRINT_FEATURE_OPTION) == (kPtr32 ? 8 : 16), "sizeof PRINT_FEATURE_OPTION");

static_assert(offsetof(DRVFN, pfn) == (kPtr32 ? 4 : 8), "DRVFN.pfn");
static_assert(sizeof(DRVFN) == (kPtr32 ? 8 : 16), "sizeof DRVFN");
static_assert(offsetof(DRVENABLEDATA, c) == 4, "DRVENABLEDATA.c");
static_assert(offsetof(DRVENABLEDATA, pdrvfn) == 8, "DRVENABLEDATA.pdrvfn");
static_assert(sizeof(DRVENABLEDATA) == (kPtr32 ? 12 : 16), "sizeof DRVENABLEDATA");
static_assert(offsetof(SURFOBJ, dhpdev) == (kPtr32 ? 8 : 16), "SURFOBJ.dhpdev");

static_assert(sizeof(DEVMODEW) == 220, "sizeof DEVMODEW");
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64, "DEVMODEW.dmSpecVersion");
static_assert(offsetof(DEVMODEW, dmDriverVersion) == 66, "DEVMODEW.dmDriverVersion");
static_assert(offsetof(DEVMODEW, dmSize) == 68, "DEVMODEW.dmSize");
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70, "DEVMODEW.dmDriverExtra");
static_assert(offsetof(DEVMODEW, dmFields) == 72, "DEVMODEW.dmFields");
static_assert(offsetof(DEVMODEW, dmOrientation) == 76, "DEVMODEW.dmOrientation");
static_assert(offsetof(DEVMODEW, dmPaperSize) == 78, "DEVMODEW.dmPaperSize");
static_assert(offsetof(DEVMODEW, dmPaperLength) == 80, "DEVMODEW.dmPaperLength");
static_assert(offsetof(DEVMODEW, dmPaperWidth) == 82, "DEVMODEW.dmPaperWidth");
static_assert(offsetof(DEVMODEW, dmScale) == 84, "DEVMODEW.dmScale");
static_assert(offsetof(DEVMODEW, dmCopies) == 86, "DEVMODEW.dmCopies");
static_assert(offsetof(DEVMODEW, dmDefaultSource) == 88, "DEVMODEW.dmDefaultSource");
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90, "DEVMODEW.dmPrintQuality");
static_assert(offsetof(DEVMODEW, dmColor) == 92, "DEVMODEW.dmColor");
static_assert(offsetof(DEVMODEW, dmDuplex) == 94, "DEVMODEW.dmDuplex");
static_assert(offsetof(DEVMODEW, dmYResolution) == 96, "DEVMODEW.dmYResolution");
static_assert(offsetof(DEVMODEW, dmTTOption) == 98, "DEVMODEW.dmTTOption");
static_assert(offsetof(DEVMODEW, dmCollate) == 100, "DEVMODEW.dmCollate");
static_assert(offsetof(DEVMODEW, dmFormName) == 102, "DEVMODEW.dmFormName");
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166, "DEVMODEW.dmLogPixels");
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168, "DEVMODEW.dmBitsPerPel");
static_assert(offsetof(DEVMODEW, dmNup) == 180, "DEVMODEW.dmNup");
static_assert(offsetof(DEVMODEW, dmDisplayFrequency) == 184, "DEVMODEW.dmDisplayFrequency");
static_assert(offsetof(DEVMODEW, dmICMMethod) == 188, "DEVMODEW.dmICMMethod");
static_assert(offsetof(DEVMODEW, dmICMIntent) == 192, "DEVMODEW.dmICMIntent");
static_assert(offsetof(DEVMODEW, dmMediaType) == 196, "DEVMODEW.dmMediaType");
static_assert(offsetof(DEVMODEW, dmDitherType) == 200, "DEVMODEW.dmDitherType");
static_assert(offsetof(DEVMODEW, dmPanningWidth) == 212, "DEVMODEW.dmPanningWidth");
static_assert(offsetof(DEVMODEW, dmPanningHeight) == 216, "DEVMODEW.dmPanningHeight");

static_assert(offsetof(FORM_INFO_1W, pName) == (kPtr32 ? 4 : 8), "FORM_INFO_1W.pName");
static_assert(sizeof(FORM_INFO_1W) == (kPtr32 ? 32 : 40), "sizeof FORM_INFO_1W");
static_assert(sizeof(PRINTER_INFO_1W) == (kPtr32 ? 16 : 32), "sizeof PRINTER_INFO_1W");
static_assert(sizeof(WTS_SESSION_INFOW) == (kPtr32 ? 12 : 24), "sizeof WTS_SESSION_INFOW");
static_assert(sizeof(SYSTEMTIME) == 16, "sizeof SYSTEMTIME");
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "sizeof INITCOMMONCONTROLSEX");
}  // namespace platform_layout_checks
