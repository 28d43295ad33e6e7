// Simulated Windows: modules (dlopen), exports, resources, files.
#include "platform/host/winsim_internal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim::detail {
namespace {

Module* FindModule(State& s, HMODULE h) {
    auto* m = reinterpret_cast<Module*>(h);
    return s.modules.count(m) != 0 ? m : nullptr;
}

// True when `symbol` lies in the object that `dl` refers to, not in one of its
// dependencies (Windows' GetProcAddress sees only the module's own exports).
bool OwnedBy(void* dl, const void* symbol) {
    struct link_map* own = nullptr;
    if (dlinfo(dl, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr) return false;
    Dl_info info{};
    struct link_map* where = nullptr;
    if (dladdr1(symbol, &info, reinterpret_cast<void**>(&where), RTLD_DL_LINKMAP) == 0) return false;
    return where == own;
}

void* OwnSymbol(void* dl, const char* name) {
    void* p = dlsym(dl, name);
    return p != nullptr && OwnedBy(dl, p) ? p : nullptr;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExecutableDirectory() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return std::string();
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string CurrentDirectory() {
    char buf[PATH_MAX + 1];
    return getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string();
}

bool LoadBlocked(const State& s, const std::u16string& path, DWORD* error) {
    for (const auto& rule : s.loadFailures) {
        const bool hasSeparator = rule.first.find_first_of(u"\\/") != std::u16string::npos;
        const bool match = hasSeparator ? SamePath(rule.first, path) : FileNameKey(rule.first) == FileNameKey(path);
        if (match) {
            *error = rule.second;
            return true;
        }
    }
    return false;
}

using DllMainFn = BOOL (*)(HINSTANCE, DWORD, LPVOID);

DllMainFn EntryOf(const Module* m) {
    if (m->fake || m->dl == nullptr) return nullptr;
    void* p = OwnSymbol(m->dl, "DllMain");
    return p != nullptr ? reinterpret_cast<DllMainFn>(p) : nullptr;
}

bool ResourceIdEquals(const WCHAR* a, const WCHAR* b) {
    auto asId = [](const WCHAR* r, WORD* id) {
        if (IS_INTRESOURCE(r)) {
            *id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(r));
            return true;
        }
        if (r[0] != u'#') return false;
        unsigned long value = 0;
        for (const WCHAR* p = r + 1; *p != 0; ++p) {
            if (*p < u'0' || *p > u'9') return false;
            value = value * 10 + static_cast<unsigned long>(*p - u'0');
            if (value > 0xFFFF) return false;
        }
        *id = static_cast<WORD>(value);
        return true;
    };
    WORD ia = 0;
    WORD ib = 0;
    const bool aId = asId(a, &ia);
    const bool bId = asId(b, &ib);
    if (aId || bId) return aId && bId && ia == ib;
    return LowerAscii16(a) == LowerAscii16(b);
}

// The open file `h` with its lock held, or null (nothing held). The machine lock
// is taken only for the lookup: a long read holds its own file alone.
struct LockedFile {
    std::shared_ptr<File> file;
    std::unique_lock<std::mutex> lock;

    LockedFile(State& s, HANDLE h) {
        {
            std::lock_guard<std::recursive_mutex> machine(Lock());
            const auto it = s.files.find(h);
            if (it != s.files.end()) file = it->second;
        }
        if (file == nullptr) return;
        lock = std::unique_lock<std::mutex>(file->lock);
        if (file->fd < 0) {
            lock.unlock();
            file.reset();
        }
    }
    explicit operator bool() const { return file != nullptr; }
    int fd() const { return file->fd; }
};

const Module* ModuleOwningResource(const State& s, const SimResource* r) {
    for (const Module* m : s.modules) {
        if (m->resources != nullptr && r >= m->resources && r < m->resources + m->resourceCount) return m;
    }
    return nullptr;
}

}  // namespace

void ResetModules(State& s) {
    for (auto it = s.modules.begin(); it != s.modules.end();) {
        Module* m = *it;
        if (m->fake) {
            delete m;
            it = s.modules.erase(it);
        } else {
            m->reportedPath = m->loadedPath;
            ++it;
        }
    }
    s.pathOnLoad.clear();
    s.loadFailures.clear();
    s.hiddenExports.clear();
    s.lastLoaderError.clear();
}

void CloseAllFiles(State& s) {
    for (const auto& f : s.files) {
        std::lock_guard<std::mutex> lock(f.second->lock);
        if (f.second->fd >= 0) close(f.second->fd);
        f.second->fd = -1;
    }
    s.files.clear();
}

}  // namespace sim::detail

using namespace sim::detail;

// ---------------------------------------------------------------------------
// Control surface: modules and files
// ---------------------------------------------------------------------------
namespace sim {

HMODULE RegisterModule(const std::u16string& path, const SimResource* resources, unsigned resourceCount) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto* m = new Module;
    m->fake = true;
    m->loadedPath = path;
    m->reportedPath = path;
    m->fileName = FileNameKey(path);
    m->resources = resources;
    m->resourceCount = resources != nullptr ? resourceCount : 0;
    Machine().modules.insert(m);
    return reinterpret_cast<HMODULE>(m);
}

void AddExport(HMODULE fakeModule, const char* name, FARPROC function) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Module* m = FindModule(Machine(), fakeModule);
    if (m != nullptr && m->fake && name != nullptr) m->fakeExports[name] = function;
}

void OverrideModulePath(HMODULE module, const std::u16string& reportedPath) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Module* m = FindModule(Machine(), module);
    if (m != nullptr) m->reportedPath = reportedPath;
}

void OverrideModulePathOnLoad(const std::u16string& fileName, const std::u16string& reportedPath) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().pathOnLoad[FileNameKey(fileName)] = reportedPath;
}

void FailLoadLibrary(const std::u16string& fileNameOrPath, DWORD error) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().loadFailures.emplace_back(fileNameOrPath, error);
}

void HideExport(const std::u16string& moduleFileName, const std::string& exportName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().hiddenExports.emplace(FileNameKey(moduleFileName), exportName);
}

unsigned ModuleRefCount(const std::u16string& fileName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    const std::string key = FileNameKey(fileName);
    unsigned total = 0;
    for (const Module* m : Machine().modules) {
        if (m->fileName == key) total += m->refCount;
    }
    return total;
}

std::string LastLoaderError() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return Machine().lastLoaderError;
}

unsigned OpenFileHandles() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return static_cast<unsigned>(Machine().files.size());
}

std::string HostPath(const WCHAR* path) { return path == nullptr ? std::string() : ToHostPath(path); }

}  // namespace sim

// ---------------------------------------------------------------------------
// Modules
// ---------------------------------------------------------------------------
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    std::u16string path;
    {
        std::lock_guard<std::recursive_mutex> lock(Lock());
        State& s = Machine();
        if (InjectFailure(s, sim::Api::GetModuleFileNameW)) return 0;
        if (hModule == nullptr) {
            char buf[PATH_MAX + 1];
            const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
            path = n > 0 ? Utf8To16(std::string(buf, static_cast<size_t>(n))) : std::u16string();
        } else {
            const Module* m = FindModule(s, hModule);
            if (m == nullptr) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return 0;
            }
            path = m->reportedPath;
        }
    }
    if (lpFilename == nullptr || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < nSize) {
        std::copy(path.begin(), path.end(), lpFilename);
        lpFilename[path.size()] = 0;
        return static_cast<DWORD>(path.size());
    }
    // Too long: Windows (Vista and later) truncates to nSize - 1 units plus the
    // terminator, returns nSize and sets ERROR_INSUFFICIENT_BUFFER.
    std::copy(path.begin(), path.begin() + (nSize - 1), lpFilename);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    std::unique_lock<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::LoadLibraryW)) return nullptr;
    if (lpLibFileName == nullptr || lpLibFileName[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::u16string requested(lpLibFileName);
    DWORD blockedError = 0;
    if (LoadBlocked(s, requested, &blockedError)) {
        SetLastError(blockedError);
        return nullptr;
    }
    for (Module* m : s.modules) {
        if (m->fake && SamePath(m->loadedPath, requested)) {
            ++m->refCount;
            return reinterpret_cast<HMODULE>(m);
        }
    }

    // A bare file name is searched for in the program's folder, then in the current
    // folder (Windows also searches its system folders and PATH).
    std::string hostPath = ToHostPath(requested);
    if (hostPath.find('/') == std::string::npos) {
        const std::string inExeDir = ExecutableDirectory() + "/" + hostPath;
        const std::string inCwd = CurrentDirectory() + "/" + hostPath;
        hostPath = FileExists(inExeDir) ? inExeDir : inCwd;
    } else if (hostPath[0] != '/') {
        hostPath = CurrentDirectory() + "/" + hostPath;
    }
    if (!FileExists(hostPath)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }

    lock.unlock();
    // RTLD_LOCAL keeps each module's symbols to itself, as DLLs are.
    void* dl = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* loaderError = dl == nullptr ? dlerror() : nullptr;
    lock.lock();
    if (dl == nullptr) {
        s.lastLoaderError = loaderError != nullptr ? loaderError : "dlopen failed";
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    for (Module* m : s.modules) {
        if (!m->fake && m->dl == dl) {
            ++m->refCount;
            dlclose(dl);  // the module keeps the one dlopen reference of its first load
            return reinterpret_cast<HMODULE>(m);
        }
    }

    auto* m = new Module;
    m->dl = dl;
    m->loadedPath = Utf8To16(hostPath);
    m->fileName = FileNameKey(m->loadedPath);
    const auto pathOverride = s.pathOnLoad.find(m->fileName);
    m->reportedPath = pathOverride != s.pathOnLoad.end() ? pathOverride->second : m->loadedPath;
    m->refCount = 1;
    const void* table = OwnSymbol(dl, SIM_RESOURCE_TABLE_SYMBOL);
    const void* count = OwnSymbol(dl, SIM_RESOURCE_COUNT_SYMBOL);
    if (table != nullptr && count != nullptr) {
        m->resources = static_cast<const SimResource*>(table);
        m->resourceCount = *static_cast<const unsigned*>(count);
    }
    s.modules.insert(m);
    const auto handle = reinterpret_cast<HMODULE>(m);

    // DllMain runs without the machine's lock, so it may call any function here
    // (the plug-in loads its sibling from its entry routine). Unlike Windows there is
    // no loader lock, and DLL_THREAD_ATTACH/DETACH are never sent.
    const DllMainFn entry = EntryOf(m);
    if (entry == nullptr) return handle;
    lock.unlock();
    const BOOL ok = entry(handle, DLL_PROCESS_ATTACH, nullptr);
    if (ok) return handle;
    entry(handle, DLL_PROCESS_DETACH, nullptr);
    lock.lock();
    s.modules.erase(m);
    delete m;
    lock.unlock();
    dlclose(dl);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    std::unique_lock<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    InjectFailure(s, sim::Api::FreeLibrary);
    Module* m = FindModule(s, hLibModule);
    if (m == nullptr || m->refCount == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (--m->refCount > 0 || m->fake) return TRUE;
    const DllMainFn entry = EntryOf(m);
    void* dl = m->dl;
    lock.unlock();
    if (entry != nullptr) entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    lock.lock();
    s.modules.erase(m);
    delete m;
    lock.unlock();
    dlclose(dl);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::GetProcAddress)) return nullptr;
    const Module* m = FindModule(s, hModule);
    if (m == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Lookup by ordinal (MAKEINTRESOURCEA) is not simulated: it finds nothing.
    if (lpProcName == nullptr || IS_INTRESOURCE(lpProcName) ||
        s.hiddenExports.count({m->fileName, std::string(lpProcName)}) != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (m->fake) {
        const auto it = m->fakeExports.find(lpProcName);
        if (it != m->fakeExports.end()) return it->second;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* p = OwnSymbol(m->dl, lpProcName);
    if (p == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(p);
}

// ---------------------------------------------------------------------------
// Resources
// ---------------------------------------------------------------------------
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::FindResourceW)) return nullptr;
    // The program itself (hModule null) has no resources here.
    const Module* m = hModule != nullptr ? FindModule(s, hModule) : nullptr;
    if (m == nullptr || m->resources == nullptr || m->resourceCount == 0) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (lpName == nullptr || lpType == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool typeFound = false;
    for (unsigned i = 0; i < m->resourceCount; ++i) {
        const SimResource& r = m->resources[i];
        if (!ResourceIdEquals(r.type, lpType)) continue;
        typeFound = true;
        if (ResourceIdEquals(r.name, lpName)) {
            return reinterpret_cast<HRSRC>(const_cast<SimResource*>(&r));
        }
    }
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::LoadResource)) return nullptr;
    const auto* r = reinterpret_cast<const SimResource*>(hResInfo);
    const Module* owner = r != nullptr ? ModuleOwningResource(s, r) : nullptr;
    if (owner == nullptr || (hModule != nullptr && reinterpret_cast<HMODULE>(const_cast<Module*>(owner)) != hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(r->data);
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::SizeofResource)) return 0;
    const auto* r = reinterpret_cast<const SimResource*>(hResInfo);
    const Module* owner = r != nullptr ? ModuleOwningResource(s, r) : nullptr;
    if (owner == nullptr || (hModule != nullptr && reinterpret_cast<HMODULE>(const_cast<Module*>(owner)) != hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return r->size;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
    if (EnterCall(sim::Api::LockResource)) return nullptr;
    return hResData;
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    // Share modes, security attributes, flags and templates are not simulated.
    (void)dwShareMode;
    (void)lpSecurityAttributes;
    (void)dwFlagsAndAttributes;
    (void)hTemplateFile;
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::CreateFileW)) return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr || lpFileName[0] == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantRead = (dwDesiredAccess & GENERIC_READ) != 0;
    const bool wantWrite = (dwDesiredAccess & GENERIC_WRITE) != 0;
    int flags = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (dwCreationDisposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    const std::string path = ToHostPath(lpFileName);
    struct stat st {};
    const bool existed = stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int e = errno;
        DWORD error = ERROR_ACCESS_DENIED;
        if (e == ENOENT) {
            const size_t slash = path.rfind('/');
            const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
            struct stat pst {};
            error = stat(parent.c_str(), &pst) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        } else if (e == ENOTDIR || e == ENAMETOOLONG) {
            error = ERROR_PATH_NOT_FOUND;
        } else if (e == EEXIST) {
            error = ERROR_FILE_EXISTS;
        }
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE h = s.NewHandle();
    auto file = std::make_shared<File>();
    file->fd = fd;
    s.files[h] = std::move(file);
    if ((dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS) && existed) {
        SetLastError(183);  // ERROR_ALREADY_EXISTS, as Windows reports for these dispositions
    } else {
        SetLastError(ERROR_SUCCESS);
    }
    return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    State& s = Machine();
    if (InjectFailure(s, sim::Api::ReadFile)) return FALSE;
    const LockedFile file(s, hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Overlapped reads are not simulated.
    if (lpOverlapped != nullptr || lpNumberOfBytesRead == nullptr ||
        (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        const ssize_t n = read(file.fd(), static_cast<char*>(lpBuffer) + done, nNumberOfBytesToRead - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
    if (InjectFailure(Machine(), sim::Api::WriteFile)) return FALSE;
    const LockedFile file(Machine(), hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpOverlapped != nullptr || lpNumberOfBytesWritten == nullptr ||
        (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t n = write(file.fd(), static_cast<const char*>(lpBuffer) + done, nNumberOfBytesToWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_WRITE_FAULT);
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesWritten = done;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    State& s = Machine();
    if (InjectFailure(s, sim::Api::GetFileSize)) return INVALID_FILE_SIZE;
    const LockedFile file(s, hFile);
    struct stat st {};
    if (!file || fstat(file.fd(), &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    InjectFailure(Machine(), sim::Api::CloseHandle);
    std::shared_ptr<File> file;
    {
        std::lock_guard<std::recursive_mutex> lock(Lock());
        State& s = Machine();
        const auto it = s.files.find(hObject);
        if (it == s.files.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        file = it->second;
        s.files.erase(it);
    }
    // A read of the same handle on another thread finishes first.
    std::lock_guard<std::mutex> lock(file->lock);
    if (file->fd >= 0) close(file->fd);
    file->fd = -1;
    return TRUE;
}
