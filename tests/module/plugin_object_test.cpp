#include "module_fixture.h"

// Only the layout of the per-device block, to look at what the module keeps.
#include "plugin/plugin_pdev.h"

#include <cstring>
#include <vector>

namespace {

int secondSendPageCalls = 0;
BOOL APIENTRY SecondDrvSendPage(SURFOBJ*) {
    ++secondSendPageCalls;
    return TRUE;
}

struct PluginTest : ModuleTest {
    IPrintOemPS2* plugin = nullptr;
    HANDLE printer = nullptr;
    DRVENABLEDATA hooks{};
    std::vector<DRVFN> driverTable = {{INDEX_DrvStartDoc, FunctionAs<PFN>(&FakeDrvStartDoc)},
                                      {INDEX_DrvEndDoc, FunctionAs<PFN>(&FakeDrvEndDoc)},
                                      {INDEX_DrvSendPage, FunctionAs<PFN>(&FakeDrvSendPage)}};

    void SetUp() override {
        ModuleTest::SetUp();
        sim::RegisterModule(ModuleFolder() + u"QM22TIE.dll");
        Load();
        plugin = CreatePlugin();
        printer = sim::AddPrinter(u"Frame Printer");
        ASSERT_EQ(plugin->EnableDriver(DDI_DRIVER_VERSION_NT5, sizeof(hooks), &hooks), S_OK);
    }
    void TearDown() override {
        if (plugin != nullptr) {
            EXPECT_EQ(plugin->Release(), 0u);
        }
        ModuleTest::TearDown();
    }
    // EnablePDEV as the driver calls it; the block lands in the device object.
    void Enable(TestDevice& device) {
        device.devobj.hPrinter = printer;
        DRVENABLEDATA driver{DDI_DRIVER_VERSION_NT5, static_cast<ULONG>(driverTable.size()), driverTable.data()};
        PDEVOEM block = nullptr;
        ASSERT_EQ(plugin->EnablePDEV(&device.devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &driver, &block),
                  S_OK);
        ASSERT_NE(block, nullptr);
        device.devobj.pdevOEM = block;
    }
    static PluginPdev& Block(TestDevice& device) { return *static_cast<PluginPdev*>(device.devobj.pdevOEM); }
    PFN Hook(ULONG index) const {
        for (ULONG i = 0; i < hooks.c; ++i) {
            if (hooks.pdrvfn[i].iFunc == index) return hooks.pdrvfn[i].pfn;
        }
        return nullptr;
    }
    BOOL StartDoc(TestDevice& device, const std::u16string& name, DWORD jobId) {
        std::u16string copy = name;
        return FunctionAs<BOOL APIENTRY(SURFOBJ*, LPWSTR, DWORD)>(Hook(INDEX_DrvStartDoc))(&device.surface, copy.data(),
                                                                                           jobId);
    }
    BOOL EndDoc(TestDevice& device) {
        return FunctionAs<BOOL APIENTRY(SURFOBJ*, FLONG)>(Hook(INDEX_DrvEndDoc))(&device.surface, 0);
    }
    BOOL SendPage(SURFOBJ* surface) { return FunctionAs<BOOL APIENTRY(SURFOBJ*)>(Hook(INDEX_DrvSendPage))(surface); }
};

TEST_F(PluginTest, OffersOnlyTheNewestInterface) {
    void* out = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IUnknown*>(plugin)));
    EXPECT_EQ(plugin->Release(), 1u);
    for (const IID& iid : {IID_IPrintOemPS, IID_IClassFactory, IID_IPrintCoreHelperPS}) {
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(plugin->QueryInterface(iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(PluginTest, GetInfoAnswers) {
    struct Row {
        DWORD mode;
        DWORD cbSize;
        bool buffer;
        HRESULT result;
        DWORD needed;
        DWORD lastError;
        std::vector<BYTE> bytes;  // the 8-byte buffer afterwards
    };
    const DWORD kKept = 0x1234;
    const std::vector<BYTE> untouched(8, 0xCC);
    const std::vector<Row> rows = {
        {OEMGI_GETSIGNATURE, 4, true, S_OK, 4, kKept, {0x54, 0x46, 0x53, 0x4D, 0xCC, 0xCC, 0xCC, 0xCC}},
        {OEMGI_GETVERSION, 8, true, S_OK, 4, kKept, {1, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC}},
        {OEMGI_GETREQUESTEDHELPERINTERFACES, 4, true, S_OK, 4, kKept, {1, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC}},
        {OEMGI_GETSIGNATURE, 3, true, E_FAIL, 4, ERROR_INSUFFICIENT_BUFFER, untouched},
        {OEMGI_GETVERSION, 4, false, E_FAIL, 4, ERROR_INSUFFICIENT_BUFFER, untouched},
        {OEMGI_GETPUBLISHERINFO, 8, true, E_FAIL, 8, kKept, untouched},
        {OEMGI_GETPUBLISHERINFO, 0, false, E_FAIL, 8, kKept, untouched},
        {OEMGI_GETINTERFACEVERSION, 8, true, E_FAIL, 0xAAAA, ERROR_INVALID_PARAMETER, untouched},
        {0, 8, true, E_FAIL, 0xAAAA, ERROR_INVALID_PARAMETER, untouched},
        {6, 8, true, E_FAIL, 0xAAAA, ERROR_INVALID_PARAMETER, untouched},
    };
    for (const Row& row : rows) {
        std::vector<BYTE> buffer(8, 0xCC);
        DWORD needed = 0xAAAA;
        SetLastError(kKept);
        EXPECT_EQ(plugin->GetInfo(row.mode, row.buffer ? buffer.data() : nullptr, row.cbSize, &needed), row.result)
            << row.mode;
        EXPECT_EQ(needed, row.needed) << row.mode;
        EXPECT_EQ(GetLastError(), row.lastError) << row.mode;
        EXPECT_EQ(buffer, row.bytes) << row.mode;
    }
    SetLastError(kKept);
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, nullptr, 4, nullptr), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PluginTest, PublishingTakesTheCoreHelperFirstThenTheDriverServices) {
    RecordingPublisher driver;
    EXPECT_EQ(plugin->PublishDriverInterface(&driver), S_OK);
    EXPECT_EQ(driver.queried, std::vector<IID>{IID_IPrintCoreHelperPS});
    EXPECT_EQ(driver.helper.refs, 2);
    EXPECT_EQ(driver.services.refs, 1);

    EXPECT_EQ(plugin->PublishDriverInterface(&driver), S_OK);
    EXPECT_EQ(driver.queried, (std::vector<IID>{IID_IPrintCoreHelperPS, IID_IPrintOemDriverPS}));
    EXPECT_EQ(driver.services.refs, 2);

    EXPECT_EQ(plugin->PublishDriverInterface(&driver), S_OK);  // nothing more to take
    EXPECT_EQ(driver.queried.size(), 2u);

    EXPECT_EQ(plugin->DisableDriver(), S_OK);
    EXPECT_EQ(driver.services.refs, 1);
    EXPECT_EQ(driver.helper.refs, 2);  // kept until the object goes
    EXPECT_EQ(plugin->Release(), 0u);
    plugin = nullptr;
    EXPECT_EQ(driver.helper.refs, 1);
    EXPECT_EQ(driver.services.refs, 1);
}

TEST_F(PluginTest, PublishingFailsOnlyWhenNothingCanBeHad) {
    RecordingPublisher neither;
    neither.offersHelper = false;
    neither.offersServices = false;
    EXPECT_EQ(plugin->PublishDriverInterface(&neither), E_FAIL);
    EXPECT_EQ(neither.queried, (std::vector<IID>{IID_IPrintCoreHelperPS, IID_IPrintOemDriverPS}));
    EXPECT_EQ(plugin->PublishDriverInterface(nullptr), E_POINTER);

    RecordingPublisher servicesOnly;
    servicesOnly.offersHelper = false;
    EXPECT_EQ(plugin->PublishDriverInterface(&servicesOnly), S_OK);
    EXPECT_EQ(servicesOnly.services.refs, 2);
    EXPECT_EQ(plugin->Release(), 0u);
    plugin = nullptr;
    EXPECT_EQ(servicesOnly.services.refs, 1);
}

TEST_F(PluginTest, EnableDriverHandsOutTheThreeHooks) {
    EXPECT_EQ(hooks.iDriverVersion, static_cast<ULONG>(DDI_DRIVER_VERSION_NT5));
    ASSERT_EQ(hooks.c, 3u);
    EXPECT_EQ(hooks.pdrvfn[0].iFunc, 32u);
    EXPECT_EQ(hooks.pdrvfn[1].iFunc, 35u);
    EXPECT_EQ(hooks.pdrvfn[2].iFunc, 34u);
    for (ULONG i = 0; i < 3; ++i) EXPECT_NE(hooks.pdrvfn[i].pfn, nullptr);
    EXPECT_EQ(plugin->EnableDriver(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(plugin->GetPDEVAdjustment(nullptr, 0, nullptr, 0, nullptr), E_NOTIMPL);
}

TEST_F(PluginTest, EnablePdevTakesTheFirstMatchAndToleratesAMissingEntry) {
    driverTable = {{INDEX_DrvStartDoc, FunctionAs<PFN>(&FakeDrvStartDoc)},
                   {INDEX_DrvBitBlt, FunctionAs<PFN>(&SecondDrvSendPage)}};
    TestDevice device;
    Enable(device);
    EXPECT_EQ(Block(device).driverSendPage, nullptr);
    EXPECT_EQ(Block(device).driverEndDoc, nullptr);
    EXPECT_EQ(Block(device).driverStartDoc, &FakeDrvStartDoc);
    EXPECT_EQ(Block(device).pageCount, 0);
    EXPECT_EQ(SendPage(&device.surface), FALSE);
    EXPECT_EQ(plugin->DisablePDEV(&device.devobj), S_OK);
    EXPECT_EQ(device.devobj.pdevOEM, nullptr);

    driverTable = {{INDEX_DrvSendPage, FunctionAs<PFN>(&SecondDrvSendPage)},
                   {INDEX_DrvSendPage, FunctionAs<PFN>(&FakeDrvSendPage)}};
    Enable(device);
    EXPECT_EQ(Block(device).driverSendPage, &SecondDrvSendPage);
    plugin->DisablePDEV(&device.devobj);

    PDEVOEM block = nullptr;
    EXPECT_EQ(plugin->EnablePDEV(&device.devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, &block), S_OK);
    EXPECT_EQ(static_cast<PluginPdev*>(block)->driverStartDoc, nullptr);
    device.devobj.pdevOEM = block;
    plugin->DisablePDEV(&device.devobj);
    EXPECT_EQ(plugin->EnablePDEV(&device.devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr),
              E_FAIL);
    EXPECT_EQ(plugin->DisablePDEV(nullptr), S_OK);
    EXPECT_EQ(plugin->DisablePDEV(&device.devobj), S_OK);
}

struct ResetCase {
    int pages;
    short copies;
    short duplex;
    BYTE copyCount;
};

class ResetPdevTest : public PluginTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(ResetPdevTest, CarriesStateAndJobSettingsByPagesSent) {
    TestDevice before;
    TestDevice after;
    Enable(before);
    Enable(after);
    before.publicDm.dmCopies = 3;
    before.publicDm.dmDuplex = 2;
    before.Settings()[1224] = 5;
    after.publicDm.dmCopies = 1;
    after.publicDm.dmDuplex = 1;
    after.Settings()[1224] = 1;
    for (int i = 0; i < GetParam().pages; ++i) SendPage(&before.surface);
    std::memcpy(Block(before).documentName, u"Report", 14);
    // The start of a page's comments waits in the filter for what follows.
    BYTE held[] = {'%', '%', 'P', 'a'};
    DWORD written = 0;
    ASSERT_EQ(plugin->WritePrinter(&before.devobj, held, 4, &written), S_OK);
    const BYTE* pending = Block(before).filter.pending.Bytes();
    ASSERT_NE(pending, nullptr);

    EXPECT_EQ(plugin->ResetPDEV(&before.devobj, &after.devobj), S_OK);
    EXPECT_EQ(std::u16string(Block(after).documentName), u"Report");
    EXPECT_EQ(Block(after).filter.pending.Bytes(), pending);
    EXPECT_EQ(Block(after).filter.pending.View(), "%%Pa");
    EXPECT_FALSE(Block(before).filter.pending.HasBlock());  // freeing the old block leaves it intact
    EXPECT_EQ(after.publicDm.dmCopies, GetParam().copies);
    EXPECT_EQ(after.publicDm.dmDuplex, GetParam().duplex);
    EXPECT_EQ(after.Settings()[1224], GetParam().copyCount);
    EXPECT_EQ(Block(after).pageCount, GetParam().pages);
    EXPECT_EQ(Block(after).driverSendPage, &FakeDrvSendPage);

    // The taken-over count goes on: one more page makes the next change carry all.
    SendPage(&after.surface);
    SendPage(&after.surface);
    TestDevice third;
    Enable(third);
    EXPECT_EQ(plugin->ResetPDEV(&after.devobj, &third.devobj), S_OK);
    EXPECT_EQ(third.publicDm.dmCopies, GetParam().copies);

    EXPECT_EQ(plugin->ResetPDEV(nullptr, &third.devobj), S_OK);
    EXPECT_EQ(plugin->ResetPDEV(&third.devobj, nullptr), S_OK);
    for (TestDevice* device : {&before, &after, &third}) plugin->DisablePDEV(&device->devobj);
}

INSTANTIATE_TEST_SUITE_P(Pages, ResetPdevTest,
                         ::testing::Values(ResetCase{0, 1, 1, 1}, ResetCase{1, 1, 2, 1}, ResetCase{2, 3, 2, 5}));

TEST_F(PluginTest, CommandWritesTheHeaderOnlyAtStreamStartAndKeepsTheSettings) {
    TestDevice device;
    Enable(device);
    device.Settings()[959] = 0;
    device.PutText(960, u"1999-01-01");
    const std::vector<BYTE> settings = device.privatePart;

    DWORD result = 0;
    // Every injection point the driver knows but the begin of the stream, and
    // values around and far from them.
    std::vector<DWORD> indexes = {0, 0xFFFFFFFFu, 0xDDDDDDDDu};
    for (DWORD index = 2; index <= 21; ++index) indexes.push_back(index);
    for (DWORD index = 100; index <= 107; ++index) indexes.push_back(index);
    indexes.push_back(200);
    indexes.push_back(201);
    for (DWORD index : indexes) {
        result = 0;
        EXPECT_EQ(plugin->Command(&device.devobj, index, nullptr, 0, &result), E_NOTIMPL);
        EXPECT_EQ(result, 50u);
    }
    EXPECT_TRUE(sim::WriteCalls(printer).empty());

    EXPECT_EQ(plugin->Command(&device.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &result), E_NOTIMPL);
    EXPECT_EQ(result, 50u);
    const std::string header = sim::WrittenBytes(printer);
    EXPECT_EQ(header.rfind("\x1B%-12345X@PJL\r\n", 0), 0u);
    EXPECT_GE(header.size(), 32u);
    EXPECT_EQ(header.substr(header.size() - 32), "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n");
    EXPECT_EQ(device.privatePart, settings);
    plugin->DisablePDEV(&device.devobj);
}

TEST_F(PluginTest, CommandAndWritePrinterRefuseSettingsWithoutIdentification) {
    TestDevice device;
    Enable(device);
    device.PutText(0, u"VTA/NX");
    DWORD result = 0;
    EXPECT_EQ(plugin->Command(&device.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &result), E_FAIL);
    EXPECT_EQ(result, 160u);
    char bytes[4] = {'%', '!', 'P', 'S'};
    DWORD written = 7;
    EXPECT_EQ(plugin->WritePrinter(&device.devobj, bytes, 4, &written), E_FAIL);
    EXPECT_EQ(written, 0u);

    device.devobj.pOEMDM = nullptr;  // no private part at all: refused alike
    EXPECT_EQ(plugin->Command(&device.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &result), E_FAIL);
    EXPECT_EQ(result, 160u);
    written = 7;
    EXPECT_EQ(plugin->WritePrinter(&device.devobj, bytes, 4, &written), E_FAIL);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(sim::WriteCalls(printer).empty());
    plugin->DisablePDEV(&device.devobj);

    // The driver's probe and a device object without block go to the spooler write.
    written = 7;
    EXPECT_EQ(plugin->WritePrinter(nullptr, nullptr, 0, &written), S_OK);
    EXPECT_EQ(written, 7u);
    EXPECT_EQ(plugin->WritePrinter(&device.devobj, bytes, 4, &written), E_NOTIMPL);
}

TEST_F(PluginTest, DocumentHooksThroughTheModule) {
    OnFreshThread([&] {
        TestDevice device;
        Enable(device);
        EXPECT_EQ(StartDoc(device, u"A", 7), TRUE);
        EXPECT_EQ(StartDoc(device, u"B", 9), TRUE);
        EXPECT_EQ(std::u16string(Block(device).documentName), u"A");
        EXPECT_EQ(driverRecord.startDocName, u"B");
        EXPECT_EQ(driverRecord.startDocJob, 9u);
        EXPECT_EQ(EndDoc(device), TRUE);
        EXPECT_EQ(EndDoc(device), TRUE);  // one more: the next two StartDocs are first ones
        EXPECT_EQ(StartDoc(device, u"C", 1), TRUE);
        EXPECT_EQ(StartDoc(device, std::u16string(519, u'D'), 2), TRUE);
        EXPECT_EQ(std::u16string(Block(device).documentName), std::u16string(519, u'D'));
        EXPECT_EQ(EndDoc(device), TRUE);
        // A longer name is cut to the first 519 characters; the job goes on.
        EXPECT_EQ(StartDoc(device, std::u16string(520, u'E'), 3), TRUE);
        EXPECT_EQ(std::u16string(Block(device).documentName), std::u16string(519, u'E'));
        EXPECT_EQ(driverRecord.startDocName, std::u16string(520, u'E'));
        EXPECT_EQ(driverRecord.startDocCalls, 5);
        EXPECT_EQ(EndDoc(device), TRUE);

        for (int i = 0; i < 3; ++i) EXPECT_EQ(SendPage(&device.surface), TRUE);
        EXPECT_EQ(SendPage(nullptr), FALSE);
        EXPECT_EQ(Block(device).pageCount, 3);
        plugin->DisablePDEV(&device.devobj);
    });
}

TEST_F(PluginTest, JobWithoutPrivatePartIsCancelledWithOneNotice) {
    sim::SetSessions({{0, WTSDisconnected, u"Services"}, {2, WTSActive, u"Console"}, {3, WTSActive, u"RDP"}});
    OnFreshThread([&] {
        TestDevice device;
        Enable(device);
        device.devobj.pOEMDM = nullptr;
        EXPECT_EQ(StartDoc(device, u"A", 7), FALSE);
        EXPECT_EQ(driverRecord.startDocCalls, 0);
        EndDoc(device);
        plugin->DisablePDEV(&device.devobj);
    });
    ASSERT_EQ(sim::JobCommands().size(), 1u);
    EXPECT_EQ(sim::JobCommands()[0].jobId, 7u);
    EXPECT_EQ(sim::JobCommands()[0].command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].sessionId, 2u);
    EXPECT_EQ(sim::Messages()[0].title, kNoticeCaption);
    EXPECT_EQ(sim::Messages()[0].text, kNoticeText);
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 1u);  // only the entry routine's reference is left

    sim::FailLoadLibrary(u"QM22TIE.dll");
    OnFreshThread([&] {
        TestDevice device;
        Enable(device);
        device.devobj.pOEMDM = nullptr;
        EXPECT_EQ(StartDoc(device, u"A", 8), FALSE);
        EndDoc(device);
        plugin->DisablePDEV(&device.devobj);
    });
    EXPECT_EQ(sim::JobCommands().size(), 2u);
    EXPECT_EQ(sim::Messages().size(), 1u);
}

}  // namespace
