#include "paper_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

FakeSibling fakeSibling;

bool AllZero(const void* buffer, size_t bytes) {
    const BYTE* p = static_cast<const BYTE*>(buffer);
    for (size_t i = 0; i < bytes; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

DWORD WINAPI FakeDeviceCapabilities(HANDLE, PWSTR printerName, WORD capability, PVOID output, PDEVMODEW devMode) {
    FakeSibling& s = fakeSibling;
    DWORD count = 0;
    size_t entryBytes = 0;
    switch (capability) {
        case DC_PAPERS:
            count = static_cast<DWORD>(s.papers.size());
            entryBytes = sizeof(WORD);
            break;
        case DC_PAPERSIZE:
            count = static_cast<DWORD>(s.sizes.size());
            entryBytes = 2 * sizeof(LONG);
            break;
        case DC_PAPERNAMES:
            count = static_cast<DWORD>(s.names.size());
            entryBytes = 64 * sizeof(WCHAR);
            break;
        default: return static_cast<DWORD>(-1);
    }
    if (output == nullptr) {
        s.calls.push_back({capability, false, false, devMode == nullptr, sim::ToUtf8(printerName)});
        auto answer = s.countAnswer.find(capability);
        return answer != s.countAnswer.end() ? answer->second : count;
    }
    // The caller sized the buffer from the first answer; never write past that.
    auto first = s.countAnswer.find(capability);
    const DWORD room = first != s.countAnswer.end() ? first->second : count;
    s.calls.push_back(
        {capability, true, AllZero(output, room * entryBytes), devMode == nullptr, sim::ToUtf8(printerName)});
    auto fill = s.fillAnswer.find(capability);
    const DWORD filled = fill != s.fillAnswer.end() ? fill->second : count;
    const DWORD written = std::min(std::min(filled, count), room);
    BYTE* out = static_cast<BYTE*>(output);
    for (DWORD i = 0; i < written; ++i) {
        if (capability == DC_PAPERS) {
            std::memcpy(out + i * entryBytes, &s.papers[i], sizeof(WORD));
        } else if (capability == DC_PAPERSIZE) {
            const LONG pair[2] = {s.sizes[i].first, s.sizes[i].second};
            std::memcpy(out + i * entryBytes, pair, sizeof(pair));
        } else {
            const WString& name = s.names[i];
            std::memcpy(out + i * entryBytes, name.data(), std::min<size_t>(name.size(), 64) * sizeof(WCHAR));
        }
    }
    return filled;
}

}  // namespace

FakeSibling& Sibling() { return fakeSibling; }

void PaperTest::SetUp() {
    sim::Reset();
    fakeSibling = FakeSibling();
    char pattern[] = "/tmp/settings_paper_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    modules.module = sim::RegisterModule(sim::ToUtf16(folder + "/QM22TRD.dll"));
    modules.sibling = sim::RegisterModule(sim::ToUtf16(folder + "/QM22TIE.dll"));
    sim::AddExport(modules.sibling, "DrvDeviceCapabilities", &FakeDeviceCapabilities);
    printer = sim::AddPrinter(u"Inkjet");
}

void PaperTest::TearDown() {
    EXPECT_EQ(sim::OpenFileHandles(), 0u);
    modules.module = nullptr;
    modules.sibling = nullptr;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    sim::Reset();
}

void PaperTest::WriteList(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    WriteListBytes(bytes);
}

void PaperTest::WriteListBytes(const std::string& bytes) {
    std::ofstream file(folder + "/QM22T.ini", std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
