// The simulated machine the fuzz targets run on, set up from an input's
// directives (fuzz_input.h):
//   form=NAME   adds a form to the printer (in order; none: the default forms)
//   list=LINE   adds a line to the paper-list file (UTF-16LE, each line ends
//               with LF; none: no file)
#pragma once

#include "fuzz_input.h"

#include "platform/host/sim_control.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fuzz {

// A fresh machine whose clock stands still, so a date written into feature
// blocks and headers is the same in both passes of a target and in every run.
inline void FreshMachine() {
    sim::Reset();
    SYSTEMTIME now{};
    now.wYear = 2024;
    now.wMonth = 3;
    now.wDay = 14;
    sim::SetLocalTime(now);
}

// A folder of this process for the plug-in module and its paper-list file,
// made at first use and removed at exit. Never destroyed, so the removal at
// exit can still name it.
inline const std::string& ProcessFolder() {
    static const std::string* const folder = [] {
        char pattern[] = "/tmp/fuzz_target_XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ProcessFolder(), ignored);
        });
        return new std::string(pattern);
    }();
    return *folder;
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The paper-list file in ProcessFolder() from the input's list= directives.
inline void WritePaperList(const Input& input) {
    std::string bytes;
    for (const auto& directive : input.directives) {
        if (directive.first != "list") continue;
        for (char16_t unit : Units(directive.second) + u"\n") {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
    }
    const std::string path = ProcessFolder() + "/QM22T.ini";
    if (bytes.empty()) {
        std::remove(path.c_str());
    } else {
        WriteFileBytes(path, bytes);
    }
}

// The printer's forms from the input's form= directives (A4-sized user forms).
inline void SetForms(const Input& input, HANDLE printer) {
    std::vector<sim::Form> forms;
    for (const auto& directive : input.directives) {
        if (directive.first == "form" && forms.size() < 400) {
            forms.push_back(sim::Form{Units(directive.second), FORM_USER, 210000, 297000});
        }
    }
    if (!forms.empty()) sim::SetForms(printer, forms);
}

}  // namespace fuzz
