#include "plugin/job_cancel.h"

#include "common/companion_path.h"
#include "common/result_macros.h"
#include "common/unique_handle.h"
#include "common/wtext.h"

#include <cstdio>

namespace {

constexpr size_t kMessageCapacity = 260;

using Library = UniqueHandle<HMODULE, &FreeLibrary>;
using Server = UniqueHandle<HANDLE, &WTSCloseServer>;
using SessionList = UniqueHandle<PWTS_SESSION_INFOW, &WTSFreeMemory>;

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

HRESULT CheckJobOrCancel(const ModuleContext& modules, PDEVOBJ pdevobj, DWORD dwJobId) {
    RETURN_HR_IF(E_FAIL, pdevobj == nullptr);
    if (pdevobj->pOEMDM != nullptr && pdevobj->pdevOEM != nullptr) return S_OK;
    // The cancel's own result does not matter: the job cannot be produced
    // either way, and StartDoc fails below.
    SetJobW(pdevobj->hPrinter, dwJobId, 0, nullptr, JOB_CONTROL_CANCEL);
    NotifyActiveSession(modules.module, kCancelledJobError);
    RETURN_HR(E_FAIL);
}

DWORD NotifyActiveSession(HMODULE module, DWORD errorNumber) {
    WCHAR path[kPathCapacity] = {};
    if (!BuildCompanionPath(module, kNoticeDirectoryCapacity, WIDE("QM22TIE.dll"), path)) {
        return kNoticeNoSibling;
    }
    const Library sibling{LoadLibraryW(path)};
    if (!sibling) return kNoticeNoSibling;

    WCHAR caption[kMessageCapacity] = {};
    WCHAR text[kMessageCapacity] = {};
    if (!FormatNotice(errorNumber, caption, text)) return kNoticeNotSent;

    DWORD result = kNoticeNotSent;
    const Server server{WTSOpenServerW(nullptr)};
    if (!server) return result;

    SessionList sessions;
    DWORD sessionCount = 0;
    if (WTSEnumerateSessionsW(server.Get(), 0, 1, sessions.Receive(), &sessionCount) != TRUE) return result;
    if (!sessions) return result;

    for (DWORD i = 0; i < sessionCount; ++i) {
        if (sessions.Get()[i].State != WTSActive) continue;
        DWORD response = 0;
        const DWORD captionBytes = static_cast<DWORD>(WTextLength(caption) * sizeof(WCHAR));
        const DWORD textBytes = static_cast<DWORD>(WTextLength(text) * sizeof(WCHAR));
        if (WTSSendMessageW(server.Get(), sessions.Get()[i].SessionId, caption, captionBytes, text, textBytes, 0, 0,
                            &response, TRUE)) {
            result = response;
        } else {
            result = GetLastError();
        }
        break;  // only the first active session is told
    }
    return result;
}
