// Simulated kernel: last error, interlocked counters, debugger output, common
// controls, files.
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

class Kernel : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

TEST_F(Kernel, LastErrorIsPerThread) {
    SetLastError(ERROR_OUTOFMEMORY);
    DWORD other = 1;
    std::thread([&] {
        other = GetLastError();
        SetLastError(ERROR_BUSY);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
}

TEST_F(Kernel, InterlockedCounters) {
    LONG volatile count = 0;
    EXPECT_EQ(InterlockedIncrement(&count), 1);
    EXPECT_EQ(InterlockedIncrement(&count), 2);
    EXPECT_EQ(InterlockedDecrement(&count), 1);
    EXPECT_EQ(InterlockedDecrement(&count), 0);
    EXPECT_EQ(InterlockedDecrement(&count), -1);
}

TEST_F(Kernel, DebugOutputIsCaptured) {
    OutputDebugStringW(u"PS DevMode : dmPaperSize=9\n");
    OutputDebugStringA("narrow");
    OutputDebugStringW(nullptr);
    const auto lines = sim::DebugOutput();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"PS DevMode : dmPaperSize=9\n");
    EXPECT_EQ(lines[1], u"narrow");
}

TEST_F(Kernel, CommonControlsAreCounted) {
    InitCommonControls();
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&icc));
    const sim::CommonControlsRecord r = sim::CommonControls();
    EXPECT_EQ(r.initCalls, 1u);
    EXPECT_EQ(r.initExCalls, 1u);
    EXPECT_EQ(r.lastExSize, 8u);
    EXPECT_EQ(r.lastExClasses, 0x4000u);
}

class Files : public Kernel {
protected:
    void SetUp() override {
        Kernel::SetUp();
        char dir[] = "/tmp/winsim_files_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
        std::ofstream(folder + "/QM22T.ini", std::ios::binary).write("\xff\xfe;\0", 4);
    }
    void TearDown() override {
        std::remove((folder + "/QM22T.ini").c_str());
        rmdir(folder.c_str());
    }
    std::string folder;
};

TEST_F(Files, ReadWholeFileThroughBackslashPath) {
    std::string windowsStyle = folder + "\\QM22T.ini";
    const std::u16string path = sim::ToUtf16(windowsStyle);
    EXPECT_EQ(sim::HostPath(path.c_str()), folder + "/QM22T.ini");
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::OpenFileHandles(), 1u);
    EXPECT_EQ(GetFileSize(h, nullptr), 4u);
    char buffer[8] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(std::string(buffer, 4), std::string("\xff\xfe;\0", 4));
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);  // end of file
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(sim::OpenFileHandles(), 0u);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, MissingFileAndFolder) {
    const std::u16string missing = sim::ToUtf16(folder + "/nothing.ini");
    EXPECT_EQ(CreateFileW(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::u16string noFolder = sim::ToUtf16(folder + "/no/such.ini");
    EXPECT_EQ(CreateFileW(noFolder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, InjectedOpenAndReadFailures) {
    const std::u16string path = sim::ToUtf16(folder + "/QM22T.ini");
    sim::FailCalls(sim::Api::CreateFileW, ERROR_SHARING_VIOLATION, 0, 1);
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    sim::FailCalls(sim::Api::ReadFile, ERROR_READ_FAULT);
    char buffer[4];
    DWORD read = 0;
    EXPECT_FALSE(ReadFile(h, buffer, 4, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));
    sim::Reset();  // closes what is still open
    EXPECT_EQ(sim::OpenFileHandles(), 0u);
}

}  // namespace
