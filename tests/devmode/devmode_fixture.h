// Shared set-up of the device-settings tests: the stand-in sibling library loaded
// through the simulated loader, a printer, a plug-in module in a folder of its
// own (for the paper-list file), and request buffers allocated to exactly the
// sizes they declare, so AddressSanitizer sees any access past them.
#pragma once

#include "common/module_context.h"
#include "platform/host/sim_control.h"
#include "platform/platform.h"
#include "settings/private_part.h"
#include "sibling_test_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

class SiblingFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim::Reset();
        sibling_ = LoadLibraryW(sim::ToUtf16(SIBLING_PATH).c_str());
        ASSERT_NE(sibling_, nullptr) << sim::LastLoaderError();
        const FARPROC access = GetProcAddress(sibling_, "SiblingTestAccess");
        ASSERT_NE(access, nullptr);
        SiblingTestAccessProc proc = nullptr;
        std::memcpy(&proc, &access, sizeof proc);
        state_ = proc();
        folder_ = std::filesystem::temp_directory_path() / ("devmode_tests_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
    }

    static void TearDownTestSuite() {
        if (sibling_ != nullptr) FreeLibrary(sibling_);
        sibling_ = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    void SetUp() override {
        ASSERT_NE(state_, nullptr);
        sim::Reset();
        SiblingTestReset(*state_);
        modules.sibling = sibling_;
        modules.module = sim::RegisterModule(sim::ToUtf16((folder_ / "QM22TRD.dll").string()));
        printer_ = sim::AddPrinter(u"Office Printer");
    }

    void TearDown() override {
        modules.sibling = nullptr;
        modules.module = nullptr;
    }

    SiblingTestState& Sibling() { return *state_; }

    ModuleContext modules;

    static HMODULE sibling_;
    static SiblingTestState* state_;
    static std::filesystem::path folder_;
    HANDLE printer_ = nullptr;
};

inline HMODULE SiblingFixture::sibling_ = nullptr;
inline SiblingTestState* SiblingFixture::state_ = nullptr;
inline std::filesystem::path SiblingFixture::folder_;

// A public DEVMODE of exactly dmSize + dmDriverExtra bytes.
struct PublicDevmode {
    std::vector<BYTE> bytes;
    DEVMODEW* dm() { return reinterpret_cast<DEVMODEW*>(bytes.data()); }
};

// The driver's own private bytes behind its public DEVMODE; the handler never
// touches them but hands their count to SetOptions.
constexpr WORD kDriverExtra = 3000;
constexpr WORD kDriverVersion = 0x0A0B;

inline PublicDevmode MakePublic(short paper, WORD size = sizeof(DEVMODEW), WORD extra = kDriverExtra) {
    DEVMODEW full;
    std::memset(&full, 0, sizeof full);
    full.dmSpecVersion = DM_SPECVERSION;
    full.dmDriverVersion = kDriverVersion;
    full.dmSize = size;
    full.dmDriverExtra = extra;
    full.dmFields = DM_PAPERSIZE | DM_SCALE | DM_COPIES;
    full.dmPaperSize = paper;
    full.dmScale = 100;
    full.dmCopies = 1;
    PublicDevmode p;
    p.bytes.assign(size_t{size} + extra, 0);
    std::memcpy(p.bytes.data(), &full, std::min<size_t>(size, sizeof full));
    return p;
}

// A private part of `allocation` bytes whose header declares dwSize.
inline std::vector<BYTE> MakePrivate(size_t allocation = kPrivatePartBytes, DWORD dwSize = kPrivatePartBytes) {
    std::vector<BYTE> part(allocation, 0);
    const DWORD header[3] = {dwSize, kPrivatePartSignature, kPrivatePartVersion};
    std::memcpy(part.data(), header, std::min(allocation, sizeof header));
    return part;
}

// "VTA/NP" and its terminator as UTF-16LE bytes.
inline const std::vector<BYTE> kIdentification = {'V', 0, 'T', 0, 'A', 0, '/', 0, 'N', 0, 'P', 0, 0, 0};

inline std::vector<BYTE> Bytes(const void* data, size_t offset, size_t count) {
    const BYTE* p = static_cast<const BYTE*>(data) + offset;
    return std::vector<BYTE>(p, p + count);
}

inline short ReadShortAt(const void* data, size_t offset) {
    short value;
    std::memcpy(&value, static_cast<const BYTE*>(data) + offset, sizeof value);
    return value;
}

inline void WriteShortAt(void* data, size_t offset, short value) {
    std::memcpy(static_cast<BYTE*>(data) + offset, &value, sizeof value);
}
