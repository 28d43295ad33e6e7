// A small module for the loader tests, built three times as ELF shared objects with
// Windows names:
//   SimTestModule.dll  (SIM_TEST_LOADS_SIBLING): at attach loads SimTestSibling.dll from
//                      its own folder, as the plug-in loads its sibling; frees it at detach.
//   SimTestSibling.dll (no define): just reports attach and detach.
//   SimTestFailing.dll (SIM_TEST_FAILS_ATTACH): DllMain returns FALSE at attach.
// Each DllMain call is reported through OutputDebugStringW as
// "<NAME> <reason> <own path>", where the path is what GetModuleFileNameW reports.
#include "platform/host/sim_control.h"

#include <string>

#ifndef SIM_TEST_NAME
#define SIM_TEST_NAME "module"
#endif

namespace {

HMODULE sibling = nullptr;

std::u16string OwnPath(HMODULE self) {
    WCHAR path[1024] = {};
    const DWORD n = GetModuleFileNameW(self, path, 1024);
    return std::u16string(path, n < 1024 ? n : 0);
}

void Report(const char* what, HMODULE self) {
    std::u16string line = sim::ToUtf16(std::string(SIM_TEST_NAME " ") + what + " ") + OwnPath(self);
    OutputDebugStringW(line.c_str());
}

const char kFirst[] = "first resource";
const unsigned char kSecond[] = {0x00, 0x01, 0xFF, 0x7F};
const char kNamed[] = "named";

}  // namespace

extern "C" {

const SimResource SimModuleResources[] = {
    {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kFirst, sizeof kFirst - 1},
    {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(2), kSecond, sizeof kSecond},
    {u"TEMPLATES", u"Header", kNamed, sizeof kNamed - 1},
};
const unsigned SimModuleResourceCount = sizeof SimModuleResources / sizeof SimModuleResources[0];

// What the simulated loader looks up by name.
__attribute__((visibility("default"))) int TestModuleAnswer();
__attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved);

__attribute__((visibility("default"))) int TestModuleAnswer() { return 42; }

__attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Report("attach", self);
#if defined(SIM_TEST_FAILS_ATTACH)
        return FALSE;
#elif defined(SIM_TEST_LOADS_SIBLING)
        std::u16string path = OwnPath(self);
        path.resize(path.find_last_of(u"\\/") + 1);
        path += u"SimTestSibling.dll";
        sibling = LoadLibraryW(path.c_str());
#endif
    } else if (reason == DLL_PROCESS_DETACH) {
        Report("detach", self);
        if (sibling != nullptr) {
            FreeLibrary(sibling);
            sibling = nullptr;
        }
    }
    return TRUE;
}

}  // extern "C"
