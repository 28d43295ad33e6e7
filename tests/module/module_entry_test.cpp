#include "module_fixture.h"

namespace {

TEST_F(ModuleTest, AttachPreparesCommonControlsAndTakesTheSiblingFromItsOwnFolder) {
    sim::RegisterModule(ModuleFolder() + u"QM22TIE.dll");  // a sibling without any export
    Load();
    const sim::CommonControlsRecord controls = sim::CommonControls();
    EXPECT_EQ(controls.initCalls, 1u);
    EXPECT_EQ(controls.initExCalls, 1u);
    EXPECT_EQ(controls.lastExSize, 8u);
    EXPECT_EQ(controls.lastExClasses, 0x4000u);
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 1u);

    IPrintOemPS2* plugin = CreatePlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->Release();

    FreeLibrary(module);
    module = nullptr;
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 0u);  // freed at detach
}

TEST_F(ModuleTest, ModuleLoadsWithoutItsSibling) {
    sim::FailLoadLibrary(u"QM22TIE.dll");
    Load();
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 0u);
    IPrintOemPS2* plugin = CreatePlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->Release();
}

TEST_F(ModuleTest, RealSiblingNextToTheModuleIsLoaded) {
    if (!std::filesystem::exists(sim::ToUtf8(ModuleFolder() + u"QM22TIE.dll"))) {
        GTEST_SKIP() << "the sibling stand-in is not built";
    }
    Load();
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 1u);
}

TEST_F(ModuleTest, SiblingIsLookedForOnlyInAFolderThatFits) {
    const std::u16string fits = u"/" + std::u16string(253, u'd') + u"/";  // 255 characters
    sim::RegisterModule(fits + u"QM22TIE.dll");
    sim::OverrideModulePathOnLoad(u"QM22TRD.dll", fits + u"QM22TRD.dll");
    Load();
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 1u);
    FreeLibrary(module);
    module = nullptr;

    const std::u16string tooLong = u"/" + std::u16string(254, u'd') + u"/";  // 256 characters
    sim::RegisterModule(tooLong + u"QM22TIE.dll");
    sim::OverrideModulePathOnLoad(u"QM22TRD.dll", tooLong + u"QM22TRD.dll");
    const unsigned loadsBefore = sim::CallCount(sim::Api::LoadLibraryW);
    Load();
    EXPECT_EQ(sim::CallCount(sim::Api::LoadLibraryW), loadsBefore + 1);  // the module itself only
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 0u);
}

struct FactoryTest : ModuleTest {
    void SetUp() override {
        ModuleTest::SetUp();
        Load();
    }
};

TEST_F(FactoryTest, ClassObjectArgumentsAreChecked) {
    EXPECT_EQ(getClassObject(CLSID_OEMRENDER, IID_IClassFactory, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(getClassObject(CLSID_OEMUI, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(getClassObject(CLSID_OEMRENDER, IID_IPrintOemPS2, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(FactoryTest, FactoryComesWithOneReferenceForEitherInterface) {
    for (const IID& iid : {IID_IClassFactory, IID_IUnknown}) {
        void* out = nullptr;
        ASSERT_EQ(getClassObject(CLSID_OEMRENDER, iid, &out), S_OK);
        auto* factory = static_cast<IClassFactory*>(out);
        EXPECT_EQ(factory->AddRef(), 2u);
        EXPECT_EQ(factory->Release(), 1u);
        void* again = nullptr;
        EXPECT_EQ(factory->QueryInterface(IID_IPrintOemPS2, &again), E_NOINTERFACE);
        EXPECT_EQ(again, nullptr);
        EXPECT_EQ(factory->Release(), 0u);
    }
}

TEST_F(FactoryTest, CreateInstanceResults) {
    IClassFactory* factory = Factory();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemPS2, nullptr), E_POINTER);

    RecordingPublisher outer;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IPrintOemPS2, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);

    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemPS, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);  // the refused object is gone

    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemPS2, &out), S_OK);
    auto* plugin = static_cast<IPrintOemPS2*>(out);
    EXPECT_EQ(plugin->AddRef(), 2u);
    EXPECT_EQ(plugin->Release(), 1u);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(FactoryTest, ServerLocksKeepTheModule) {
    IClassFactory* factory = Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory->Release();
}

}  // namespace
