// The job header as the spooler receives it.
#include "pjl/pjl_header.h"

#include "common/module_context.h"
#include "common/wtext.h"
#include "hex_digits.h"
#include "pjl/pjl_header_parts.h"
#include "platform/host/sim_control.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every line of the header for the default settings, a date of 12/7/2026, the
// document "Doc1", the user "alice" on the computer SIMHOST, written out whole.
const char kDefaultHeader[] =
    "\x1B%-12345X@PJL\r\n"
    "@PJL COMMENT KELV Printer Driver\r\n"
    "@PJL SET ZTPJLVERSION=2.00\r\n"
    "@PJL SET ZTPJLIDENTIFIER=KELV_IJ_PJL\r\n"
    "@PJL SET ZTRIPCONTROLFLAG=13\r\n"
    "@PJL SET ZTSOFTWARENAME=KELV_Windows_Postscript_Printer_Driver\r\n"
    "@PJL SET ZTSOFTWAREVERSION=1.17.004\r\n"
    "@PJL SET ZTHOSTNAME=53494D484F5354\r\n"
    "@PJL SET ZTWAITAFTERPROOF=OFF\r\n"
    "@PJL SET QTY=1\r\n"
    "@PJL SET ZTROTATE=AUTO\r\n"
    "@PJL SET ZTDITHERTYPE=PHOTO\r\n"
    "@PJL SET ZTPRINTDENSITY=0\r\n"
    "@PJL SET ZTLINESMOOTHING=OFF\r\n"
    "@PJL SET ZTSCREENING=ERRORDIFF\r\n"
    "@PJL SET ZTGAMMAADJUSTMENT=OFF\r\n"
    "@PJL SET ZTGCBRIGHTNESS=0\r\n"
    "@PJL SET ZTGCCONTRAST=0\r\n"
    "@PJL SET ZTGCCYAN=1\r\n"
    "@PJL SET ZTGCMAGENTA=1\r\n"
    "@PJL SET ZTGCYELLOW=1\r\n"
    "@PJL SET ZTGCBLACK=1\r\n"
    "@PJL SET ZTGCRED=1\r\n"
    "@PJL SET ZTBARCODEPROOF=OFF\r\n"
    "@PJL SET ZTENVELOPEIMAGEPROCESSING=OFF\r\n"
    "@PJL SET ZTOUTPUTTRAY=AUTO\r\n"
    "@PJL SET ZTOUTPUTFACE=FACEDOWN\r\n"
    "@PJL SET ZTCONTINUOUSOUTPUT=OFF\r\n"
    "@PJL SET ZTJOBCOMMENT=\r\n"
    "@PJL SET ZTOUTPUTMODE=AUTO\r\n"
    "@PJL SET DUPLEX=OFF\r\n"
    "@PJL SET ZTDUPLEXMIXEDPAGE=OFF\r\n"
    "@PJL SET ZTPAGESIZE=A4\r\n"
    "@PJL SET ZTPAGESIZEWIDTH=21000\r\n"
    "@PJL SET ZTPAGESIZEHEIGHT=29700\r\n"
    "@PJL SET ORIENTATION=PORTRAIT\r\n"
    "@PJL SET ZTMANUALZOOM=OFF\r\n"
    "@PJL SET ZTZOOMRATE=100\r\n"
    "@PJL SET PAPER=AUTO\r\n"
    "@PJL SET ZTTARGETPAPERSIZEWIDTH=21000\r\n"
    "@PJL SET ZTTARGETPAPERSIZEHEIGHT=29700\r\n"
    "@PJL SET AUTOSELECT=ON\r\n"
    "@PJL SET MEDIATYPE=AUTO\r\n"
    "@PJL SET ZTHEADERFOOTERPRINT=OFF\r\n"
    "@PJL SET ZTPAGENUMPRINT=OFF\r\n"
    "@PJL SET ZTPAGENUMTRANSPARENT=OFF\r\n"
    "@PJL SET ZTPAGENUMSTARTNUM=1\r\n"
    "@PJL SET ZTPAGENUMSTARTPAGE=1\r\n"
    "@PJL SET ZTPAGENUMPOSITION=BOTTOMCENTER\r\n"
    "@PJL SET ZTSTAMPPAGEFONT=\r\n"
    "@PJL SET ZTSTAMPPAGESIZE=8\r\n"
    "@PJL SET ZTDATEPRINT=OFF\r\n"
    "@PJL SET ZTDATETRANSPARENT=OFF\r\n"
    "@PJL SET ZTDATETARGETPAGE=1STPAGE\r\n"
    "@PJL SET ZTDATESPECIFY=TODAY\r\n"
    "@PJL SET ZTDATEINFO=31322F372F32303236\r\n"
    "@PJL SET ZTDATEPOSITION=TOPRIGHT\r\n"
    "@PJL SET ZTSTAMPDATEFONT=\r\n"
    "@PJL SET ZTSTAMPDATESIZE=8\r\n"
    "@PJL SET ZTIMAGEQUALITY=STANDARD\r\n"
    "@PJL SET ZTBINDING=LEFTBINDING\r\n"
    "@PJL SET ZTGUTTER=OFF\r\n"
    "@PJL SET ZTGUTTERDISTANCE=0\r\n"
    "@PJL SET ZTGUTTERAUTOREDUCING=OFF\r\n"
    "@PJL SET ZTJOG=OFF\r\n"
    "@PJL SET ZTJOBSEPSHEET=OFF\r\n"
    "@PJL SET ZTJOBSEPSHEETTRAY=STANDARD\r\n"
    "@PJL SET ZTJOBSEPSHEETTEXT=OFF\r\n"
    "@PJL SET ZTCOVERSHEET=OFF\r\n"
    "@PJL SET ZTFRONTCOVERSHEET=OFF\r\n"
    "@PJL SET ZTFRONTCOVERSHEETTRAY=STANDARD\r\n"
    "@PJL SET ZTBACKCOVERSHEET=OFF\r\n"
    "@PJL SET ZTBACKCOVERSHEETTRAY=STANDARD\r\n"
    "@PJL SET ZTPRINTSPEED=STANDARD\r\n"
    "@PJL SET ZTPAGETRAY=OFF\r\n"
    "@PJL SET ZTPAGETRAYSTANDARD=\r\n"
    "@PJL SET ZTPAGETRAYTRAY1=\r\n"
    "@PJL SET ZTPAGETRAYTRAY2=\r\n"
    "@PJL SET ZTPAGETRAYEXTERNALFEEDER=\r\n"
    "@PJL SET ZTIMAGESHIFT=OFF\r\n"
    "@PJL SET ZTIMAGESHIFTFRONTV=0\r\n"
    "@PJL SET ZTIMAGESHIFTFRONTH=0\r\n"
    "@PJL SET ZTIMAGESHIFTBACKV=0\r\n"
    "@PJL SET ZTIMAGESHIFTBACKH=0\r\n"
    "@PJL SET ZTBARCODEAREA=OFF\r\n"
    "@PJL SET ZTBARCODESELECTION=\r\n"
    "@PJL SET ZTBARCODEDENSITY=0\r\n"
    "@PJL SET ZTCOLORPROFILE=OFF\r\n"
    "@PJL SET ZTOUTPUTPROFILESELECTION=\r\n"
    "@PJL SET ZTRENDERINGINTENT=PERCEPTUAL\r\n"
    "@PJL SET ZTMAXDROPS=AUTO\r\n"
    "@PJL SET ZTSTAPLEMODE=OFF\r\n"
    "@PJL SET ZTPUNCHMODE=OFF\r\n"
    "@PJL SET ZTFOLDMODE=OFF\r\n"
    "@PJL SET ZTFOLDINNEROUTER=INNER\r\n"
    "@PJL SET ZTFOLDBINDING=LEFTANDTOP\r\n"
    "@PJL SET ZTREVERSEORDER=OFF\r\n"
    "@PJL SET ZTOWNERNAME=OFF\r\n"
    "@PJL SET USERNAME=616C696365\r\n"
    "@PJL SET ZTJOBNAME=OFF\r\n"
    "@PJL SET JOBNAME=446F6331\r\n"
    "@PJL SET ZTSECRETNUM=OFF\r\n"
    "@PJL SET PASSWORD=\r\n"
    "@PJL SET ZTHIDEJOB=OFF\r\n"
    "@PJL SET ZTMIXEDPAGESIZE=OFF\r\n"
    "@PJL SET ZTDUPLEXSMALLPAGE=LONGEDGE\r\n"
    "@PJL SET ZTDUPLEXBIGPAGE=SHORTEDGE\r\n"
    "@PJL SET ZTROTATEBIGPAGE=OFF\r\n"
    "@PJL SET ZTOUTPUTMETHOD=PRINT\r\n"
    "@PJL SET ZTOUTPUTBOX=SHAREDBOX1\r\n"
    "@PJL SET ZTMULTIUP=OFF\r\n"
    "@PJL SET ZTMULTIUPSINGLEPAGE=1\r\n"
    "@PJL SET ZTBOOKLET=OFF\r\n"
    "@PJL SET ZTBOOKLETBINDING=OFF\r\n"
    "@PJL SET ZTBOOKLETSPLITTING=OFF\r\n"
    "@PJL SET ZTBOOKLETGUTTER=OFF\r\n"
    "@PJL SET ZTBOOKLETGUTTERDISTANCE=0\r\n"
    "@PJL SET ZTBOOKLETGUTTERAUTOREDUCING=OFF\r\n"
    "@PJL SET ZTBOOKLETCOVER=OFF\r\n"
    "@PJL SET ZTWAITINGEXCEPTCOVER=OFF\r\n"
    "@PJL SET ZTBOOKLETCOVERSHEETTRAY=STANDARD\r\n"
    "@PJL SET ZTFORM=OFF\r\n"
    "@PJL SET ZTFORMPATTERN=ONE\r\n"
    "@PJL SET ZTFORMSURFACE=BACK\r\n"
    "@PJL SET ZTFORMSEPARATE=OFF\r\n"
    "@PJL SET ZTFORMSELECT1=\r\n"
    "@PJL SET ZTFORMSELECT2=\r\n"
    "@PJL SET ZTPRIORITYLAYER=OVERLAY\r\n"
    "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = bytes.find("\r\n"); end != std::string::npos; end = bytes.find("\r\n", start)) {
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, bytes.size()) << "the header ends inside a line";
    return lines;
}

class PjlHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        char pattern[] = "/tmp/pjl_header_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        modules.module = sim::RegisterModule(sim::ToUtf16(folder + "/QM22TRD.dll"));
        printer = sim::AddPrinter(u"Inkjet");
        block.assign(kSettingsBlockBytes, 0);
        SetDefaultSettings(Span());
        WriteSettingText(Span(), 0, 7, WIDE("VTA/NP"));
        WriteSettingText(Span(), 960, 24, WIDE("12/7/2026"));
    }

    void TearDown() override {
        EXPECT_EQ(sim::OpenFileHandles(), 0u);
        modules.module = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    SettingsSpan Span() { return SettingsSpan{block.data(), block.size()}; }

    // A fresh simulated machine (empty spooler records, default forms) over
    // the same folder and settings.
    void Restart() {
        sim::Reset();
        modules.module = sim::RegisterModule(sim::ToUtf16(folder + "/QM22TRD.dll"));
        printer = sim::AddPrinter(u"Inkjet");
    }

    void WriteList(const std::u16string& text) {
        std::ofstream file(folder + "/QM22T.ini", std::ios::binary);
        for (char16_t unit : text) {
            file.put(static_cast<char>(unit & 0xFF));
            file.put(static_cast<char>(unit >> 8));
        }
    }

    void Set8(size_t offset, uint8_t value) { WriteSettingNumber(Span(), offset, 1, value); }
    void Set16(size_t offset, int16_t value) { WriteSettingNumber(Span(), offset, 2, value); }
    void Set32(size_t offset, int32_t value) { WriteSettingNumber(Span(), offset, 4, value); }
    void SetText(size_t offset, size_t units, const WCHAR* text) { WriteSettingText(Span(), offset, units, text); }
    void SetBytes(size_t offset, std::initializer_list<BYTE> bytes) {
        WriteSettingBytes(Span(), offset, bytes.begin(), bytes.size());
    }
    // Fills a text field without a terminator.
    void FillUnits(size_t offset, size_t units, WCHAR unit) {
        for (size_t i = 0; i < units; ++i) WriteSettingNumber(Span(), offset + 2 * i, 2, unit);
    }

    std::string Build(const WCHAR* documentName = WIDE("Doc1"), const WCHAR* userName = WIDE("alice")) {
        // What reached the spooler, whatever the result: tests of failures check it themselves.
        (void)BuildPjlHeader(modules, printer, block.data(), documentName, userName);
        return sim::WrittenBytes(printer);
    }

    // The header's lines that begin with "@PJL SET " + variable + "=".
    std::vector<std::string> LinesOf(const std::string& header, const std::string& variable) {
        std::vector<std::string> found;
        for (const std::string& line : SplitLines(header)) {
            if (line.rfind("@PJL SET " + variable + "=", 0) == 0) found.push_back(line);
        }
        return found;
    }

    void FillEveryText();

    std::string folder;
    HANDLE printer = nullptr;
    std::vector<BYTE> block;
    ModuleContext modules;  // the plug-in module registered over the folder
};

using Lines = std::vector<std::string>;

TEST_F(PjlHeaderTest, DefaultSettingsGiveTheWholeHeaderInOneWrite) {
    EXPECT_EQ(Build(), kDefaultHeader);
    EXPECT_EQ(sim::WrittenChunks(printer).size(), 1u);
}

// Every job setting changed from its default at once, each to an option of its
// own: a setting read from the wrong place, with the wrong width or sign, or
// written out of order shows up as a wrong line.
const char kEveryFieldChangedHeader[] =
    "\x1B%-12345X@PJL\r\n"
    "@PJL COMMENT KELV Printer Driver\r\n"
    "@PJL SET ZTPJLVERSION=2.00\r\n"
    "@PJL SET ZTPJLIDENTIFIER=KELV_IJ_PJL\r\n"
    "@PJL SET ZTRIPCONTROLFLAG=13\r\n"
    "@PJL SET ZTSOFTWARENAME=KELV_Windows_Postscript_Printer_Driver\r\n"
    "@PJL SET ZTSOFTWAREVERSION=1.17.004\r\n"
    "@PJL SET ZTHOSTNAME=504331\r\n"
    "@PJL SET ZTWAITAFTERPROOF=ON\r\n"
    "@PJL SET COPIES=7\r\n"
    "@PJL SET ZTROTATE=270\r\n"
    "@PJL SET ZTDITHERTYPE=TEXT\r\n"
    "@PJL SET ZTPRINTDENSITY=-3\r\n"
    "@PJL SET ZTLINESMOOTHING=HIGH\r\n"
    "@PJL SET ZTSCREENING=RASTER100\r\n"
    "@PJL SET ZTGAMMAADJUSTMENT=ON\r\n"
    "@PJL SET ZTGCBRIGHTNESS=-2\r\n"
    "@PJL SET ZTGCCONTRAST=-2\r\n"
    "@PJL SET ZTGCCYAN=-111\r\n"
    "@PJL SET ZTGCMAGENTA=222\r\n"
    "@PJL SET ZTGCYELLOW=-333\r\n"
    "@PJL SET ZTGCBLACK=444\r\n"
    "@PJL SET ZTGCRED=-555\r\n"
    "@PJL SET ZTBARCODEPROOF=ON\r\n"
    "@PJL SET ZTENVELOPEIMAGEPROCESSING=ON\r\n"
    "@PJL SET ZTOUTPUTTRAY=AUTOSTACKER\r\n"
    "@PJL SET ZTOUTPUTFACE=FACEUP\r\n"
    "@PJL SET ZTCONTINUOUSOUTPUT=ON\r\n"
    "@PJL SET ZTJOBCOMMENT=54343135\r\n"
    "@PJL SET ZTOUTPUTMODE=RED\r\n"
    "@PJL SET DUPLEX=ON\r\n"
    "@PJL SET BINDING=SHORTEDGE\r\n"
    "@PJL SET ZTDUPLEXMIXEDPAGE=ON\r\n"
    "@PJL SET ZTPAGESIZE=LETTER\r\n"
    "@PJL SET ZTPAGESIZEWIDTH=666666\r\n"
    "@PJL SET ZTPAGESIZEHEIGHT=-777777\r\n"
    "@PJL SET ORIENTATION=LANDSCAPE\r\n"
    "@PJL SET ZTMANUALZOOM=ON\r\n"
    "@PJL SET ZTZOOMRATE=888\r\n"
    "@PJL SET PAPER=LEGAL\r\n"
    "@PJL SET ZTTARGETPAPERSIZEWIDTH=-999999\r\n"
    "@PJL SET ZTTARGETPAPERSIZEHEIGHT=1111110\r\n"
    "@PJL SET AUTOSELECT=OFF\r\n"
    "@PJL SET MEDIASOURCE=EXTERNALFEEDER\r\n"
    "@PJL SET MEDIATYPE=PLAINPREMIUM\r\n"
    "@PJL SET ZTHEADERFOOTERPRINT=ON\r\n"
    "@PJL SET ZTPAGENUMPRINT=ON\r\n"
    "@PJL SET ZTPAGENUMTRANSPARENT=ON\r\n"
    "@PJL SET ZTPAGENUMSTARTNUM=-1221\r\n"
    "@PJL SET ZTPAGENUMSTARTPAGE=1332\r\n"
    "@PJL SET ZTPAGENUMPOSITION=BOTTOMLEFT\r\n"
    "@PJL SET ZTSTAMPPAGEFONT=54313039\r\n"
    "@PJL SET ZTSTAMPPAGESIZE=-1443\r\n"
    "@PJL SET ZTDATEPRINT=ON\r\n"
    "@PJL SET ZTDATETRANSPARENT=ON\r\n"
    "@PJL SET ZTDATETARGETPAGE=FULLPAGE\r\n"
    "@PJL SET ZTDATESPECIFY=CUSTOM\r\n"
    "@PJL SET ZTDATEINFO=54313136\r\n"
    "@PJL SET ZTDATEPOSITION=BOTTOMLEFT\r\n"
    "@PJL SET ZTSTAMPDATEFONT=54313138\r\n"
    "@PJL SET ZTSTAMPDATESIZE=1554\r\n"
    "@PJL SET ZTIMAGEQUALITY=DATA\r\n"
    "@PJL SET ZTBINDING=TOPBINDING\r\n"
    "@PJL SET ZTGUTTER=ON\r\n"
    "@PJL SET ZTGUTTERDISTANCE=-1665\r\n"
    "@PJL SET ZTGUTTERAUTOREDUCING=ON\r\n"
    "@PJL SET ZTJOG=JOB\r\n"
    "@PJL SET ZTJOBSEPSHEET=BETWEENJOBS\r\n"
    "@PJL SET ZTJOBSEPSHEETTRAY=EXTERNALFEEDER\r\n"
    "@PJL SET ZTJOBSEPSHEETTEXT=CHARACTER\r\n"
    "@PJL SET ZTCOVERSHEET=ON\r\n"
    "@PJL SET ZTFRONTCOVERSHEET=ON\r\n"
    "@PJL SET ZTFRONTCOVERSHEETTRAY=EXTERNALFEEDER\r\n"
    "@PJL SET ZTBACKCOVERSHEET=ON\r\n"
    "@PJL SET ZTBACKCOVERSHEETTRAY=EXTERNALFEEDER\r\n"
    "@PJL SET ZTPRINTSPEED=LOWSPEED\r\n"
    "@PJL SET ZTPAGETRAY=ON\r\n"
    "@PJL SET ZTPAGETRAYSTANDARD=1,3-5\r\n"
    "@PJL SET ZTPAGETRAYTRAY1=25\r\n"
    "@PJL SET ZTPAGETRAYTRAY2=7\r\n"
    "@PJL SET ZTPAGETRAYEXTERNALFEEDER=108\r\n"
    "@PJL SET ZTIMAGESHIFT=ON\r\n"
    "@PJL SET ZTIMAGESHIFTFRONTV=1776\r\n"
    "@PJL SET ZTIMAGESHIFTFRONTH=-1887\r\n"
    "@PJL SET ZTIMAGESHIFTBACKV=1998\r\n"
    "@PJL SET ZTIMAGESHIFTBACKH=-2109\r\n"
    "@PJL SET ZTBARCODEAREA=ON\r\n"
    "@PJL SET ZTBARCODESELECTION=54323133\r\n"
    "@PJL SET ZTBARCODEDENSITY=-3\r\n"
    "@PJL SET ZTCOLORPROFILE=ON\r\n"
    "@PJL SET ZTOUTPUTPROFILESELECTION=54323138\r\n"
    "@PJL SET ZTRENDERINGINTENT=SATURATION\r\n"
    "@PJL SET ZTMAXDROPS=11\r\n"
    "@PJL SET ZTSTAPLEMODE=2STAPLES\r\n"
    "@PJL SET ZTPUNCHMODE=4HOLES\r\n"
    "@PJL SET ZTFOLDMODE=ZFOLD\r\n"
    "@PJL SET ZTFOLDINNEROUTER=OUTER\r\n"
    "@PJL SET ZTFOLDBINDING=RIGHTANDBOTTOM\r\n"
    "@PJL SET ZTREVERSEORDER=ON\r\n"
    "@PJL SET ZTOWNERNAME=ON\r\n"
    "@PJL SET USERNAME=4F776E6572\r\n"
    "@PJL SET ZTJOBNAME=ON\r\n"
    "@PJL SET JOBNAME=4A6F62C3A9\r\n"
    "@PJL SET ZTSECRETNUM=ON\r\n"
    "@PJL SET PASSWORD=4321\r\n"
    "@PJL SET ZTHIDEJOB=ON\r\n"
    "@PJL SET ZTMIXEDPAGESIZE=ON\r\n"
    "@PJL SET ZTDUPLEXSMALLPAGE=SHORTEDGE\r\n"
    "@PJL SET ZTDUPLEXBIGPAGE=LONGEDGE\r\n"
    "@PJL SET ZTROTATEBIGPAGE=ON\r\n"
    "@PJL SET ZTOUTPUTMETHOD=FORM\r\n"
    "@PJL SET ZTOUTPUTBOX=PERSONALBOX\r\n"
    "@PJL SET ZTMULTIUP=8PAGESRIGHTTOPBOTTOM\r\n"
    "@PJL SET ZTMULTIUPSINGLEPAGE=8\r\n"
    "@PJL SET ZTBOOKLET=TOPBINDING\r\n"
    "@PJL SET ZTBOOKLETBINDING=2-FOLDANDSTAPLE\r\n"
    "@PJL SET ZTBOOKLETSPLITTING=AUTO\r\n"
    "@PJL SET ZTBOOKLETGUTTER=ON\r\n"
    "@PJL SET ZTBOOKLETGUTTERDISTANCE=2220\r\n"
    "@PJL SET ZTBOOKLETGUTTERAUTOREDUCING=ON\r\n"
    "@PJL SET ZTBOOKLETCOVER=EXCEPTCOVER\r\n"
    "@PJL SET ZTWAITINGEXCEPTCOVER=ON\r\n"
    "@PJL SET ZTBOOKLETCOVERSHEETTRAY=EXTERNALFEEDER\r\n"
    "@PJL SET ZTFORM=ON\r\n"
    "@PJL SET ZTFORMPATTERN=ONEDUPSHORT\r\n"
    "@PJL SET ZTFORMSURFACE=FRONT\r\n"
    "@PJL SET ZTFORMSEPARATE=ON\r\n"
    "@PJL SET ZTFORMSELECT1=54343035\r\n"
    "@PJL SET ZTFORMSELECT2=54343036\r\n"
    "@PJL SET ZTPRIORITYLAYER=FORM\r\n"
    "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";

TEST_F(PjlHeaderTest, EveryJobSettingIsReadFromItsOwnField) {
    sim::SetComputerName(u"PC1");
    Set8(1226, 1);
    Set8(1228, 1);
    Set16(1224, 7);
    Set8(1142, 8);
    Set8(3824, 2);
    Set8(1227, 13);
    Set8(3826, 2);
    Set8(3827, 3);
    Set8(3828, 1);
    Set16(3842, 12);
    Set16(3844, 12);
    Set16(3846, -111);
    Set16(3848, 222);
    Set16(3850, -333);
    Set16(3852, 444);
    Set16(3856, -555);
    Set8(4892, 1);
    Set8(4902, 1);
    Set8(3800, 7);
    Set8(3801, 1);
    Set8(3802, 1);
    SetText(5174, 129, WIDE("T415"));
    Set8(1223, 6);
    Set16(372, 3);
    Set16(374, 4);
    Set16(376, 1);  // Letter
    Set32(1156, 666666);
    Set32(1160, -777777);
    Set16(378, 2);
    Set8(386, 1);
    Set16(388, 888);
    Set16(390, 5);  // Legal
    Set32(1172, -999999);
    Set32(1176, 1111110);
    Set16(392, 260);
    Set32(396, 267);
    Set8(814, 1);
    Set8(815, 1);
    Set8(816, 1);
    Set16(818, -1221);
    Set16(820, 1332);
    Set8(822, 7);
    SetText(824, 64, WIDE("T109"));
    Set16(954, -1443);
    Set8(956, 1);
    Set8(957, 1);
    Set8(958, 0);
    Set8(959, 1);
    SetText(960, 24, WIDE("T116"));
    Set8(1008, 7);
    SetText(1010, 64, WIDE("T118"));
    Set16(1140, 1554);
    Set8(3825, 4);
    Set8(1144, 2);
    Set8(1145, 1);
    Set16(1146, -1665);
    Set8(1150, 1);
    Set8(3786, 2);
    Set8(3787, 2);
    Set16(3788, 260);
    Set8(3790, 2);
    Set8(3791, 1);
    Set8(3792, 1);
    Set16(3794, 260);
    Set8(3796, 1);
    Set16(3798, 260);
    Set8(4923, 11);
    Set8(1229, 1);
    SetBytes(1230, {0xA1, 0xB3, 0x05});
    SetBytes(1730, {0x52});
    SetBytes(2230, {0x07});
    SetBytes(8584, {0xF1, 0x08});
    Set8(3746, 1);
    Set16(3748, 1776);
    Set16(3752, -1887);
    Set16(3756, 1998);
    Set16(3760, -2109);
    Set8(4376, 1);
    SetText(4380, 256, WIDE("T213"));
    Set16(4894, 13);
    Set8(3858, 1);
    SetText(3860, 256, WIDE("T218"));
    Set8(4372, 4);
    Set16(4374, 11);
    Set8(3764, 20);
    Set8(3766, 3);
    Set8(3767, 4);
    Set8(3768, 2);
    Set8(3769, 2);
    Set8(1151, 1);
    Set8(6977, 1);
    SetText(6978, 21, WIDE("Owner"));
    Set8(5432, 1);
    SetText(5434, 256, WIDE("Job\u00E9"));
    Set8(4903, 1);
    SetText(4904, 9, WIDE("4321"));
    Set8(4922, 1);
    Set8(382, 1);
    Set8(383, 3);
    Set8(384, 2);
    Set8(385, 1);
    Set8(3230, 5);
    Set8(3231, 0);
    Set8(400, 88);
    Set8(401, 8);
    Set8(402, 3);
    Set8(3770, 2);
    Set8(3771, 255);
    Set8(3774, 1);
    Set16(3776, 2220);
    Set8(3780, 1);
    Set8(3781, 2);
    Set8(3782, 1);
    Set16(3784, 260);
    Set8(5946, 1);
    Set8(5947, 5);
    Set8(5948, 1);
    Set8(5949, 1);
    SetText(5952, 256, WIDE("T405"));
    SetText(6464, 256, WIDE("T406"));
    Set8(6976, 3);
    EXPECT_EQ(Build(), kEveryFieldChangedHeader);
}

// Only the first 12000 bytes of the settings belong to the builder.
TEST_F(PjlHeaderTest, ReadsNoMoreThanTheFirst12000Bytes) {
    std::vector<BYTE> exact(block.begin(), block.begin() + kPjlHeaderSettingsBytes);
    block.clear();
    block.shrink_to_fit();
    EXPECT_EQ(BuildPjlHeader(modules, printer, exact.data(), WIDE("Doc1"), WIDE("alice")), S_OK);
    EXPECT_EQ(sim::WrittenBytes(printer), kDefaultHeader);
}

TEST_F(PjlHeaderTest, NoSettingsWriteNothing) {
    EXPECT_EQ(BuildPjlHeader(modules, printer, nullptr, WIDE("Doc1"), WIDE("alice")), S_OK);
    EXPECT_EQ(sim::CallCount(sim::Api::WritePrinter), 0u);
}

TEST_F(PjlHeaderTest, CopiesFollowTheCopyMode) {
    Set16(1224, 3);
    Set8(1228, 2);
    EXPECT_EQ(LinesOf(Build(), "QTY"), Lines{"@PJL SET QTY=3"});
    Restart();
    Set8(1228, 1);
    const std::string copies = Build();
    EXPECT_EQ(LinesOf(copies, "COPIES"), Lines{"@PJL SET COPIES=3"});
    EXPECT_EQ(LinesOf(copies, "QTY"), Lines{});
    Restart();
    Set8(1228, 0);
    const std::string none = Build();
    EXPECT_EQ(LinesOf(none, "COPIES"), Lines{});
    EXPECT_EQ(LinesOf(none, "QTY"), Lines{});
}

TEST_F(PjlHeaderTest, TwoLineSettingsAndSpecialRows) {
    Set16(372, 2);        // duplex
    Set16(392, 258);      // input slot
    Set8(3231, 45);       // shared box
    Set8(3771, 0xFF);     // booklet splitting stored as -1
    Set16(3748, -150);    // image shift, 16-bit signed
    Set32(1156, 123456);  // page width, 32-bit, not clamped
    Set32(396, 267);      // media type, a 32-bit key
    const std::string header = Build();
    EXPECT_NE(header.find("@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n@PJL SET ZTDUPLEXMIXEDPAGE=OFF\r\n"),
              std::string::npos);
    EXPECT_NE(
        header.find("@PJL SET AUTOSELECT=OFF\r\n@PJL SET MEDIASOURCE=TRAY1\r\n@PJL SET MEDIATYPE=PLAINPREMIUM\r\n"),
        std::string::npos);
    EXPECT_EQ(LinesOf(header, "ZTOUTPUTBOX"), Lines{"@PJL SET ZTOUTPUTBOX=SHAREDBOX45"});
    EXPECT_EQ(LinesOf(header, "ZTBOOKLETSPLITTING"), Lines{"@PJL SET ZTBOOKLETSPLITTING=AUTO"});
    EXPECT_EQ(LinesOf(header, "ZTIMAGESHIFTFRONTV"), Lines{"@PJL SET ZTIMAGESHIFTFRONTV=-150"});
    EXPECT_EQ(LinesOf(header, "ZTPAGESIZEWIDTH"), Lines{"@PJL SET ZTPAGESIZEWIDTH=123456"});

    Restart();
    Set8(3231, 0);
    Set16(392, 7);
    const std::string personal = Build();
    EXPECT_EQ(LinesOf(personal, "ZTOUTPUTBOX"), Lines{"@PJL SET ZTOUTPUTBOX=PERSONALBOX"});
    EXPECT_EQ(LinesOf(personal, "AUTOSELECT"), Lines{"@PJL SET AUTOSELECT=ON"});
    EXPECT_EQ(LinesOf(personal, "MEDIASOURCE"), Lines{});
}

// An option the table does not know drops its line and nothing else.
TEST_F(PjlHeaderTest, UnknownOptionLeavesOnlyItsLineOut) {
    Set8(1227, 4);
    std::string expected = kDefaultHeader;
    const std::string line = "@PJL SET ZTPRINTDENSITY=0\r\n";
    expected.erase(expected.find(line), line.size());
    EXPECT_EQ(Build(), expected);
}

TEST_F(PjlHeaderTest, OwnerAndJobNamesFallBackToTheInputs) {
    Set8(6977, 1);                           // owner-name switch set, owner name empty
    SetText(5434, 256, WIDE("Stored job"));  // job-name switch cleared
    const std::string header = Build(WIDE("Report.pdf"), WIDE("bob"));
    EXPECT_EQ(LinesOf(header, "ZTOWNERNAME"), Lines{"@PJL SET ZTOWNERNAME=ON"});
    EXPECT_EQ(LinesOf(header, "USERNAME"), Lines{"@PJL SET USERNAME=626F62"});
    EXPECT_EQ(LinesOf(header, "JOBNAME"), Lines{"@PJL SET JOBNAME=" + HexDigits("Report.pdf")});

    Restart();
    SetText(6978, 21, WIDE("Owner"));
    Set8(5432, 1);
    const std::string stored = Build(WIDE("Report.pdf"), WIDE("bob"));
    EXPECT_EQ(LinesOf(stored, "USERNAME"), Lines{"@PJL SET USERNAME=" + HexDigits("Owner")});
    EXPECT_EQ(LinesOf(stored, "JOBNAME"), Lines{"@PJL SET JOBNAME=" + HexDigits("Stored job")});

    Restart();
    Set8(6977, 0);
    Set8(5432, 0);
    const std::string empty = Build(nullptr, nullptr);
    EXPECT_EQ(LinesOf(empty, "USERNAME"), Lines{"@PJL SET USERNAME="});
    EXPECT_EQ(LinesOf(empty, "JOBNAME"), Lines{"@PJL SET JOBNAME="});
}

TEST_F(PjlHeaderTest, PasswordWithLineBreaksStaysOnItsLine) {
    Set8(4903, 1);
    SetText(4904, 9, WIDE("12\r\n34"));
    const std::string header = Build();
    EXPECT_NE(header.find("@PJL SET ZTSECRETNUM=ON\r\n@PJL SET PASSWORD=1234\r\n@PJL SET ZTHIDEJOB=OFF\r\n"),
              std::string::npos);
}

// Each text stops at the end of its field even without a terminator, though
// the bytes after it are not zero.
TEST_F(PjlHeaderTest, UnterminatedTextFieldsEndAtTheirCapacity) {
    FillUnits(4904, 9, u'7');  // password; the hide-job byte at 4922 follows
    Set8(4922, 1);
    FillUnits(5174, 129, u'C');  // job comment; the job-name switch at 5432 follows
    Set8(5432, 1);
    FillUnits(5434, 256, u'J');  // job name; the form switch at 5946 follows
    Set8(5946, 1);
    Set8(6977, 1);
    FillUnits(6978, 21, u'O');  // owner name; the bytes at 7020 follow
    FillUnits(7020, 8, u'X');
    FillUnits(960, 24, u'D');  // date; the date position at 1008 follows
    FillUnits(824, 64, u'F');  // page font; the page font size at 954 follows
    const std::string header = Build();
    EXPECT_EQ(LinesOf(header, "PASSWORD"), Lines{"@PJL SET PASSWORD=777777777"});
    EXPECT_EQ(LinesOf(header, "ZTHIDEJOB"), Lines{"@PJL SET ZTHIDEJOB=ON"});
    EXPECT_EQ(LinesOf(header, "ZTJOBCOMMENT"), Lines{"@PJL SET ZTJOBCOMMENT=" + HexDigits(std::string(129, 'C'))});
    EXPECT_EQ(LinesOf(header, "JOBNAME"), Lines{"@PJL SET JOBNAME=" + HexDigits(std::string(256, 'J'))});
    EXPECT_EQ(LinesOf(header, "USERNAME"), Lines{"@PJL SET USERNAME=" + HexDigits(std::string(21, 'O'))});
    EXPECT_EQ(LinesOf(header, "ZTDATEINFO"), Lines{"@PJL SET ZTDATEINFO=" + HexDigits(std::string(24, 'D'))});
    EXPECT_EQ(LinesOf(header, "ZTSTAMPPAGEFONT"), Lines{"@PJL SET ZTSTAMPPAGEFONT=" + HexDigits(std::string(64, 'F'))});
}

// The caller's document name buffer holds 520 units and its user name 21.
TEST_F(PjlHeaderTest, UnterminatedInputsEndAtTheirCapacity) {
    std::vector<WCHAR> document(600, u'd');
    std::vector<WCHAR> user(40, u'u');
    const std::string header = Build(document.data(), user.data());
    EXPECT_EQ(LinesOf(header, "JOBNAME"), Lines{"@PJL SET JOBNAME=" + HexDigits(std::string(520, 'd'))});
    EXPECT_EQ(LinesOf(header, "USERNAME"), Lines{"@PJL SET USERNAME=" + HexDigits(std::string(21, 'u'))});
}

TEST_F(PjlHeaderTest, PageListsAreDecoded) {
    const BYTE list[] = {0xA1, 0xB3, 0x05};
    WriteSettingBytes(Span(), 1230, list, sizeof list);
    WriteSettingBytes(Span(), 8584, list, sizeof list);
    const std::string header = Build();
    EXPECT_EQ(LinesOf(header, "ZTPAGETRAYSTANDARD"), Lines{"@PJL SET ZTPAGETRAYSTANDARD=1,3-5"});
    EXPECT_EQ(LinesOf(header, "ZTPAGETRAYTRAY1"), Lines{"@PJL SET ZTPAGETRAYTRAY1="});
    EXPECT_EQ(LinesOf(header, "ZTPAGETRAYEXTERNALFEEDER"), Lines{"@PJL SET ZTPAGETRAYEXTERNALFEEDER=1,3-5"});
}

TEST_F(PjlHeaderTest, HostNameComesFromTheComputerName) {
    sim::SetComputerName(u"PC1");
    EXPECT_EQ(LinesOf(Build(), "ZTHOSTNAME"), Lines{"@PJL SET ZTHOSTNAME=504331"});
}

// Decided: an unreadable computer name goes out as an empty host name.
TEST_F(PjlHeaderTest, UnreadableComputerNameGivesAnEmptyHostName) {
    sim::FailCalls(sim::Api::GetComputerNameExW, ERROR_MORE_DATA);
    std::string expected = kDefaultHeader;
    const std::string line = "ZTHOSTNAME=53494D484F5354\r\n";
    expected.replace(expected.find(line), line.size(), "ZTHOSTNAME=\r\n");
    EXPECT_EQ(Build(), expected);
}

// Every text field filled with two-byte characters: far more than 4095 bytes
// of header, three chunks.
void PjlHeaderTest::FillEveryText() {
    const auto accents = [](size_t count) { return std::u16string(count, u'\u00E9'); };
    SetText(824, 64, accents(63).c_str());
    SetText(1010, 64, accents(63).c_str());
    SetText(3860, 256, accents(255).c_str());
    SetText(4380, 256, accents(255).c_str());
    SetText(5174, 129, accents(128).c_str());
    SetText(5952, 256, accents(255).c_str());
    SetText(6464, 256, accents(255).c_str());
    Set8(5432, 1);
    SetText(5434, 256, accents(255).c_str());
}

// The long header goes out in several writes of whole lines, each as full as
// the next line allows.
TEST_F(PjlHeaderTest, LongHeaderGoesOutInWholeLineChunks) {
    FillEveryText();
    const std::string header = Build();

    std::string expected = kDefaultHeader;
    auto replace = [&expected](const std::string& from, const std::string& to) {
        expected.replace(expected.find(from), from.size(), to);
    };
    auto fill = [&replace](const std::string& variable, size_t count) {
        std::string hex;
        for (size_t i = 0; i < count; ++i) hex += "C3A9";
        replace("@PJL SET " + variable + "=\r\n", "@PJL SET " + variable + "=" + hex + "\r\n");
    };
    fill("ZTSTAMPPAGEFONT", 63);
    fill("ZTSTAMPDATEFONT", 63);
    fill("ZTOUTPUTPROFILESELECTION", 255);
    fill("ZTBARCODESELECTION", 255);
    fill("ZTJOBCOMMENT", 128);
    fill("ZTFORMSELECT1", 255);
    fill("ZTFORMSELECT2", 255);
    replace("ZTJOBNAME=OFF\r\n@PJL SET JOBNAME=446F6331\r\n", "ZTJOBNAME=ON\r\n@PJL SET JOBNAME=\r\n");
    fill("JOBNAME", 255);
    ASSERT_GT(expected.size(), 2u * kHeaderChunkBytes);
    EXPECT_EQ(header, expected);

    const std::vector<std::string> chunks = sim::WrittenChunks(printer);
    ASSERT_EQ(chunks.size(), 3u);
    for (size_t i = 0; i < chunks.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(chunks[i].size(), kHeaderChunkBytes);
        ASSERT_GE(chunks[i].size(), 2u);
        EXPECT_EQ(chunks[i].substr(chunks[i].size() - 2), "\r\n");
        if (i + 1 < chunks.size()) {
            // The piece that opened the next chunk did not fit into this one.
            const size_t firstLine = chunks[i + 1].find("\r\n") + 2;
            EXPECT_GT(chunks[i].size() + firstLine, kHeaderChunkBytes);
        }
    }
}

// A failing spooler ends the header at its first failed write: no later chunk
// is offered behind the gap, and the failure comes back with the spooler's error.
TEST_F(PjlHeaderTest, FailedWriteEndsTheHeader) {
    SetText(5952, 256, std::u16string(255, u's').c_str());
    SetText(6464, 256, std::u16string(255, u't').c_str());
    sim::FailCalls(sim::Api::WritePrinter, ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(BuildPjlHeader(modules, printer, block.data(), WIDE("Doc1"), WIDE("alice")), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const std::vector<sim::WriteCall> calls = sim::WriteCalls(printer);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].result, FALSE);

    Restart();
    EXPECT_EQ(BuildPjlHeader(modules, printer, block.data(), WIDE("Doc1"), WIDE("alice")), S_OK);
    EXPECT_EQ(BuildPjlHeader(modules, printer, nullptr, WIDE("Doc1"), WIDE("alice")), S_OK);  // nothing to say
}

// A spooler may take less than it is offered: the rest of the chunk is offered
// again, from the first byte not taken, until all of it is taken.
TEST_F(PjlHeaderTest, PartlyTakenChunkIsSentOnUntilAllIsTaken) {
    const std::string full = kDefaultHeader;
    for (DWORD limit : {1u, 2u, 7u, 100u, 1000u, 2999u, static_cast<DWORD>(full.size() - 1)}) {
        SCOPED_TRACE(limit);
        Restart();
        sim::SetWriteLimit(limit);
        EXPECT_EQ(Build(), full);
        const std::vector<sim::WriteCall> calls = sim::WriteCalls(printer);
        ASSERT_EQ(calls.size(), (full.size() + limit - 1) / limit);
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].offered, full.size() - i * limit) << "call " << i;
        }
    }
}

// Each chunk is finished before the next is offered; a failed write, or one
// that takes nothing (it would take nothing again), ends the header there, so
// the spooler holds the header's beginning and never lines with a gap.
TEST_F(PjlHeaderTest, ShortFailedAndEmptyWritesOfALongHeader) {
    FillEveryText();
    const std::vector<std::string> chunks = [this] {
        Build();
        return sim::WrittenChunks(printer);
    }();
    ASSERT_EQ(chunks.size(), 3u);
    const std::string whole = chunks[0] + chunks[1] + chunks[2];

    Restart();
    sim::SetWriteLimit(1000);
    EXPECT_EQ(Build(), whole);
    std::vector<DWORD> expectedOffers;
    for (const std::string& chunk : chunks) {
        for (size_t rest = chunk.size(); rest > 0; rest -= rest < 1000 ? rest : 1000) {
            expectedOffers.push_back(static_cast<DWORD>(rest));
        }
    }
    std::vector<DWORD> offers;
    for (const sim::WriteCall& call : sim::WriteCalls(printer)) offers.push_back(call.offered);
    EXPECT_EQ(offers, expectedOffers);

    // The second call (the rest of the first chunk) fails.
    Restart();
    sim::SetWriteLimit(1000);
    sim::FailCalls(sim::Api::WritePrinter, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    EXPECT_EQ(Build(), chunks[0].substr(0, 1000));
    ASSERT_EQ(sim::WriteCalls(printer).size(), 2u);
    EXPECT_EQ(sim::WriteCalls(printer)[1].offered, chunks[0].size() - 1000);

    // The first write of the second chunk fails: the first chunk stays whole.
    Restart();
    const unsigned firstChunkCalls = static_cast<unsigned>((chunks[0].size() + 999) / 1000);
    sim::SetWriteLimit(1000);
    sim::FailCalls(sim::Api::WritePrinter, ERROR_NOT_ENOUGH_MEMORY, firstChunkCalls, 1);
    EXPECT_EQ(Build(), chunks[0]);
    EXPECT_EQ(sim::WriteCalls(printer).size(), firstChunkCalls + 1);

    Restart();
    sim::SetWriteLimit(0);
    SetLastError(0);
    EXPECT_EQ(BuildPjlHeader(modules, printer, block.data(), WIDE("Doc1"), WIDE("alice")), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_EQ(sim::WrittenBytes(printer), "");
    const std::vector<sim::WriteCall> empty = sim::WriteCalls(printer);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].offered, chunks[0].size());
    EXPECT_EQ(empty[0].result, TRUE);
}

// Headers of jobs on different threads share only the constant settings index.
TEST_F(PjlHeaderTest, HeadersOnSeveralThreadsDoNotMix) {
    HANDLE printers[4];
    for (HANDLE& p : printers) p = sim::AddPrinter(u"Inkjet");
    std::vector<std::thread> threads;
    for (HANDLE p : printers) {
        threads.emplace_back([this, p] {
            for (int i = 0; i < 20; ++i)
                EXPECT_EQ(BuildPjlHeader(modules, p, block.data(), WIDE("Doc1"), WIDE("alice")), S_OK);
        });
    }
    for (std::thread& t : threads) t.join();
    for (HANDLE p : printers) {
        const std::vector<std::string> chunks = sim::WrittenChunks(p);
        ASSERT_EQ(chunks.size(), 20u);
        for (const std::string& chunk : chunks) EXPECT_EQ(chunk, kDefaultHeader);
    }
}

class PaperCodeTest : public PjlHeaderTest {};

TEST_F(PaperCodeTest, TableNumbersWinOverFormPositions) {
    // Position 9 of this list is a user form the file would map to A3W.
    std::vector<sim::Form> forms = sim::DefaultForms();
    forms[8] = sim::Form{u"MyForm", FORM_USER, 100000, 100000};
    sim::SetForms(printer, forms);
    WriteList(u"PJL_PAPER_LIST=MyForm=21\n");
    const PrinterPaperCodes codes = FindPrinterPaperCodes(modules, printer, 9, 1);
    EXPECT_EQ(codes.pageSize, 2);      // A4
    EXPECT_EQ(codes.outputPaper, 19);  // Letter
}

TEST_F(PaperCodeTest, FormNamesAreLookedUpInThePaperList) {
    // Positions 2 and 4 are no kPaperTable numbers.
    sim::SetForms(printer,
                  {sim::Form{u"Letter", FORM_BUILTIN, 215900, 279400}, sim::Form{u"MyForm", FORM_USER, 100000, 100000},
                   sim::Form{u"Tabloid", FORM_BUILTIN, 279400, 431800}, sim::Form{u"Other", FORM_USER, 90000, 90000}});
    // A line that begins with U+FEFF is no comment; one that begins with ";" is.
    WriteList(u"\xFEFF;PJL_PAPER_LIST=Other= -7x\r\n;PJL_PAPER_LIST=MyForm=1\r\nPJL_PAPER_LIST=MyForm=21\r\n");
    Set16(376, 2);
    Set16(390, 4);
    const std::string header = Build();
    EXPECT_EQ(LinesOf(header, "ZTPAGESIZE"), Lines{"@PJL SET ZTPAGESIZE=A3W"});
    // -7 is no paper code: no PAPER line.
    EXPECT_EQ(LinesOf(header, "PAPER"), Lines{});
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 2, 4).outputPaper, -7);
}

TEST_F(PaperCodeTest, UnlistedFormsAreCustomSize) {
    sim::SetForms(
        printer, {sim::Form{u"Letter", FORM_BUILTIN, 215900, 279400}, sim::Form{u"MyForm", FORM_USER, 100000, 100000}});
    Set16(376, 2);
    EXPECT_EQ(LinesOf(Build(), "ZTPAGESIZE"), Lines{"@PJL SET ZTPAGESIZE=CUSTOMSIZE"});

    // A prefix of the name, a line after the end marker, and a code above 30
    // give nothing.
    WriteList(u"PJL_PAPER_LIST=MyFor=3\nPJL_PAPER_LIST=MyFormX=4\n[PAPER_LIST_END]\nPJL_PAPER_LIST=MyForm=5\n");
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 2, 2).pageSize, 256);
    WriteList(u"PJL_PAPER_LIST=MyForm=99\n");
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 2, 2).pageSize, 99);
    Restart();
    sim::SetForms(
        printer, {sim::Form{u"Letter", FORM_BUILTIN, 215900, 279400}, sim::Form{u"MyForm", FORM_USER, 100000, 100000}});
    EXPECT_EQ(LinesOf(Build(), "ZTPAGESIZE"), Lines{});
}

TEST_F(PaperCodeTest, OutputPaperZeroNeedsAFormList) {
    EXPECT_EQ(LinesOf(Build(), "PAPER"), Lines{"@PJL SET PAPER=AUTO"});
    Restart();
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_INVALID_HANDLE);
    const std::string header = Build();
    EXPECT_EQ(LinesOf(header, "PAPER"), Lines{"@PJL SET PAPER=CUSTOMSIZE"});
    EXPECT_EQ(LinesOf(header, "ZTPAGESIZE"), Lines{"@PJL SET ZTPAGESIZE=A4"});
}

TEST_F(PaperCodeTest, SecondFormListCallFailing) {
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_INVALID_HANDLE, 1, 1);
    const PrinterPaperCodes codes = FindPrinterPaperCodes(modules, printer, 256, 0);
    EXPECT_EQ(codes.pageSize, 256);
    EXPECT_EQ(codes.outputPaper, 256);
}

TEST_F(PaperCodeTest, NumbersOutsideTheFormListFindNoForm) {
    WriteList(u"PJL_PAPER_LIST=Letter=3\n");
    // 47 default forms: 48 and above, 0 and negatives designate none.
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 48, 48).pageSize, 256);
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, -1, -1).pageSize, 256);
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 0, -1).outputPaper, 256);
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 32767, 32767).outputPaper, 256);
    // With no form list the file is never asked.
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_INVALID_HANDLE);
    const unsigned opens = sim::CallCount(sim::Api::CreateFileW);
    EXPECT_EQ(FindPrinterPaperCodes(modules, printer, 2, 2).pageSize, 256);
    EXPECT_EQ(sim::CallCount(sim::Api::CreateFileW), opens);
}

TEST_F(PaperCodeTest, BothCodesFromTheFile) {
    sim::SetForms(printer,
                  {sim::Form{u"Letter", FORM_BUILTIN, 215900, 279400}, sim::Form{u"Small", FORM_USER, 100000, 100000},
                   sim::Form{u"Tabloid", FORM_BUILTIN, 279400, 431800}, sim::Form{u"Big", FORM_USER, 300000, 400000}});
    WriteList(u"PJL_PAPER_LIST=Small=4\nPJL_PAPER_LIST=Big=1\n");
    const PrinterPaperCodes codes = FindPrinterPaperCodes(modules, printer, 2, 4);
    EXPECT_EQ(codes.pageSize, 4);
    EXPECT_EQ(codes.outputPaper, 1);
}

}  // namespace
