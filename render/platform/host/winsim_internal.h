// Internal state of the simulated Windows, shared by the winsim sources.
#pragma once

#include "platform/host/sim_control.h"

#include <array>
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

struct Printer {
    std::u16string name;
    std::vector<Form> forms;
    WriteSink sink;  // empty: writes are recorded per handle
};

struct PrinterHandle {
    std::shared_ptr<Printer> printer;
    bool open = true;
    std::vector<WriteCall> writes;
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

struct State {
    std::array<Failure, static_cast<size_t>(Api::Count_)> failures{};
    std::array<unsigned, static_cast<size_t>(Api::Count_)> calls{};

    std::uintptr_t nextHandle = 0x10000;

    std::map<HANDLE, PrinterHandle> printerHandles;
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

    std::vector<std::u16string> debugOutput;
    CommonControlsRecord commonControls{};

    std::set<Module*> modules;  // owned; real ones deleted at their last FreeLibrary
    std::map<std::string, std::u16string> pathOnLoad;      // lower-case file name -> path
    std::vector<std::pair<std::u16string, DWORD>> loadFailures;
    std::set<std::pair<std::string, std::string>> hiddenExports;  // (lower file name, export)
    std::string lastLoaderError;

    std::map<HANDLE, int> files;

    void ResetToDefaults();
    HANDLE NewHandle() {
        nextHandle += 4;
        return reinterpret_cast<HANDLE>(nextHandle);
    }
};

// The one machine. Lock the mutex for every access to the state.
State& Machine();
std::recursive_mutex& Lock();

// Counts a call of `api`; true (with the last error set) when it is to fail.
bool InjectFailure(State& s, Api api);
// The same for a function that does not hold the lock yet.
inline bool EnterCall(Api api) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return InjectFailure(Machine(), api);
}

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
