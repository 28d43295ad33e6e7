// A simulated machine for the paper tests: the plug-in module and the sibling
// library as fake modules in a temporary folder (which holds the paper-list
// file), a printer with forms, and a sibling DrvDeviceCapabilities that answers
// from lists the test sets.
#pragma once

#include "common/module_context.h"
#include "common/wtext.h"
#include "platform/host/sim_control.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

struct FakeSibling {
    std::vector<WORD> papers;
    std::vector<std::pair<LONG, LONG>> sizes;
    std::vector<WString> names;  // each handed out in a 64-unit field, cut at 64 units

    // Answers that replace the count (first call) or the fill (second call).
    std::map<WORD, DWORD> countAnswer;
    std::map<WORD, DWORD> fillAnswer;

    struct Call {
        WORD capability;
        bool withBuffer;
        bool bufferWasZeroed;
        bool devModeNull;
        std::string printerName;
    };
    std::vector<Call> calls;
};

// The one sibling the fake export answers from.
FakeSibling& Sibling();

class PaperTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the paper-list file: the text as UTF-16LE, or raw bytes.
    void WriteList(const std::u16string& text);
    void WriteListBytes(const std::string& bytes);

    std::string folder;
    HANDLE printer = nullptr;
    // The fake plug-in module (its folder holds the paper-list file) and sibling.
    ModuleContext modules;
};

// Forms in thousandths of a millimetre.
inline sim::Form UserForm(const char* name, LONG width, LONG height) {
    return sim::Form{sim::ToUtf16(name), FORM_USER, width, height};
}
inline sim::Form BuiltinForm(const char* name, LONG width, LONG height) {
    return sim::Form{sim::ToUtf16(name), FORM_BUILTIN, width, height};
}
