// The driver's side of a job through the loaded module: a plug-in object that has
// been handed the simulated core helper and driver services, a printer, a fixed
// clock, and the private part as the driver obtains it from the plug-in.
#pragma once

#include "module_fixture.h"

#include "fake_core_helper.h"

#include <vector>

struct DriverSessionTest : ModuleTest {
    IPrintOemPS2* plugin = nullptr;
    HANDLE printer = nullptr;
    FakeCoreHelper coreHelper;
    FakeOemDriver driverServices;

    void SetUp() override {
        ModuleTest::SetUp();
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
};
