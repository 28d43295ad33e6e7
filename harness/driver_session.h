// The PostScript driver's side of the plug-in on the simulated Windows: the
// device-settings requests, one job's device context and document, and a whole
// session that loads QM22TRD.dll (which loads QM22TIE.dll from its own folder),
// publishes the driver's interfaces and enables the hooks. Host builds only.
#pragma once

#include "harness/core_helper.h"
#include "harness/driver_hooks.h"
#include "platform/platform.h"
#include "settings/private_part.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace harness {

using PrivatePart = std::array<BYTE, kPrivatePartBytes>;

// The driver's device-settings requests (DevMode) for one printer. Public
// settings that are null are not offered.
struct DeviceSettingsRequests {
    IPrintOemPS2* plugin = nullptr;
    HANDLE printer = nullptr;
    HMODULE module = nullptr;

    // OEMDM_SIZE: the private part's size in *bytes.
    HRESULT Size(DWORD* bytes) const noexcept;
    // OEMDM_DEFAULT into part[0, bytes).
    HRESULT Defaults(const DEVMODEW* publicIn, DEVMODEW* publicOut, BYTE* part, DWORD bytes) const noexcept;
    // OEMDM_MERGE on the part in place.
    HRESULT Merge(const DEVMODEW* publicIn, DEVMODEW* publicOut, BYTE* part, DWORD bytes) const noexcept;

private:
    HRESULT Request(DWORD mode, OEMDMPARAM* param) const noexcept;
};

// One device context and its document, driven the way the driver drives it:
// EnablePDEV with the driver's own DDI functions, the StartDoc hook, the
// begin-stream command, the driver's writes, SendPage and the EndDoc hook,
// DisablePDEV. The document hooks keep their document per thread: Start, the
// writes and End belong on one thread. A job still enabled when it goes is
// given up (ED_ABORTDOC) and disabled.
class Job {
public:
    Job(IPrintOemPS2* plugin, const PluginHooks& hooks, HANDLE printer, HMODULE module, DEVMODEW* publicDm,
        BYTE* part) noexcept;
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    HRESULT Enable(PWSTR printerName) noexcept;
    // False when the plug-in has no StartDoc hook or it answers FALSE.
    bool Start(const std::u16string& documentName, DWORD jobId);
    // The plug-in writes its header itself and answers E_NOTIMPL with the
    // result "not handled" (kBeginStreamNotHandled) when all is well.
    HRESULT BeginStream(DWORD* result) noexcept;
    HRESULT Write(const void* bytes, DWORD count, DWORD* taken) noexcept;
    // SendPage (unless the job is given up) and EndDoc with ED_ABORTDOC when it
    // is, then DisablePDEV. False when the EndDoc hook is missing or answers FALSE.
    bool End(bool abort) noexcept;

    DEVOBJ& Device() noexcept { return device_; }
    SURFOBJ* Surface() noexcept { return &surface_.surface; }
    const DriverCalls& Calls() const noexcept { return surface_.calls; }

private:
    IPrintOemPS2* plugin_;
    PluginHooks hooks_;
    DriverFunctions driverFunctions_;
    DriverSurface surface_;
    DEVOBJ device_{};
    std::vector<WCHAR> documentName_;
    bool enabled_ = false;
    bool started_ = false;
};

constexpr DWORD kBeginStreamNotHandled = 50;

struct SessionOptions {
    std::string pluginDir;              // holds QM22TRD.dll and, normally, QM22TIE.dll; empty: DefaultPluginFolder()
    std::string paperListFile;          // the plug-in's QM22T.ini; empty: the one in pluginDir, if any
    std::string userName = "operator";  // who the simulated machine's user is
    std::optional<SYSTEMTIME> clock;    // the simulated machine's local time; none: the host's
    // Told each path of the work folder as it is made (the folder first, then
    // the links in it), so a program can remove them should a signal end it.
    std::function<void(const std::string& path)> onWorkPath;
};

// The folder of the running program.
std::string ProgramFolder();
// Where the plug-in is when none is named: the program's own folder, where the
// build puts it, or else the installed layout's library folder beside it
// (bin/qm22t, lib/qm22t/QM22TRD.dll); the program's folder when neither holds it.
std::string DefaultPluginFolder();

enum class OpenResult {
    kOpened,
    kBadSetup,  // a file is missing or the work folder cannot be made
    kRefused,   // the plug-in could not be loaded or refused a step
};

class DriverSession {
public:
    DriverSession();
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // Sets up a fresh simulated machine with one printer, loads the plug-in and
    // enables it as the driver does; the reason of a failure in `error`.
    OpenResult Open(const SessionOptions& options, std::string* error);
    bool SiblingLoaded() const;
    HANDLE Printer() const { return printer_; }

    // The device settings the driver starts from: OEMDM_DEFAULT, which brings
    // in the sibling library's defaults.
    bool Defaults(PrivatePart* part, std::string* error);
    // The merge the driver asks for after the settings changed (OEMDM_MERGE),
    // done on the part in place.
    bool Merge(PrivatePart* part, std::string* error);

    // One job: EnablePDEV with the part and StartDoc with the document name.
    // A null part plays a driver that lost the plug-in's private part: the
    // device object then carries none.
    bool StartJob(PrivatePart* part, const std::string& documentName, std::string* error);
    // Command(PSINJECT_BEGINSTREAM): the plug-in writes its job header.
    bool BeginStream(std::string* error);
    // One buffer of the driver's output through IPrintOemPS2::WritePrinter.
    HRESULT Write(const void* bytes, DWORD count, DWORD* taken);
    // SendPage and EndDoc (with ED_ABORTDOC when the job is given up), then
    // DisablePDEV. False when the EndDoc hook answers FALSE.
    bool EndJob(bool abort);

private:
    struct Module;
    DeviceSettingsRequests Requests() const;

    std::unique_ptr<Module> module_;  // work folder and module: released last
    CoreHelper coreHelper_;           // the driver's interfaces outlive the plug-in object
    DriverServices driverServices_;
    IPrintOemPS2* plugin_ = nullptr;
    PluginHooks hooks_;
    HANDLE printer_ = nullptr;
    DEVMODEW publicDevmode_{};
    std::unique_ptr<Job> job_;  // ends before the plug-in object goes
};

}  // namespace harness
