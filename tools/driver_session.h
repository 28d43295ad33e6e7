// The PostScript driver's side of the plug-in, on the simulated Windows: loads
// QM22TRD.dll (which loads QM22TIE.dll from its own folder), asks it for
// device settings the way the driver does, and drives one job through it.
#pragma once

#include "platform/platform.h"
#include "settings/private_part.h"

#include "fake_core_helper.h"

#include <array>
#include <memory>
#include <string>

namespace qm22t {

using PrivatePart = std::array<BYTE, kPrivatePartBytes>;

struct SessionOptions {
    std::string pluginDir;      // holds QM22TRD.dll and, normally, QM22TIE.dll
    std::string paperListFile;  // the plug-in's QM22T.ini; empty: the one in pluginDir, if any
    std::string userName = "operator";  // who the simulated machine's user is
    std::string date;                   // YYYY-MM-DD fixes the clock; empty: the host's
};

// The folder of the running program, where the build puts the plug-in too.
std::string ProgramFolder();

class DriverSession {
public:
    DriverSession();
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // Sets up a fresh simulated machine with one printer, loads the plug-in and
    // enables it as the driver does. 0, or with the reason in `error` the exit
    // code the failure deserves: kExitUsage for a missing file or a bad date,
    // kExitFound when the plug-in refuses.
    int Open(const SessionOptions& options, std::string* error);
    bool SiblingLoaded() const;
    HANDLE Printer() const { return printer_; }

    // The device settings the driver starts from: OEMDM_DEFAULT, which brings
    // in the sibling library's defaults.
    bool Defaults(PrivatePart* part, std::string* error);
    // The merge the driver asks for after the settings changed (OEMDM_MERGE),
    // done on the part in place.
    bool Merge(PrivatePart* part, std::string* error);

    // One job: EnablePDEV with the part and StartDoc with the document name.
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
    struct Job;
    HRESULT DevMode(DWORD mode, OEMDMPARAM* param);

    std::unique_ptr<Module> module_;  // work folder and module: released last
    FakeCoreHelper coreHelper_;       // the driver's interfaces outlive the plug-in object
    FakeOemDriver driverServices_;
    std::unique_ptr<Job> job_;
    IPrintOemPS2* plugin_ = nullptr;
    DRVENABLEDATA hooks_{};
    HANDLE printer_ = nullptr;
    DEVMODEW publicDevmode_{};
};

}  // namespace qm22t
