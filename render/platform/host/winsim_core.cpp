// Simulated Windows: machine state, last error, failure injection, text and code
// pages, identity, clock and date formatting, debugger output, common controls.
#include "platform/host/winsim_internal.h"

#include "core/windows1252_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/time.h>

namespace sim::detail {

State& Machine() {
    // Never destroyed: modules may still call in while the process exits.
    static State* state = [] {
        auto* s = new State;
        s->ResetToDefaults();
        return s;
    }();
    return *state;
}

std::recursive_mutex& Lock() {
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

void State::ResetToDefaults() {
    failures = {};
    calls = {};
    printerHandles.clear();
    printers.clear();
    writeLimit = kNoLimit;
    jobCommands.clear();
    sessions = {{0, WTSDisconnected, u"Services"}, {1, WTSActive, u"Console"}};
    messageResponse = IDOK;
    messages.clear();
    servers.clear();
    // Session lists the code did not free (a test failure already) go with the reset.
    for (void* list : sessionLists) delete[] static_cast<BYTE*>(list);
    sessionLists.clear();
    userName = u"SimUser";
    computerName = u"SIMHOST";
    environment.clear();
    fixedClock = false;
    clock = SYSTEMTIME{};
    shortDate = u"M/d/yyyy";
    longDate = u"dddd, MMMM d, yyyy";
    debugOutput.clear();
    commonControls = CommonControlsRecord{};
}

namespace {
// Per thread, as the calls it exempts are the calling thread's own.
thread_local std::array<bool, static_cast<size_t>(Api::Count_)> t_exempt{};

constexpr const char* kApiNames[] = {"WritePrinter",
                                     "GetPrinterW",
                                     "EnumFormsW",
                                     "SetJobW",
                                     "OpenPrinterW",
                                     "WTSOpenServerW",
                                     "WTSEnumerateSessionsW",
                                     "WTSSendMessageW",
                                     "GetUserNameW",
                                     "GetComputerNameExW",
                                     "GetDateFormatW",
                                     "WideCharToMultiByte",
                                     "MultiByteToWideChar",
                                     "CreateFileW",
                                     "ReadFile",
                                     "GetFileSize",
                                     "LoadLibraryW",
                                     "GetProcAddress",
                                     "FindResourceW",
                                     "LoadResource",
                                     "GetModuleFileNameW",
                                     "SizeofResource",
                                     "LockResource",
                                     "GetEnvironmentVariableW",
                                     "InitCommonControlsEx",
                                     "WriteFile",
                                     "CloseHandle",
                                     "ClosePrinter",
                                     "FreeLibrary",
                                     "WTSCloseServer",
                                     "WTSFreeMemory",
                                     "GetLocalTime",
                                     "OutputDebugStringW",
                                     "OutputDebugStringA",
                                     "InitCommonControls"};
static_assert(sizeof kApiNames / sizeof kApiNames[0] == static_cast<size_t>(Api::Count_), "a name for every api");
}  // namespace

bool InjectFailure(State& s, Api api) {
    const auto index = static_cast<size_t>(api);
    if (t_exempt[index]) {
        t_exempt[index] = false;
        return false;
    }
    std::lock_guard<std::mutex> lock(s.failureLock);
    ++s.calls[index];
    if (!sim::CanFail(api)) return false;
    Failure& f = s.failures[index];
    if (!f.active) return false;
    if (f.skip > 0) {
        --f.skip;
        return false;
    }
    if (f.count == 0) {
        f.active = false;
        return false;
    }
    if (f.count != kEveryCall) --f.count;
    SetLastError(f.error);
    return true;
}

// ---------------------------------------------------------------------------
// Text helpers
// ---------------------------------------------------------------------------
namespace {

// Decodes one UTF-8 sequence at in[i]; returns the code point or -1 for an invalid
// sequence (then `used` is 1).
long DecodeUtf8(const unsigned char* in, size_t n, size_t i, size_t* used) {
    const unsigned c = in[i];
    *used = 1;
    if (c < 0x80) return c;
    size_t len = 0;
    unsigned long cp = 0;
    unsigned long min = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return -1;
    }
    if (i + len > n) return -1;
    for (size_t k = 1; k < len; ++k) {
        const unsigned cc = in[i + k];
        if ((cc & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    *used = len;
    return static_cast<long>(cp);
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, unsigned long cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD, or make it fail when strict.
bool EncodeUtf8(const char16_t* in, size_t n, bool strict, std::string& out) {
    for (size_t i = 0; i < n; ++i) {
        unsigned long c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) return false;
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return true;
}

bool DecodeUtf8To16(const unsigned char* in, size_t n, bool strict, std::u16string& out) {
    for (size_t i = 0; i < n;) {
        size_t used = 0;
        const long cp = DecodeUtf8(in, n, i, &used);
        if (cp < 0) {
            if (strict) return false;
            out.push_back(u'\xFFFD');
        } else {
            AppendUtf16(out, static_cast<unsigned long>(cp));
        }
        i += used;
    }
    return true;
}

// Windows-1252's facts (core/windows1252_table.h) are shared as a header only:
// the simulated system stays a test double that links nothing of the core.
char16_t Cp1252ToUnicode(unsigned char b) {
    if (b < 0x80 || b >= 0xA0) return b;
    const char16_t u = kWindows1252HighHalf[b - 0x80];
    return u != 0 ? u : b;
}

// -1 when the character has no Windows-1252 byte of its own.
int UnicodeToCp1252(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    if (u >= 0x80 && u < 0xA0) return kWindows1252HighHalf[u - 0x80] == 0 ? static_cast<int>(u) : -1;
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252HighHalf[i] == u) return 0x80 + i;
    }
    return -1;
}

// The byte Windows' best fit puts for a character without a byte of its own, or -1.
int BestFitCp1252(char16_t u) {
    const Windows1252BestFit* end = kWindows1252BestFit + kWindows1252BestFitCount;
    const Windows1252BestFit* row = std::lower_bound(
        kWindows1252BestFit, end, u, [](const Windows1252BestFit& r, char16_t unit) { return r.unit < unit; });
    return row != end && row->unit == u ? row->byte : -1;
}

bool IsAnsiCodePage(UINT cp) { return cp == CP_ACP || cp == CP_THREAD_ACP || cp == 1252; }

}  // namespace

std::u16string Utf8To16(const std::string& in) {
    std::u16string out;
    DecodeUtf8To16(reinterpret_cast<const unsigned char*>(in.data()), in.size(), false, out);
    return out;
}

std::string Utf16To8(const std::u16string& in) {
    std::string out;
    EncodeUtf8(in.data(), in.size(), false, out);
    return out;
}

size_t Length16(const WCHAR* s) {
    size_t n = 0;
    if (s != nullptr) {
        while (s[n] != 0) ++n;
    }
    return n;
}

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::u16string LowerAscii16(std::u16string s) {
    for (char16_t& c : s) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return s;
}

std::string FileNameKey(const std::u16string& path) {
    const size_t slash = path.find_last_of(u"\\/");
    return LowerAscii(Utf16To8(slash == std::u16string::npos ? path : path.substr(slash + 1)));
}

std::string ToHostPath(const std::u16string& path) {
    std::string out = Utf16To8(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

bool SamePath(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] == u'\\' ? u'/' : a[i];
        char16_t y = b[i] == u'\\' ? u'/' : b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace sim::detail

using namespace sim::detail;

// ---------------------------------------------------------------------------
// Control surface: general, text, failures, identity, clock, records
// ---------------------------------------------------------------------------
namespace sim {

void Reset() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    CloseAllFiles(s);
    ResetModules(s);
    std::scoped_lock records(s.spoolerLock, s.failureLock, s.debugLock);
    s.ResetToDefaults();
}

std::u16string ToUtf16(const char* utf8) { return utf8 == nullptr ? std::u16string() : Utf8To16(utf8); }
std::u16string ToUtf16(const std::string& utf8) { return Utf8To16(utf8); }
std::string ToUtf8(const WCHAR* text) { return text == nullptr ? std::string() : Utf16To8(text); }
std::string ToUtf8(const std::u16string& text) { return Utf16To8(text); }

void FailCalls(Api api, DWORD error, unsigned skip, unsigned count) {
    std::lock_guard<std::mutex> lock(Machine().failureLock);
    Failure& f = Machine().failures[static_cast<size_t>(api)];
    f.active = true;
    f.error = error;
    f.skip = skip;
    f.count = count;
}

void StopFailing(Api api) {
    std::lock_guard<std::mutex> lock(Machine().failureLock);
    Machine().failures[static_cast<size_t>(api)] = Failure{};
}

unsigned CallCount(Api api) {
    std::lock_guard<std::mutex> lock(Machine().failureLock);
    return Machine().calls[static_cast<size_t>(api)];
}

const char* ApiName(Api api) {
    const auto index = static_cast<size_t>(api);
    return index < static_cast<size_t>(Api::Count_) ? kApiNames[index] : "?";
}

bool CanFail(Api api) { return api < Api::CloseHandle; }

void ExemptNextCall(Api api) { t_exempt[static_cast<size_t>(api)] = true; }

void SetUserName(const std::u16string& name) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().userName = name;
}

void SetEnvironmentVariable(const std::u16string& name, const std::u16string& value) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().environment[name] = value;
}

void SetComputerName(const std::u16string& name) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().computerName = name;
}

void SetLocalTime(const SYSTEMTIME& time) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().fixedClock = true;
    Machine().clock = time;
}

void UseHostClock() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().fixedClock = false;
}

void SetShortDatePattern(const std::u16string& picture) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().shortDate = picture;
}

void SetLongDatePattern(const std::u16string& picture) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().longDate = picture;
}

std::vector<std::u16string> DebugOutput() {
    std::lock_guard<std::mutex> lock(Machine().debugLock);
    return Machine().debugOutput;
}

CommonControlsRecord CommonControls() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return Machine().commonControls;
}

}  // namespace sim

// ---------------------------------------------------------------------------
// Last error
// ---------------------------------------------------------------------------
namespace {
thread_local DWORD t_lastError = 0;
}

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

// ---------------------------------------------------------------------------
// Environment
// ---------------------------------------------------------------------------
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    if (EnterCall(sim::Api::GetEnvironmentVariableW)) return 0;
    if (lpName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string value;
    {
        std::lock_guard<std::recursive_mutex> lock(Lock());
        const auto found = Machine().environment.find(lpName);
        if (found == Machine().environment.end()) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        value = found->second;
    }
    // As Windows does: the length without the terminator when it fits, else
    // the room needed with it.
    if (lpBuffer == nullptr || nSize <= value.size()) return static_cast<DWORD>(value.size() + 1);
    std::copy(value.begin(), value.end(), lpBuffer);
    lpBuffer[value.size()] = 0;
    return static_cast<DWORD>(value.size());
}

// ---------------------------------------------------------------------------
// Debugger output, common controls
// ---------------------------------------------------------------------------
void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
    EnterCall(sim::Api::OutputDebugStringW);
    if (lpOutputString == nullptr) return;
    std::u16string text(lpOutputString);
    std::lock_guard<std::mutex> lock(Machine().debugLock);
    Machine().debugOutput.push_back(std::move(text));
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    EnterCall(sim::Api::OutputDebugStringA);
    if (lpOutputString == nullptr) return;
    std::u16string text;
    for (const char* p = lpOutputString; *p != 0; ++p) text.push_back(Cp1252ToUnicode(static_cast<unsigned char>(*p)));
    std::lock_guard<std::mutex> lock(Machine().debugLock);
    Machine().debugOutput.push_back(std::move(text));
}

void WINAPI InitCommonControls(void) {
    EnterCall(sim::Api::InitCommonControls);
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ++Machine().commonControls.initCalls;
}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (EnterCall(sim::Api::InitCommonControlsEx)) return FALSE;
    std::lock_guard<std::recursive_mutex> lock(Lock());
    sim::CommonControlsRecord& r = Machine().commonControls;
    ++r.initExCalls;
    if (picce == nullptr) return FALSE;
    r.lastExSize = picce->dwSize;
    r.lastExClasses = picce->dwICC;
    return picce->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Identity
// ---------------------------------------------------------------------------
BOOL WINAPI GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::GetUserNameW)) return FALSE;
    if (pcbBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(s.userName.size() + 1);
    if (lpBuffer == nullptr || *pcbBuffer < needed) {
        *pcbBuffer = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(s.userName.begin(), s.userName.end(), lpBuffer);
    lpBuffer[s.userName.size()] = 0;
    *pcbBuffer = needed;
    return TRUE;
}

BOOL WINAPI GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::GetComputerNameExW)) return FALSE;
    if (nSize == nullptr || NameType < ComputerNameNetBIOS || NameType >= ComputerNameMax) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // One name for every format; the DNS domain formats give the empty domain.
    const bool domainOnly = NameType == ComputerNameDnsDomain || NameType == ComputerNamePhysicalDnsDomain;
    const std::u16string name = domainOnly ? std::u16string() : s.computerName;
    const DWORD needed = static_cast<DWORD>(name.size() + 1);
    if (lpBuffer == nullptr || *nSize < needed) {
        *nSize = needed;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::copy(name.begin(), name.end(), lpBuffer);
    lpBuffer[name.size()] = 0;
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

// ---------------------------------------------------------------------------
// Clock and dates
// ---------------------------------------------------------------------------
namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// 0 = Sunday (Zeller/Sakamoto).
int DayOfWeek(int y, int m, int d) {
    static const int t[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (m < 3) y -= 1;
    return (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
}

void AppendNumber(std::u16string& out, int value, int minDigits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", minDigits, value);
    for (const char* p = buf; *p != 0; ++p) out.push_back(static_cast<char16_t>(*p));
}

void AppendAscii(std::u16string& out, const char* text) {
    for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
}

std::u16string FormatDate(const SYSTEMTIME& t, const std::u16string& picture) {
    static const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
    std::u16string out;
    const int dow = DayOfWeek(t.wYear, t.wMonth, t.wDay);
    for (size_t i = 0; i < picture.size();) {
        const char16_t c = picture[i];
        if (c == u'\'') {
            ++i;
            while (i < picture.size()) {
                if (picture[i] == u'\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
                        out.push_back(u'\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out.push_back(picture[i++]);
            }
            continue;
        }
        if (c != u'd' && c != u'M' && c != u'y' && c != u'g') {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t n = 0;
        while (i < picture.size() && picture[i] == c) {
            ++n;
            ++i;
        }
        switch (c) {
            case u'd':
                if (n <= 2) {
                    AppendNumber(out, t.wDay, static_cast<int>(n));
                } else if (n == 3) {
                    out.append(std::u16string(kDays[dow], kDays[dow] + 3));
                } else {
                    AppendAscii(out, kDays[dow]);
                }
                break;
            case u'M':
                if (n <= 2) {
                    AppendNumber(out, t.wMonth, static_cast<int>(n));
                } else if (n == 3) {
                    out.append(std::u16string(kMonths[t.wMonth - 1], kMonths[t.wMonth - 1] + 3));
                } else {
                    AppendAscii(out, kMonths[t.wMonth - 1]);
                }
                break;
            case u'y':
                if (n == 1) {
                    AppendNumber(out, t.wYear % 100, 1);
                } else if (n == 2) {
                    AppendNumber(out, t.wYear % 100, 2);
                } else {
                    AppendNumber(out, t.wYear, 1);
                }
                break;
            default:  // g, gg: the era
                AppendAscii(out, "A.D.");
                break;
        }
    }
    return out;
}

}  // namespace

namespace {

void ReadClock(LPSYSTEMTIME lpSystemTime) {
    {
        std::lock_guard<std::recursive_mutex> lock(Lock());
        if (Machine().fixedClock) {
            *lpSystemTime = Machine().clock;
            return;
        }
    }
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    struct tm tm {};
    const time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &tm);
    lpSystemTime->wYear = static_cast<WORD>(tm.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(tm.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(tm.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(tm.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(tm.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(tv.tv_usec / 1000);
}

}  // namespace

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    EnterCall(sim::Api::GetLocalTime);
    if (lpSystemTime == nullptr) return;
    ReadClock(lpSystemTime);
}

int WINAPI GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat, LPWSTR lpDateStr,
                          int cchDate) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::GetDateFormatW)) return 0;
    (void)Locale;  // every locale uses the simulated pictures
    if (cchDate < 0 || (cchDate > 0 && lpDateStr == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD kKnownFlags = DATE_SHORTDATE | DATE_LONGDATE;
    if ((dwFlags & ~kKnownFlags) != 0 || (dwFlags & kKnownFlags) == kKnownFlags ||
        (lpFormat != nullptr && (dwFlags & kKnownFlags) != 0)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    SYSTEMTIME t{};
    if (lpDate != nullptr) {
        t = *lpDate;
    } else {
        ReadClock(&t);
    }
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string picture =
        lpFormat != nullptr ? std::u16string(lpFormat) : ((dwFlags & DATE_LONGDATE) != 0 ? s.longDate : s.shortDate);
    const std::u16string text = FormatDate(t, picture);
    const int needed = static_cast<int>(text.size() + 1);
    if (cchDate == 0) return needed;
    if (needed > cchDate) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(text.begin(), text.end(), lpDateStr);
    lpDateStr[text.size()] = 0;
    return needed;
}

// ---------------------------------------------------------------------------
// Code pages: CP_UTF8 and the ANSI code page, which is Windows-1252 (CP_ACP,
// CP_THREAD_ACP, 1252).
// ---------------------------------------------------------------------------
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    if (InjectFailure(Machine(), sim::Api::WideCharToMultiByte)) return 0;
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (lpMultiByteStr == nullptr && cbMultiByte != 0) ||
        (lpMultiByteStr != nullptr && static_cast<const void*>(lpMultiByteStr) == lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = cchWideChar == -1 ? Length16(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    std::string out;
    if (CodePage == CP_UTF8) {
        if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (!EncodeUtf8(lpWideCharStr, n, (dwFlags & WC_ERR_INVALID_CHARS) != 0, out)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else if (IsAnsiCodePage(CodePage)) {
        if ((dwFlags & WC_ERR_INVALID_CHARS) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        // As Windows: a character without a byte of its own takes its best fit
        // (U+0100 gives 'A') unless WC_NO_BEST_FIT_CHARS is given, and a best fit
        // is no use of the default character. Every other unit becomes the
        // default character, each unit of a surrogate pair included ("??").
        const bool bestFit = (dwFlags & WC_NO_BEST_FIT_CHARS) == 0;
        const char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
        bool usedDefault = false;
        for (size_t i = 0; i < n; ++i) {
            int b = UnicodeToCp1252(lpWideCharStr[i]);
            if (b < 0 && bestFit) b = BestFitCp1252(lpWideCharStr[i]);
            if (b >= 0) {
                out.push_back(static_cast<char>(b));
                continue;
            }
            out.push_back(defaultChar);
            usedDefault = true;
        }
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cbMultiByte == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbMultiByte)) {
        // Windows may leave part of the output in the buffer; here it is untouched.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpMultiByteStr, out.data(), out.size());
    return static_cast<int>(out.size());
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (InjectFailure(Machine(), sim::Api::MultiByteToWideChar)) return 0;
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (lpWideCharStr == nullptr && cchWideChar != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const auto* in = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::u16string out;
    if (CodePage == CP_UTF8) {
        if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (!DecodeUtf8To16(in, n, (dwFlags & MB_ERR_INVALID_CHARS) != 0, out)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else if (IsAnsiCodePage(CodePage)) {
        for (size_t i = 0; i < n; ++i) out.push_back(Cp1252ToUnicode(in[i]));
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cchWideChar == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(out.begin(), out.end(), lpWideCharStr);
    return static_cast<int>(out.size());
}
