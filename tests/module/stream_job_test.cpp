// A whole job through the loaded module: default settings, the device context,
// the job header at the begin-stream point, then the driver's PostScript in
// several WritePrinter calls, rewritten with the feature blocks that the module
// carries as resources.
#include "driver_session_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct StreamJobTest : DriverSessionTest {
    void SetUp() override {
        DriverSessionTest::SetUp();
        // The user name only matters when the header is built, after this.
        sim::SetUserName(u"alice");
    }
};

constexpr char kJob[] =
    "%!PS-Adobe-3.0\r\n%%Title: Quarterly\r\n%%EndComments\r\n"
    "%%BeginProlog\r\n/F { findfont } bind def\r\n%%EndProlog\r\n"
    "%%BeginSetup\r\n"
    "featurebegin{\r\n%%BeginFeature: *Resolution 600dpi\r\n<</HWResolution [600 600]>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "featurebegin{\r\n%%BeginFeature: *ZTDuplex None\r\n<</Duplex false>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "featurebegin{\r\n%%BeginFeature: *PageRegion A4\r\n<</PageSize [595 842]>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "%%EndSetup\r\n"
    "%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n"
    "%%BeginPageSetup\r\n/pagesave save def\r\n%%EndPageSetup\r\n"
    "0 0 moveto (Hi) show\r\nshowpage\r\n%%PageTrailer\r\n%%Trailer\r\n%%EOF\r\n";

// What the printer must get after the header: the document setup with the
// orientation of the settings in front and the settings' duplex value in place
// of the driver's block, the page setup with the page's own orientation.
constexpr char kExpectedPostScript[] =
    "%!PS-Adobe-3.0\r\n%%Title: Quarterly\r\n%%EndComments\r\n"
    "%%BeginProlog\r\n/F { findfont } bind def\r\n%%EndProlog\r\n"
    "%%BeginSetup\r\n"
    "featurebegin{\r\n%%BeginFeature: *ZTOrientation Portrait\r\n"
    "(Portrait) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "featurebegin{\r\n%%BeginFeature: *Resolution 600dpi\r\n<</HWResolution [600 600]>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "featurebegin{\r\n%%BeginFeature: *ZTDuplex OFF\r\n"
    "(OFF) /Custom /ProcSet findresource /ZTDuplex get exec\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "featurebegin{\r\n%%BeginFeature: *PageRegion A4\r\n<</PageSize [595 842]>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "%%EndSetup\r\n"
    "%%Page: 1 1\r\n%%ViewingOrientation: 0 1 -1 0\r\n%%EndPageComments\r\n"
    "%%BeginPageSetup\r\n"
    "featurebegin{\r\n%%BeginFeature: *ZTOrientation Landscape\r\n"
    "(Landscape) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n"
    "/pagesave save def\r\n%%EndPageSetup\r\n"
    "0 0 moveto (Hi) show\r\nshowpage\r\n%%PageTrailer\r\n%%Trailer\r\n%%EOF\r\n";

TEST_F(StreamJobTest, HeaderThenThePostScriptWithTheSettingsFeatureBlocks) {
    DEVMODEW publicDm{};
    publicDm.dmSize = sizeof publicDm;
    publicDm.dmPaperSize = 9;
    std::vector<BYTE> part = DefaultPrivatePart(&publicDm);
    ASSERT_EQ(part.size(), 12016u);
    const BYTE* settings = part.data() + 12;
    ASSERT_EQ(settings[372], 1);  // duplex off, as the sibling's defaults have it
    ASSERT_EQ(settings[378], 1);  // portrait

    // The driver's writes rarely end at line ends: markers and feature blocks
    // are cut, and a call may bring nothing.
    const std::string job(kJob, sizeof kJob - 1);
    const std::string header =
        RunDocument(publicDm, part, u"Quarterly", job, {0, 20, 110, 110, 280, 476, 510, 555, 590, 663, job.size()});
    const std::string written = sim::WrittenBytes(printer);

    // The header is the PJL job header, written straight to the spooler.
    ASSERT_GT(header.size(), 15u);
    EXPECT_EQ(header.substr(0, 15), "\x1B%-12345X@PJL\r\n");
    EXPECT_NE(header.find("@PJL SET JOBNAME=517561727465726C79\r\n"), std::string::npos) << header;
    EXPECT_EQ(header.find("%!PS-"), std::string::npos);

    ASSERT_EQ(written.substr(0, header.size()), header);
    EXPECT_EQ(written.substr(header.size()), std::string(kExpectedPostScript, sizeof kExpectedPostScript - 1));
    // The trace is off unless switched on.
    for (const std::u16string& line : sim::DebugOutput()) EXPECT_NE(line.rfind(u"QM22TRD: ", 0), 0u);
}

TEST_F(StreamJobTest, ADocumentNameTooLongForItsFieldIsCutAndTheJobPrints) {
    DEVMODEW publicDm{};
    publicDm.dmSize = sizeof publicDm;
    publicDm.dmPaperSize = 9;
    std::vector<BYTE> part = DefaultPrivatePart(&publicDm);
    const std::string job(kJob, sizeof kJob - 1);
    // 600 characters, as a web page's address may have.
    const std::u16string name = u"http://" + std::u16string(593, u'w');
    const std::string header = RunDocument(publicDm, part, name, job, {0, 100, job.size()});
    const std::string written = sim::WrittenBytes(printer);
    std::string jobName = "@PJL SET JOBNAME=687474703A2F2F";  // "http://"
    for (int i = 0; i < 512; ++i) jobName += "77";            // and 512 w: 519 characters
    EXPECT_NE(header.find("\r\n" + jobName + "\r\n"), std::string::npos) << header;
    ASSERT_EQ(written.substr(0, header.size()), header);
    EXPECT_EQ(written.substr(header.size()), std::string(kExpectedPostScript, sizeof kExpectedPostScript - 1));
}

struct TracedJobTest : StreamJobTest {
    TracedJobTest() { traceSwitchedOn = true; }
};

TEST_F(TracedJobTest, TheTraceTellsEachJobStep) {
    DEVMODEW publicDm{};
    publicDm.dmSize = sizeof publicDm;
    std::vector<BYTE> part = DefaultPrivatePart(&publicDm);
    const std::string job = std::string(kJob, sizeof kJob - 1) + "\x1b%-12345X\r";
    RunDocument(publicDm, part, u"Quarterly", job, {0, job.size()});
    std::string trace;
    for (const std::u16string& line : sim::DebugOutput()) {
        if (line.rfind(u"QM22TRD: ", 0) == 0) trace += sim::ToUtf8(line);
    }
    // The document setup grows by its orientation block, the page setup by its
    // own; a last CR, which a LF could still follow, is held until the end of
    // the document.
    for (const char* step :
         {"QM22TRD: StartDoc, job 4\n", "QM22TRD: first setup piece rewritten: 353 bytes in, 528 out, orientation -1\n",
          "QM22TRD: first setup piece rewritten: 20 bytes in, 175 out, orientation 2\n", "QM22TRD: EndDoc, flags 0x0\n",
          "QM22TRD: end of document: 1 held bytes sent, result 0x00000000\n"}) {
        EXPECT_NE(trace.find(step), std::string::npos) << step << "\nin:\n" << trace;
    }
}

}  // namespace
