#include "harness/driver_session.h"
#include "common/function_cast.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

BOOL APIENTRY OtherFunction(SURFOBJ*) { return FALSE; }

// Every order of the three hooks, with an index the driver does not hook in
// between: each is found by its index, never by its place.
TEST(PluginHooks, FoundByIndexInAnyOrder) {
    const PFN startDoc = FunctionAs<PFN>(&OtherFunction);
    const PFN endDoc = reinterpret_cast<PFN>(0x20);
    const PFN sendPage = reinterpret_cast<PFN>(0x30);
    std::vector<DRVFN> entries = {
        {INDEX_DrvStartDoc, startDoc}, {INDEX_DrvEndDoc, endDoc}, {INDEX_DrvSendPage, sendPage}};
    std::sort(entries.begin(), entries.end(), [](const DRVFN& a, const DRVFN& b) { return a.iFunc < b.iFunc; });
    do {
        for (size_t other = 0; other <= entries.size(); ++other) {
            std::vector<DRVFN> table = entries;
            table.insert(table.begin() + static_cast<std::ptrdiff_t>(other), DRVFN{INDEX_DrvBitBlt, nullptr});
            const harness::PluginHooks hooks =
                harness::PluginHooks::From(DRVENABLEDATA{0, static_cast<ULONG>(table.size()), table.data()});
            EXPECT_EQ(FunctionAs<PFN>(hooks.startDoc), startDoc);
            EXPECT_EQ(FunctionAs<PFN>(hooks.endDoc), endDoc);
            EXPECT_EQ(FunctionAs<PFN>(hooks.sendPage), sendPage);
            EXPECT_TRUE(hooks.Complete());
            // Cut short by its count: the hooks behind it are not there.
            const harness::PluginHooks first = harness::PluginHooks::From(DRVENABLEDATA{0, 1, table.data()});
            EXPECT_FALSE(first.Complete());
        }
    } while (std::next_permutation(entries.begin(), entries.end(),
                                   [](const DRVFN& a, const DRVFN& b) { return a.iFunc < b.iFunc; }));
    EXPECT_FALSE(harness::PluginHooks::From(DRVENABLEDATA{0, 3, nullptr}).Complete());
}

// The driver's functions answer as told and record into the surface they are
// handed, so two devices keep their own records.
TEST(DriverFunctions, RecordIntoTheSurfaceTheyAreHanded) {
    harness::DriverFunctions functions;
    const harness::PluginHooks driver = harness::PluginHooks::From(*functions.Table());
    ASSERT_TRUE(driver.Complete());
    harness::DriverSurface first, second;
    second.answer = FALSE;
    std::u16string name = u"Doc";
    EXPECT_EQ(driver.startDoc(&first.surface, name.data(), 7), TRUE);
    EXPECT_EQ(driver.sendPage(&second.surface), FALSE);
    EXPECT_EQ(driver.sendPage(&second.surface), FALSE);
    EXPECT_EQ(driver.endDoc(&first.surface, ED_ABORTDOC), TRUE);
    EXPECT_EQ(first.calls.startDoc, 1);
    EXPECT_EQ(first.calls.documentName, name.data());
    EXPECT_EQ(first.calls.jobId, 7u);
    EXPECT_EQ(first.calls.endDoc, 1);
    EXPECT_EQ(first.calls.endFlags, static_cast<FLONG>(ED_ABORTDOC));
    EXPECT_EQ(first.calls.sendPage, 0);
    EXPECT_EQ(second.calls.sendPage, 2);
    EXPECT_EQ(second.calls.surface, &second.surface);
    EXPECT_EQ(second.calls.startDoc + second.calls.endDoc, 0);
}

// A folder of the test's own that holds links to some of the plug-in's files.
struct PluginCopy {
    std::string folder;
    explicit PluginCopy(std::initializer_list<const char*> names) {
        char pattern[] = "/tmp/harness-test.XXXXXX";
        folder = mkdtemp(pattern) != nullptr ? pattern : "";
        for (const char* name : names) {
            EXPECT_EQ(symlink((std::string(PLUGIN_FOLDER) + "/" + name).c_str(), (folder + "/" + name).c_str()), 0);
        }
    }
    ~PluginCopy() { std::system(("rm -rf '" + folder + "'").c_str()); }
};

TEST(DriverSession, AMissingFileIsTheSetupsFault) {
    std::string error;
    harness::SessionOptions options;
    PluginCopy empty({});
    options.pluginDir = empty.folder;
    EXPECT_EQ(harness::DriverSession().Open(options, &error), harness::OpenResult::kBadSetup);
    EXPECT_EQ(error, "no plug-in module at " + empty.folder + "/QM22TRD.dll (--plugin DIR names its folder)");
    options.pluginDir = PLUGIN_FOLDER;
    options.paperListFile = empty.folder + "/none.ini";
    EXPECT_EQ(harness::DriverSession().Open(options, &error), harness::OpenResult::kBadSetup);
    EXPECT_EQ(error, "no paper-list file at " + options.paperListFile);
}

TEST(DriverSession, WithoutTheSiblingThePluginStillOpens) {
    PluginCopy alone({"QM22TRD.dll"});
    harness::SessionOptions options;
    options.pluginDir = alone.folder;
    harness::DriverSession session;
    std::string error;
    ASSERT_EQ(session.Open(options, &error), harness::OpenResult::kOpened) << error;
    EXPECT_FALSE(session.SiblingLoaded());
}

constexpr char kJob[] =
    "%!PS-Adobe-3.0\r\n%%EndComments\r\n%%BeginSetup\r\n%%EndSetup\r\n%%Page: 1 1\r\nshowpage\r\n%%EOF\r\n";

harness::SessionOptions FixedSession() {
    harness::SessionOptions options;
    options.pluginDir = PLUGIN_FOLDER;
    SYSTEMTIME clock{};
    clock.wYear = 2026;
    clock.wMonth = 2;
    clock.wDay = 3;
    clock.wHour = 12;
    options.clock = clock;
    return options;
}

// A whole job in writes of every size from 1 to the job's: the header carries
// the fixed clock, the user and the document, and the driver's bytes follow it.
TEST(DriverSession, RunsAJobInWritesOfAnySize) {
    for (DWORD step = 1; step <= sizeof kJob - 1; step += 7) {
        harness::DriverSession session;
        std::string error;
        ASSERT_EQ(session.Open(FixedSession(), &error), harness::OpenResult::kOpened) << error;
        EXPECT_TRUE(session.SiblingLoaded());
        harness::PrivatePart part;
        ASSERT_TRUE(session.Defaults(&part, &error)) << error;
        const BYTE header[12] = {0xF0, 0x2E, 0, 0, 0x54, 0x46, 0x53, 0x4D, 1, 0, 0, 0};
        EXPECT_TRUE(std::equal(header, header + 12, part.begin()));
        ASSERT_TRUE(session.Merge(&part, &error)) << error;
        ASSERT_TRUE(session.StartJob(&part, "Harness", &error)) << error;
        ASSERT_TRUE(session.BeginStream(&error)) << error;
        for (DWORD at = 0; at < sizeof kJob - 1; at += step) {
            const DWORD count = std::min<DWORD>(step, sizeof kJob - 1 - at);
            DWORD taken = 0;
            ASSERT_EQ(session.Write(kJob + at, count, &taken), S_OK);
            ASSERT_EQ(taken, count);
        }
        EXPECT_TRUE(session.EndJob(false));
        const std::string out = sim::WrittenBytes(session.Printer());
        EXPECT_EQ(out.compare(0, 15, "\x1B%-12345X@PJL\r\n"), 0) << out;
        EXPECT_NE(out.find("\r\n@PJL SET ZTDATEINFO=322F332F32303236\r\n"), std::string::npos) << out;  // 2/3/2026
        EXPECT_NE(out.find("\r\n@PJL SET USERNAME=6F70657261746F72\r\n"), std::string::npos) << out;    // operator
        EXPECT_NE(out.find("\r\n@PJL SET JOBNAME=4861726E657373\r\n"), std::string::npos) << out;       // Harness
        const std::string tail = "showpage\r\n%%EOF\r\n";
        EXPECT_EQ(out.compare(out.size() - tail.size(), tail.size(), tail), 0) << out;
    }
}

// A session given up in the middle of a job ends the document, disables the
// device and the plug-in, and unloads the module.
TEST(DriverSession, GoingAwayMidJobUnloadsThePlugin) {
    {
        harness::DriverSession session;
        std::string error;
        ASSERT_EQ(session.Open(FixedSession(), &error), harness::OpenResult::kOpened) << error;
        harness::PrivatePart part;
        ASSERT_TRUE(session.Defaults(&part, &error)) << error;
        ASSERT_TRUE(session.StartJob(&part, "Gone", &error)) << error;
        ASSERT_TRUE(session.BeginStream(&error)) << error;
        DWORD taken = 0;
        ASSERT_EQ(session.Write(kJob, 20, &taken), S_OK);
        EXPECT_NE(sim::ModuleRefCount(u"QM22TRD.dll"), 0u);
    }
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TRD.dll"), 0u);
    EXPECT_EQ(sim::ModuleRefCount(u"QM22TIE.dll"), 0u);
}

}  // namespace
