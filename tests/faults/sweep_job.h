// One whole job through the loaded plug-in module, as the driver runs it, with
// everything the fault sweeps check about it recorded rather than asserted:
// load the module (its entry routine loads the sibling library), create and
// enable the plug-in object, merge the device settings (size, defaults, merge),
// then a document (EnablePDEV, StartDoc, the header at Command, the driver's
// writes through the stream filter, SendPage, EndDoc, DisablePDEV), a second
// document on a fresh device object with no fault armed, and unload.
#pragma once

#include "platform/host/sim_control.h"
#include "platform/platform.h"

#include <functional>
#include <string>
#include <vector>

namespace faults {

// The error the sweeps make a failed call report, so the spooler's error can be
// told apart from one the plug-in made up.
constexpr DWORD kInjectedError = 1117;  // ERROR_IO_DEVICE

struct DocumentOutcome {
    bool reached = false;          // the document was attempted at all
    bool reportedFailure = false;  // some step answered failure
    std::string firstFailure;      // the step that did, for messages
    DWORD lastErrorAtFailure = 0;
    std::string spooled;  // what the document's printer handle took
    std::string header;   // what it took up to the end of Command
    DWORD lastErrorAfterCommand = 0;
    unsigned refusedWrites = 0;          // writes answered failure with nothing taken
    std::vector<sim::WriteCall> writes;  // every spooler write of the document
};

// A document whose device object lacks the plug-in's private part: StartDoc
// must cancel it and refuse, whatever the cancel and the notice meet.
struct CancelOutcome {
    bool reached = false;
    BOOL startDoc = TRUE;
    std::string spooled;
};

struct JobOutcome {
    bool exceptionEscaped = false;
    std::string exceptionAt;
    DocumentOutcome faulty;   // the document the fault is armed for
    CancelOutcome cancelled;  // then one without settings, the fault still armed
    DocumentOutcome next;     // the document after it, no fault armed
    // Left behind once the module is unloaded.
    size_t livePluginAllocations = 0;
    unsigned openFiles = 0;
    int openServers = 0;
    int unfreedSessionLists = 0;
    unsigned modulesLoaded = 0;  // QM22TRD.dll and QM22TIE.dll references
    ULONG coreHelperRefs = 0;    // the driver's doubles, 1 when given back
    ULONG driverServicesRefs = 0;
    bool loaded = false;
    // Calls of each function made while the module loaded (its entry routine).
    std::vector<unsigned> callsWhileLoading;
};

// A whole job on a thread of its own (the document hooks keep their state per
// thread). `arm` runs once the machine is set up, right before the module is
// loaded; `disarm` before the second document. A job that does not finish
// within the watchdog's time ends the program with a "hang" line.
JobOutcome RunSweepJob(const std::function<void()>& arm, const std::function<void()>& disarm);

// The job's PostScript as the driver writes it, and the sizes of its writes.
const std::string& SweepJobStream();

// True when `spooled` is the clean job `clean` with only what may degrade
// without loss: header values (names, date) and setup-section contents. Every
// header line and every byte outside setup sections must be there, in order.
bool WholeJob(const std::string& spooled, const std::string& clean, std::string* why);

// Watchdog: a run that takes longer than this is a hang.
constexpr unsigned kRunSeconds = 20;

}  // namespace faults
