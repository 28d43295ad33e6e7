// A job as the driver runs it through the loaded module: device settings through
// the real sibling library, then the job header at the begin-stream point.
#include "driver_session_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct JobFlowTest : DriverSessionTest {
    // The job header of a document with no body.
    std::string RunHeader(std::vector<BYTE>& part, const std::u16string& documentName) {
        DEVMODEW publicDm{};
        publicDm.dmSize = sizeof publicDm;
        return RunDocument(publicDm, part, documentName, std::string(), {});
    }

    static BYTE* Settings(std::vector<BYTE>& part) { return part.data() + 12; }
    static void PutText(std::vector<BYTE>& part, size_t offset, const std::u16string& text) {
        std::memcpy(Settings(part) + offset, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    }
    static bool HasLine(const std::string& header, const std::string& line) {
        return header.find("\r\n" + line + "\r\n") != std::string::npos;
    }
};

TEST_F(JobFlowTest, DefaultsComeFromTheSiblingThroughTheModule) {
    ASSERT_GT(sim::ModuleRefCount(u"QM22TIE.dll"), 0u) << "the module did not load the sibling next to it";
    DEVMODEW publicIn{};
    publicIn.dmSize = sizeof publicIn;
    publicIn.dmPaperSize = 9;
    std::vector<BYTE> part = DefaultPrivatePart(&publicIn);
    const BYTE header[12] = {0xF0, 0x2E, 0, 0, 0x54, 0x46, 0x53, 0x4D, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(part.data(), header, 12), 0);
    const BYTE identification[14] = {'V', 0, 'T', 0, 'A', 0, '/', 0, 'N', 0, 'P', 0, 0, 0};
    EXPECT_EQ(std::memcmp(Settings(part), identification, 14), 0);
    EXPECT_EQ(Settings(part)[372], 1);  // duplex off
    EXPECT_EQ(Settings(part)[376], 9);  // A4
    // The default request sets the driver's duplex and page size from them.
    ASSERT_EQ(coreHelper.setOptionsCalls.size(), 2u);
    EXPECT_EQ(coreHelper.setOptionsCalls[0].pairs[0], std::make_pair(std::string("Duplex"), std::string("None")));
    EXPECT_EQ(coreHelper.setOptionsCalls[1].pairs[0], std::make_pair(std::string("PageSize"), std::string("A4")));
    EXPECT_EQ(sim::DebugOutput(), std::vector<std::u16string>{u"PS DevMode : dmPaperSize=9\n"});
}

TEST_F(JobFlowTest, HeaderCarriesTodaysDateWhileTheSettingsKeepTheirText) {
    sim::SetShortDatePattern(u"dd.MM.yyyy");
    DEVMODEW publicIn{};
    publicIn.dmSize = sizeof publicIn;
    std::vector<BYTE> part = DefaultPrivatePart(&publicIn);
    Settings(part)[959] = 0;
    PutText(part, 960, u"31.01.1999");
    const std::vector<BYTE> before = part;

    const std::string header = RunHeader(part, u"Report");
    // "07.12.2026" in hexadecimal UTF-8.
    EXPECT_TRUE(HasLine(header, "@PJL SET ZTDATEINFO=30372E31322E32303236")) << header;
    EXPECT_TRUE(HasLine(header, "@PJL SET JOBNAME=5265706F7274")) << header;
    EXPECT_EQ(part, before);

    // With the switch set, the stored text goes out as it is.
    Settings(part)[959] = 1;
    sim::Reset();
    printer = sim::AddPrinter(u"Job Printer");
    const std::string stored = RunHeader(part, u"Report");
    EXPECT_TRUE(HasLine(stored, "@PJL SET ZTDATEINFO=33312E30312E31393939")) << stored;
}

TEST_F(JobFlowTest, PrivateUserNameReachesTheHeaderCutToTwentyCharacters) {
    DEVMODEW publicIn{};
    publicIn.dmSize = sizeof publicIn;
    std::vector<BYTE> part = DefaultPrivatePart(&publicIn);
    Settings(part)[7248] = 1;
    // 25 characters do not fit the 21-unit field with its terminator; the field
    // holds 21 units without one, and only 20 of them may be used.
    const std::u16string name = u"ABCDEFGHIJKLMNOPQRSTUVWXY";
    std::memcpy(Settings(part) + 7250, name.data(), 21 * sizeof(char16_t));
    const std::string header = RunHeader(part, u"Doc");
    EXPECT_TRUE(HasLine(header, "@PJL SET USERNAME=4142434445464748494A4B4C4D4E4F5051525354")) << header;

    // Without the switch the system's user name is used, also cut to 20.
    Settings(part)[7248] = 0;
    sim::Reset();
    printer = sim::AddPrinter(u"Job Printer");
    sim::SetUserName(u"abcdefghijklmnopqrstuvwxyz");
    const std::string system = RunHeader(part, u"Doc");
    EXPECT_TRUE(HasLine(system, "@PJL SET USERNAME=6162636465666768696A6B6C6D6E6F7071727374")) << system;
}

}  // namespace
