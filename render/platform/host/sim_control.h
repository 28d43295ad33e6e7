// Control surface of the simulated Windows (host build only): what a test or tool
// uses to set the simulated machine up and to read what the code under test did.
// The code under test never includes this header; it only calls the Windows
// functions of platform/platform.h.
//
// One machine per process: the test program, the plug-in module and the sibling
// module all link the shared library `winsim`. Every function here, and every
// simulated Windows function, may be called from several threads at once: the
// machine's records each have a lock of their own (jobs on different printers
// do not wait for each other), and the last error is per thread, as on Windows.
// Call sim::Reset() at the start of each test (a fixture's SetUp), while no
// other thread calls in.
//
// Conventions of the simulation, in one place:
// - Paths are host paths. The functions that take a path accept '\\' and '/' as
//   separators and hand the host the UTF-8 form with '/'. There are no drive letters.
//   GetModuleFileNameW reports a module's path as it was loaded, made absolute.
// - A module is a real ELF shared object loaded with dlopen, whatever its name
//   (QM22TIE.dll is an .so), or an in-process fake registered with RegisterModule.
// - Handles stay valid until closed or until Reset; handle values are never reused.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <limits>
#include <string>
#include <vector>

#if defined(_WIN32)
#error "sim_control.h belongs to the host build"
#endif

// ---------------------------------------------------------------------------
// Module resources (the host's replacement for a module's .rsrc section).
//
// A module that has resources defines the two objects declared below (the
// declarations give them C linkage, external linkage and default visibility, so
// the source that defines them includes this header first):
//     const SimResource SimModuleResources[] = {{MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), data, size}, ...};
//     const unsigned SimModuleResourceCount = sizeof SimModuleResources / sizeof SimModuleResources[0];
// LoadLibraryW looks both up in the module itself (dlsym; a definition in another
// object does not count) and FindResourceW searches that table. `type` and `name` are
// each either MAKEINTRESOURCEW(id) or a zero-terminated string; strings compare
// without regard to ASCII case and "#123" stands for the id 123, as on Windows. The
// language is not modelled: every entry is language neutral. `data` is returned by
// LoadResource/LockResource as is and must live as long as the module.
// ---------------------------------------------------------------------------
extern "C" {
struct SimResource {
    const WCHAR* type;
    const WCHAR* name;
    const void* data;
    DWORD size;
};
extern __attribute__((visibility("default"))) const SimResource SimModuleResources[];
extern __attribute__((visibility("default"))) const unsigned SimModuleResourceCount;
}
#define SIM_RESOURCE_TABLE_SYMBOL "SimModuleResources"
#define SIM_RESOURCE_COUNT_SYMBOL "SimModuleResourceCount"

#define SIM_CONTROL_API __attribute__((visibility("default")))

namespace sim {

// Back to the state of a fresh process: no printers, default forms, default sessions
// and identity, host clock, empty records, no failures or overrides, no fake modules;
// open files are closed. Modules loaded with LoadLibraryW stay loaded (the code that
// loaded them owns them) but lose their path overrides.
SIM_CONTROL_API void Reset();

// ---------------------------------------------------------------------------
// Text helpers for tests
// ---------------------------------------------------------------------------
SIM_CONTROL_API std::u16string ToUtf16(const char* utf8);
SIM_CONTROL_API std::u16string ToUtf16(const std::string& utf8);
SIM_CONTROL_API std::string ToUtf8(const WCHAR* text);  // null gives ""
SIM_CONTROL_API std::string ToUtf8(const std::u16string& text);

// ---------------------------------------------------------------------------
// Failure injection and call counts, for every function listed in Api.
//
// FailCalls(api, error, skip, count): the next `skip` calls of `api` behave normally,
// the `count` calls after them fail: they return the function's failure value (FALSE,
// NULL, INVALID_HANDLE_VALUE, 0) with SetLastError(error) and touch no output. A new
// FailCalls for the same api replaces the previous one. CallCount counts all calls
// since Reset, failed or not.
// ---------------------------------------------------------------------------
enum class Api {
    WritePrinter,
    GetPrinterW,
    EnumFormsW,
    SetJobW,
    OpenPrinterW,
    WTSOpenServerW,
    WTSEnumerateSessionsW,
    WTSSendMessageW,
    GetUserNameW,
    GetComputerNameExW,
    GetDateFormatW,
    WideCharToMultiByte,
    MultiByteToWideChar,
    CreateFileW,
    ReadFile,
    GetFileSize,
    LoadLibraryW,
    GetProcAddress,
    FindResourceW,
    LoadResource,
    GetModuleFileNameW,
    SizeofResource,
    LockResource,
    GetEnvironmentVariableW,
    InitCommonControlsEx,
    WriteFile,
    // Counted only: these cannot fail, or release something (a release that
    // failed would leave the caller nothing to do but leak).
    CloseHandle,
    ClosePrinter,
    FreeLibrary,
    WTSCloseServer,
    WTSFreeMemory,
    GetLocalTime,
    OutputDebugStringW,
    OutputDebugStringA,
    InitCommonControls,
    Count_
};
constexpr unsigned kEveryCall = std::numeric_limits<unsigned>::max();
SIM_CONTROL_API void FailCalls(Api api, DWORD error, unsigned skip = 0, unsigned count = kEveryCall);
SIM_CONTROL_API void StopFailing(Api api);
SIM_CONTROL_API unsigned CallCount(Api api);
// The function's Windows name ("WritePrinter").
SIM_CONTROL_API const char* ApiName(Api api);
// False for the functions that are counted only: FailCalls has no effect on them.
SIM_CONTROL_API bool CanFail(Api api);
// The next call of `api` on the calling thread is neither counted nor failed: a
// test's own call (loading the module under test) stays out of the sweep of
// the calls that module makes.
SIM_CONTROL_API void ExemptNextCall(Api api);

// ---------------------------------------------------------------------------
// Spooler
// ---------------------------------------------------------------------------
struct Form {
    std::u16string name;
    DWORD flags;  // FORM_BUILTIN, FORM_USER, FORM_PRINTER
    LONG width;   // thousandths of a millimetre; the imageable area is the whole form
    LONG height;
};

// Creates a printer with DefaultForms() and returns an open handle to it (as
// OpenPrinterW would). OpenPrinterW(name) gives further handles to the same printer.
SIM_CONTROL_API HANDLE AddPrinter(const std::u16string& name);

// The first 47 of Windows' built-in forms, in their order, all FORM_BUILTIN, so that a
// form's 1-based position is its DMPAPER number (1 Letter, 5 Legal, 8 A3, 9 A4 ...).
// Windows has more (about 118); a test that needs others sets its own list.
SIM_CONTROL_API std::vector<Form> DefaultForms();

// Replaces the form list of the printer that `printer` (any of its handles) refers to.
SIM_CONTROL_API void SetForms(HANDLE printer, const std::vector<Form>& forms);

// Every WritePrinter call on one handle, in order, failed ones included.
struct WriteCall {
    DWORD offered;         // cbBuf as passed
    BOOL result;           // what WritePrinter returned
    std::string accepted;  // the bytes taken (reported in *pcWritten); empty on failure
};
SIM_CONTROL_API std::vector<WriteCall> WriteCalls(HANDLE printer);
// The accepted bytes of each successful call (one element per call, 0-byte calls included).
SIM_CONTROL_API std::vector<std::string> WrittenChunks(HANDLE printer);
// All accepted bytes on the handle, concatenated.
SIM_CONTROL_API std::string WrittenBytes(HANDLE printer);

// The spooler takes at most this many bytes per WritePrinter call and reports the count
// in *pcWritten; 0 makes every call succeed with 0 bytes taken. Default: no limit.
constexpr DWORD kNoLimit = 0xFFFFFFFF;
SIM_CONTROL_API void SetWriteLimit(DWORD maxBytesPerCall);
// The same for one printer (any of its handles) alone, in place of the machine's
// limit, so that jobs on several printers can meet different spoolers at once.
SIM_CONTROL_API void SetWriteLimit(HANDLE printer, DWORD maxBytesPerCall);

// A printer whose output a program takes as it arrives instead of having it
// recorded (a tool that runs long jobs must not hold them in memory). While a sink
// is set, every WritePrinter call on any handle of that printer that passes the
// failure injection and the argument checks goes to the sink, and is not
// recorded: WriteCalls and WrittenBytes stay empty, and SetWriteLimit does not
// apply (the sink decides what it takes). WritePrinter returns `result`, reports
// `taken` as the sink says (a sink that reports more than it was offered plays
// a faulty spooler) and on failure sets `error` as the last error. The sink runs under its printer's lock (calls for
// one printer come one at a time, those for different printers at the same time) and must not call back into the
// spooler. An empty function records again.
struct WriteOutcome {
    BOOL result;
    DWORD taken;
    DWORD error;
};
using WriteSink = std::function<WriteOutcome(const void* bytes, DWORD count)>;
SIM_CONTROL_API void SetWriteSink(HANDLE printer, WriteSink sink);

// Every SetJobW call, in order, failed ones included.
struct JobCommand {
    HANDLE printer;
    DWORD jobId;
    DWORD level;
    bool jobInfoGiven;  // pJob was not null
    DWORD command;      // JOB_CONTROL_*
    BOOL result;
};
SIM_CONTROL_API std::vector<JobCommand> JobCommands();

// ---------------------------------------------------------------------------
// Terminal services
// ---------------------------------------------------------------------------
struct Session {
    DWORD id;
    WTS_CONNECTSTATE_CLASS state;
    std::u16string winStationName;
};
// Default: {0, WTSDisconnected, "Services"}, {1, WTSActive, "Console"}.
SIM_CONTROL_API void SetSessions(const std::vector<Session>& sessions);

// The answer the user gives to a message box shown with bWait TRUE (default IDOK).
// With bWait FALSE the answer is IDASYNC, as on Windows.
SIM_CONTROL_API void SetMessageResponse(DWORD response);

// Every message WTSSendMessageW delivered (failed calls deliver none).
struct Message {
    DWORD sessionId;
    std::u16string title;  // TitleLength / 2 units, as passed (no terminator expected)
    DWORD titleLength;     // bytes, as passed
    std::u16string text;   // MessageLength / 2 units
    DWORD textLength;      // bytes, as passed
    DWORD style;
    DWORD timeout;
    BOOL wait;
};
SIM_CONTROL_API std::vector<Message> Messages();

// Server handles opened and not yet closed; session lists not yet freed.
SIM_CONTROL_API int OpenServerHandles();
SIM_CONTROL_API int UnfreedSessionLists();

// ---------------------------------------------------------------------------
// Identity, clock and locale
// ---------------------------------------------------------------------------
SIM_CONTROL_API void SetEnvironmentVariable(const std::u16string& name, const std::u16string& value);
SIM_CONTROL_API void SetUserName(const std::u16string& name);      // default u"SimUser"
SIM_CONTROL_API void SetComputerName(const std::u16string& name);  // default u"SIMHOST"
SIM_CONTROL_API void SetLocalTime(const SYSTEMTIME& time);         // fixes the clock
SIM_CONTROL_API void UseHostClock();                               // the default
// GetDateFormatW's pictures for DATE_SHORTDATE and DATE_LONGDATE, for every locale.
SIM_CONTROL_API void SetShortDatePattern(const std::u16string& picture);  // default u"M/d/yyyy"
SIM_CONTROL_API void SetLongDatePattern(const std::u16string& picture);   // default u"dddd, MMMM d, yyyy"

// ---------------------------------------------------------------------------
// Debugger output and common controls
// ---------------------------------------------------------------------------
// One element per OutputDebugStringW/A call, text as passed (UTF-16).
SIM_CONTROL_API std::vector<std::u16string> DebugOutput();

struct CommonControlsRecord {
    unsigned initCalls;    // InitCommonControls
    unsigned initExCalls;  // InitCommonControlsEx
    DWORD lastExSize;      // dwSize of the last InitCommonControlsEx structure
    DWORD lastExClasses;   // dwICC of the last one
};
SIM_CONTROL_API CommonControlsRecord CommonControls();

// ---------------------------------------------------------------------------
// Modules
// ---------------------------------------------------------------------------
// Registers an in-process fake module, for tests that link the module's code
// statically: LoadLibraryW of `path` (compared without regard to ASCII case, '\\'
// equal to '/') returns it and counts a reference, GetModuleFileNameW reports `path`,
// FindResourceW searches `resources` (may be null), GetProcAddress finds what
// AddExport added. No DllMain is called. It lives until Reset.
SIM_CONTROL_API HMODULE RegisterModule(const std::u16string& path, const SimResource* resources = nullptr,
                                       unsigned resourceCount = 0);
SIM_CONTROL_API void AddExport(HMODULE fakeModule, const char* name, FARPROC function);
template <typename Function>
void AddExport(HMODULE fakeModule, const char* name, Function* function) {
    AddExport(fakeModule, name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function)));
}

// What GetModuleFileNameW reports for a module (e.g. a very long path). The path does
// not move the module; LoadLibraryW still compares fake modules by their own path.
SIM_CONTROL_API void OverrideModulePath(HMODULE module, const std::u16string& reportedPath);
// The same for a module not loaded yet: applied when a module whose file name (last
// path component, ASCII case ignored) is `fileName` gets loaded.
SIM_CONTROL_API void OverrideModulePathOnLoad(const std::u16string& fileName, const std::u16string& reportedPath);

// LoadLibraryW fails with `error` for a path whose file name (last component) equals
// `fileNameOrPath`, or, when it contains a separator, for that exact path.
SIM_CONTROL_API void FailLoadLibrary(const std::u16string& fileNameOrPath, DWORD error = ERROR_MOD_NOT_FOUND);
// GetProcAddress does not find `exportName` in modules with that file name.
SIM_CONTROL_API void HideExport(const std::u16string& moduleFileName, const std::string& exportName);

// Reference count of the loaded module with that file name (ASCII case ignored), 0
// when none is loaded; the sum when several are.
SIM_CONTROL_API unsigned ModuleRefCount(const std::u16string& fileName);
// dlerror() text of the last failed dlopen, for diagnosing a test set-up.
SIM_CONTROL_API std::string LastLoaderError();

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------
// CreateFileW handles not yet closed with CloseHandle.
SIM_CONTROL_API unsigned OpenFileHandles();
// The host path that the file functions use for a Windows-style path.
SIM_CONTROL_API std::string HostPath(const WCHAR* path);

}  // namespace sim
