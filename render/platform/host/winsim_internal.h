// Internal state of the simulated Windows, shared by the winsim sources.
#pragma once

#include "platform/host/sim_control.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sim::detail {

struct Failure {
    bool active = false;
    DWORD error = 0;
    unsigned skip = 0;
    unsigned count = 0;
};

// A printer and its handles are one record with one lock: the spooler serves
// the jobs of different printers side by side, and the calls on one printer
// (its forms, its sink, the writes of every handle to it) one at a time.
struct Printer {
    std::mutex lock;      // guards everything below and the handles' `open` and `writes`
    std::u16string name;  // never changes after AddPrinter
    std::vector<Form> forms;
    WriteSink sink;               // empty: writes are recorded per handle
    DWORD writeLimit = kNoLimit;  // this printer's own limit; kNoLimit: the machine's
    bool ownLimit = false;
};

struct PrinterHandle {
    std::shared_ptr<Printer> printer;
    bool open = true;
    std::vector<WriteCall> writes;
};

// An open file: its descriptor is used under its own lock, so a read on one file
// never waits for another file, and a CloseHandle cannot close the descriptor
// under a read of the same handle.
struct File {
    std::mutex lock;
    int fd = -1;  // -1 once closed
};

struct Module {
    bool fake = false;
    void* dl = nullptr;
    std::u16string loadedPath;    // as LoadLibraryW was given it, made absolute
    std::u16string reportedPath;  // what GetModuleFileNameW reports
    std::string fileName;         // last component, UTF-8, ASCII lower case
    unsigned refCount = 0;
    const SimResource* resources = nullptr;
    unsigned resourceCount = 0;
    std::map<std::string, FARPROC> fakeExports;
};

// The one simulated machine. Its records are guarded by separate locks, so
// that jobs on several threads meet only where Windows' own objects would make
// them meet:
//   machineLock (Lock())   modules, terminal services, identity, clock,
//                          environment, the file table, common controls;
//   spoolerLock            the printer and printer-handle tables, the machine's
//                          write limit, the job-command record;
//   Printer::lock          one printer, its handles' records and its sink;
//   File::lock             one open file;
//   failureLock            the failure table and call counts;
//   debugLock              the debugger output.
// A thread takes them only in that order (down the list), never the other way,
// and calls no module code while holding any of them. The last error is per
// thread, as on Windows.
struct State {
    std::mutex failureLock;
    std::array<Failure, static_cast<size_t>(Api::Count_)> failures{};
    std::array<unsigned, static_cast<size_t>(Api::Count_)> calls{};

    std::atomic<std::uintptr_t> nextHandle{0x10000};

    std::mutex spoolerLock;
    std::map<HANDLE, std::shared_ptr<PrinterHandle>> printerHandles;
    std::vector<std::shared_ptr<Printer>> printers;
    DWORD writeLimit = kNoLimit;
    std::vector<JobCommand> jobCommands;

    std::vector<Session> sessions;
    DWORD messageResponse = IDOK;
    std::vector<Message> messages;
    std::set<HANDLE> servers;
    std::set<void*> sessionLists;

    std::u16string userName;
    std::u16string computerName;
    std::map<std::u16string, std::u16string> environment;
    bool fixedClock = false;
    SYSTEMTIME clock{};
    std::u16string shortDate;
    std::u16string longDate;

    std::mutex debugLock;
    std::vector<std::u16string> debugOutput;
    CommonControlsRecord commonControls{};

    std::set<Module*> modules;                         // owned; real ones deleted at their last FreeLibrary
    std::map<std::string, std::u16string> pathOnLoad;  // lower-case file name -> path
    std::vector<std::pair<std::u16string, DWORD>> loadFailures;
    std::set<std::pair<std::string, std::string>> hiddenExports;  // (lower file name, export)
    std::string lastLoaderError;

    std::map<HANDLE, std::shared_ptr<File>> files;

    // With the machine lock, the spooler lock, the failure lock and the debug
    // lock held.
    void ResetToDefaults();
    HANDLE NewHandle() { return reinterpret_cast<HANDLE>(nextHandle.fetch_add(4) + 4); }
};

// The one machine; see State for which lock guards what.
State& Machine();
// The machine lock (recursive: DllMain and sinks may call in again).
std::recursive_mutex& Lock();

// Counts a call of `api`; true (with the last error set) when it is to fail.
// Takes the failure lock itself; the caller may hold any of the other locks.
bool InjectFailure(State& s, Api api);
// The same, for the machine's one state.
inline bool EnterCall(Api api) { return InjectFailure(Machine(), api); }

// Text helpers.
std::u16string Utf8To16(const std::string& in);
std::string Utf16To8(const std::u16string& in);
size_t Length16(const WCHAR* s);
std::string LowerAscii(std::string s);
std::u16string LowerAscii16(std::u16string s);
// Last path component (after '\\' or '/'), UTF-8, ASCII lower case.
std::string FileNameKey(const std::u16string& path);
// '\\' -> '/', UTF-8.
std::string ToHostPath(const std::u16string& path);
// Case-insensitive comparison of two paths with '\\' and '/' equal.
bool SamePath(const std::u16string& a, const std::u16string& b);

// Closes all files (used by Reset).
void CloseAllFiles(State& s);
// Forgets fake modules and overrides (used by Reset).
void ResetModules(State& s);

}  // namespace sim::detail
