// Deterministic random inputs for the robustness tests. The draws use the raw
// output of std::mt19937 (whose sequence the language fixes) rather than the
// standard distributions (whose results differ between libraries), so a
// failing seed reproduces everywhere.
#pragma once

#include "common/module_context.h"
#include "fuzz_rng.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

// UTF-16LE bytes of a text, as the paper-list file holds it.
inline std::string Utf16LeBytes(const std::u16string& units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// A fresh simulated machine whose plug-in module lies in a temporary folder of
// its own, so each test writes the paper-list file next to it undisturbed.
class ModuleFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        char pattern[] = "/tmp/robust_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        NewPrinter();
    }

    void TearDown() override {
        EXPECT_EQ(sim::OpenFileHandles(), 0u);
        modules.module = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        sim::Reset();
    }

    // A fresh spooler record: the module registered again and a new printer.
    void NewPrinter() {
        sim::Reset();
        modules.module = sim::RegisterModule(sim::ToUtf16(folder + "/QM22TRD.dll"));
        printer = sim::AddPrinter(u"Inkjet");
    }

    void WritePaperListBytes(const std::string& bytes) {
        std::ofstream file(folder + "/QM22T.ini", std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string folder;
    HANDLE printer = nullptr;
    ModuleContext modules;  // the plug-in module registered over the folder
};
