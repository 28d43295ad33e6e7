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

    DEVOBJ device{};
    device.dwSize = sizeof device;
    device.hPrinter = printer;
    device.hOEM = module;  // the feature-block templates are found through it
    device.pPublicDM = &publicDm;
    device.pOEMDM = part.data();
    DRVFN driverFunctions[] = {{INDEX_DrvStartDoc, AsPfn(&FakeDrvStartDoc)}, {INDEX_DrvEndDoc, AsPfn(&FakeDrvEndDoc)}};
    DRVENABLEDATA driver{DDI_DRIVER_VERSION_NT5, 2, driverFunctions};
    PDEVOEM block = nullptr;
    ASSERT_EQ(plugin->EnablePDEV(&device, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &driver, &block), S_OK);
    device.pdevOEM = block;

    std::string header;
    std::string written;
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
        std::u16string name = u"Quarterly";
        ASSERT_TRUE(FromPfn<BOOL APIENTRY(SURFOBJ*, LPWSTR, DWORD)>(startDoc)(&surface, name.data(), 4));

        DWORD result = 0;
        EXPECT_EQ(plugin->Command(&device, PSINJECT_BEGINSTREAM, nullptr, 0, &result), E_NOTIMPL);
        header = sim::WrittenBytes(printer);

        // The driver's writes rarely end at line ends: markers and feature
        // blocks are cut, and a call may bring nothing.
        const std::string job(kJob, sizeof kJob - 1);
        const size_t cuts[] = {0, 20, 110, 110, 280, 476, 510, 555, 590, 663, job.size()};
        for (size_t i = 0; i + 1 < sizeof cuts / sizeof cuts[0]; ++i) {
            DWORD taken = 0xDEAD;
            const DWORD count = static_cast<DWORD>(cuts[i + 1] - cuts[i]);
            EXPECT_EQ(plugin->WritePrinter(&device, const_cast<char*>(job.data()) + cuts[i], count, &taken), S_OK)
                << "call " << i;
            EXPECT_EQ(taken, count) << "call " << i;
        }
        FromPfn<BOOL APIENTRY(SURFOBJ*, FLONG)>(endDoc)(&surface, 0);
    });
    written = sim::WrittenBytes(printer);
    plugin->DisablePDEV(&device);

    // The header is the PJL job header, written straight to the spooler.
    ASSERT_GT(header.size(), 15u);
    EXPECT_EQ(header.substr(0, 15), "\x1B%-12345X@PJL\r\n");
    EXPECT_NE(header.find("@PJL SET JOBNAME=517561727465726C79\r\n"), std::string::npos) << header;
    EXPECT_EQ(header.find("%!PS-"), std::string::npos);

    ASSERT_EQ(written.substr(0, header.size()), header);
    EXPECT_EQ(written.substr(header.size()), std::string(kExpectedPostScript, sizeof kExpectedPostScript - 1));
}

}  // namespace
