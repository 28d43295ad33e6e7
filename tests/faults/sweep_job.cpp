#include "sweep_job.h"

#include "fault_allocator.h"
#include "fixed_clock.h"
#include "common/function_cast.h"
#include "harness/core_helper.h"
#include "harness/driver_hooks.h"
#include "core/settings_fields.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faults {
namespace {

constexpr DWORD kPartBytes = 12016;
constexpr size_t kSettingsAt = 12;
constexpr char16_t kPrinterName[] = u"Sweep Printer";
constexpr char kEnterLanguage[] = "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
// The driver's write sizes, in turn: single bytes, odd cuts and whole pages.
constexpr DWORD kWriteSizes[] = {300, 1, 33, 512, 250};

// The plug-in's folder as installed: the module, its sibling and its paper
// list side by side, so every file the plug-in reads is there to fail.
struct Installation {
    std::string folder;
    std::u16string modulePath;
    Installation() {
        char pattern[] = "/tmp/faultsweep.XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        folder = pattern;
        const std::string bin = PLUGIN_FOLDER;
        (void)!symlink((bin + "/QM22TRD.dll").c_str(), (folder + "/QM22TRD.dll").c_str());
        (void)!symlink((bin + "/QM22TIE.dll").c_str(), (folder + "/QM22TIE.dll").c_str());
        (void)!symlink(EXAMPLES_FOLDER "/QM22T.ini", (folder + "/QM22T.ini").c_str());
        modulePath = sim::ToUtf16(folder + "/QM22TRD.dll");
    }
    ~Installation() {
        for (const char* name : {"/QM22TRD.dll", "/QM22TIE.dll", "/QM22T.ini"}) unlink((folder + name).c_str());
        rmdir(folder.c_str());
    }
};

const Installation& Installed() {
    static const Installation installation;
    return installation;
}

void PutNumber(BYTE* settings, const SettingField& field, int32_t value) {
    for (size_t i = 0; i < field.bytes; ++i) settings[field.offset + i] = static_cast<BYTE>(value >> (8 * i));
}

void PutText(BYTE* settings, const SettingField& field, const std::u16string& text) {
    std::memcpy(settings + field.offset, text.c_str(), (text.size() + 1) * sizeof(char16_t));
}

// The settings the operator chose on top of the defaults: copies, duplex,
// stapling, a job name, and a paper that only the paper-list file knows.
void ChooseSettings(BYTE* part) {
    BYTE* settings = part + kSettingsAt;
    PutNumber(settings, FieldNamed("CopyCount"), 3);
    PutNumber(settings, FieldNamed("ZTDuplex"), 2);
    PutNumber(settings, FieldNamed("ZTCollate"), 2);
    PutNumber(settings, FieldNamed("ZTStapleMode"), 10);
    PutNumber(settings, FieldNamed("ZTJobName"), 1);
    PutText(settings, FieldNamed("ZTJobNameInfo"), u"Quarterly report");
    PutNumber(settings, FieldNamed("PaperNumber"), 48);
}

std::vector<sim::Form> SweepForms() {
    std::vector<sim::Form> forms = sim::DefaultForms();
    forms.push_back({u"A3 Wide", FORM_USER, 329000, 483000});  // number 48
    return forms;
}

extern "C" void OnWatchdog(int) {
    static const char line[] = "fault sweep: a run did not finish in time: hang\n";
    (void)!write(2, line, sizeof line - 1);
    (void)!write(1, line, sizeof line - 1);
    _exit(124);
}

// One run's driver: every call into the plug-in goes through Call, which marks
// the plug-in call for the allocator and keeps an exception from going further.
class Driver {
public:
    Driver(JobOutcome& outcome, HANDLE printers[2]) : outcome_(outcome), printers_{printers[0], printers[1]} {}

    template <typename Body>
    void Call(const char* entry, Body body) {
        try {
            PluginCall scope(entry);
            body();
        } catch (...) {
            if (!outcome_.exceptionEscaped) outcome_.exceptionAt = entry;
            outcome_.exceptionEscaped = true;
        }
    }

    bool Load() {
        sim::ExemptNextCall(sim::Api::LoadLibraryW);
        Call("DllMain(attach)", [&] { module_ = LoadLibraryW(Installed().modulePath.c_str()); });
        for (size_t i = 0; i < static_cast<size_t>(sim::Api::Count_); ++i) {
            outcome_.callsWhileLoading.push_back(sim::CallCount(static_cast<sim::Api>(i)));
        }
        if (module_ == nullptr) return false;
        sim::ExemptNextCall(sim::Api::GetProcAddress);
        getClassObject_ =
            FunctionAs<HRESULT (*)(REFCLSID, REFIID, LPVOID*)>(GetProcAddress(module_, "DllGetClassObject"));
        outcome_.loaded = getClassObject_ != nullptr;
        return outcome_.loaded;
    }

    // Factory, object, GetInfo, the two interfaces, the hooks.
    bool Create(DocumentOutcome& doc) {
        IClassFactory* factory = nullptr;
        HRESULT hr = E_FAIL;
        Call("DllGetClassObject",
             [&] { hr = getClassObject_(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory)); });
        if (!Check(doc, "DllGetClassObject", SUCCEEDED(hr) && factory != nullptr)) return false;
        Call("CreateInstance",
             [&] { hr = factory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&plugin_)); });
        Call("IClassFactory::Release", [&] { factory->Release(); });
        if (!Check(doc, "CreateInstance", SUCCEEDED(hr) && plugin_ != nullptr)) {
            plugin_ = nullptr;
            return false;
        }
        DWORD signature = 0;
        DWORD needed = 0;
        Call("GetInfo", [&] { hr = plugin_->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed); });
        Check(doc, "GetInfo", hr == S_OK && signature == 0x4D534654);
        // One call at a time, each under its own fault scope.
        harness::Publisher publisher(&coreHelper_, &driverServices_);
        Call("PublishDriverInterface", [&] { plugin_->PublishDriverInterface(&publisher); });
        Call("PublishDriverInterface", [&] { plugin_->PublishDriverInterface(&publisher); });
        DRVENABLEDATA table{};
        Call("EnableDriver", [&] { hr = plugin_->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof table, &table); });
        hooks_ = harness::PluginHooks::From(table);
        return Check(doc, "EnableDriver", hr == S_OK && table.c == 3 && hooks_.Complete());
    }

    void Document(DocumentOutcome& doc, int which) {
        doc.reached = true;
        const HANDLE printer = printers_[which];
        std::vector<BYTE> part(kPartBytes, 0);
        DEVMODEW publicDm{};
        publicDm.dmSize = sizeof publicDm;
        publicDm.dmSpecVersion = DM_SPECVERSION;
        publicDm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
        publicDm.dmOrientation = DMORIENT_PORTRAIT;
        publicDm.dmPaperSize = DMPAPER_A4;
        publicDm.dmCopies = 1;

        // The settings merge, as the driver asks for it before a job.
        OEMDMPARAM param{};
        param.cbSize = sizeof param;
        param.hPrinter = printer;
        param.hModule = module_;
        HRESULT hr = E_FAIL;
        Call("DevMode(size)", [&] { hr = plugin_->DevMode(OEMDM_SIZE, &param); });
        Check(doc, "DevMode(size)", hr == S_OK && param.cbBufSize == kPartBytes);
        DEVMODEW publicOut = publicDm;
        param.pPublicDMIn = &publicDm;
        param.pPublicDMOut = &publicOut;
        param.pOEMDMOut = part.data();
        param.cbBufSize = kPartBytes;
        Call("DevMode(default)", [&] { hr = plugin_->DevMode(OEMDM_DEFAULT, &param); });
        Check(doc, "DevMode(default)", SUCCEEDED(hr));
        ChooseSettings(part.data());
        param.pOEMDMIn = part.data();
        Call("DevMode(merge)", [&] { hr = plugin_->DevMode(OEMDM_MERGE, &param); });
        Check(doc, "DevMode(merge)", SUCCEEDED(hr));

        harness::DriverFunctions driverFunctions;
        DEVOBJ device{};
        device.dwSize = sizeof device;
        device.hPrinter = printer;
        device.hOEM = module_;
        device.pPublicDM = &publicDm;
        device.pOEMDM = part.data();
        PDEVOEM block = nullptr;
        std::u16string printerName(kPrinterName);
        Call("EnablePDEV", [&] {
            hr = plugin_->EnablePDEV(&device, printerName.data(), 0, nullptr, 0, nullptr, 0, nullptr,
                                     driverFunctions.Table(), &block);
        });
        if (!Check(doc, "EnablePDEV", SUCCEEDED(hr) && block != nullptr)) return;
        device.pdevOEM = block;
        harness::DriverSurface driver;
        SURFOBJ* const surface = &driver.surface;
        surface->dhpdev = reinterpret_cast<DHPDEV>(&device);

        std::u16string name = u"Sweep document";
        BOOL ok = FALSE;
        Call("StartDoc", [&] { ok = hooks_.startDoc(surface, name.data(), 7); });
        if (Check(doc, "StartDoc", ok != FALSE)) {
            DWORD result = 0;
            SetLastError(0);
            Call("Command", [&] { hr = plugin_->Command(&device, PSINJECT_BEGINSTREAM, nullptr, 0, &result); });
            doc.lastErrorAfterCommand = GetLastError();
            doc.header = sim::WrittenBytes(printer);
            Check(doc, "Command", hr == E_NOTIMPL && result == 50);
            const bool aborted = Write(doc, device);
            if (!aborted) {
                Call("SendPage", [&] { ok = hooks_.sendPage(surface); });
                Check(doc, "SendPage", ok != FALSE);
            }
            Call("EndDoc", [&] { ok = hooks_.endDoc(surface, aborted ? ED_ABORTDOC : 0); });
            Check(doc, "EndDoc", ok != FALSE);
        }
        Call("DisablePDEV", [&] { plugin_->DisablePDEV(&device); });
        doc.spooled = sim::WrittenBytes(printer);
        doc.writes = sim::WriteCalls(printer);
    }

    // A device object without a private part: the job is cancelled at StartDoc
    // and the user told (the spooler's job control and the session notice).
    void CancelledDocument(CancelOutcome& doc) {
        doc.reached = true;
        const HANDLE printer = printers_[0];
        const std::string before = sim::WrittenBytes(printer);
        harness::DriverFunctions driverFunctions;
        DEVMODEW publicDm{};
        publicDm.dmSize = sizeof publicDm;
        DEVOBJ device{};
        device.dwSize = sizeof device;
        device.hPrinter = printer;
        device.hOEM = module_;
        device.pPublicDM = &publicDm;
        PDEVOEM block = nullptr;
        HRESULT hr = E_FAIL;
        Call("EnablePDEV", [&] {
            hr = plugin_->EnablePDEV(&device, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, driverFunctions.Table(),
                                     &block);
        });
        if (FAILED(hr) || block == nullptr) {
            doc.startDoc = FALSE;
            return;
        }
        device.pdevOEM = block;
        harness::DriverSurface driver;
        SURFOBJ* const surface = &driver.surface;
        surface->dhpdev = reinterpret_cast<DHPDEV>(&device);
        std::u16string name = u"No settings";
        Call("StartDoc", [&] { doc.startDoc = hooks_.startDoc(surface, name.data(), 9); });
        // The driver ends what it started, as GDI does for a failed StartDoc.
        Call("EndDoc", [&] { hooks_.endDoc(surface, ED_ABORTDOC); });
        Call("DisablePDEV", [&] { plugin_->DisablePDEV(&device); });
        doc.spooled = sim::WrittenBytes(printer).substr(before.size());
    }

    void Unload() {
        if (plugin_ != nullptr) {
            Call("DisableDriver", [&] { plugin_->DisableDriver(); });
            Call("Release", [&] { plugin_->Release(); });
            plugin_ = nullptr;
        }
        if (module_ != nullptr) {
            sim::ExemptNextCall(sim::Api::FreeLibrary);
            Call("DllMain(detach)", [&] { FreeLibrary(module_); });
            module_ = nullptr;
        }
        outcome_.coreHelperRefs = coreHelper_.RefCount();
        outcome_.driverServicesRefs = driverServices_.RefCount();
    }

    bool HasPlugin() const { return plugin_ != nullptr; }

private:
    // Notes a step that answered failure; true when it answered success.
    static bool Check(DocumentOutcome& doc, const char* step, bool succeeded) {
        if (!succeeded && !doc.reportedFailure) {
            doc.reportedFailure = true;
            doc.firstFailure = step;
            doc.lastErrorAtFailure = GetLastError();
        }
        return succeeded;
    }

    // The driver's writes. A write that is refused with nothing taken is offered
    // once more; refused again, the document is given up (true).
    bool Write(DocumentOutcome& doc, DEVOBJ& device) {
        const std::string& job = SweepJobStream();
        size_t at = 0;
        for (unsigned i = 0; at < job.size(); ++i) {
            const DWORD size = kWriteSizes[i % (sizeof kWriteSizes / sizeof kWriteSizes[0])];
            DWORD count = static_cast<DWORD>(std::min<size_t>(size, job.size() - at));
            for (int attempt = 0; attempt < 2 && count > 0; ++attempt) {
                DWORD taken = 0;
                HRESULT hr = E_FAIL;
                SetLastError(0);
                Call("WritePrinter",
                     [&] { hr = plugin_->WritePrinter(&device, const_cast<char*>(job.data()) + at, count, &taken); });
                Check(doc, "WritePrinter", SUCCEEDED(hr));
                if (taken > count) taken = count;
                at += taken;
                count -= taken;
                if (taken == 0) ++doc.refusedWrites;
            }
            if (count > 0) return true;
        }
        return false;
    }

    JobOutcome& outcome_;
    HANDLE printers_[2];
    HMODULE module_ = nullptr;
    HRESULT (*getClassObject_)(REFCLSID, REFIID, LPVOID*) = nullptr;
    IPrintOemPS2* plugin_ = nullptr;
    harness::PluginHooks hooks_;
    harness::CoreHelper coreHelper_;
    harness::DriverServices driverServices_;
};

// Lines of a header with each "@PJL SET NAME=value" reduced to its name: the
// values of names and dates may degrade, the lines may not go missing.
std::vector<std::string> HeaderShape(const std::string& header) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find("\r\n", at);
        end = end == std::string::npos ? header.size() : end + 2;
        std::string line = header.substr(at, end - at);
        const size_t equals = line.find('=');
        if (line.rfind("@PJL SET ", 0) == 0 && equals != std::string::npos) line.resize(equals);
        lines.push_back(line);
        at = end;
    }
    return lines;
}

// The body with the contents of every setup section taken out.
std::string OutsideSections(const std::string& body) {
    std::string out;
    size_t at = 0;
    while (at < body.size()) {
        size_t begin = body.find("%%Begin", at);
        size_t lineEnd = begin == std::string::npos ? std::string::npos : body.find("\r\n", begin);
        const bool marker =
            lineEnd != std::string::npos && (body.compare(begin, lineEnd + 2 - begin, "%%BeginSetup\r\n") == 0 ||
                                             body.compare(begin, lineEnd + 2 - begin, "%%BeginPageSetup\r\n") == 0);
        if (!marker) {
            if (begin == std::string::npos) break;
            out.append(body, at, begin + 7 - at);
            at = begin + 7;
            continue;
        }
        out.append(body, at, lineEnd + 2 - at);
        const size_t endSetup = body.find("%%EndSetup\r\n", lineEnd);
        const size_t endPage = body.find("%%EndPageSetup\r\n", lineEnd);
        const size_t end = std::min(endSetup, endPage);
        if (end == std::string::npos) return out + "<section not closed>";
        at = end;
    }
    if (at < body.size()) out.append(body, at, std::string::npos);
    return out;
}

}  // namespace

const std::string& SweepJobStream() {
    static const std::string job = [] {
        std::ifstream in(EXAMPLES_FOLDER "/job.ps", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        // The job-end byte the driver sends last has no line end: only the
        // end-of-document flush forwards it.
        return text.str() + "\x04";
    }();
    return job;
}

bool WholeJob(const std::string& spooled, const std::string& clean, std::string* why) {
    const size_t spooledSplit = spooled.find(kEnterLanguage);
    const size_t cleanSplit = clean.find(kEnterLanguage);
    if (spooledSplit == std::string::npos || cleanSplit == std::string::npos) {
        *why = "no switch to PostScript in the header";
        return false;
    }
    const size_t split = sizeof kEnterLanguage - 1;
    if (HeaderShape(spooled.substr(0, spooledSplit + split)) != HeaderShape(clean.substr(0, cleanSplit + split))) {
        *why = "header lines missing or out of order";
        return false;
    }
    if (OutsideSections(spooled.substr(spooledSplit + split)) != OutsideSections(clean.substr(cleanSplit + split))) {
        *why = "PostScript outside the setup sections differs";
        return false;
    }
    return true;
}

JobOutcome RunSweepJob(const std::function<void()>& arm, const std::function<void()>& disarm) {
    JobOutcome outcome;
    std::thread worker([&] {
        sim::Reset();
        sim::SetUserName(u"operator");
        SetFixedLocalTime(2026, 12, 8, 2, 9);
        HANDLE printers[2] = {sim::AddPrinter(kPrinterName), nullptr};
        sim::SetForms(printers[0], SweepForms());
        std::u16string name(kPrinterName);
        OpenPrinterW(name.data(), &printers[1], nullptr);
        ResetAllocations();

        Driver driver(outcome, printers);
        arm();
        if (driver.Load() && driver.Create(outcome.faulty)) {
            driver.Document(outcome.faulty, 0);
            driver.CancelledDocument(outcome.cancelled);
        }
        disarm();
        if (outcome.loaded && !driver.HasPlugin()) driver.Create(outcome.next);
        if (driver.HasPlugin()) driver.Document(outcome.next, 1);
        driver.Unload();

        outcome.livePluginAllocations = LivePluginAllocations();
        outcome.openFiles = sim::OpenFileHandles();
        outcome.openServers = sim::OpenServerHandles();
        outcome.unfreedSessionLists = sim::UnfreedSessionLists();
        outcome.modulesLoaded = sim::ModuleRefCount(u"QM22TRD.dll") + sim::ModuleRefCount(u"QM22TIE.dll");
    });
    std::signal(SIGALRM, &OnWatchdog);
    alarm(kRunSeconds);
    worker.join();
    alarm(0);
    return outcome;
}

}  // namespace faults
