// runjob: runs one print job through the plug-in module on the simulated Windows,
// the way the PostScript driver drives it, and writes what reached the spooler.
//
//   runjob --plugin DIR [--settings FILE] [--paper-list FILE] [--job FILE]
//          [--document NAME] [--user NAME] [--date YYYY-MM-DD] [--out FILE]
//
// --date fixes the simulated clock, so the output is the same on every run.
//
// The plug-in (QM22TRD.dll) and the sibling library (QM22TIE.dll) are taken from
// DIR. They are seen by the plug-in in a private work folder together with the
// paper-list file, so the job never depends on what lies in the build folder.
//
// Exit codes: 0 job done, 1 the plug-in refused a step, 2 bad command line or
// input file.

#include "common/wtext.h"
#include "platform/host/sim_control.h"
#include "platform/platform.h"
#include "settings/private_part.h"
#include "settings/settings_access.h"
#include "fake_core_helper.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Options {
    std::string pluginDir;
    std::string settingsFile;
    std::string paperListFile;
    std::string jobFile;
    std::string documentName = "Example job";
    std::string userName = "operator";
    std::string outFile;
    std::string date;  // YYYY-MM-DD; empty: the host clock
};

void Usage() {
    std::cerr << "usage: runjob --plugin DIR [--settings FILE] [--paper-list FILE] [--job FILE]\n"
                 "              [--document NAME] [--user NAME] [--date YYYY-MM-DD] [--out FILE]\n";
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* into) {
            if (i + 1 >= argc) {
                std::cerr << "runjob: " << arg << " needs a value\n";
                return false;
            }
            *into = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--plugin") ok = value(&options->pluginDir);
        else if (arg == "--settings") ok = value(&options->settingsFile);
        else if (arg == "--paper-list") ok = value(&options->paperListFile);
        else if (arg == "--job") ok = value(&options->jobFile);
        else if (arg == "--document") ok = value(&options->documentName);
        else if (arg == "--user") ok = value(&options->userName);
        else if (arg == "--out") ok = value(&options->outFile);
        else if (arg == "--date") ok = value(&options->date);
        else {
            std::cerr << "runjob: unknown argument " << arg << "\n";
            ok = false;
        }
        if (!ok) return false;
    }
    if (options->pluginDir.empty()) {
        std::cerr << "runjob: --plugin DIR is required\n";
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    *out = buffer.str();
    return true;
}

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// "1,3-5" → 4-bit codes, low half of each byte first: digits 1-9, 15 for 0,
// 10 for ",", 11 for "-". False for any other character or a list too long.
bool EncodePageList(const std::string& text, std::vector<BYTE>* field) {
    field->assign(kPageListBytes, 0);
    size_t nibble = 0;
    for (char c : text) {
        BYTE code = 0;
        if (c >= '1' && c <= '9') code = static_cast<BYTE>(c - '0');
        else if (c == '0') code = 15;
        else if (c == ',') code = 10;
        else if (c == '-') code = 11;
        else return false;
        if (nibble >= 2 * kPageListBytes) return false;
        BYTE& byte = (*field)[nibble / 2];
        byte = static_cast<BYTE>(nibble % 2 == 0 ? (byte & 0xF0) | code : (byte & 0x0F) | (code << 4));
        ++nibble;
    }
    return true;
}

bool ParseNumber(const std::string& text, long long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != 0) return false;
    *value = parsed;
    return true;
}

// Applies "Name=value" lines to the settings block. Reports the first bad line.
bool ApplySettingsFile(const std::string& path, SettingsSpan settings) {
    std::string content;
    if (!ReadWholeFile(path, &content)) {
        std::cerr << "runjob: cannot read settings file " << path << "\n";
        return false;
    }
    std::istringstream lines(content);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        const size_t equals = trimmed.find('=');
        auto fail = [&](const std::string& why) {
            std::cerr << "runjob: " << path << ":" << lineNumber << ": " << why << "\n";
            return false;
        };
        if (equals == std::string::npos) return fail("expected Name=value");
        const std::string name = Trim(trimmed.substr(0, equals));
        const std::string value = trimmed.substr(equals + 1);
        const SettingRow* row = FindSettingRow(name.c_str());
        if (row == nullptr) return fail("unknown setting \"" + name + "\"");
        switch (row->kind) {
            case SettingKind::Signed:
            case SettingKind::Unsigned: {
                long long number = 0;
                if (!ParseNumber(Trim(value), &number)) return fail("\"" + value + "\" is not a number");
                WriteSettingNumber(settings, row->offset, row->bytes, number);
                break;
            }
            case SettingKind::Text16: {
                const std::u16string text = sim::ToUtf16(value);
                WString wide(text.begin(), text.end());
                if (!WriteSettingText(settings, row->offset, row->bytes / 2, wide.c_str())) {
                    return fail("text too long for " + name);
                }
                break;
            }
            case SettingKind::Text8: {
                std::vector<BYTE> field;
                if (!EncodePageList(Trim(value), &field)) return fail("\"" + value + "\" is not a page list");
                WriteSettingBytes(settings, row->offset, field.data(), field.size());
                break;
            }
        }
    }
    return true;
}

// A folder of our own that stands for the plug-in's installation folder.
class WorkFolder {
public:
    WorkFolder() {
        char pattern[] = "/tmp/runjob.XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~WorkFolder() {
        for (const std::string& file : files_) unlink(file.c_str());
        if (!path_.empty()) rmdir(path_.c_str());
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& path() const { return path_; }
    bool Link(const std::string& target, const std::string& name) {
        const std::string file = path_ + "/" + name;
        if (symlink(target.c_str(), file.c_str()) != 0) return false;
        files_.push_back(file);
        return true;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return path;
    return std::string(cwd) + "/" + path;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

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

struct ModuleCloser {
    void operator()(HMODULE module) const {
        if (module != nullptr) FreeLibrary(module);
    }
};

struct Releaser {
    void operator()(IUnknown* object) const {
        if (object != nullptr) object->Release();
    }
};

int Fail(const char* step, HRESULT hr) {
    std::fprintf(stderr, "runjob: %s failed (0x%08X, last error %u)\n", step, static_cast<unsigned>(hr),
                 static_cast<unsigned>(GetLastError()));
    return 1;
}

int RunJob(const Options& options) {
    const std::string pluginDir = Absolute(options.pluginDir);
    const std::string pluginFile = pluginDir + "/QM22TRD.dll";
    const std::string siblingFile = pluginDir + "/QM22TIE.dll";
    if (!FileExists(pluginFile)) {
        std::cerr << "runjob: no plug-in module at " << pluginFile << "\n";
        return 2;
    }
    std::string job;
    if (!options.jobFile.empty() && !ReadWholeFile(options.jobFile, &job)) {
        std::cerr << "runjob: cannot read job file " << options.jobFile << "\n";
        return 2;
    }

    WorkFolder work;
    if (work.path().empty() || !work.Link(pluginFile, "QM22TRD.dll") ||
        (FileExists(siblingFile) && !work.Link(siblingFile, "QM22TIE.dll")) ||
        (!options.paperListFile.empty() && !work.Link(Absolute(options.paperListFile), "QM22T.ini"))) {
        std::cerr << "runjob: cannot prepare a work folder\n";
        return 2;
    }
    if (!options.paperListFile.empty() && !FileExists(options.paperListFile)) {
        std::cerr << "runjob: no paper-list file at " << options.paperListFile << "\n";
        return 2;
    }

    sim::Reset();
    sim::SetUserName(sim::ToUtf16(options.userName));
    if (!options.date.empty()) {
        SYSTEMTIME now{};
        unsigned year = 0, month = 0, day = 0;
        char extra = 0;
        if (std::sscanf(options.date.c_str(), "%4u-%2u-%2u%c", &year, &month, &day, &extra) != 3 || month < 1 ||
            month > 12 || day < 1 || day > 31 || year < 1601) {
            std::cerr << "runjob: --date wants YYYY-MM-DD, not " << options.date << "\n";
            return 2;
        }
        now.wYear = static_cast<WORD>(year);
        now.wMonth = static_cast<WORD>(month);
        now.wDay = static_cast<WORD>(day);
        now.wHour = 12;
        sim::SetLocalTime(now);
    }
    HANDLE printer = sim::AddPrinter(u"Example Printer");

    // The driver's interfaces outlive the plug-in object, which releases them last.
    FakeCoreHelper coreHelper;
    FakeOemDriver driverServices;

    const std::u16string modulePath = sim::ToUtf16(work.path() + "/QM22TRD.dll");
    std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleCloser> module(LoadLibraryW(modulePath.c_str()));
    if (!module) {
        std::cerr << "runjob: cannot load the plug-in: " << sim::LastLoaderError() << "\n";
        return 1;
    }
    if (sim::ModuleRefCount(u"QM22TIE.dll") == 0) {
        std::cerr << "runjob: note: the sibling library was not loaded; device settings stay the plug-in's own\n";
    }

    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(module.get(), "DllGetClassObject")));
    if (getClassObject == nullptr) return Fail("GetProcAddress(DllGetClassObject)", E_FAIL);

    IClassFactory* rawFactory = nullptr;
    HRESULT hr = getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&rawFactory));
    if (FAILED(hr)) return Fail("DllGetClassObject", hr);
    std::unique_ptr<IUnknown, Releaser> factory(rawFactory);

    IPrintOemPS2* rawPlugin = nullptr;
    hr = rawFactory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&rawPlugin));
    if (FAILED(hr)) return Fail("CreateInstance", hr);
    std::unique_ptr<IUnknown, Releaser> pluginOwner(rawPlugin);
    IPrintOemPS2* plugin = rawPlugin;

    DWORD signature = 0;
    DWORD needed = 0;
    hr = plugin->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed);
    if (FAILED(hr)) return Fail("GetInfo(signature)", hr);

    FakePublisher publisher(&coreHelper, &driverServices);
    plugin->PublishDriverInterface(&publisher);
    plugin->PublishDriverInterface(&publisher);

    DRVENABLEDATA hooks{};
    hr = plugin->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks);
    if (FAILED(hr)) return Fail("EnableDriver", hr);

    // Device settings: the size, then the defaults, then the job's own choices
    // merged (validated) into the private part.
    DEVMODEW publicIn{};
    publicIn.dmSize = sizeof(DEVMODEW);
    publicIn.dmSpecVersion = DM_SPECVERSION;
    publicIn.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    publicIn.dmOrientation = 1;
    publicIn.dmPaperSize = 9;
    publicIn.dmCopies = 1;
    DEVMODEW publicOut = publicIn;

    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = printer;
    param.hModule = module.get();
    hr = plugin->DevMode(OEMDM_SIZE, &param);
    if (FAILED(hr)) return Fail("DevMode(size)", hr);
    const DWORD privateBytes = param.cbBufSize;
    std::vector<BYTE> defaults(privateBytes, 0);
    std::vector<BYTE> privatePart(privateBytes, 0);

    param.pPublicDMIn = &publicIn;
    param.pOEMDMOut = defaults.data();
    param.cbBufSize = privateBytes;
    hr = plugin->DevMode(OEMDM_DEFAULT, &param);
    if (FAILED(hr)) return Fail("DevMode(default)", hr);

    if (!options.settingsFile.empty() &&
        !ApplySettingsFile(options.settingsFile, PrivatePartSettings(defaults.data(), defaults.size()))) {
        return 2;
    }
    param.pPublicDMIn = &publicIn;
    param.pPublicDMOut = &publicOut;
    param.pOEMDMIn = defaults.data();
    param.pOEMDMOut = privatePart.data();
    hr = plugin->DevMode(OEMDM_MERGE, &param);
    if (FAILED(hr)) return Fail("DevMode(merge)", hr);

    // One device context for the job.
    DRVFN driverFunctions[] = {
        {INDEX_DrvStartDoc, FunctionAs<PFN>(&DriverStartDoc)},
        {INDEX_DrvEndDoc, FunctionAs<PFN>(&DriverEndDoc)},
        {INDEX_DrvSendPage, FunctionAs<PFN>(&DriverSendPage)},
    };
    DRVENABLEDATA driverTable{DDI_DRIVER_VERSION_NT5, 3, driverFunctions};
    DEVOBJ device{};
    device.dwSize = sizeof device;
    device.hPrinter = printer;
    device.hOEM = module.get();
    device.pPublicDM = &publicOut;
    device.pOEMDM = privatePart.data();
    PDEVOEM block = nullptr;
    WCHAR printerName[] = WIDE("Example Printer");
    hr = plugin->EnablePDEV(&device, printerName, 0, nullptr, 0, nullptr, 0, nullptr, &driverTable, &block);
    if (FAILED(hr)) return Fail("EnablePDEV", hr);
    device.pdevOEM = block;

    auto hook = [&](ULONG index) -> PFN {
        for (ULONG i = 0; i < hooks.c; ++i) {
            if (hooks.pdrvfn[i].iFunc == index) return hooks.pdrvfn[i].pfn;
        }
        return nullptr;
    };
    using StartDoc = BOOL(APIENTRY*)(SURFOBJ*, LPWSTR, DWORD);
    using EndDoc = BOOL(APIENTRY*)(SURFOBJ*, FLONG);
    using SendPage = BOOL(APIENTRY*)(SURFOBJ*);
    auto startDoc = FunctionAs<StartDoc>(hook(INDEX_DrvStartDoc));
    auto endDoc = FunctionAs<EndDoc>(hook(INDEX_DrvEndDoc));
    auto sendPage = FunctionAs<SendPage>(hook(INDEX_DrvSendPage));
    if (startDoc == nullptr || endDoc == nullptr || sendPage == nullptr) return Fail("EnableDriver's hooks", E_FAIL);

    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
    std::u16string documentName = sim::ToUtf16(options.documentName);
    std::vector<WCHAR> documentBuffer(documentName.begin(), documentName.end());
    documentBuffer.push_back(0);
    int status = 0;
    if (!startDoc(&surface, documentBuffer.data(), 1)) {
        std::cerr << "runjob: StartDoc refused the job\n";
        status = 1;
    } else {
        DWORD result = 0;
        hr = plugin->Command(&device, PSINJECT_BEGINSTREAM, nullptr, 0, &result);
        if (hr != E_NOTIMPL || result != 50) {
            std::fprintf(stderr, "runjob: Command(begin stream) answered 0x%08X with result %u\n",
                         static_cast<unsigned>(hr), static_cast<unsigned>(result));
            status = 1;
        }
        if (status == 0 && !job.empty()) {
            DWORD written = 0;
            hr = plugin->WritePrinter(&device, job.data(), static_cast<DWORD>(job.size()), &written);
            if (FAILED(hr) || written != job.size()) {
                std::fprintf(stderr, "runjob: WritePrinter took %u of %zu bytes (0x%08X)\n",
                             static_cast<unsigned>(written), job.size(), static_cast<unsigned>(hr));
                status = 1;
            }
        }
        sendPage(&surface);
        endDoc(&surface, 0);
    }
    plugin->DisablePDEV(&device);
    plugin->DisableDriver();

    const std::vector<std::string> chunks = sim::WrittenChunks(printer);
    const std::string bytes = sim::WrittenBytes(printer);
    if (options.outFile.empty()) {
        // A full disk or closed pipe must not pass for a finished job.
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            std::cerr << "runjob: cannot write standard output\n";
            return 2;
        }
    } else {
        std::ofstream out(options.outFile, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        // Small outputs stay buffered until the stream closes, so close before judging.
        out.close();
        if (!out) {
            std::cerr << "runjob: cannot write " << options.outFile << "\n";
            return 2;
        }
    }
    std::cerr << "runjob: " << bytes.size() << " bytes reached the spooler in " << chunks.size() << " writes\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    try {
        return RunJob(options);
    } catch (const std::exception& e) {
        std::cerr << "runjob: " << e.what() << "\n";
        return 1;
    }
}
