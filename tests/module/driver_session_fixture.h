// The driver's side of a job through the loaded module: a plug-in object that has
// been handed the harness's core helper and driver services, a printer, a fixed
// clock, and the private part as the driver obtains it from the plug-in.
#pragma once

#include "module_fixture.h"

#include "harness/driver_session.h"
#include "fixed_clock.h"

#include <string>
#include <vector>

struct DriverSessionTest : ModuleTest {
    IPrintOemPS2* plugin = nullptr;
    HANDLE printer = nullptr;
    harness::CoreHelper coreHelper;
    harness::DriverServices driverServices;
    harness::PluginHooks hooks;
    bool traceSwitchedOn = false;  // the module is loaded with QM22T_TRACE=1

    void SetUp() override {
        ModuleTest::SetUp();
        if (traceSwitchedOn) sim::SetEnvironmentVariable(u"QM22T_TRACE", u"1");
        SetFixedLocalTime(2026, 12, 7, 1, 20);
        Load();
        plugin = CreatePlugin();
        printer = sim::AddPrinter(u"Job Printer");
        EXPECT_EQ(harness::PublishDriverInterfaces(plugin, &coreHelper, &driverServices), S_OK);
        DRVENABLEDATA table{};
        EXPECT_EQ(plugin->EnableDriver(DDI_DRIVER_VERSION_NT5, sizeof table, &table), S_OK);
        hooks = harness::PluginHooks::From(table);
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

    harness::DeviceSettingsRequests Requests() const { return {plugin, printer, module}; }

    // The private part as the driver gets it: the size, then the defaults.
    std::vector<BYTE> DefaultPrivatePart(DEVMODEW* publicIn) {
        DWORD size = 0;
        EXPECT_EQ(Requests().Size(&size), S_OK);
        EXPECT_EQ(size, 12016u);
        std::vector<BYTE> part(size, 0xCC);
        EXPECT_EQ(Requests().Defaults(publicIn, nullptr, part.data(), size), S_OK);
        return part;
    }

    // One document as the driver runs it, on a fresh thread (the hooks keep
    // their document per thread): a device context over publicDm and part,
    // StartDoc with documentName, the begin-stream command (the job header),
    // the driver's writes of job cut at `cuts` (ascending offsets, the first 0
    // and the last job.size(); equal neighbours make an empty write; none for
    // no writes), EndDoc. Each write must be taken whole. Returns the header;
    // everything that reached the spooler is sim::WrittenBytes(printer).
    std::string RunDocument(DEVMODEW& publicDm, std::vector<BYTE>& part, const std::u16string& documentName,
                            const std::string& job, const std::vector<size_t>& cuts) {
        harness::Job run(plugin, hooks, printer, module, &publicDm, part.data());
        EXPECT_EQ(run.Enable(nullptr), S_OK);
        if (run.Device().pdevOEM == nullptr) return std::string();

        std::string header;
        OnFreshThread([&] {
            ASSERT_TRUE(run.Start(documentName, 4));
            DWORD result = 0;
            EXPECT_EQ(run.BeginStream(&result), E_NOTIMPL);
            EXPECT_EQ(result, harness::kBeginStreamNotHandled);
            header = sim::WrittenBytes(printer);

            for (size_t i = 0; i + 1 < cuts.size(); ++i) {
                DWORD taken = 0xDEAD;
                const DWORD count = static_cast<DWORD>(cuts[i + 1] - cuts[i]);
                EXPECT_EQ(run.Write(job.data() + cuts[i], count, &taken), S_OK) << "call " << i;
                EXPECT_EQ(taken, count) << "call " << i;
            }
            EXPECT_TRUE(run.End(false));
        });
        return header;
    }
};
