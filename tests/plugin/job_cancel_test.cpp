#include "common/spooler_write.h"
#include "plugin/job_cancel.h"

#include "common/module_context.h"
#include "plugin/plugin_pdev.h"

#include "frame_fakes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::u16string kFolder = u"/opt/printers/frame/";

struct JobCancelTest : ::testing::Test {
    HMODULE plugin = nullptr;
    ModuleContext modules;
    HANDLE printer = nullptr;
    PluginPdev block;

    void SetUp() override {
        sim::Reset();
        plugin = sim::RegisterModule(kFolder + u"QM22TRD.dll");
        sim::RegisterModule(kFolder + u"QM22TIE.dll");
        modules.module = plugin;
        printer = sim::AddPrinter(u"Frame Printer");
    }
    void TearDown() override {
        // Whatever happened, the notice leaves nothing open behind it.
        EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 0u);
        EXPECT_EQ(sim::OpenServerHandles(), 0);
        EXPECT_EQ(sim::UnfreedSessionLists(), 0);
    }
    static void ExpectOneNotice(DWORD sessionId) {
        const std::vector<sim::Message> messages = sim::Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].sessionId, sessionId);
        EXPECT_EQ(messages[0].title, u"Error");
        EXPECT_EQ(messages[0].titleLength, 10u);
        EXPECT_EQ(messages[0].text, u"The job was canceled.\n\tErrorNo = 0xA1");
        EXPECT_EQ(messages[0].textLength, 74u);
        EXPECT_EQ(messages[0].style, 0u);
        EXPECT_EQ(messages[0].timeout, 0u);
        EXPECT_EQ(messages[0].wait, TRUE);
    }
};

TEST_F(JobCancelTest, CompleteDeviceObjectLetsTheJobGoOn) {
    TestDevice device(printer);
    device.devobj.pdevOEM = &block;
    EXPECT_EQ(CheckJobOrCancel(modules, &device.devobj, 7), S_OK);
    EXPECT_TRUE(sim::JobCommands().empty());
    EXPECT_TRUE(sim::Messages().empty());
}

TEST_F(JobCancelTest, MissingPrivatePartCancelsTheJobAndTellsTheFirstActiveSession) {
    TestDevice device(printer);
    device.devobj.pdevOEM = &block;
    device.devobj.pOEMDM = nullptr;
    sim::SetSessions({{0, WTSDisconnected, u"Services"}, {4, WTSActive, u"RDP-Tcp#1"}, {6, WTSActive, u"Console"}});
    EXPECT_EQ(CheckJobOrCancel(modules, &device.devobj, 9), E_FAIL);
    const std::vector<sim::JobCommand> jobs = sim::JobCommands();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].printer, printer);
    EXPECT_EQ(jobs[0].jobId, 9u);
    EXPECT_EQ(jobs[0].level, 0u);
    EXPECT_FALSE(jobs[0].jobInfoGiven);
    EXPECT_EQ(jobs[0].command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
    ExpectOneNotice(4);
}

TEST_F(JobCancelTest, MissingBlockCancelsEvenWhenTheSpoolerRefuses) {
    TestDevice device(printer);
    sim::FailCalls(sim::Api::SetJobW, ERROR_ACCESS_DENIED);
    EXPECT_EQ(CheckJobOrCancel(modules, &device.devobj, 3), E_FAIL);
    EXPECT_EQ(sim::JobCommands().size(), 1u);
    ExpectOneNotice(1);
    EXPECT_EQ(CheckJobOrCancel(modules, nullptr, 3), E_FAIL);
    EXPECT_EQ(sim::JobCommands().size(), 1u);
}

TEST_F(JobCancelTest, NoticeResults) {
    sim::SetMessageResponse(IDCANCEL);
    EXPECT_EQ(NotifyActiveSession(plugin, 161), static_cast<DWORD>(IDCANCEL));
    ExpectOneNotice(1);

    sim::SetSessions({{0, WTSDisconnected, u"Services"}, {2, WTSConnected, u"Console"}});
    EXPECT_EQ(NotifyActiveSession(plugin, 161), 1u);  // nothing sent
    sim::SetSessions({});
    EXPECT_EQ(NotifyActiveSession(plugin, 161), 1u);  // nothing sent
    EXPECT_EQ(sim::Messages().size(), 1u);
}

TEST_F(JobCancelTest, NoticeTextCarriesTheNumberInUpperCaseHex) {
    NotifyActiveSession(plugin, 0xBEEF);
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].text, u"The job was canceled.\n\tErrorNo = 0xBEEF");
}

TEST_F(JobCancelTest, SessionFailuresAreSilent) {
    sim::FailCalls(sim::Api::WTSOpenServerW, ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(NotifyActiveSession(plugin, 161), 1u);  // nothing sent
    sim::FailCalls(sim::Api::WTSEnumerateSessionsW, ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(NotifyActiveSession(plugin, 161), 1u);  // nothing sent
    sim::FailCalls(sim::Api::WTSSendMessageW, ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(NotifyActiveSession(plugin, 161), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::Messages().empty());
    EXPECT_EQ(sim::CallCount(sim::Api::WTSSendMessageW), 1u);  // no second session tried
}

TEST_F(JobCancelTest, NoLoadableSiblingMeansNoNotice) {
    sim::FailLoadLibrary(u"QM22TIE.dll");
    TestDevice device(printer);
    EXPECT_EQ(CheckJobOrCancel(modules, &device.devobj, 5), E_FAIL);
    EXPECT_EQ(sim::JobCommands().size(), 1u);         // still cancelled
    EXPECT_EQ(NotifyActiveSession(plugin, 161), 2u);  // no sibling
    EXPECT_TRUE(sim::Messages().empty());
    EXPECT_EQ(sim::CallCount(sim::Api::WTSOpenServerW), 0u);
}

TEST_F(JobCancelTest, FolderThatDoesNotFitIsNeverSearchedByBareName) {
    // 508 characters of folder leave room for the sibling's name in 519; with
    // 512 the folder itself no longer fits its 511 characters.
    const std::u16string fits = u"/" + std::u16string(506, u'f') + u"/";
    sim::RegisterModule(fits + u"QM22TIE.dll");
    sim::OverrideModulePath(plugin, fits + u"QM22TRD.dll");
    EXPECT_EQ(NotifyActiveSession(plugin, 161), static_cast<DWORD>(IDOK));

    const unsigned loadsBefore = sim::CallCount(sim::Api::LoadLibraryW);
    sim::OverrideModulePath(plugin, u"/" + std::u16string(510, u'g') + u"/x");
    EXPECT_EQ(NotifyActiveSession(plugin, 161), 2u);  // no sibling
    EXPECT_EQ(sim::CallCount(sim::Api::LoadLibraryW), loadsBefore);
    EXPECT_EQ(sim::Messages().size(), 1u);
}

struct SpoolerWriteTest : JobCancelTest {
    TestDevice device{nullptr};
    char bytes[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    DWORD written = 0xDEADBEEF;

    void SetUp() override {
        JobCancelTest::SetUp();
        device.devobj.hPrinter = printer;
        device.devobj.pdevOEM = &block;
    }
};

TEST_F(SpoolerWriteTest, WithoutDeviceObjectOrItsStateNothingIsWritten) {
    EXPECT_EQ(WriteToSpooler(nullptr, bytes, 8, &written), S_OK);
    EXPECT_EQ(written, 0xDEADBEEFu);
    device.devobj.pdevOEM = nullptr;
    EXPECT_EQ(WriteToSpooler(&device.devobj, bytes, 8, &written), E_NOTIMPL);
    device.devobj.pdevOEM = &block;
    device.devobj.pOEMDM = nullptr;
    EXPECT_EQ(WriteToSpooler(&device.devobj, bytes, 8, &written), E_NOTIMPL);
    EXPECT_EQ(sim::CallCount(sim::Api::WritePrinter), 0u);
}

TEST_F(SpoolerWriteTest, PartialTakeIsReportedAsSuccess) {
    sim::SetWriteLimit(3);
    EXPECT_EQ(WriteToSpooler(&device.devobj, bytes, 8, &written), S_OK);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(sim::WrittenBytes(printer), "ABC");
}

TEST_F(SpoolerWriteTest, SpoolerFailureKeepsItsReason) {
    sim::FailCalls(sim::Api::WritePrinter, ERROR_PRINT_CANCELLED);
    EXPECT_EQ(WriteToSpooler(&device.devobj, bytes, 8, &written), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_EQ(written, 0xDEADBEEFu);
}

TEST_F(SpoolerWriteTest, SuccessWithNothingTakenIsAFailureSoNoCallerSpins) {
    sim::SetWriteLimit(0);
    EXPECT_EQ(WriteToSpooler(&device.devobj, bytes, 8, &written), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_EQ(written, 0u);
    // Nothing offered, nothing taken: that is no fault.
    EXPECT_EQ(WriteToSpooler(&device.devobj, bytes, 0, &written), S_OK);
    EXPECT_EQ(written, 0u);

    // A caller that keeps writing until everything is gone stops at once.
    DWORD left = 8;
    int rounds = 0;
    while (left > 0 && rounds < 100) {
        ++rounds;
        DWORD taken = 0;
        if (FAILED(WriteToSpooler(&device.devobj, bytes, left, &taken))) break;
        left -= taken;
    }
    EXPECT_EQ(rounds, 1);
}

}  // namespace
