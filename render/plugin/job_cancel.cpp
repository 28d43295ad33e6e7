#include "plugin/job_cancel.h"

#include "common/companion_path.h"
#include "common/module_state.h"
#include "common/wtext.h"

#include <cstdio>

namespace {

constexpr size_t kMessageCapacity = 260;
// The notice looks for the sibling in a folder of up to 511 characters.
constexpr size_t kNoticeDirectoryCapacity = 512;

struct LibraryGuard {
    HMODULE handle;
    ~LibraryGuard() {
        if (handle != nullptr) FreeLibrary(handle);
    }
};

struct ServerGuard {
    HANDLE handle;
    ~ServerGuard() {
        if (handle != nullptr) WTSCloseServer(handle);
    }
};

struct SessionListGuard {
    PWTS_SESSION_INFOW list = nullptr;
    ~SessionListGuard() {
        if (list != nullptr) WTSFreeMemory(list);
    }
};

// Formats the two texts of the notice. The format is plain ASCII, so it is
// printed as 8-bit text and widened unit by unit.
bool FormatNotice(DWORD errorNumber, WCHAR (&caption)[kMessageCapacity], WCHAR (&text)[kMessageCapacity]) {
    char narrow[kMessageCapacity] = {};
    const int written = std::snprintf(narrow, sizeof(narrow), "The job was canceled.\n\tErrorNo = 0x%X",
                                      static_cast<unsigned>(errorNumber));
    if (written < 0) return false;
    return WTextFromAscii(caption, kMessageCapacity, "Error") && WTextFromAscii(text, kMessageCapacity, narrow);
}

}  // namespace

HRESULT CheckJobOrCancel(PDEVOBJ pdevobj, DWORD dwJobId) {
    if (pdevobj == nullptr) return E_FAIL;
    if (pdevobj->pOEMDM != nullptr && pdevobj->pdevOEM != nullptr) return S_OK;
    // The cancel's own result does not matter: the job cannot be produced
    // either way, and StartDoc fails below.
    SetJobW(pdevobj->hPrinter, dwJobId, 0, nullptr, JOB_CONTROL_CANCEL);
    NotifyActiveSession(moduleHandle, kCancelledJobError);
    return E_FAIL;
}

DWORD NotifyActiveSession(HMODULE module, DWORD errorNumber) {
    WCHAR path[kPathCapacity] = {};
    if (!BuildCompanionPath(module, kNoticeDirectoryCapacity, WIDE("QM22TIE.dll"), path)) {
        return kNoticeNoSibling;
    }
    LibraryGuard sibling{LoadLibraryW(path)};
    if (sibling.handle == nullptr) return kNoticeNoSibling;

    WCHAR caption[kMessageCapacity] = {};
    WCHAR text[kMessageCapacity] = {};
    if (!FormatNotice(errorNumber, caption, text)) return kNoticeNotSent;

    DWORD result = kNoticeNotSent;
    ServerGuard server{WTSOpenServerW(nullptr)};
    if (server.handle == nullptr) return result;

    SessionListGuard sessions;
    DWORD sessionCount = 0;
    if (WTSEnumerateSessionsW(server.handle, 0, 1, &sessions.list, &sessionCount) != TRUE) return result;
    if (sessions.list == nullptr) return result;

    for (DWORD i = 0; i < sessionCount; ++i) {
        if (sessions.list[i].State != WTSActive) continue;
        DWORD response = 0;
        const DWORD captionBytes = static_cast<DWORD>(WTextLength(caption) * sizeof(WCHAR));
        const DWORD textBytes = static_cast<DWORD>(WTextLength(text) * sizeof(WCHAR));
        if (WTSSendMessageW(server.handle, sessions.list[i].SessionId, caption, captionBytes, text, textBytes, 0, 0,
                            &response, TRUE)) {
            result = response;
        } else {
            result = GetLastError();
        }
        break;  // only the first active session is told
    }
    return result;
}
