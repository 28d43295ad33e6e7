// The driver's side of a job through the loaded module: a plug-in object that has
// been handed the simulated core helper and driver services, a printer, a fixed
// clock, and the private part as the driver obtains it from the plug-in.
#pragma once

#include "module_fixture.h"

#include "fake_core_helper.h"

#include <string>
#include <vector>

struct DriverSessionTest : ModuleTest {
    IPrintOemPS2* plugin = nullptr;
    HANDLE printer = nullptr;
    FakeCoreHelper coreHelper;
    FakeOemDriver driverServices;
    bool traceSwitchedOn = false;  // the module is loaded with QM22T_TRACE=1

    void SetUp() override {
        ModuleTest::SetUp();
        if (traceSwitchedOn) sim::SetEnvironmentVariable(u"QM22T_TRACE", u"1");
        SYSTEMTIME now{};
        now.wYear = 2026;
        now.wMonth = 12;
        now.wDay = 7;
        now.wDayOfWeek = 1;
        now.wHour = 20;
        sim::SetLocalTime(now);
        Load();
        plugin = CreatePlugin();
        printer = sim::AddPrinter(u"Job Printer");
        FakePublisher publisher(&coreHelper, &driverServices);
        plugin->PublishDriverInterface(&publisher);
        plugin->PublishDriverInterface(&publisher);
    }
    void TearDown() override {
        if (plugin != nullptr) {
            plugin->DisableDriver();
            EXPECT_EQ(plugin->Release(), 0u);
        }
        EXPECT_EQ(coreHelper.RefCount(), 1u);
        EXPECT_EQ(driverServices.RefCount(), 1u);
        ModuleTest::TearDown();
    }

    // The private part as the driver gets it: the size, then the defaults.
    std::vector<BYTE> DefaultPrivatePart(DEVMODEW* publicIn) {
        OEMDMPARAM param{};
        param.cbSize = sizeof param;
        param.hPrinter = printer;
        param.hModule = module;
        EXPECT_EQ(plugin->DevMode(OEMDM_SIZE, &param), S_OK);
        EXPECT_EQ(param.cbBufSize, 12016u);
        std::vector<BYTE> part(param.cbBufSize, 0xCC);
        param.pPublicDMIn = publicIn;
        param.pOEMDMOut = part.data();
        EXPECT_EQ(plugin->DevMode(OEMDM_DEFAULT, &param), S_OK);
        return part;
    }

    // One document as the driver runs it, on a fresh thread (the hooks keep
    // their document per thread): a device context over publicDm and part,
    // StartDoc with documentName, the begin-stream command (the job header),
    // the driver's writes of job cut at `cuts` (ascending offsets, the first 0
    // and the last job.size(); equal neighbours make an empty write), EndDoc.
    // Each write must be taken whole. Returns the header; everything that
    // reached the spooler is sim::WrittenBytes(printer).
    std::string RunDocument(DEVMODEW& publicDm, std::vector<BYTE>& part, std::u16string documentName,
                            const std::string& job, const std::vector<size_t>& cuts) {
        DEVOBJ device{};
        device.dwSize = sizeof device;
        device.hPrinter = printer;
        device.hOEM = module;  // the feature-block templates are found through it
        device.pPublicDM = &publicDm;
        device.pOEMDM = part.data();
        DRVFN driverFunctions[] = {{INDEX_DrvStartDoc, AsPfn(&FakeDrvStartDoc)},
                                   {INDEX_DrvEndDoc, AsPfn(&FakeDrvEndDoc)}};
        DRVENABLEDATA driver{DDI_DRIVER_VERSION_NT5, 2, driverFunctions};
        PDEVOEM block = nullptr;
        EXPECT_EQ(plugin->EnablePDEV(&device, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &driver, &block), S_OK);
        if (block == nullptr) return std::string();
        device.pdevOEM = block;

        std::string header;
        OnFreshThread([&] {
            DRVENABLEDATA hooks{};
            plugin->EnableDriver(DDI_DRIVER_VERSION_NT5, sizeof hooks, &hooks);
            PFN startDoc = nullptr;
            PFN endDoc = nullptr;
            for (ULONG i = 0; i < hooks.c; ++i) {
                if (hooks.pdrvfn[i].iFunc == INDEX_DrvStartDoc) startDoc = hooks.pdrvfn[i].pfn;
                if (hooks.pdrvfn[i].iFunc == INDEX_DrvEndDoc) endDoc = hooks.pdrvfn[i].pfn;
            }
            ASSERT_NE(startDoc, nullptr);
            ASSERT_NE(endDoc, nullptr);
            SURFOBJ surface{};
            surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
            ASSERT_TRUE(FromPfn<BOOL APIENTRY(SURFOBJ*, LPWSTR, DWORD)>(startDoc)(&surface, documentName.data(), 4));

            DWORD result = 0;
            EXPECT_EQ(plugin->Command(&device, PSINJECT_BEGINSTREAM, nullptr, 0, &result), E_NOTIMPL);
            header = sim::WrittenBytes(printer);

            for (size_t i = 0; i + 1 < cuts.size(); ++i) {
                DWORD taken = 0xDEAD;
                const DWORD count = static_cast<DWORD>(cuts[i + 1] - cuts[i]);
                EXPECT_EQ(plugin->WritePrinter(&device, const_cast<char*>(job.data()) + cuts[i], count, &taken), S_OK)
                    << "call " << i;
                EXPECT_EQ(taken, count) << "call " << i;
            }
            FromPfn<BOOL APIENTRY(SURFOBJ*, FLONG)>(endDoc)(&surface, 0);
        });
        plugin->DisablePDEV(&device);
        return header;
    }
};
