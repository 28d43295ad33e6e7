#include "driver_session.h"

#include "cli.h"
#include "platform/host/sim_control.h"

#include <cstdio>
#include <type_traits>
#include <vector>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm22t {
namespace {

constexpr char16_t kPrinterName[] = u"Example Printer";

// Function pointers change type through the generic function type, which the
// compiler accepts without a cast-function-type warning.
template <typename To, typename From>
To FunctionAs(From function) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

// The driver's own DDI functions, which the plug-in's hooks call after their work.
BOOL APIENTRY DriverStartDoc(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
BOOL APIENTRY DriverEndDoc(SURFOBJ*, FLONG) { return TRUE; }
BOOL APIENTRY DriverSendPage(SURFOBJ*) { return TRUE; }

using StartDocHook = BOOL(APIENTRY*)(SURFOBJ*, LPWSTR, DWORD);
using EndDocHook = BOOL(APIENTRY*)(SURFOBJ*, FLONG);
using SendPageHook = BOOL(APIENTRY*)(SURFOBJ*);

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return path;
    return std::string(cwd) + "/" + path;
}

std::string Failure(const char* step, HRESULT hr) {
    char text[160];
    std::snprintf(text, sizeof text, "the plug-in refused %s (0x%08X, last error %u)", step, static_cast<unsigned>(hr),
                  static_cast<unsigned>(GetLastError()));
    return text;
}

bool SetDate(const std::string& date, std::string* error) {
    unsigned year = 0, month = 0, day = 0;
    char extra = 0;
    if (std::sscanf(date.c_str(), "%4u-%2u-%2u%c", &year, &month, &day, &extra) != 3 || month < 1 || month > 12 ||
        day < 1 || day > 31 || year < 1601) {
        *error = "--date wants YYYY-MM-DD, not " + date;
        return false;
    }
    SYSTEMTIME now{};
    now.wYear = static_cast<WORD>(year);
    now.wMonth = static_cast<WORD>(month);
    now.wDay = static_cast<WORD>(day);
    now.wHour = 12;
    sim::SetLocalTime(now);
    return true;
}

}  // namespace

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.find_last_of('/'));
}

// A folder of our own that stands for the plug-in's installation folder: the
// plug-in finds the sibling library and the paper-list file next to itself, so
// a job never depends on what else lies in the build folder. The module is
// freed before the folder goes.
struct DriverSession::Module {
    std::string folder;
    std::vector<std::string> links;
    HMODULE handle = nullptr;
    IClassFactory* factory = nullptr;

    ~Module() {
        if (factory != nullptr) factory->Release();
        if (handle != nullptr) FreeLibrary(handle);
        for (const std::string& link : links) unlink(link.c_str());
        if (!folder.empty()) rmdir(folder.c_str());
    }

    bool Link(const std::string& target, const char* name) {
        const std::string link = folder + "/" + name;
        if (symlink(target.c_str(), link.c_str()) != 0) return false;
        links.push_back(link);
        return true;
    }
};

// One device context and its document.
struct DriverSession::Job {
    DRVFN driverFunctions[3] = {
        {INDEX_DrvStartDoc, FunctionAs<PFN>(&DriverStartDoc)},
        {INDEX_DrvEndDoc, FunctionAs<PFN>(&DriverEndDoc)},
        {INDEX_DrvSendPage, FunctionAs<PFN>(&DriverSendPage)},
    };
    DRVENABLEDATA driverTable{DDI_DRIVER_VERSION_NT5, 3, driverFunctions};
    DEVOBJ device{};
    SURFOBJ surface{};
    std::vector<WCHAR> documentName;
    bool started = false;
};

DriverSession::DriverSession() = default;

DriverSession::~DriverSession() {
    if (job_) EndJob(true);
    if (plugin_ != nullptr) {
        plugin_->DisableDriver();
        plugin_->Release();
    }
}

int DriverSession::Open(const SessionOptions& options, std::string* error) {
    const std::string pluginDir = Absolute(options.pluginDir.empty() ? ProgramFolder() : options.pluginDir);
    const std::string pluginFile = pluginDir + "/QM22TRD.dll";
    const std::string siblingFile = pluginDir + "/QM22TIE.dll";
    std::string paperList = options.paperListFile.empty() ? pluginDir + "/QM22T.ini" : Absolute(options.paperListFile);
    if (!FileExists(pluginFile)) {
        *error = "no plug-in module at " + pluginFile + " (--plugin DIR names its folder)";
        return kExitUsage;
    }
    if (!options.paperListFile.empty() && !FileExists(paperList)) {
        *error = "no paper-list file at " + options.paperListFile;
        return kExitUsage;
    }
    if (options.paperListFile.empty() && !FileExists(paperList)) paperList.clear();

    module_ = std::make_unique<Module>();
    char pattern[] = "/tmp/qm22t.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        *error = "cannot make a work folder in /tmp";
        return kExitUsage;
    }
    module_->folder = pattern;
    if (!module_->Link(pluginFile, "QM22TRD.dll") ||
        (FileExists(siblingFile) && !module_->Link(siblingFile, "QM22TIE.dll")) ||
        (!paperList.empty() && !module_->Link(paperList, "QM22T.ini"))) {
        *error = "cannot prepare the work folder " + module_->folder;
        return kExitUsage;
    }

    sim::Reset();
    sim::SetUserName(sim::ToUtf16(options.userName));
    if (!options.date.empty() && !SetDate(options.date, error)) return kExitUsage;
    printer_ = sim::AddPrinter(kPrinterName);

    const std::u16string modulePath = sim::ToUtf16(module_->folder + "/QM22TRD.dll");
    module_->handle = LoadLibraryW(modulePath.c_str());
    if (module_->handle == nullptr) {
        *error = "cannot load the plug-in: " + sim::LastLoaderError();
        return kExitFound;
    }
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = FunctionAs<GetClassObject>(GetProcAddress(module_->handle, "DllGetClassObject"));
    if (getClassObject == nullptr) {
        *error = "the plug-in module has no DllGetClassObject";
        return kExitFound;
    }
    HRESULT hr = getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&module_->factory));
    if (FAILED(hr)) {
        *error = Failure("DllGetClassObject", hr);
        return kExitFound;
    }
    hr = module_->factory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&plugin_));
    if (FAILED(hr)) {
        plugin_ = nullptr;
        *error = Failure("CreateInstance", hr);
        return kExitFound;
    }

    DWORD signature = 0;
    DWORD needed = 0;
    hr = plugin_->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed);
    if (FAILED(hr)) {
        *error = Failure("GetInfo(signature)", hr);
        return kExitFound;
    }
    // Once for the core helper, once for the driver services, as the driver does.
    FakePublisher publisher(&coreHelper_, &driverServices_);
    plugin_->PublishDriverInterface(&publisher);
    plugin_->PublishDriverInterface(&publisher);
    hr = plugin_->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks_, &hooks_);
    if (FAILED(hr)) {
        *error = Failure("EnableDriver", hr);
        return kExitFound;
    }

    publicDevmode_.dmSize = sizeof(DEVMODEW);
    publicDevmode_.dmSpecVersion = DM_SPECVERSION;
    publicDevmode_.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    publicDevmode_.dmOrientation = DMORIENT_PORTRAIT;
    publicDevmode_.dmPaperSize = DMPAPER_A4;
    publicDevmode_.dmCopies = 1;
    return kExitOk;
}

bool DriverSession::SiblingLoaded() const { return sim::ModuleRefCount(u"QM22TIE.dll") != 0; }

HRESULT DriverSession::DevMode(DWORD mode, OEMDMPARAM* param) {
    param->cbSize = sizeof *param;
    param->hPrinter = printer_;
    param->hModule = module_->handle;
    return plugin_->DevMode(mode, param);
}

bool DriverSession::Defaults(PrivatePart* part, std::string* error) {
    OEMDMPARAM param{};
    HRESULT hr = DevMode(OEMDM_SIZE, &param);
    if (FAILED(hr) || param.cbBufSize != kPrivatePartBytes) {
        *error = Failure("DevMode(size)", hr);
        return false;
    }
    part->fill(0);
    DEVMODEW publicOut = publicDevmode_;
    param.pPublicDMIn = &publicDevmode_;
    param.pPublicDMOut = &publicOut;
    param.pOEMDMOut = part->data();
    param.cbBufSize = kPrivatePartBytes;
    hr = DevMode(OEMDM_DEFAULT, &param);
    if (FAILED(hr)) {
        *error = Failure("DevMode(default)", hr);
        return false;
    }
    return true;
}

bool DriverSession::Merge(PrivatePart* part, std::string* error) {
    // In place: the plug-in validates the output part first and then has the
    // sibling library carry its input part over it. With a separate input the
    // sibling would carry the unvalidated input back over the validated part,
    // and a value like CopyCount=-5 would reach the job after all.
    OEMDMPARAM param{};
    DEVMODEW publicOut = publicDevmode_;
    param.pPublicDMIn = &publicDevmode_;
    param.pPublicDMOut = &publicOut;
    param.pOEMDMIn = part->data();
    param.pOEMDMOut = part->data();
    param.cbBufSize = kPrivatePartBytes;
    const HRESULT hr = DevMode(OEMDM_MERGE, &param);
    if (FAILED(hr)) {
        *error = Failure("DevMode(merge)", hr);
        return false;
    }
    return true;
}

bool DriverSession::StartJob(PrivatePart* part, const std::string& documentName, std::string* error) {
    job_ = std::make_unique<Job>();
    job_->device.dwSize = sizeof job_->device;
    job_->device.hPrinter = printer_;
    job_->device.hOEM = module_->handle;
    job_->device.pPublicDM = &publicDevmode_;
    job_->device.pOEMDM = part->data();
    PDEVOEM block = nullptr;
    std::u16string printerName(kPrinterName);
    HRESULT hr = plugin_->EnablePDEV(&job_->device, printerName.data(), 0, nullptr, 0, nullptr, 0, nullptr,
                                     &job_->driverTable, &block);
    if (FAILED(hr)) {
        job_.reset();
        *error = Failure("EnablePDEV", hr);
        return false;
    }
    job_->device.pdevOEM = block;
    job_->surface.dhpdev = reinterpret_cast<DHPDEV>(&job_->device);

    const std::u16string name = sim::ToUtf16(documentName);
    job_->documentName.assign(name.begin(), name.end());
    job_->documentName.push_back(0);
    StartDocHook startDoc = nullptr;
    for (ULONG i = 0; i < hooks_.c; ++i) {
        if (hooks_.pdrvfn[i].iFunc == INDEX_DrvStartDoc) startDoc = FunctionAs<StartDocHook>(hooks_.pdrvfn[i].pfn);
    }
    if (startDoc == nullptr || !startDoc(&job_->surface, job_->documentName.data(), 1)) {
        *error = "the plug-in's StartDoc hook refused the job";
        return false;
    }
    job_->started = true;
    return true;
}

bool DriverSession::BeginStream(std::string* error) {
    DWORD result = 0;
    const HRESULT hr = plugin_->Command(&job_->device, PSINJECT_BEGINSTREAM, nullptr, 0, &result);
    // The plug-in writes the header itself and leaves nothing for the driver
    // to inject: E_NOTIMPL with the result "not handled" (50).
    if (hr != E_NOTIMPL || result != 50) {
        char text[120];
        std::snprintf(text, sizeof text, "Command(begin stream) answered 0x%08X with result %u",
                      static_cast<unsigned>(hr), static_cast<unsigned>(result));
        *error = text;
        return false;
    }
    return true;
}

HRESULT DriverSession::Write(const void* bytes, DWORD count, DWORD* taken) {
    *taken = 0;
    return plugin_->WritePrinter(&job_->device, const_cast<void*>(bytes), count, taken);
}

bool DriverSession::EndJob(bool abort) {
    if (!job_) return true;
    bool ended = true;
    if (job_->started) {
        SendPageHook sendPage = nullptr;
        EndDocHook endDoc = nullptr;
        for (ULONG i = 0; i < hooks_.c; ++i) {
            if (hooks_.pdrvfn[i].iFunc == INDEX_DrvSendPage) sendPage = FunctionAs<SendPageHook>(hooks_.pdrvfn[i].pfn);
            if (hooks_.pdrvfn[i].iFunc == INDEX_DrvEndDoc) endDoc = FunctionAs<EndDocHook>(hooks_.pdrvfn[i].pfn);
        }
        if (sendPage != nullptr && !abort) sendPage(&job_->surface);
        ended = endDoc != nullptr && endDoc(&job_->surface, abort ? ED_ABORTDOC : 0) != FALSE;
    }
    plugin_->DisablePDEV(&job_->device);
    job_.reset();
    return ended;
}

}  // namespace qm22t
