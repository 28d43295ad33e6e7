// windows_smoke: drives the real QM22TRD.dll through one job on Windows (or Wine),
// the way the PostScript driver would, and checks the answers with exact values.
// What it proves that the host tests cannot: the vtable slot order, the stdcall
// convention of methods, hooks and exports, the .def export names, the embedded
// feature-block templates and the loading of QM22TIE.dll from the module's folder.
// Then 16 jobs run one after the other and again on 4 threads at once through the
// same loaded module, each printing to a file of its own: every job must print
// the same bytes both times.
//
// The plug-in's interface is called, and the driver's interfaces are offered, by
// literal slot numbers through tables written here, not through the interface
// declarations the plug-in is compiled from: a method declared in the wrong
// place there shows up as a wrong answer or a wrong call here.
//
// It prints one line per check ("ok: ...", "FAIL: ...", "skip: ...") and exits
// with 0 when no check failed, 1 otherwise. The plug-in and the sibling library
// are taken from the program's own folder; the spooler part needs a printer whose
// port is a file and is skipped (with a "skip:" line) when the spooler refuses to
// set one up.

#include "common/companion_path.h"
#include "common/wtext.h"
#include "harness/driver_hooks.h"
#include "common/function_cast.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Reporting

int failures = 0;

void Check(bool passed, const char* what) {
    std::printf("%s: %s\n", passed ? "ok" : "FAIL", what);
    if (!passed) ++failures;
}

void CheckHr(HRESULT actual, HRESULT expected, const char* what) {
    if (actual == expected) {
        std::printf("ok: %s\n", what);
        return;
    }
    std::printf("FAIL: %s (0x%08lX, expected 0x%08lX)\n", what, static_cast<unsigned long>(actual),
                static_cast<unsigned long>(expected));
    ++failures;
}

void CheckNumber(unsigned long long actual, unsigned long long expected, const char* what) {
    if (actual == expected) {
        std::printf("ok: %s\n", what);
        return;
    }
    std::printf("FAIL: %s (%llu, expected %llu)\n", what, actual, expected);
    ++failures;
}

// ---------------------------------------------------------------------------
// Handles

struct ModuleCloser {
    HMODULE handle = nullptr;
    ~ModuleCloser() {
        if (handle != nullptr) FreeLibrary(handle);
    }
    HMODULE Release() { return std::exchange(handle, nullptr); }
};

struct PrinterCloser {
    HANDLE handle = nullptr;
    ~PrinterCloser() {
        if (handle != nullptr) ClosePrinter(handle);
    }
};

struct FileCloser {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~FileCloser() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct FactoryReleaser {
    IClassFactory* factory = nullptr;
    ~FactoryReleaser() {
        if (factory != nullptr) factory->Release();
    }
};

// One entry of a COM method table.
using Slot = void (*)();

// The method in `slot` of a COM object's table, as a function of the given type
// (the object is its first argument).
template <typename Method>
Method MethodAt(void* object, size_t slot) {
    const Slot* table = *static_cast<const Slot* const*>(object);
    return FunctionAs<Method>(table[slot]);
}

// A modifiable copy of a constant text (the interfaces take non-const pointers).
std::vector<WCHAR> Buffer(const WCHAR* text) { return std::vector<WCHAR>(text, text + WTextLength(text) + 1); }

// ---------------------------------------------------------------------------
// The plug-in's interface, counted from IUnknown's first method: IUnknown (0-2),
// the common part (3-4), the engine part (5-9), the PostScript part (10-11) and
// its second version (12-13).

enum PluginSlot : size_t {
    kPluginQueryInterface = 0,
    kPluginRelease = 2,
    kGetInfo = 3,
    kDevMode = 4,
    kEnableDriver = 5,
    kDisableDriver = 6,
    kEnablePDEV = 7,
    kDisablePDEV = 8,
    kPublishDriverInterface = 10,
    kCommand = 11,
    kWritePrinter = 12,
};

using QueryInterfaceMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, REFIID riid, void** ppv);
using ReleaseMethod = ULONG(STDMETHODCALLTYPE*)(void* self);
using GetInfoMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, DWORD mode, PVOID buffer, DWORD size, PDWORD needed);
using DevModeMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, DWORD mode, POEMDMPARAM param);
using EnableDriverMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, DWORD version, DWORD size, PDRVENABLEDATA ded);
using DisableDriverMethod = HRESULT(STDMETHODCALLTYPE*)(void* self);
using EnablePdevMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, PDEVOBJ device, PWSTR printerName, ULONG patterns,
                                                     HSURF* patternSurfaces, ULONG gdiInfoSize, GDIINFO* gdiInfo,
                                                     ULONG devInfoSize, DEVINFO* devInfo, DRVENABLEDATA* ded,
                                                     PDEVOEM* block);
using DisablePdevMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, PDEVOBJ device);
using PublishMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, void* unknown);
using CommandMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, PDEVOBJ device, DWORD index, PVOID data, DWORD size,
                                                  DWORD* result);
using WritePrinterMethod = HRESULT(STDMETHODCALLTYPE*)(void* self, PDEVOBJ device, PVOID buffer, DWORD size,
                                                       PDWORD written);

// ---------------------------------------------------------------------------
// The driver's side: a core helper that records SetOptions and a driver-services
// object (the driver's own DDI functions the hooks chain to are the harness's
// hook table, harness/driver_hooks.h). The two objects
// are plain structures whose first member is their method table, laid out slot
// by slot below. Reference counts start at 1 for this program; Release never
// deletes.

constexpr size_t kMaxOptions = 8;
constexpr size_t kOptionText = 32;

struct SmokeCoreHelper {
    const Slot* methods;
    LONG refs;
    size_t optionCount;
    char features[kMaxOptions][kOptionText];
    char options[kMaxOptions][kOptionText];
};
static_assert(std::is_standard_layout_v<SmokeCoreHelper>, "the method table must come first");

struct SmokeDriverServices {
    const Slot* methods;
    LONG refs;
};
static_assert(std::is_standard_layout_v<SmokeDriverServices>, "the method table must come first");

void CopyText(char (&to)[kOptionText], PCSTR from) {
    to[0] = 0;
    if (from == nullptr) return;
    size_t i = 0;
    for (; i + 1 < kOptionText && from[i] != 0; ++i) to[i] = from[i];
    to[i] = 0;
}

// Slots 0-2 of the core helper: IUnknown for IUnknown, the helper and the
// PostScript helper.
HRESULT STDMETHODCALLTYPE HelperQueryInterface(SmokeCoreHelper* self, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintCoreHelper) ||
        IsEqualIID(riid, IID_IPrintCoreHelperPS)) {
        *ppv = self;
        InterlockedIncrement(&self->refs);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE HelperAddRef(SmokeCoreHelper* self) {
    return static_cast<ULONG>(InterlockedIncrement(&self->refs));
}
ULONG STDMETHODCALLTYPE HelperRelease(SmokeCoreHelper* self) {
    return static_cast<ULONG>(InterlockedDecrement(&self->refs));
}
// Slots 3-11: the helper.
HRESULT STDMETHODCALLTYPE HelperGetOption(SmokeCoreHelper*, const DEVMODEW*, DWORD, PCSTR, PCSTR*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HelperSetOptions(SmokeCoreHelper* self, PDEVMODEW, DWORD, BOOL,
                                           const PRINT_FEATURE_OPTION* pairs, DWORD count, PDWORD pairsWritten,
                                           PDWORD result) {
    for (DWORD i = 0; pairs != nullptr && i < count; ++i) {
        if (self->optionCount == kMaxOptions) return E_OUTOFMEMORY;
        CopyText(self->features[self->optionCount], pairs[i].pszFeature);
        CopyText(self->options[self->optionCount], pairs[i].pszOption);
        ++self->optionCount;
    }
    if (pairsWritten != nullptr) *pairsWritten = count;
    if (result != nullptr) *result = SETOPTIONS_RESULT_NO_CONFLICT;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE HelperEnumConstrainedOptions(SmokeCoreHelper*, const DEVMODEW*, DWORD, PCSTR, PCSTR**,
                                                       DWORD*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE HelperWhyConstrained(SmokeCoreHelper*, const DEVMODEW*, DWORD, PCSTR, PCSTR,
                                               const PRINT_FEATURE_OPTION**, DWORD*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE HelperEnumFeatures(SmokeCoreHelper*, PCSTR**, DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HelperEnumOptions(SmokeCoreHelper*, PCSTR, PCSTR**, DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HelperGetFontSubstitution(SmokeCoreHelper*, PCWSTR, PCWSTR*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HelperSetFontSubstitution(SmokeCoreHelper*, PCWSTR, PCWSTR) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE HelperCreateInstanceOfMSXMLObject(SmokeCoreHelper*, REFCLSID, LPUNKNOWN, DWORD, REFIID,
                                                            LPVOID* ppv) {
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOTIMPL;
}
// Slots 12-14: the PostScript helper.
HRESULT STDMETHODCALLTYPE HelperGetGlobalAttribute(SmokeCoreHelper*, PCSTR, PDWORD, PBYTE*, PDWORD) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE HelperGetFeatureAttribute(SmokeCoreHelper*, PCSTR, PCSTR, PDWORD, PBYTE*, PDWORD) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE HelperGetOptionAttribute(SmokeCoreHelper*, PCSTR, PCSTR, PCSTR, PDWORD, PBYTE*, PDWORD) {
    return E_NOTIMPL;
}

const Slot kCoreHelperMethods[15] = {
    FunctionAs<Slot>(&HelperQueryInterface),               // 0
    FunctionAs<Slot>(&HelperAddRef),                       // 1
    FunctionAs<Slot>(&HelperRelease),                      // 2
    FunctionAs<Slot>(&HelperGetOption),                    // 3
    FunctionAs<Slot>(&HelperSetOptions),                   // 4
    FunctionAs<Slot>(&HelperEnumConstrainedOptions),       // 5
    FunctionAs<Slot>(&HelperWhyConstrained),               // 6
    FunctionAs<Slot>(&HelperEnumFeatures),                 // 7
    FunctionAs<Slot>(&HelperEnumOptions),                  // 8
    FunctionAs<Slot>(&HelperGetFontSubstitution),          // 9
    FunctionAs<Slot>(&HelperSetFontSubstitution),          // 10
    FunctionAs<Slot>(&HelperCreateInstanceOfMSXMLObject),  // 11
    FunctionAs<Slot>(&HelperGetGlobalAttribute),           // 12
    FunctionAs<Slot>(&HelperGetFeatureAttribute),          // 13
    FunctionAs<Slot>(&HelperGetOptionAttribute),           // 14
};

HRESULT STDMETHODCALLTYPE ServicesQueryInterface(SmokeDriverServices* self, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemDriverPS)) {
        *ppv = self;
        InterlockedIncrement(&self->refs);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE ServicesAddRef(SmokeDriverServices* self) {
    return static_cast<ULONG>(InterlockedIncrement(&self->refs));
}
ULONG STDMETHODCALLTYPE ServicesRelease(SmokeDriverServices* self) {
    return static_cast<ULONG>(InterlockedDecrement(&self->refs));
}
HRESULT STDMETHODCALLTYPE ServicesGetDriverSetting(SmokeDriverServices*, PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE ServicesWriteSpoolBuf(SmokeDriverServices*, PDEVOBJ, PVOID, DWORD, DWORD* result) {
    if (result != nullptr) *result = 0;
    return E_NOTIMPL;
}

const Slot kDriverServicesMethods[5] = {
    FunctionAs<Slot>(&ServicesQueryInterface),    // 0
    FunctionAs<Slot>(&ServicesAddRef),            // 1
    FunctionAs<Slot>(&ServicesRelease),           // 2
    FunctionAs<Slot>(&ServicesGetDriverSetting),  // 3
    FunctionAs<Slot>(&ServicesWriteSpoolBuf),     // 4
};

// ---------------------------------------------------------------------------
// The spooler: a printer on Wine's own PostScript driver (the plug-in is not
// installed with it; this program stands in for the driver) whose port is a
// file, so what the plug-in writes can be read back.

constexpr const WCHAR* kPrinterName = WIDE("Render Smoke Printer");
constexpr const WCHAR* kDriverName = WIDE("Render Smoke Driver");

struct Spooler;
void TearDownSpooler(Spooler& spooler);

// Whatever was set up is removed again, so a kept prefix stays as it was.
struct Spooler {
    WCHAR portFile[kPathCapacity] = {};
    WCHAR dataFile[kPathCapacity] = {};
    PrinterCloser printer;
    bool printerAdded = false;

    Spooler() = default;
    Spooler(const Spooler&) = delete;
    Spooler& operator=(const Spooler&) = delete;
    ~Spooler() { TearDownSpooler(*this); }
};

bool WriteSmallFile(const WCHAR* path, const char* text) {
    FileCloser file{CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return false;
    const DWORD size = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    return WriteFile(file.handle, text, size, &written, nullptr) && written == size;
}

bool ReadWholeFile(const WCHAR* path, std::string* out) {
    FileCloser file{CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return false;
    out->clear();
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.handle, chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) return true;
        out->append(chunk, got);
    }
}

// Removes a printer a previous run left behind (the prefix may be kept).
void DeletePrinterNamed(const WCHAR* name) {
    std::vector<WCHAR> nameBuffer = Buffer(name);
    PRINTER_DEFAULTSW access{};
    access.DesiredAccess = PRINTER_ALL_ACCESS;
    HANDLE old = nullptr;
    if (OpenPrinterW(nameBuffer.data(), &old, &access) && old != nullptr) {
        DeletePrinter(old);
        ClosePrinter(old);
    }
}

// Sets up the driver and a printer whose port is spooler.portFile, and opens it.
// Prints why when it cannot.
bool SetUpSpooler(Spooler& spooler) {
    if (!BuildCompanionPath(nullptr, kPathCapacity, WIDE("windows_smoke_port.prn"), spooler.portFile) ||
        !BuildCompanionPath(nullptr, kPathCapacity, WIDE("windows_smoke.ppd"), spooler.dataFile)) {
        std::printf("note: the program's folder does not fit a path\n");
        return false;
    }
    // The driver only needs some description file; the plug-in never reads it.
    if (!WriteSmallFile(spooler.dataFile, "*PPD-Adobe: \"4.3\"\r\n*ModelName: \"Render Smoke\"\r\n")) {
        std::printf("note: cannot write %ls (error %lu)\n", spooler.dataFile, GetLastError());
        return false;
    }
    DeleteFileW(spooler.portFile);  // the spooler appends to a file port
    DeletePrinterNamed(kPrinterName);

    WCHAR systemFolder[kPathCapacity] = {};
    const UINT length = GetSystemDirectoryW(systemFolder, static_cast<UINT>(kPathCapacity));
    WCHAR driverFile[kPathCapacity] = {};
    if (length == 0 || length >= kPathCapacity ||
        !WTextJoin3(driverFile, kPathCapacity, systemFolder, WIDE("\\"), WIDE("wineps.drv"))) {
        std::printf("note: no system folder\n");
        return false;
    }
    std::vector<WCHAR> driverName = Buffer(kDriverName);
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = driverName.data();
    driver.pDriverPath = driverFile;
    driver.pConfigFile = driverFile;
    driver.pDataFile = spooler.dataFile;
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
        std::printf("note: AddPrinterDriverExW failed (error %lu)\n", GetLastError());
        return false;
    }

    std::vector<WCHAR> printerName = Buffer(kPrinterName);
    std::vector<WCHAR> processor = Buffer(WIDE("WinPrint"));
    std::vector<WCHAR> datatype = Buffer(WIDE("RAW"));
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pPortName = spooler.portFile;
    info.pDriverName = driverName.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = datatype.data();
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (added == nullptr) {
        std::printf("note: AddPrinterW failed (error %lu)\n", GetLastError());
        return false;
    }
    ClosePrinter(added);
    spooler.printerAdded = true;

    if (!OpenPrinterW(printerName.data(), &spooler.printer.handle, nullptr) || spooler.printer.handle == nullptr) {
        spooler.printer.handle = nullptr;
        std::printf("note: OpenPrinterW failed (error %lu)\n", GetLastError());
        return false;
    }
    return true;
}

void TearDownSpooler(Spooler& spooler) {
    if (spooler.printer.handle != nullptr) {
        ClosePrinter(spooler.printer.handle);
        spooler.printer.handle = nullptr;
    }
    if (spooler.printerAdded) DeletePrinterNamed(kPrinterName);
    spooler.printerAdded = false;
    if (spooler.dataFile[0] != 0) DeleteFileW(spooler.dataFile);
    if (spooler.portFile[0] != 0) DeleteFileW(spooler.portFile);
    spooler.dataFile[0] = 0;
    spooler.portFile[0] = 0;
}

// ---------------------------------------------------------------------------
// The job: what the driver writes, with a document setup section that holds
// one of its own feature blocks.

const char kJob[] =
    "%!PS-Adobe-3.0\r\n"
    "%%Title: Smoke job\r\n"
    "%%Pages: 1\r\n"
    "%%EndComments\r\n"
    "%%BeginProlog\r\n"
    "%%EndProlog\r\n"
    "%%BeginSetup\r\n"
    "featurebegin{\r\n"
    "%%BeginFeature: *PageSize A4\r\n"
    "<</PageSize [595 842] /ImagingBBox null>> setpagedevice\r\n"
    "%%EndFeature\r\n"
    "}featurecleanup\r\n"
    "%%EndSetup\r\n"
    "%%Page: 1 1\r\n"
    "72 720 moveto (Smoke) show\r\n"
    "showpage\r\n"
    "%%Trailer\r\n"
    "%%EOF\r\n";

void CheckPortFile(const WCHAR* portFile) {
    std::string out;
    if (!ReadWholeFile(portFile, &out)) {
        Check(false, "the port file can be read");
        return;
    }
    const std::string begin = "\x1B%-12345X@PJL\r\n";
    Check(out.compare(0, begin.size(), begin) == 0, "the port file begins with ESC %-12345X@PJL CR LF");
    // "Smoke job" in hexadecimal: the name the StartDoc hook was given.
    Check(out.find("\r\n@PJL SET JOBNAME=536D6F6B65206A6F62\r\n") != std::string::npos,
          "the header names the document the StartDoc hook got");
    const std::string enter = "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
    const size_t enterAt = out.find(enter);
    Check(enterAt != std::string::npos, "the port file switches to PostScript");
    if (enterAt == std::string::npos) return;
    const std::string postscript = out.substr(enterAt + enter.size());
    Check(postscript.compare(0, 16, "%!PS-Adobe-3.0\r\n") == 0, "the PostScript follows the switch");
    const size_t setupAt = postscript.find("%%BeginSetup\r\n");
    const size_t endSetupAt = postscript.find("%%EndSetup\r\n");
    const size_t featureAt = postscript.find("%%BeginFeature: *ZTOrientation Portrait\r\n");
    Check(setupAt != std::string::npos && featureAt != std::string::npos && endSetupAt != std::string::npos &&
              setupAt < featureAt && featureAt < endSetupAt,
          "the document setup carries the inserted *ZTOrientation Portrait block");
    Check(postscript.find("(Portrait) /Custom /ProcSet findresource /ZTOrientation get exec\r\n") != std::string::npos,
          "the orientation block comes from the embedded template");
    const std::string tail = "showpage\r\n%%Trailer\r\n%%EOF\r\n";
    const bool endsWithTail =
        postscript.size() >= tail.size() && postscript.compare(postscript.size() - tail.size(), tail.size(), tail) == 0;
    Check(endsWithTail, "the job's end reached the port file unchanged");
    if (failures > 0) {
        std::printf("---- port file (%u bytes) ----\n%s\n---- end ----\n", static_cast<unsigned>(out.size()),
                    out.c_str());
    }
}

// ---------------------------------------------------------------------------
// Jobs at once: kThreads threads with kJobsPerThread jobs each, as a print
// server renders them, each job with a plug-in object, a printer handle, copy
// count, document name and write size of its own and its own output file
// (DOC_INFO_1's output file in place of the printer's port). Every job must
// print exactly what it printed when all of them ran one after the other.

constexpr int kThreads = 4;
constexpr int kJobsPerThread = 4;
constexpr int kNumberedJobs = kThreads * kJobsPerThread;

struct NumberedJob {
    std::string printed;  // the output file's bytes
    std::string failure;  // the first step that went wrong, or empty
};

std::string JobNumberText(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", number);
    return text;
}

// The public settings every smoke job starts from: A4, portrait, one copy.
DEVMODEW PortraitA4OneCopy() {
    DEVMODEW publicDm{};
    publicDm.dmSpecVersion = DM_SPECVERSION;
    publicDm.dmSize = sizeof publicDm;
    publicDm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    publicDm.dmOrientation = DMORIENT_PORTRAIT;
    publicDm.dmPaperSize = DMPAPER_A4;
    publicDm.dmCopies = 1;
    return publicDm;
}

// Runs job `number` on the calling thread; its output goes to a file named
// after `run` and the number, which is read and deleted again. Touches no
// state of this program but its own, so any thread may run it.
NumberedJob RunNumberedJob(IClassFactory* factory, HMODULE module, int number, const char* run) {
    NumberedJob job;
    auto fail = [&job](const char* step) {
        if (job.failure.empty()) job.failure = step;
    };
    void* unknown = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, IID_IUnknown, &unknown)) || unknown == nullptr) {
        fail("CreateInstance");
        return job;
    }
    void* plugin = nullptr;
    const HRESULT queried =
        MethodAt<QueryInterfaceMethod>(unknown, kPluginQueryInterface)(unknown, IID_IPrintOemPS2, &plugin);
    MethodAt<ReleaseMethod>(unknown, kPluginRelease)(unknown);
    if (FAILED(queried) || plugin == nullptr) {
        fail("QueryInterface(IID_IPrintOemPS2)");
        return job;
    }
    SmokeCoreHelper coreHelper{kCoreHelperMethods, 1, 0, {}, {}};
    SmokeDriverServices driverServices{kDriverServicesMethods, 1};
    const auto publish = MethodAt<PublishMethod>(plugin, kPublishDriverInterface);
    if (publish(plugin, &coreHelper) != S_OK || publish(plugin, &driverServices) != S_OK)
        fail("PublishDriverInterface");
    DRVENABLEDATA hooks{};
    if (MethodAt<EnableDriverMethod>(plugin, kEnableDriver)(plugin, PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks) !=
        S_OK) {
        fail("EnableDriver");
    }
    const harness::PluginHooks pluginHooks = harness::PluginHooks::From(hooks);

    std::vector<WCHAR> printerName = Buffer(kPrinterName);
    PrinterCloser printer;
    if (!OpenPrinterW(printerName.data(), &printer.handle, nullptr)) {
        printer.handle = nullptr;
        fail("OpenPrinterW");
    }
    // Device settings: the sibling's defaults, with the job's own copy count.
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = printer.handle;
    param.hModule = module;
    DEVMODEW publicDm = PortraitA4OneCopy();
    std::vector<BYTE> privatePart(12016, 0);
    param.pPublicDMIn = &publicDm;
    param.pOEMDMOut = privatePart.data();
    param.cbBufSize = static_cast<DWORD>(privatePart.size());
    if (MethodAt<DevModeMethod>(plugin, kDevMode)(plugin, OEMDM_DEFAULT, &param) != S_OK)
        fail("DevMode(OEMDM_DEFAULT)");
    const WORD copies = static_cast<WORD>(1 + number);
    std::memcpy(privatePart.data() + 12 + 1224, &copies, sizeof copies);  // CopyCount

    harness::DriverFunctions driverFunctions;
    DEVOBJ device{};
    device.dwSize = sizeof device;
    device.hPrinter = printer.handle;
    device.hOEM = module;
    device.pPublicDM = &publicDm;
    device.pOEMDM = privatePart.data();
    PDEVOEM block = nullptr;
    if (MethodAt<EnablePdevMethod>(plugin, kEnablePDEV)(plugin, &device, printerName.data(), 0, nullptr, 0, nullptr, 0,
                                                        nullptr, driverFunctions.Table(), &block) != S_OK ||
        block == nullptr || !pluginHooks.Complete() || printer.handle == nullptr) {
        fail("EnablePDEV");
    } else {
        device.pdevOEM = block;
        const std::string name = "Smoke job " + JobNumberText(number);
        std::vector<WCHAR> documentName(name.begin(), name.end());
        documentName.push_back(0);
        const std::string fileName = std::string("windows_smoke_") + run + "_" + JobNumberText(number) + ".prn";
        std::vector<WCHAR> fileUnits(fileName.begin(), fileName.end());
        fileUnits.push_back(0);
        WCHAR outputFile[kPathCapacity] = {};
        if (!BuildCompanionPath(nullptr, kPathCapacity, fileUnits.data(), outputFile)) fail("the output file's path");
        DeleteFileW(outputFile);
        std::vector<WCHAR> datatype = Buffer(WIDE("RAW"));
        DOC_INFO_1W doc{documentName.data(), outputFile, datatype.data()};
        const DWORD jobId = StartDocPrinterW(printer.handle, 1, reinterpret_cast<BYTE*>(&doc));
        if (jobId == 0) fail("StartDocPrinterW");

        harness::DriverSurface driver;
        driver.surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
        if (pluginHooks.startDoc(&driver.surface, documentName.data(), jobId) != TRUE) fail("the StartDoc hook");
        DWORD result = 0;
        if (MethodAt<CommandMethod>(plugin, kCommand)(plugin, &device, PSINJECT_BEGINSTREAM, nullptr, 0, &result) !=
            E_NOTIMPL) {
            fail("Command(PSINJECT_BEGINSTREAM)");
        }
        // Each job cuts the driver's stream at its own size.
        const size_t cut = 5 + 7 * static_cast<size_t>(number);
        const size_t total = sizeof kJob - 1;
        for (size_t at = 0; at < total; at += cut) {
            const DWORD count = static_cast<DWORD>(total - at < cut ? total - at : cut);
            DWORD written = 0;
            if (MethodAt<WritePrinterMethod>(plugin, kWritePrinter)(plugin, &device, const_cast<char*>(kJob) + at,
                                                                    count, &written) != S_OK ||
                written != count) {
                fail("WritePrinter");
                break;
            }
        }
        if (pluginHooks.sendPage(&driver.surface) != TRUE) fail("the SendPage hook");
        if (pluginHooks.endDoc(&driver.surface, 0) != TRUE) fail("the EndDoc hook");
        if (driver.calls.startDoc != 1 || driver.calls.endDoc != 1 || driver.calls.jobId != jobId) {
            fail("the driver's functions got this job's calls");
        }
        if (EndDocPrinter(printer.handle) != TRUE) fail("EndDocPrinter");
        if (!ReadWholeFile(outputFile, &job.printed)) fail("reading the output file");
        DeleteFileW(outputFile);
    }
    MethodAt<DisablePdevMethod>(plugin, kDisablePDEV)(plugin, &device);
    MethodAt<DisableDriverMethod>(plugin, kDisableDriver)(plugin);
    if (MethodAt<ReleaseMethod>(plugin, kPluginRelease)(plugin) != 0) fail("the last Release");
    if (coreHelper.refs != 1 || driverServices.refs != 1) fail("the driver's interfaces were given back");
    return job;
}

void CheckJobsAtOnce(IClassFactory* factory, HMODULE module) {
    std::vector<NumberedJob> serial(kNumberedJobs);
    for (int n = 0; n < kNumberedJobs; ++n) serial[n] = RunNumberedJob(factory, module, n, "serial");
    std::vector<NumberedJob> together(kNumberedJobs);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kJobsPerThread; ++k) {
                const int n = t * kJobsPerThread + k;
                together[n] = RunNumberedJob(factory, module, n, "threads");
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    int serialFailures = 0;
    int threadedFailures = 0;
    int named = 0;
    int same = 0;
    for (int n = 0; n < kNumberedJobs; ++n) {
        if (!serial[n].failure.empty()) {
            std::printf("note: job %d one after the other: %s\n", n, serial[n].failure.c_str());
            ++serialFailures;
        }
        if (!together[n].failure.empty()) {
            std::printf("note: job %d at once: %s\n", n, together[n].failure.c_str());
            ++threadedFailures;
        }
        // "Smoke job N" in hexadecimal: each job's header names its own document.
        std::string hex = "536D6F6B65206A6F6220";
        for (char c : JobNumberText(n)) {
            const char digits[] = "0123456789ABCDEF";
            hex += digits[static_cast<unsigned char>(c) >> 4];
            hex += digits[static_cast<unsigned char>(c) & 15];
        }
        if (serial[n].printed.find("\r\n@PJL SET JOBNAME=" + hex + "\r\n") != std::string::npos) ++named;
        if (!serial[n].printed.empty() && together[n].printed == serial[n].printed) ++same;
    }
    CheckNumber(static_cast<unsigned long long>(serialFailures), 0, "16 jobs one after the other run every step");
    CheckNumber(static_cast<unsigned long long>(named), kNumberedJobs, "each of them names its own document");
    CheckNumber(static_cast<unsigned long long>(threadedFailures), 0, "the same 16 jobs on 4 threads run every step");
    CheckNumber(static_cast<unsigned long long>(same), kNumberedJobs,
                "every job printed on 4 threads what it printed alone");
}

int Run() {
    WCHAR pluginPath[kPathCapacity] = {};
    if (!BuildCompanionPath(nullptr, kPathCapacity, WIDE("QM22TRD.dll"), pluginPath)) {
        Check(false, "the plug-in's path fits");
        return 1;
    }
    ModuleCloser module{LoadLibraryW(pluginPath)};
    if (module.handle == nullptr) {
        std::printf("FAIL: LoadLibraryW(%ls) (error %lu)\n", pluginPath, GetLastError());
        return 1;
    }
    Check(true, "QM22TRD.dll loads from the program's folder");
    Check(GetModuleHandleW(WIDE("QM22TIE.dll")) != nullptr, "loading it loaded QM22TIE.dll from the same folder");

    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
    const auto getClassObject = FunctionAs<GetClassObjectFunction>(GetProcAddress(module.handle, "DllGetClassObject"));
    const auto canUnloadNow = FunctionAs<CanUnloadNowFunction>(GetProcAddress(module.handle, "DllCanUnloadNow"));
    Check(getClassObject != nullptr && canUnloadNow != nullptr, "DllGetClassObject and DllCanUnloadNow are exported");
    if (getClassObject == nullptr || canUnloadNow == nullptr) return 1;

    // The order the driver uses: the factory, an IUnknown, then the newest interface.
    FactoryReleaser factory;
    HRESULT hr = getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory.factory));
    CheckHr(hr, S_OK, "DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory)");
    if (FAILED(hr) || factory.factory == nullptr) return 1;
    void* unknown = nullptr;
    hr = factory.factory->CreateInstance(nullptr, IID_IUnknown, &unknown);
    CheckHr(hr, S_OK, "IClassFactory::CreateInstance(IID_IUnknown)");
    if (FAILED(hr) || unknown == nullptr) return 1;
    void* plugin = nullptr;
    hr = MethodAt<QueryInterfaceMethod>(unknown, kPluginQueryInterface)(unknown, IID_IPrintOemPS2, &plugin);
    CheckHr(hr, S_OK, "QueryInterface(IID_IPrintOemPS2)");
    CheckNumber(MethodAt<ReleaseMethod>(unknown, kPluginRelease)(unknown), 1,
                "releasing the IUnknown leaves one reference");
    if (FAILED(hr) || plugin == nullptr) return 1;
    void* older = reinterpret_cast<void*>(1);
    CheckHr(MethodAt<QueryInterfaceMethod>(plugin, kPluginQueryInterface)(plugin, IID_IPrintOemPS, &older),
            E_NOINTERFACE, "QueryInterface(IID_IPrintOemPS)");
    Check(older == nullptr, "the refused query clears its output");
    CheckHr(canUnloadNow(), S_FALSE, "DllCanUnloadNow while the plug-in lives");

    // GetInfo
    DWORD signature = 0;
    DWORD needed = 0;
    const auto getInfo = MethodAt<GetInfoMethod>(plugin, kGetInfo);
    hr = getInfo(plugin, OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed);
    CheckHr(hr, S_OK, "GetInfo(OEMGI_GETSIGNATURE)");
    CheckNumber(signature, 0x4D534654, "the signature is 0x4D534654");
    CheckNumber(needed, 4, "the signature needs 4 bytes");
    BYTE small[3] = {0xAA, 0xAA, 0xAA};
    needed = 0;
    SetLastError(ERROR_SUCCESS);
    hr = getInfo(plugin, OEMGI_GETSIGNATURE, small, sizeof small, &needed);
    const DWORD smallError = GetLastError();
    CheckHr(hr, E_FAIL, "GetInfo into 3 bytes fails");
    CheckNumber(smallError, ERROR_INSUFFICIENT_BUFFER, "with ERROR_INSUFFICIENT_BUFFER");
    CheckNumber(needed, 4, "and reports the 4 bytes needed");
    Check(small[0] == 0xAA && small[1] == 0xAA && small[2] == 0xAA, "and writes nothing");

    // PublishDriverInterface: the core helper first, then the driver's services.
    SmokeCoreHelper coreHelper{kCoreHelperMethods, 1, 0, {}, {}};
    SmokeDriverServices driverServices{kDriverServicesMethods, 1};
    const auto publish = MethodAt<PublishMethod>(plugin, kPublishDriverInterface);
    CheckHr(publish(plugin, &coreHelper), S_OK, "PublishDriverInterface(core helper)");
    CheckNumber(static_cast<unsigned long long>(coreHelper.refs), 2, "the plug-in keeps one core-helper reference");
    CheckHr(publish(plugin, &driverServices), S_OK, "PublishDriverInterface(driver services)");
    CheckNumber(static_cast<unsigned long long>(driverServices.refs), 2,
                "the plug-in keeps one driver-services reference");

    // EnableDriver
    DRVENABLEDATA hooks{};
    hr = MethodAt<EnableDriverMethod>(plugin, kEnableDriver)(plugin, PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks);
    CheckHr(hr, S_OK, "EnableDriver");
    CheckNumber(hooks.c, 3, "EnableDriver gives 3 hooks");
    const bool hookOrder = hooks.c == 3 && hooks.pdrvfn != nullptr && hooks.pdrvfn[0].iFunc == INDEX_DrvSendPage &&
                           hooks.pdrvfn[1].iFunc == INDEX_DrvStartDoc && hooks.pdrvfn[2].iFunc == INDEX_DrvEndDoc &&
                           hooks.pdrvfn[0].pfn != nullptr && hooks.pdrvfn[1].pfn != nullptr &&
                           hooks.pdrvfn[2].pfn != nullptr;
    Check(hookOrder, "the hooks are indexes 32, 35, 34 with functions");
    if (!hookOrder) return 1;
    const harness::PluginHooks pluginHooks = harness::PluginHooks::From(hooks);

    // The spooler comes before the device settings, as in the driver, which
    // always hands DevMode the printer it works for.
    Spooler spooler;
    const bool haveSpooler = SetUpSpooler(spooler);
    if (!haveSpooler) {
        std::printf("skip: no spooler printer with a file port; the job through the spooler is not run\n");
    }

    // DevMode: size, then the defaults through the sibling library.
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = spooler.printer.handle;
    param.hModule = module.handle;
    const auto devMode = MethodAt<DevModeMethod>(plugin, kDevMode);
    hr = devMode(plugin, OEMDM_SIZE, &param);
    CheckHr(hr, S_OK, "DevMode(OEMDM_SIZE)");
    CheckNumber(param.cbBufSize, 12016, "the private part is 12016 bytes");
    if (param.cbBufSize != 12016) return 1;

    DEVMODEW publicDm = PortraitA4OneCopy();
    std::vector<BYTE> privatePart(12016, 0xCC);
    param.pPublicDMIn = &publicDm;
    param.pOEMDMOut = privatePart.data();
    param.cbBufSize = static_cast<DWORD>(privatePart.size());
    hr = devMode(plugin, OEMDM_DEFAULT, &param);
    CheckHr(hr, S_OK, "DevMode(OEMDM_DEFAULT)");
    const BYTE header[12] = {0xF0, 0x2E, 0x00, 0x00, 0x54, 0x46, 0x53, 0x4D, 0x01, 0x00, 0x00, 0x00};
    Check(std::memcmp(privatePart.data(), header, sizeof header) == 0,
          "the private part's header is (12016, 0x4D534654, 1)");
    const BYTE identification[14] = {'V', 0, 'T', 0, 'A', 0, '/', 0, 'N', 0, 'P', 0, 0, 0};
    Check(std::memcmp(privatePart.data() + 12, identification, sizeof identification) == 0,
          "the settings block starts with \"VTA/NP\" from the sibling's defaults");
    Check(privatePart[12 + 376] == 9 && privatePart[12 + 377] == 0, "the settings block holds paper 9 at offset 376");
    Check(coreHelper.optionCount == 2 && std::strcmp(coreHelper.features[0], "Duplex") == 0 &&
              std::strcmp(coreHelper.options[0], "None") == 0 && std::strcmp(coreHelper.features[1], "PageSize") == 0 &&
              std::strcmp(coreHelper.options[1], "A4") == 0,
          "SetOptions got (\"Duplex\",\"None\") and (\"PageSize\",\"A4\")");

    // EnablePDEV with the driver's own functions.
    harness::DriverFunctions driverFunctions;
    DEVOBJ device{};
    device.dwSize = sizeof device;
    device.hPrinter = spooler.printer.handle;
    device.hOEM = module.handle;
    device.pPublicDM = &publicDm;
    device.pOEMDM = privatePart.data();
    std::vector<WCHAR> printerName = Buffer(kPrinterName);
    PDEVOEM block = nullptr;
    hr = MethodAt<EnablePdevMethod>(plugin, kEnablePDEV)(plugin, &device, printerName.data(), 0, nullptr, 0, nullptr, 0,
                                                         nullptr, driverFunctions.Table(), &block);
    CheckHr(hr, S_OK, "EnablePDEV");
    Check(block != nullptr, "EnablePDEV gives a per-device block");
    device.pdevOEM = block;

    if (haveSpooler && block != nullptr) {
        std::vector<WCHAR> documentName = Buffer(WIDE("Smoke job"));
        std::vector<WCHAR> datatype = Buffer(WIDE("RAW"));
        DOC_INFO_1W doc{documentName.data(), nullptr, datatype.data()};
        const DWORD jobId = StartDocPrinterW(spooler.printer.handle, 1, reinterpret_cast<BYTE*>(&doc));
        Check(jobId != 0, "StartDocPrinterW gives a job");

        harness::DriverSurface driver;
        SURFOBJ* const surface = &driver.surface;
        surface->dhpdev = reinterpret_cast<DHPDEV>(&device);
        const harness::DriverCalls& calls = driver.calls;
        Check(pluginHooks.startDoc(surface, documentName.data(), jobId) == TRUE, "the StartDoc hook succeeds");
        Check(calls.startDoc == 1 && calls.surface == surface && calls.documentName == documentName.data() &&
                  calls.jobId == jobId,
              "it chains to the driver's StartDoc with the same arguments");

        DWORD result = 0;
        hr = MethodAt<CommandMethod>(plugin, kCommand)(plugin, &device, PSINJECT_BEGINSTREAM, nullptr, 0, &result);
        CheckHr(hr, E_NOTIMPL, "Command(PSINJECT_BEGINSTREAM)");
        CheckNumber(result, 50, "Command's result is 50");

        DWORD written = 0;
        const DWORD jobBytes = static_cast<DWORD>(sizeof kJob - 1);
        hr = MethodAt<WritePrinterMethod>(plugin, kWritePrinter)(plugin, &device, const_cast<char*>(kJob), jobBytes,
                                                                 &written);
        CheckHr(hr, S_OK, "WritePrinter of the job");
        CheckNumber(written, jobBytes, "WritePrinter took every byte");

        Check(pluginHooks.sendPage(surface) == TRUE && calls.sendPage == 1 && calls.surface == surface,
              "the SendPage hook chains to the driver's SendPage");
        Check(pluginHooks.endDoc(surface, 0) == TRUE && calls.endDoc == 1 && calls.endFlags == 0,
              "the EndDoc hook chains to the driver's EndDoc");
        Check(EndDocPrinter(spooler.printer.handle) == TRUE, "EndDocPrinter");
        ClosePrinter(spooler.printer.handle);
        spooler.printer.handle = nullptr;
        CheckPortFile(spooler.portFile);
        CheckJobsAtOnce(factory.factory, module.handle);
    }

    // Teardown in the driver's order.
    CheckHr(MethodAt<DisablePdevMethod>(plugin, kDisablePDEV)(plugin, &device), S_OK, "DisablePDEV");
    Check(device.pdevOEM == nullptr, "DisablePDEV clears the block");
    CheckHr(MethodAt<DisableDriverMethod>(plugin, kDisableDriver)(plugin), S_OK, "DisableDriver");
    CheckNumber(static_cast<unsigned long long>(driverServices.refs), 1,
                "DisableDriver gives the driver-services reference back");
    CheckNumber(MethodAt<ReleaseMethod>(plugin, kPluginRelease)(plugin), 0, "the last Release of the plug-in gives 0");
    CheckNumber(static_cast<unsigned long long>(coreHelper.refs), 1, "the plug-in gave the core-helper reference back");
    CheckNumber(factory.factory->Release(), 0, "the last Release of the factory gives 0");
    factory.factory = nullptr;
    CheckHr(canUnloadNow(), S_OK, "DllCanUnloadNow once everything is released");
    Check(FreeLibrary(module.Release()) == TRUE, "FreeLibrary");
    Check(GetModuleHandleW(WIDE("QM22TIE.dll")) == nullptr, "unloading the plug-in unloaded QM22TIE.dll");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main() {
    int status = 1;
    try {
        status = Run();
    } catch (...) {
        std::printf("FAIL: an exception reached main\n");
        status = 1;
    }
    if (failures > 0) status = 1;
    std::printf("windows_smoke: %s\n", status == 0 ? "all checks passed" : "FAILED");
    std::fflush(stdout);
    return status;
}
