// Simulated Windows: spooler (printers, forms, output, jobs) and terminal services.
#include "platform/host/winsim_internal.h"

#include <algorithm>

namespace sim::detail {
namespace {

// The record of handle `h`, open or closed, or null; takes the spooler lock.
// Whether it is open is read under its printer's lock.
std::shared_ptr<PrinterHandle> FindPrinterHandle(State& s, HANDLE h) {
    std::lock_guard<std::mutex> lock(s.spoolerLock);
    const auto it = s.printerHandles.find(h);
    return it != s.printerHandles.end() ? it->second : nullptr;
}

// Holds the lock of an open handle's printer for as long as it lives; `handle`
// is null when `h` is no open printer handle (then no lock is held).
struct LockedHandle {
    std::shared_ptr<PrinterHandle> handle;
    std::unique_lock<std::mutex> lock;

    LockedHandle(State& s, HANDLE h) : handle(FindPrinterHandle(s, h)) {
        if (handle == nullptr) return;
        lock = std::unique_lock<std::mutex>(handle->printer->lock);
        if (!handle->open) {
            lock.unlock();
            handle.reset();
        }
    }
    PrinterHandle* operator->() const { return handle.get(); }
    explicit operator bool() const { return handle != nullptr; }
};

// A new handle to `printer`, entered in the handle table (spooler lock held).
HANDLE AddHandle(State& s, const std::shared_ptr<Printer>& printer) {
    const HANDLE h = s.NewHandle();
    auto record = std::make_shared<PrinterHandle>();
    record->printer = printer;
    s.printerHandles[h] = std::move(record);
    return h;
}

// Copies `text` with its terminator to *tail (moving it on) and returns where it went.
LPWSTR PackString(BYTE** tail, const std::u16string& text) {
    auto* dst = reinterpret_cast<WCHAR*>(*tail);
    std::copy(text.begin(), text.end(), dst);
    dst[text.size()] = 0;
    *tail += (text.size() + 1) * sizeof(WCHAR);
    return dst;
}

DWORD StringBytes(const std::u16string& text) { return static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)); }

bool IsServer(const State& s, HANDLE h) { return h == WTS_CURRENT_SERVER_HANDLE || s.servers.count(h) != 0; }

Form Inch(const char16_t* name, double w, double h) {
    return Form{name, FORM_BUILTIN, static_cast<LONG>(w * 25400.0 + 0.5), static_cast<LONG>(h * 25400.0 + 0.5)};
}
Form Mm(const char16_t* name, LONG w, LONG h) { return Form{name, FORM_BUILTIN, w * 1000, h * 1000}; }

}  // namespace
}  // namespace sim::detail

using namespace sim::detail;

// ---------------------------------------------------------------------------
// Control surface: spooler and terminal services
// ---------------------------------------------------------------------------
namespace sim {

std::vector<Form> DefaultForms() {
    return {
        Inch(u"Letter", 8.5, 11),
        Inch(u"Letter Small", 8.5, 11),
        Inch(u"Tabloid", 11, 17),
        Inch(u"Ledger", 17, 11),
        Inch(u"Legal", 8.5, 14),
        Inch(u"Statement", 5.5, 8.5),
        Inch(u"Executive", 7.25, 10.5),
        Mm(u"A3", 297, 420),
        Mm(u"A4", 210, 297),
        Mm(u"A4 Small", 210, 297),
        Mm(u"A5", 148, 210),
        Mm(u"B4 (JIS)", 257, 364),
        Mm(u"B5 (JIS)", 182, 257),
        Inch(u"Folio", 8.5, 13),
        Mm(u"Quarto", 215, 275),
        Inch(u"10x14", 10, 14),
        Inch(u"11x17", 11, 17),
        Inch(u"Note", 8.5, 11),
        Inch(u"Envelope #9", 3.875, 8.875),
        Inch(u"Envelope #10", 4.125, 9.5),
        Inch(u"Envelope #11", 4.5, 10.375),
        Inch(u"Envelope #12", 4.75, 11),
        Inch(u"Envelope #14", 5, 11.5),
        Inch(u"C size sheet", 17, 22),
        Inch(u"D size sheet", 22, 34),
        Inch(u"E size sheet", 34, 44),
        Mm(u"Envelope DL", 110, 220),
        Mm(u"Envelope C5", 162, 229),
        Mm(u"Envelope C3", 324, 458),
        Mm(u"Envelope C4", 229, 324),
        Mm(u"Envelope C6", 114, 162),
        Mm(u"Envelope C65", 114, 229),
        Mm(u"Envelope B4", 250, 353),
        Mm(u"Envelope B5", 176, 250),
        Mm(u"Envelope B6", 176, 125),
        Mm(u"Envelope", 110, 230),
        Inch(u"Envelope Monarch", 3.875, 7.5),
        Inch(u"6 3/4 Envelope", 3.625, 6.5),
        Inch(u"US Std Fanfold", 14.875, 11),
        Inch(u"German Std Fanfold", 8.5, 12),
        Inch(u"German Legal Fanfold", 8.5, 13),
        Mm(u"B4 (ISO)", 250, 353),
        Mm(u"Japanese Postcard", 100, 148),
        Inch(u"9x11", 9, 11),
        Inch(u"10x11", 10, 11),
        Inch(u"15x11", 15, 11),
        Mm(u"Envelope Invite", 220, 220),
    };
}

HANDLE AddPrinter(const std::u16string& name) {
    State& s = Machine();
    auto printer = std::make_shared<Printer>();
    printer->name = name;
    printer->forms = DefaultForms();
    std::lock_guard<std::mutex> lock(s.spoolerLock);
    s.printers.push_back(printer);
    return AddHandle(s, printer);
}

void SetForms(HANDLE printer, const std::vector<Form>& forms) {
    const auto handle = FindPrinterHandle(Machine(), printer);
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(handle->printer->lock);
    handle->printer->forms = forms;
}

std::vector<WriteCall> WriteCalls(HANDLE printer) {
    const auto handle = FindPrinterHandle(Machine(), printer);
    if (handle == nullptr) return {};
    std::lock_guard<std::mutex> lock(handle->printer->lock);
    return handle->writes;
}

std::vector<std::string> WrittenChunks(HANDLE printer) {
    std::vector<std::string> chunks;
    for (const WriteCall& call : WriteCalls(printer)) {
        if (call.result) chunks.push_back(call.accepted);
    }
    return chunks;
}

std::string WrittenBytes(HANDLE printer) {
    std::string all;
    for (const WriteCall& call : WriteCalls(printer)) all += call.accepted;
    return all;
}

void SetWriteSink(HANDLE printer, WriteSink sink) {
    const auto handle = FindPrinterHandle(Machine(), printer);
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(handle->printer->lock);
    handle->printer->sink = std::move(sink);
}

void SetWriteLimit(DWORD maxBytesPerCall) {
    std::lock_guard<std::mutex> lock(Machine().spoolerLock);
    Machine().writeLimit = maxBytesPerCall;
}

void SetWriteLimit(HANDLE printer, DWORD maxBytesPerCall) {
    const auto handle = FindPrinterHandle(Machine(), printer);
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(handle->printer->lock);
    handle->printer->writeLimit = maxBytesPerCall;
    handle->printer->ownLimit = true;
}

std::vector<JobCommand> JobCommands() {
    std::lock_guard<std::mutex> lock(Machine().spoolerLock);
    return Machine().jobCommands;
}

void SetSessions(const std::vector<Session>& sessions) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().sessions = sessions;
}

void SetMessageResponse(DWORD response) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Machine().messageResponse = response;
}

std::vector<Message> Messages() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return Machine().messages;
}

int OpenServerHandles() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return static_cast<int>(Machine().servers.size());
}

int UnfreedSessionLists() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    return static_cast<int>(Machine().sessionLists.size());
}

}  // namespace sim

// ---------------------------------------------------------------------------
// Spooler
// ---------------------------------------------------------------------------
BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    (void)pDefault;  // access rights and defaults are not simulated
    State& s = Machine();
    if (InjectFailure(s, sim::Api::OpenPrinterW)) return FALSE;
    if (phPrinter == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(s.spoolerLock);
    for (const auto& printer : s.printers) {
        if (pPrinterName != nullptr && printer->name == pPrinterName) {
            *phPrinter = AddHandle(s, printer);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    InjectFailure(Machine(), sim::Api::ClosePrinter);
    const LockedHandle ph(Machine(), hPrinter);
    if (!ph) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ph->open = false;  // its records stay readable until Reset
    return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
    State& s = Machine();
    DWORD machineLimit = sim::kNoLimit;
    {
        std::lock_guard<std::mutex> lock(s.spoolerLock);
        machineLimit = s.writeLimit;
    }
    const LockedHandle ph(s, hPrinter);
    const bool injected = InjectFailure(s, sim::Api::WritePrinter);
    auto record = [&](BOOL result, DWORD taken) {
        if (!ph || ph->printer->sink) return;
        sim::WriteCall call{cbBuf, result, std::string()};
        if (result && taken > 0) call.accepted.assign(static_cast<const char*>(pBuf), taken);
        ph->writes.push_back(std::move(call));
    };
    if (injected) {
        record(FALSE, 0);
        return FALSE;
    }
    if (!ph) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pcWritten == nullptr || (pBuf == nullptr && cbBuf != 0)) {
        record(FALSE, 0);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (ph->printer->sink) {
        const sim::WriteOutcome outcome = ph->printer->sink(pBuf, cbBuf);
        *pcWritten = outcome.result ? outcome.taken : 0;
        if (!outcome.result) SetLastError(outcome.error);
        return outcome.result;
    }
    const DWORD taken = std::min(cbBuf, ph->printer->ownLimit ? ph->printer->writeLimit : machineLimit);
    record(TRUE, taken);
    *pcWritten = taken;
    return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    State& s = Machine();
    if (InjectFailure(s, sim::Api::GetPrinterW)) return FALSE;
    const LockedHandle ph(s, hPrinter);
    if (!ph) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pcbNeeded == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Only level 1 is simulated.
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const std::u16string& name = ph->printer->name;
    const std::u16string description = name + u",Simulated PostScript Driver,";
    const std::u16string comment;
    const DWORD needed = static_cast<DWORD>(sizeof(PRINTER_INFO_1W)) + StringBytes(description) + StringBytes(name) +
                         StringBytes(comment);
    *pcbNeeded = needed;
    if (pPrinter == nullptr || cbBuf < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* info = reinterpret_cast<PRINTER_INFO_1W*>(pPrinter);
    BYTE* tail = pPrinter + sizeof(PRINTER_INFO_1W);
    info->Flags = PRINTER_ENUM_ICON8;
    info->pDescription = PackString(&tail, description);
    info->pName = PackString(&tail, name);
    info->pComment = PackString(&tail, comment);
    return TRUE;
}

BOOL WINAPI EnumFormsW(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    State& s = Machine();
    if (InjectFailure(s, sim::Api::EnumFormsW)) return FALSE;
    const LockedHandle ph(s, hPrinter);
    if (!ph) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pcbNeeded == nullptr || pcReturned == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Only level 1 is simulated.
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const std::vector<sim::Form>& forms = ph->printer->forms;
    DWORD needed = static_cast<DWORD>(forms.size() * sizeof(FORM_INFO_1W));
    for (const sim::Form& f : forms) needed += StringBytes(f.name);
    *pcbNeeded = needed;
    if (cbBuf < needed || (pForm == nullptr && needed > 0)) {
        *pcReturned = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* info = reinterpret_cast<FORM_INFO_1W*>(pForm);
    BYTE* tail = pForm + forms.size() * sizeof(FORM_INFO_1W);
    for (size_t i = 0; i < forms.size(); ++i) {
        info[i].Flags = forms[i].flags;
        info[i].pName = PackString(&tail, forms[i].name);
        info[i].Size.cx = forms[i].width;
        info[i].Size.cy = forms[i].height;
        info[i].ImageableArea = RECTL{0, 0, forms[i].width, forms[i].height};
    }
    *pcReturned = static_cast<DWORD>(forms.size());
    return TRUE;
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    State& s = Machine();
    sim::JobCommand record{hPrinter, JobId, Level, pJob != nullptr, Command, FALSE};
    BOOL result = FALSE;
    if (InjectFailure(s, sim::Api::SetJobW)) {
        // last error set by the injection
    } else if (!LockedHandle(s, hPrinter)) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (Level > 4 || Command > JOB_CONTROL_LAST_PAGE_EJECTED) {
        SetLastError(Level > 4 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    } else {
        result = TRUE;
    }
    record.result = result;
    std::lock_guard<std::mutex> lock(s.spoolerLock);
    s.jobCommands.push_back(record);
    return result;
}

// ---------------------------------------------------------------------------
// Terminal services
// ---------------------------------------------------------------------------
HANDLE WINAPI WTSOpenServerW(LPWSTR pServerName) {
    (void)pServerName;  // every server name opens the one simulated machine
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::WTSOpenServerW)) return nullptr;
    const HANDLE h = s.NewHandle();
    s.servers.insert(h);
    return h;
}

void WINAPI WTSCloseServer(HANDLE hServer) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    InjectFailure(Machine(), sim::Api::WTSCloseServer);
    Machine().servers.erase(hServer);
}

BOOL WINAPI WTSEnumerateSessionsW(HANDLE hServer, DWORD Reserved, DWORD Version, PWTS_SESSION_INFOW* ppSessionInfo,
                                  DWORD* pCount) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::WTSEnumerateSessionsW)) return FALSE;
    if (!IsServer(s, hServer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (Reserved != 0 || Version != 1 || ppSessionInfo == nullptr || pCount == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t bytes = s.sessions.size() * sizeof(WTS_SESSION_INFOW);
    for (const sim::Session& session : s.sessions) bytes += StringBytes(session.winStationName);
    auto* block = new BYTE[bytes > 0 ? bytes : 1];
    auto* info = reinterpret_cast<WTS_SESSION_INFOW*>(block);
    BYTE* tail = block + s.sessions.size() * sizeof(WTS_SESSION_INFOW);
    for (size_t i = 0; i < s.sessions.size(); ++i) {
        info[i].SessionId = s.sessions[i].id;
        info[i].pWinStationName = PackString(&tail, s.sessions[i].winStationName);
        info[i].State = s.sessions[i].state;
    }
    s.sessionLists.insert(block);
    *ppSessionInfo = info;
    *pCount = static_cast<DWORD>(s.sessions.size());
    return TRUE;
}

BOOL WINAPI WTSSendMessageW(HANDLE hServer, DWORD SessionId, LPWSTR pTitle, DWORD TitleLength, LPWSTR pMessage,
                            DWORD MessageLength, DWORD Style, DWORD Timeout, DWORD* pResponse, BOOL bWait) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    if (InjectFailure(s, sim::Api::WTSSendMessageW)) return FALSE;
    if (!IsServer(s, hServer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pResponse == nullptr || (pTitle == nullptr && TitleLength != 0) ||
        (pMessage == nullptr && MessageLength != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool known = std::any_of(s.sessions.begin(), s.sessions.end(),
                                   [&](const sim::Session& session) { return session.id == SessionId; });
    if (!known) {
        // The error Windows gives for an unknown session is not documented; this is a guess.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    sim::Message m;
    m.sessionId = SessionId;
    // Exactly the byte lengths passed are read, as Windows does.
    m.title.assign(pTitle != nullptr ? pTitle : u"", TitleLength / sizeof(WCHAR));
    m.titleLength = TitleLength;
    m.text.assign(pMessage != nullptr ? pMessage : u"", MessageLength / sizeof(WCHAR));
    m.textLength = MessageLength;
    m.style = Style;
    m.timeout = Timeout;
    m.wait = bWait;
    s.messages.push_back(m);
    *pResponse = bWait ? s.messageResponse : static_cast<DWORD>(IDASYNC);
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID pMemory) {
    EnterCall(sim::Api::WTSFreeMemory);
    if (pMemory == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(Lock());
    State& s = Machine();
    const auto it = s.sessionLists.find(pMemory);
    if (it == s.sessionLists.end()) return;  // not ours (Windows would corrupt its heap)
    delete[] static_cast<BYTE*>(pMemory);
    s.sessionLists.erase(it);
}
