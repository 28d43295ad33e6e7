// The stand-in sibling library answers as a printer-interface library does; the
// handler's tests and the paper tests rely on these answers.
#include "devmode_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SiblingTest : public SiblingFixture {
protected:
    void SetUp() override {
        SiblingFixture::SetUp();
        const FARPROC caps = GetProcAddress(sibling_, "DrvDeviceCapabilities");
        const FARPROC convert = GetProcAddress(sibling_, "DrvConvertDevMode");
        ASSERT_NE(caps, nullptr);
        ASSERT_NE(convert, nullptr);
        std::memcpy(&caps_, &caps, sizeof caps_);
        std::memcpy(&convert_, &convert, sizeof convert_);
    }

    DWORD Caps(WORD capability, void* output = nullptr) { return caps_(printer_, name_, capability, output, nullptr); }

    PFN_DrvDeviceCapabilities caps_ = nullptr;
    PFN_DrvConvertDevMode convert_ = nullptr;
    WCHAR name_[15] = u"Office Printer";
};

TEST_F(SiblingTest, CapabilitiesListTheTablePapersThenTheCustomSize) {
    EXPECT_EQ(Caps(DC_DRIVER), kSiblingDriverVersion);
    EXPECT_EQ(Caps(DC_EXTRA), 12004u);
    EXPECT_EQ(Caps(DC_BINS), GDI_ERROR);
    ASSERT_EQ(Caps(DC_PAPERS), 31u);
    ASSERT_EQ(Caps(DC_PAPERSIZE), 31u);
    ASSERT_EQ(Caps(DC_PAPERNAMES), 31u);

    std::vector<WORD> papers(31);
    std::vector<POINT> sizes(31);
    std::vector<WCHAR> names(31 * 64, 0xFFFF);
    EXPECT_EQ(Caps(DC_PAPERS, papers.data()), 31u);
    EXPECT_EQ(Caps(DC_PAPERSIZE, sizes.data()), 31u);
    EXPECT_EQ(Caps(DC_PAPERNAMES, names.data()), 31u);
    EXPECT_EQ(papers[0], 8);
    EXPECT_EQ(papers[1], 9);
    EXPECT_EQ(papers[29], 265);
    EXPECT_EQ(papers[30], 256);
    EXPECT_EQ(sizes[1].x, 2100);
    EXPECT_EQ(sizes[1].y, 2970);
    EXPECT_EQ(sizes[30].x, 3400);
    EXPECT_EQ(sizes[30].y, 5500);
    // Each name fills its 64 units, zero-padded.
    EXPECT_EQ(std::u16string(names.data() + 64, 3), std::u16string(u"A4\0", 3));
    EXPECT_EQ(names[64 + 63], 0);
    EXPECT_EQ(std::u16string(names.data() + 30 * 64), u"User Defined Size");
}

TEST_F(SiblingTest, SteeredAnswers) {
    Sibling().overrideExtra = true;
    Sibling().extraAnswer = 500;
    Sibling().overridePaperCount = true;
    Sibling().paperCountAnswer = GDI_ERROR;
    EXPECT_EQ(Caps(DC_EXTRA), 500u);
    EXPECT_EQ(Caps(DC_PAPERS), GDI_ERROR);
    EXPECT_EQ(Caps(DC_PAPERNAMES), GDI_ERROR);
    EXPECT_EQ(Sibling().capabilityCalls, 3u);
    EXPECT_EQ(Sibling().capabilityCallsWithDevmode, 0u);
}

TEST_F(SiblingTest, SizeQueriesAndTooSmallBuffersReportTheRequiredSize) {
    LONG needed = 0;
    SetLastError(0);
    EXPECT_EQ(convert_(name_, nullptr, nullptr, &needed, CDM_DRIVER_DEFAULT), FALSE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(needed, 12224);

    std::vector<BYTE> out(12223);
    needed = static_cast<LONG>(out.size());
    EXPECT_EQ(convert_(name_, nullptr, reinterpret_cast<DEVMODEW*>(out.data()), &needed, CDM_DRIVER_DEFAULT), FALSE);
    EXPECT_EQ(needed, 12224);
    EXPECT_EQ(out, std::vector<BYTE>(12223, 0));

    Sibling().overrideExtra = true;
    Sibling().extraAnswer = 20000;
    needed = 0;
    EXPECT_EQ(convert_(name_, nullptr, nullptr, &needed, CDM_DRIVER_DEFAULT), FALSE);
    EXPECT_EQ(needed, 20220);
}

TEST_F(SiblingTest, InvalidRequestsAreRefusedWithInvalidParameter) {
    std::vector<BYTE> in(12224, 0);
    std::vector<BYTE> out(12224, 0);
    DEVMODEW* inDm = reinterpret_cast<DEVMODEW*>(in.data());
    DEVMODEW* outDm = reinterpret_cast<DEVMODEW*>(out.data());
    LONG needed = 12224;
    const auto refused = [&](DEVMODEW* input, LONG* size, DWORD mode) {
        SetLastError(0);
        const BOOL ok = convert_(name_, input, outDm, size, mode);
        return ok == FALSE && GetLastError() == ERROR_INVALID_PARAMETER;
    };
    EXPECT_TRUE(refused(nullptr, &needed, CDM_CONVERT));
    EXPECT_TRUE(refused(inDm, &needed, CDM_CONVERT));  // dmSize 0
    inDm->dmSize = 220;
    inDm->dmDriverExtra = 12003;  // cannot hold the settings block
    EXPECT_TRUE(refused(inDm, &needed, CDM_CONVERT));
    inDm->dmDriverExtra = 12004;
    EXPECT_TRUE(refused(inDm, nullptr, CDM_CONVERT));
    EXPECT_TRUE(refused(inDm, &needed, CDM_CONVERT351));
    Sibling().refuseConversion = true;
    EXPECT_TRUE(refused(inDm, &needed, CDM_CONVERT));
    Sibling().refuseConversion = false;
    EXPECT_EQ(convert_(name_, inDm, outDm, &needed, CDM_CONVERT), TRUE);
}

TEST_F(SiblingTest, DefaultsAndConversionWriteTheSettingsBlock) {
    std::vector<BYTE> out(12224, 0xEE);
    DEVMODEW* outDm = reinterpret_cast<DEVMODEW*>(out.data());
    LONG needed = 12224;
    ASSERT_EQ(convert_(name_, nullptr, outDm, &needed, CDM_DRIVER_DEFAULT), TRUE);
    EXPECT_EQ(outDm->dmSize, 220);
    EXPECT_EQ(outDm->dmDriverExtra, 12004);
    EXPECT_EQ(outDm->dmDriverVersion, kSiblingDriverVersion);
    EXPECT_EQ(outDm->dmPaperSize, 9);
    EXPECT_EQ(std::u16string(outDm->dmDeviceName), u"Office Printer");
    EXPECT_EQ(Bytes(out.data(), 220, kIdentification.size()), kIdentification);
    EXPECT_EQ(ReadShortAt(out.data(), 220 + 376), 9);
    EXPECT_EQ(ReadShortAt(out.data(), 220 + 372), 1);
    EXPECT_EQ(ReadShortAt(out.data(), 220 + 388), 100);  // a table default (zoom rate)
    EXPECT_EQ(out[220 + 100], 0);                        // unlisted bytes are zero

    // Conversion carries the input and sets the identification.
    std::vector<BYTE> in(out);
    in[220] = 'X';
    in[220 + 5000] = 0x42;
    std::vector<BYTE> converted(12224, 0);
    ASSERT_EQ(convert_(name_, reinterpret_cast<DEVMODEW*>(in.data()), reinterpret_cast<DEVMODEW*>(converted.data()),
                       &needed, CDM_CONVERT),
              TRUE);
    EXPECT_EQ(Bytes(converted.data(), 220, kIdentification.size()), kIdentification);
    EXPECT_EQ(converted[220 + 5000], 0x42);
    EXPECT_EQ(Bytes(converted.data(), 0, 220), Bytes(in.data(), 0, 220));
}

}  // namespace
