#include "harness/driver_session.h"

#include "common/function_cast.h"
#include "platform/host/sim_control.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harness {

// ---------------------------------------------------------------------------
// Device settings

HRESULT DeviceSettingsRequests::Request(DWORD mode, OEMDMPARAM* param) const noexcept {
    param->cbSize = sizeof *param;
    param->hPrinter = printer;
    param->hModule = module;
    return plugin->DevMode(mode, param);
}

HRESULT DeviceSettingsRequests::Size(DWORD* bytes) const noexcept {
    OEMDMPARAM param{};
    const HRESULT hr = Request(OEMDM_SIZE, &param);
    *bytes = param.cbBufSize;
    return hr;
}

HRESULT DeviceSettingsRequests::Defaults(const DEVMODEW* publicIn, DEVMODEW* publicOut, BYTE* part,
                                         DWORD bytes) const noexcept {
    OEMDMPARAM param{};
    param.pPublicDMIn = const_cast<DEVMODEW*>(publicIn);
    param.pPublicDMOut = publicOut;
    param.pOEMDMOut = part;
    param.cbBufSize = bytes;
    return Request(OEMDM_DEFAULT, &param);
}

HRESULT DeviceSettingsRequests::Merge(const DEVMODEW* publicIn, DEVMODEW* publicOut, BYTE* part,
                                      DWORD bytes) const noexcept {
    // In place: the plug-in validates the output part first and then has the
    // sibling library carry its input part over it. With a separate input the
    // sibling would carry the unvalidated input back over the validated part,
    // and a value like CopyCount=-5 would reach the job after all.
    OEMDMPARAM param{};
    param.pPublicDMIn = const_cast<DEVMODEW*>(publicIn);
    param.pPublicDMOut = publicOut;
    param.pOEMDMIn = part;
    param.pOEMDMOut = part;
    param.cbBufSize = bytes;
    return Request(OEMDM_MERGE, &param);
}

// ---------------------------------------------------------------------------
// Job

Job::Job(IPrintOemPS2* plugin, const PluginHooks& hooks, HANDLE printer, HMODULE module, DEVMODEW* publicDm,
         BYTE* part) noexcept
    : plugin_(plugin), hooks_(hooks) {
    device_.dwSize = sizeof device_;
    device_.hPrinter = printer;
    device_.hOEM = module;  // the feature-block templates are found through it
    device_.pPublicDM = publicDm;
    device_.pOEMDM = part;
}

Job::~Job() {
    if (enabled_) End(true);
}

HRESULT Job::Enable(PWSTR printerName) noexcept {
    PDEVOEM block = nullptr;
    const HRESULT hr = plugin_->EnablePDEV(&device_, printerName, 0, nullptr, 0, nullptr, 0, nullptr,
                                           driverFunctions_.Table(), &block);
    if (FAILED(hr)) return hr;
    device_.pdevOEM = block;
    surface_.surface.dhpdev = reinterpret_cast<DHPDEV>(&device_);
    enabled_ = true;
    return hr;
}

bool Job::Start(const std::u16string& documentName, DWORD jobId) {
    documentName_.assign(documentName.begin(), documentName.end());
    documentName_.push_back(0);
    if (!enabled_ || hooks_.startDoc == nullptr) return false;
    started_ = hooks_.startDoc(&surface_.surface, documentName_.data(), jobId) != FALSE;
    return started_;
}

HRESULT Job::BeginStream(DWORD* result) noexcept {
    *result = 0;
    return plugin_->Command(&device_, PSINJECT_BEGINSTREAM, nullptr, 0, result);
}

HRESULT Job::Write(const void* bytes, DWORD count, DWORD* taken) noexcept {
    *taken = 0;
    return plugin_->WritePrinter(&device_, const_cast<void*>(bytes), count, taken);
}

bool Job::End(bool abort) noexcept {
    if (!enabled_) return true;
    bool ended = true;
    if (started_) {
        if (hooks_.sendPage != nullptr && !abort) hooks_.sendPage(&surface_.surface);
        ended = hooks_.endDoc != nullptr && hooks_.endDoc(&surface_.surface, abort ? ED_ABORTDOC : 0) != FALSE;
        started_ = false;
    }
    plugin_->DisablePDEV(&device_);
    enabled_ = false;
    return ended;
}

// ---------------------------------------------------------------------------
// Session

namespace {

constexpr char16_t kPrinterName[] = u"Example Printer";

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

}  // namespace

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.find_last_of('/'));
}

std::string DefaultPluginFolder() {
    const std::string program = ProgramFolder();
    if (FileExists(program + "/QM22TRD.dll")) return program;
    const std::string installed = program + "/" RENDER_PLUGIN_FOLDER_FROM_PROGRAM;
    return FileExists(installed + "/QM22TRD.dll") ? installed : program;
}

// A folder of our own that stands for the plug-in's installation folder: the
// plug-in finds the sibling library and the paper-list file next to itself, so
// a job never depends on what else lies in the plug-in's folder. The module is
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
        if (onPath) onPath(link);
        if (symlink(target.c_str(), link.c_str()) != 0) return false;
        links.push_back(link);
        return true;
    }

    std::function<void(const std::string&)> onPath;
};

DriverSession::DriverSession() = default;

DriverSession::~DriverSession() {
    job_.reset();
    if (plugin_ != nullptr) {
        plugin_->DisableDriver();
        plugin_->Release();
    }
}

OpenResult DriverSession::Open(const SessionOptions& options, std::string* error) {
    const std::string pluginDir = Absolute(options.pluginDir.empty() ? DefaultPluginFolder() : options.pluginDir);
    const std::string pluginFile = pluginDir + "/QM22TRD.dll";
    const std::string siblingFile = pluginDir + "/QM22TIE.dll";
    std::string paperList = options.paperListFile.empty() ? pluginDir + "/QM22T.ini" : Absolute(options.paperListFile);
    if (!FileExists(pluginFile)) {
        *error = "no plug-in module at " + pluginFile + " (--plugin DIR names its folder)";
        return OpenResult::kBadSetup;
    }
    if (!options.paperListFile.empty() && !FileExists(paperList)) {
        *error = "no paper-list file at " + options.paperListFile;
        return OpenResult::kBadSetup;
    }
    if (options.paperListFile.empty() && !FileExists(paperList)) paperList.clear();

    module_ = std::make_unique<Module>();
    // The work folder goes where the user keeps temporary files.
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") + "/qm22t.XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        *error = "cannot make a work folder " + pattern + ": " + std::strerror(errno);
        return OpenResult::kBadSetup;
    }
    module_->folder = pattern;
    module_->onPath = options.onWorkPath;
    if (module_->onPath) module_->onPath(module_->folder);
    if (!module_->Link(pluginFile, "QM22TRD.dll") ||
        (FileExists(siblingFile) && !module_->Link(siblingFile, "QM22TIE.dll")) ||
        (!paperList.empty() && !module_->Link(paperList, "QM22T.ini"))) {
        *error = "cannot prepare the work folder " + module_->folder;
        return OpenResult::kBadSetup;
    }

    sim::Reset();
    sim::SetUserName(sim::ToUtf16(options.userName));
    if (options.clock) sim::SetLocalTime(*options.clock);
    printer_ = sim::AddPrinter(kPrinterName);

    const std::u16string modulePath = sim::ToUtf16(module_->folder + "/QM22TRD.dll");
    module_->handle = LoadLibraryW(modulePath.c_str());
    if (module_->handle == nullptr) {
        *error = "cannot load the plug-in: " + sim::LastLoaderError();
        return OpenResult::kRefused;
    }
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = FunctionAs<GetClassObject>(GetProcAddress(module_->handle, "DllGetClassObject"));
    if (getClassObject == nullptr) {
        *error = "the plug-in module has no DllGetClassObject";
        return OpenResult::kRefused;
    }
    HRESULT hr = getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&module_->factory));
    if (FAILED(hr)) {
        *error = Failure("DllGetClassObject", hr);
        return OpenResult::kRefused;
    }
    hr = module_->factory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&plugin_));
    if (FAILED(hr)) {
        plugin_ = nullptr;
        *error = Failure("CreateInstance", hr);
        return OpenResult::kRefused;
    }

    DWORD signature = 0;
    DWORD needed = 0;
    hr = plugin_->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed);
    if (FAILED(hr)) {
        *error = Failure("GetInfo(signature)", hr);
        return OpenResult::kRefused;
    }
    // A plug-in that turns the driver's interfaces away cannot work for it:
    // the session stops here rather than run a job that would fail later.
    hr = PublishDriverInterfaces(plugin_, &coreHelper_, &driverServices_);
    if (FAILED(hr)) {
        *error = Failure("PublishDriverInterface", hr);
        return OpenResult::kRefused;
    }
    DRVENABLEDATA hooks{};
    hr = plugin_->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks);
    if (FAILED(hr)) {
        *error = Failure("EnableDriver", hr);
        return OpenResult::kRefused;
    }
    hooks_ = PluginHooks::From(hooks);

    publicDevmode_.dmSize = sizeof(DEVMODEW);
    publicDevmode_.dmSpecVersion = DM_SPECVERSION;
    publicDevmode_.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    publicDevmode_.dmOrientation = DMORIENT_PORTRAIT;
    publicDevmode_.dmPaperSize = DMPAPER_A4;
    publicDevmode_.dmCopies = 1;
    return OpenResult::kOpened;
}

bool DriverSession::SiblingLoaded() const { return sim::ModuleRefCount(u"QM22TIE.dll") != 0; }

DeviceSettingsRequests DriverSession::Requests() const { return {plugin_, printer_, module_->handle}; }

bool DriverSession::Defaults(PrivatePart* part, std::string* error) {
    DWORD size = 0;
    HRESULT hr = Requests().Size(&size);
    if (FAILED(hr) || size != kPrivatePartBytes) {
        *error = Failure("DevMode(size)", hr);
        return false;
    }
    part->fill(0);
    DEVMODEW publicOut = publicDevmode_;
    hr = Requests().Defaults(&publicDevmode_, &publicOut, part->data(), kPrivatePartBytes);
    if (FAILED(hr)) {
        *error = Failure("DevMode(default)", hr);
        return false;
    }
    return true;
}

bool DriverSession::Merge(PrivatePart* part, std::string* error) {
    DEVMODEW publicOut = publicDevmode_;
    const HRESULT hr = Requests().Merge(&publicDevmode_, &publicOut, part->data(), kPrivatePartBytes);
    if (FAILED(hr)) {
        *error = Failure("DevMode(merge)", hr);
        return false;
    }
    return true;
}

bool DriverSession::StartJob(PrivatePart* part, const std::string& documentName, std::string* error) {
    job_ = std::make_unique<Job>(plugin_, hooks_, printer_, module_->handle, &publicDevmode_,
                                 part != nullptr ? part->data() : nullptr);
    std::u16string printerName(kPrinterName);
    const HRESULT hr = job_->Enable(printerName.data());
    if (FAILED(hr)) {
        job_.reset();
        *error = Failure("EnablePDEV", hr);
        return false;
    }
    if (!job_->Start(sim::ToUtf16(documentName), 1)) {
        *error = "the plug-in's StartDoc hook refused the job";
        return false;
    }
    return true;
}

bool DriverSession::BeginStream(std::string* error) {
    DWORD result = 0;
    const HRESULT hr = job_->BeginStream(&result);
    // The plug-in writes the header itself and leaves nothing for the driver
    // to inject.
    if (hr != E_NOTIMPL || result != kBeginStreamNotHandled) {
        char text[120];
        std::snprintf(text, sizeof text, "Command(begin stream) answered 0x%08X with result %u",
                      static_cast<unsigned>(hr), static_cast<unsigned>(result));
        *error = text;
        return false;
    }
    return true;
}

HRESULT DriverSession::Write(const void* bytes, DWORD count, DWORD* taken) { return job_->Write(bytes, count, taken); }

bool DriverSession::EndJob(bool abort) {
    if (!job_) return true;
    const bool ended = job_->End(abort);
    job_.reset();
    return ended;
}

}  // namespace harness
