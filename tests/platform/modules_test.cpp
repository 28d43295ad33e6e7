// Simulated module loader: real .so modules named *.dll with DllMain, reference
// counts, GetProcAddress, resources, module paths; in-process fake modules.
#include "common/function_cast.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kDir = SIM_TEST_MODULE_DIR;

std::u16string ModulePath(const char* name) { return sim::ToUtf16(kDir + "/" + name); }

class Modules : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    static std::vector<std::string> Debug() {
        std::vector<std::string> lines;
        for (const auto& line : sim::DebugOutput()) lines.push_back(sim::ToUtf8(line));
        return lines;
    }
};

TEST_F(Modules, LoadCallsDllMainAndLoadsSiblingFromOwnFolder) {
    const std::u16string path = ModulePath("SimTestModule.dll");
    HMODULE m = LoadLibraryW(path.c_str());
    ASSERT_NE(m, nullptr) << sim::LastLoaderError();
    EXPECT_EQ(sim::ModuleRefCount(u"SimTestModule.dll"), 1u);
    EXPECT_EQ(sim::ModuleRefCount(u"simtestsibling.DLL"), 1u);  // loaded by its DllMain
    std::vector<std::string> log = Debug();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "SimTestModule attach " + kDir + "/SimTestModule.dll");
    EXPECT_EQ(log[1], "SimTestSibling attach " + kDir + "/SimTestSibling.dll");

    ASSERT_TRUE(FreeLibrary(m));
    EXPECT_EQ(sim::ModuleRefCount(u"SimTestModule.dll"), 0u);
    EXPECT_EQ(sim::ModuleRefCount(u"SimTestSibling.dll"), 0u);
    log = Debug();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2], "SimTestModule detach " + kDir + "/SimTestModule.dll");
    EXPECT_EQ(log[3], "SimTestSibling detach " + kDir + "/SimTestSibling.dll");
    EXPECT_FALSE(FreeLibrary(m));  // the handle is gone
}

TEST_F(Modules, ReferenceCountingCallsDllMainOnce) {
    const std::u16string path = ModulePath("SimTestSibling.dll");
    HMODULE a = LoadLibraryW(path.c_str());
    ASSERT_NE(a, nullptr) << sim::LastLoaderError();
    std::u16string backslashed = path;
    for (auto& c : backslashed) {
        if (c == u'/') c = u'\\';
    }
    HMODULE b = LoadLibraryW(backslashed.c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(sim::ModuleRefCount(u"SimTestSibling.dll"), 2u);
    ASSERT_TRUE(FreeLibrary(a));
    EXPECT_EQ(Debug().size(), 1u);  // attach only: still loaded
    ASSERT_TRUE(FreeLibrary(b));
    EXPECT_EQ(Debug().size(), 2u);
    EXPECT_EQ(Debug()[1].rfind("SimTestSibling detach", 0), 0u);
}

TEST_F(Modules, FailingDllMainFailsTheLoad) {
    const std::u16string path = ModulePath("SimTestFailing.dll");
    EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    const std::vector<std::string> log = Debug();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("SimTestFailing attach", 0), 0u);
    EXPECT_EQ(log[1].rfind("SimTestFailing detach", 0), 0u);
    EXPECT_EQ(sim::ModuleRefCount(u"SimTestFailing.dll"), 0u);
}

TEST_F(Modules, MissingModuleAndForcedFailures) {
    const std::u16string missing = ModulePath("QM22TIE.dll");
    EXPECT_EQ(LoadLibraryW(missing.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    sim::FailLoadLibrary(u"simtestsibling.dll", ERROR_ACCESS_DENIED);
    const std::u16string path = ModulePath("SimTestSibling.dll");
    EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // The module loads, its DllMain's load of the sibling fails, and the load still succeeds.
    HMODULE m = LoadLibraryW(ModulePath("SimTestModule.dll").c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(sim::ModuleRefCount(u"SimTestSibling.dll"), 0u);
    FreeLibrary(m);
}

TEST_F(Modules, GetProcAddressSeesOnlyTheModulesOwnExports) {
    HMODULE m = LoadLibraryW(ModulePath("SimTestSibling.dll").c_str());
    ASSERT_NE(m, nullptr);
    auto answer = FunctionAs<int (*)()>(GetProcAddress(m, "TestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    SetLastError(0);
    EXPECT_EQ(GetProcAddress(m, "DrvConvertDevMode"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    // winsim is a dependency of the module, but its functions are not the module's exports.
    EXPECT_EQ(GetProcAddress(m, "WritePrinter"), nullptr);

    sim::HideExport(u"SimTestSibling.dll", "TestModuleAnswer");
    EXPECT_EQ(GetProcAddress(m, "TestModuleAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    FreeLibrary(m);
}

TEST_F(Modules, ResourcesOfALoadedModule) {
    HMODULE m = LoadLibraryW(ModulePath("SimTestSibling.dll").c_str());
    ASSERT_NE(m, nullptr);
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(20563));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(m, r), 14u);
    HGLOBAL g = LoadResource(m, r);
    ASSERT_NE(g, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(g));
    EXPECT_EQ(std::string(bytes, 14), "first resource");

    r = FindResourceW(m, u"#2", u"#20563");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(m, r), 4u);
    EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(m, r))), 4),
              std::string("\x00\x01\xff\x7f", 4));

    r = FindResourceW(m, u"header", u"Templates");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(m, r), 5u);

    EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(20563)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    FreeLibrary(m);
}

TEST_F(Modules, ModuleFileNameBufferRules) {
    HMODULE m = LoadLibraryW(ModulePath("SimTestSibling.dll").c_str());
    ASSERT_NE(m, nullptr);
    const std::u16string full = ModulePath("SimTestSibling.dll");
    WCHAR buffer[520] = {};
    EXPECT_EQ(GetModuleFileNameW(m, buffer, 520), full.size());
    EXPECT_EQ(std::u16string(buffer), full);

    WCHAR small[8] = {};
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(m, small, 8), 8u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(small), full.substr(0, 7));

    EXPECT_GT(GetModuleFileNameW(nullptr, buffer, 520), 0u);  // the program itself
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(buffer), buffer, 520), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    FreeLibrary(m);
}

TEST_F(Modules, PathOverridesAreSeenByDllMain) {
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'd') + u"\\SimTestSibling.dll";
    sim::OverrideModulePathOnLoad(u"SimTestSibling.dll", longPath);
    HMODULE m = LoadLibraryW(ModulePath("SimTestSibling.dll").c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(sim::DebugOutput()[0], u"SimTestSibling attach " + longPath);
    WCHAR buffer[520] = {};
    EXPECT_EQ(GetModuleFileNameW(m, buffer, 520), longPath.size());

    sim::OverrideModulePath(m, u"/elsewhere/x.dll");
    EXPECT_EQ(GetModuleFileNameW(m, buffer, 520), 16u);
    EXPECT_EQ(std::u16string(buffer), u"/elsewhere/x.dll");
    FreeLibrary(m);
}

extern "C" int FakeExport() { return 7; }

TEST_F(Modules, FakeModulesForStaticallyLinkedCode) {
    static const char kTemplate[] = "featurebegin{";
    static const SimResource kResources[] = {{MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kTemplate, 13}};
    HMODULE fake = sim::RegisterModule(u"/opt/driver/QM22TRD.dll", kResources, 1);
    sim::AddExport(fake, "FakeExport", &FakeExport);

    EXPECT_EQ(LoadLibraryW(u"\\OPT\\driver\\qm22trd.DLL"), fake);
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TRD.dll"), 1u);
    WCHAR buffer[520] = {};
    EXPECT_EQ(GetModuleFileNameW(fake, buffer, 520), 23u);
    EXPECT_EQ(std::u16string(buffer), u"/opt/driver/QM22TRD.dll");

    HRSRC r = FindResourceW(fake, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(20563));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(fake, r), 13u);
    EXPECT_EQ(LockResource(LoadResource(fake, r)), static_cast<const void*>(kTemplate));

    auto fn = FunctionAs<int (*)()>(GetProcAddress(fake, "FakeExport"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 7);
    EXPECT_EQ(GetProcAddress(fake, "Missing"), nullptr);

    EXPECT_TRUE(FreeLibrary(fake));
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TRD.dll"), 0u);
    sim::Reset();
    EXPECT_EQ(GetModuleFileNameW(fake, buffer, 520), 0u);  // gone with the reset
}

TEST_F(Modules, ProgramHasNoResources) {
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(20563)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

}  // namespace
