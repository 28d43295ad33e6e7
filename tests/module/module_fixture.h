// Loads the plug-in module through the simulated loader, as the driver does,
// and hands out its exports and objects.
#pragma once

#include "frame_fakes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

using GetClassObjectProc = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowProc = HRESULT (*)();

inline const std::u16string kModulePath = sim::ToUtf16(PLUGIN_MODULE_PATH);
inline std::u16string ModuleFolder() { return kModulePath.substr(0, kModulePath.rfind(u'/') + 1); }

class ModuleTest : public ::testing::Test {
protected:
    HMODULE module = nullptr;
    GetClassObjectProc getClassObject = nullptr;
    CanUnloadNowProc canUnloadNow = nullptr;

    void SetUp() override {
        sim::Reset();
        driverRecord = DriverRecord{};
    }
    void TearDown() override {
        if (module == nullptr) return;
        EXPECT_EQ(canUnloadNow(), S_OK) << "a test left objects or locks behind";
        FreeLibrary(module);
    }
    void Load() {
        module = LoadLibraryW(kModulePath.c_str());
        ASSERT_NE(module, nullptr) << sim::LastLoaderError();
        getClassObject = FunctionAs<HRESULT(REFCLSID, REFIID, LPVOID*)>(GetProcAddress(module, "DllGetClassObject"));
        canUnloadNow = FunctionAs<HRESULT()>(GetProcAddress(module, "DllCanUnloadNow"));
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
    }
    IClassFactory* Factory() {
        void* factory = nullptr;
        EXPECT_EQ(getClassObject(CLSID_OEMRENDER, IID_IClassFactory, &factory), S_OK);
        return static_cast<IClassFactory*>(factory);
    }
    IPrintOemPS2* CreatePlugin() {
        IClassFactory* factory = Factory();
        void* plugin = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemPS2, &plugin), S_OK);
        factory->Release();
        return static_cast<IPrintOemPS2*>(plugin);
    }
};

// The document hooks keep their document per thread, and the module stays
// loaded between tests; each hook scenario therefore runs on a thread of its own.
inline void OnFreshThread(const std::function<void()>& body) {
    std::thread worker(body);
    worker.join();
}
