#include "devmode_fixture.h"
#include "harness/core_helper.h"
#include "common/result_macros.h"
#include "settings/devmode_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

constexpr size_t kBlock = kPrivatePartHeaderBytes;  // settings block offset in a private part
constexpr size_t kCopyBlock = sizeof(DEVMODEW);     // settings block offset in a conversion copy
constexpr size_t kDuplexOffset = 372;               // within the settings block
constexpr size_t kPaperNumberOffset = 376;

// One OEMDMPARAM with the buffers it points to. An empty buffer is passed as null.
struct Request {
    PublicDevmode publicIn;
    PublicDevmode publicOut;
    std::vector<BYTE> privateIn;
    std::vector<BYTE> privateOut;
    bool explicitBufSize = false;
    DWORD bufSize = 0;
    OEMDMPARAM param{};

    OEMDMPARAM* Wire(HANDLE printer) {
        param = OEMDMPARAM{};
        param.cbSize = sizeof param;
        param.hPrinter = printer;
        param.pPublicDMIn = publicIn.bytes.empty() ? nullptr : publicIn.dm();
        param.pPublicDMOut = publicOut.bytes.empty() ? nullptr : publicOut.dm();
        param.pOEMDMIn = privateIn.empty() ? nullptr : privateIn.data();
        param.pOEMDMOut = privateOut.empty() ? nullptr : privateOut.data();
        param.cbBufSize = explicitBufSize ? bufSize : static_cast<DWORD>(privateOut.size());
        return &param;
    }
};

Request ConvertRequest(short paperIn) {
    Request r;
    r.publicIn = MakePublic(paperIn);
    r.publicOut = MakePublic(DMPAPER_A4);
    r.privateIn = MakePrivate();
    r.privateOut = MakePrivate();
    return r;
}

Request CustomRequest(short paper, short width, short length) {
    Request r = ConvertRequest(paper);
    r.publicIn.dm()->dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
    r.publicIn.dm()->dmPaperWidth = width;
    r.publicIn.dm()->dmPaperLength = length;
    return r;
}

// The private output as the private part processing alone leaves it.
std::vector<BYTE> AfterPrivatePartOnly(Request r, DWORD mode, HANDLE printer) {
    EXPECT_EQ(ProcessPrivatePart(mode, r.Wire(printer)), S_OK);
    return r.privateOut;
}

sim::Form Form(const char16_t* name, DWORD flags, LONG width, LONG height) {
    return sim::Form{name, flags, width, height};
}

class HandleDevModeTest : public SiblingFixture {
protected:
    HRESULT Run(DWORD mode, Request& r, IPrintCoreHelperPS* helper) {
        // As the plug-in's DevMode method hands it to the driver.
        return DriverConventionResult(HandleDevMode(mode, r.Wire(printer_), helper, modules));
    }

    harness::CoreHelper helper_;
};

// ---------------------------------------------------------------------------
// Custom page size

TEST(CustomPageSizeText, PointsAreTruncatedAndClamped) {
    struct Case {
        short width;
        short length;
        const char* text;
    };
    const Case cases[] = {
        {2100, 2970, "595 841 0 0 ShortEdge"},  {100, 2970, "255 841 0 0 ShortEdge"},
        {900, 1482, "255 420 0 0 ShortEdge"},    // 255.1 and 420.1 points
        {899, 1480, "255 420 0 0 ShortEdge"},    // 254.8 and 419.5: below, clamped up
        {3401, 5500, "964 1559 0 0 ShortEdge"},  // 964.1 and 1559.1
        {3405, 5510, "964 1559 0 0 ShortEdge"},  // 965.2 and 1561.9: clamped down
        {-2100, 0, "255 420 0 0 ShortEdge"},    {32767, 32767, "964 1559 0 0 ShortEdge"},
    };
    for (const Case& c : cases) {
        char text[kCustomPageSizeTextBytes];
        FormatCustomPageSize(c.width, c.length, text);
        EXPECT_STREQ(text, c.text) << c.width << " x " << c.length;
    }
}

TEST_F(HandleDevModeTest, DriverCustomPaperPushesItsSizeOnTheOutput) {
    Request r = CustomRequest(32767, 2100, 2970);
    ASSERT_EQ(Run(OEMDM_CONVERT, r, &helper_), S_OK);

    ASSERT_EQ(helper_.setOptionsCalls.size(), 1u);
    const harness::CoreHelper::SetOptionsCall& call = helper_.setOptionsCalls[0];
    EXPECT_EQ(call.devmode, r.publicOut.dm());
    EXPECT_EQ(call.cbSize, 220u + kDriverExtra);
    EXPECT_EQ(call.resolveConflicts, TRUE);
    EXPECT_EQ(call.cPairs, 1u);
    EXPECT_TRUE(call.pairsWrittenNull);
    EXPECT_EQ(call.pairs, (Pairs{{"%CustomPageSize", "595 841 0 0 ShortEdge"}}));
    EXPECT_EQ(r.publicOut.dm()->dmPaperSize, 32767);
    EXPECT_EQ(r.publicOut.dm()->dmPaperWidth, 2100);
    EXPECT_EQ(r.publicOut.dm()->dmPaperLength, 2970);
    // The sibling got its own custom number for the driver's one.
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmPaperSize)), 256);
}

TEST_F(HandleDevModeTest, NarrowCustomWidthIsClampedInThePushedOption) {
    Request r = CustomRequest(32767, 100, 2970);
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);
    ASSERT_EQ(helper_.setOptionsCalls.size(), 1u);
    EXPECT_EQ(helper_.setOptionsCalls[0].pairs, (Pairs{{"%CustomPageSize", "255 841 0 0 ShortEdge"}}));
    // The sibling's copy is clamped to its own range; the input width is kept.
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmPaperWidth)), 900);
    EXPECT_EQ(r.publicOut.dm()->dmPaperWidth, 100);
}

TEST_F(HandleDevModeTest, SiblingCustomPaperMapsToAMatchingSiblingPaperOrToTheDriverCustomSize) {
    // 2100 x 2970 is the sibling's A4: the output selects it, and the size is
    // still pushed because the input asked for a custom size.
    Request matching = CustomRequest(256, 2100, 2970);
    ASSERT_EQ(Run(OEMDM_CONVERT, matching, &helper_), S_OK);
    EXPECT_EQ(matching.publicOut.dm()->dmPaperSize, 9);
    EXPECT_EQ(matching.publicIn.dm()->dmPaperSize, 32767);
    ASSERT_EQ(helper_.setOptionsCalls.size(), 1u);
    EXPECT_EQ(helper_.setOptionsCalls[0].pairs, (Pairs{{"%CustomPageSize", "595 841 0 0 ShortEdge"}}));

    helper_.setOptionsCalls.clear();
    Request odd = CustomRequest(256, 1234, 2345);
    ASSERT_EQ(Run(OEMDM_CONVERT, odd, &helper_), S_OK);
    EXPECT_EQ(odd.publicOut.dm()->dmPaperSize, 32767);
    ASSERT_EQ(helper_.setOptionsCalls.size(), 1u);
    EXPECT_EQ(helper_.setOptionsCalls[0].pairs, (Pairs{{"%CustomPageSize", "349 664 0 0 ShortEdge"}}));
    // The input's private part records the input's (now driver) paper number.
    EXPECT_EQ(ReadShortAt(odd.privateIn.data(), kBlock + kPaperNumberOffset), 32767);
}

TEST_F(HandleDevModeTest, CustomPaperWithoutCoreHelperChangesPaperButSetsNoOption) {
    Request r = CustomRequest(32767, 2100, 2970);
    ASSERT_EQ(Run(OEMDM_CONVERT, r, nullptr), S_OK);
    EXPECT_EQ(r.publicOut.dm()->dmPaperSize, 32767);
    EXPECT_TRUE(helper_.setOptionsCalls.empty());
}

// ---------------------------------------------------------------------------
// Conversion copies sized from the sibling's DC_EXTRA answer

struct ExtraCase {
    DWORD answer;
    LONG copyBytes;
    WORD driverExtra;
};

class ConversionCopySizeTest : public HandleDevModeTest, public ::testing::WithParamInterface<ExtraCase> {};

TEST_P(ConversionCopySizeTest, CopiesAreSizedAndDescribedFromTheAnswer) {
    Sibling().overrideExtra = true;
    Sibling().extraAnswer = GetParam().answer;
    Request r = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);

    ASSERT_EQ(Sibling().convertCalls, 1u);
    EXPECT_EQ(Sibling().lastMode, DWORD{CDM_CONVERT});
    EXPECT_EQ(Sibling().lastSizeIn, GetParam().copyBytes);
    DEVMODEW in;
    std::memcpy(&in, Sibling().lastInput, sizeof in);
    EXPECT_EQ(in.dmSize, 220);
    EXPECT_EQ(in.dmDriverExtra, GetParam().driverExtra);
    EXPECT_EQ(in.dmDriverVersion, kSiblingDriverVersion);
    EXPECT_EQ(Sibling().lastOutputOnEntry.dmDriverExtra, GetParam().driverExtra);
    EXPECT_EQ(Sibling().lastOutputOnEntry.dmDriverVersion, kSiblingDriverVersion);
    // The driver's DEVMODE keeps describing its own layout.
    EXPECT_EQ(r.publicOut.dm()->dmDriverExtra, kDriverExtra);
    EXPECT_EQ(r.publicOut.dm()->dmDriverVersion, kDriverVersion);
    EXPECT_EQ(r.publicOut.dm()->dmSize, 220);
}

INSTANTIATE_TEST_SUITE_P(DcExtra, ConversionCopySizeTest,
                         ::testing::Values(ExtraCase{20000, 20220, 20000}, ExtraCase{500, 12224, 12004},
                                           ExtraCase{12004, 12224, 12004}, ExtraCase{12005, 12225, 12005},
                                           ExtraCase{GDI_ERROR, 12224, 12004},
                                           // Beyond what dmDriverExtra can state: counted as no answer.
                                           ExtraCase{70000, 12224, 12004}, ExtraCase{65535, 65755, 65535}));

TEST_F(HandleDevModeTest, MissingCapabilitiesOrNoVersionAnswerGiveTheFallbacks) {
    Sibling().overrideDriver = true;
    Sibling().driverAnswer = GDI_ERROR;
    Request r = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmDriverVersion)), 0x0600);

    SiblingTestReset(Sibling());
    sim::HideExport(u"QM22TIE.dll", "DrvDeviceCapabilities");
    Request hidden = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, hidden, &helper_), S_OK);
    EXPECT_EQ(Sibling().capabilityCalls, 0u);
    ASSERT_EQ(Sibling().convertCalls, 1u);
    EXPECT_EQ(Sibling().lastSizeIn, 12224);
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmDriverVersion)), 0x0600);
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmDriverExtra)), 12004);
}

// ---------------------------------------------------------------------------
// The round trip through the sibling

TEST_F(HandleDevModeTest, MergeCarriesTheInputThroughTheSiblingIntoBothPrivateParts) {
    Request r = ConvertRequest(DMPAPER_A4);
    r.privateIn[kBlock + 100] = 0x5A;  // a byte no rule touches
    r.publicIn.dm()->dmCopies = 3;
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);

    EXPECT_EQ(Sibling().lastPrinterName, std::u16string(u"Office Printer"));
    EXPECT_EQ(Sibling().lastInput[kCopyBlock + 100], 0x5A);
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmCopies)), 3);
    // The output private part holds what the sibling wrote: the identification
    // it sets and the input's bytes it carried.
    EXPECT_EQ(Bytes(r.privateOut.data(), kBlock, kIdentification.size()), kIdentification);
    EXPECT_EQ(r.privateOut[kBlock + 100], 0x5A);
    EXPECT_EQ(ReadShortAt(r.privateIn.data(), kBlock + kPaperNumberOffset), DMPAPER_A4);
    EXPECT_EQ(r.publicOut.dm()->dmCopies, 3);
    EXPECT_EQ(r.publicOut.dm()->dmPaperSize, DMPAPER_A4);
}

TEST_F(HandleDevModeTest, WhatTheSiblingCarriesBackIsValidatedAgain) {
    // A damaged input part (copy count -5, duplex 0, an output box past 100)
    // goes through the sibling's conversion; the output keeps the rules.
    for (const DWORD mode : {DWORD{OEMDM_MERGE}, DWORD{OEMDM_CONVERT}}) {
        Request r = ConvertRequest(DMPAPER_A4);
        WriteShortAt(r.privateIn.data(), kBlock + 1224, -5);
        WriteShortAt(r.privateIn.data(), kBlock + kDuplexOffset, 0);
        r.privateIn[kBlock + 3231] = 170;
        r.privateIn[kBlock + 100] = 0x5A;  // a byte no rule touches is carried as it was
        ASSERT_EQ(Run(mode, r, &helper_), S_OK);
        const std::vector<BYTE>& out = r.privateOut;
        EXPECT_EQ(ReadShortAt(out.data(), kBlock + 1224), 1) << mode;
        EXPECT_EQ(ReadShortAt(out.data(), kBlock + kDuplexOffset), 1) << mode;
        EXPECT_EQ(out[kBlock + 3231], 1) << mode;
        EXPECT_EQ(out[kBlock + 100], 0x5A) << mode;
        std::vector<BYTE> again = out;
        ValidateSettings(PrivatePartSettings(again.data(), again.size()));
        EXPECT_EQ(again, out) << "mode " << mode << ": the block fails its own validation";
    }
}

TEST_F(HandleDevModeTest, OutputCopyStartsFromTheMergedOutputPrivatePart) {
    Request r = ConvertRequest(DMPAPER_A4);
    r.privateIn[kBlock + 100] = 0x5A;
    WriteShortAt(r.privateIn.data(), kBlock + kPaperNumberOffset, 0);  // the merge makes it 9
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);

    ASSERT_TRUE(Sibling().lastOutputBlockRecorded);
    EXPECT_EQ(Sibling().lastOutputBlockOnEntry[100], 0x5A);
    EXPECT_EQ(ReadShortAt(Sibling().lastOutputBlockOnEntry, kPaperNumberOffset), 9);
    EXPECT_EQ(ReadShortAt(Sibling().lastOutputBlockOnEntry, 388), 50);  // zoom rate 0 clamped
    // The input copy carries the input part as the driver gave it.
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, kCopyBlock + kPaperNumberOffset), 0);
}

TEST_F(HandleDevModeTest, InputFieldsAreCarriedToTheOutput) {
    Request r = ConvertRequest(32767);
    DEVMODEW& in = *r.publicIn.dm();
    in.dmFields |= DM_PAPERWIDTH;  // width asked for, length not
    in.dmPaperWidth = 1111;
    in.dmPaperLength = 1000;
    in.dmScale = 75;
    in.dmColor = DMCOLOR_MONOCHROME;
    in.dmTTOption = DMTT_SUBDEV;
    in.dmICMMethod = 2;
    in.dmICMIntent = 3;
    r.publicOut.dm()->dmFields = DM_COPIES;
    ASSERT_EQ(Run(OEMDM_MERGE, r, nullptr), S_OK);

    const DEVMODEW& out = *r.publicOut.dm();
    EXPECT_EQ(out.dmPaperWidth, 1111);
    EXPECT_EQ(out.dmPaperLength, 1480);  // the sibling's copy, clamped for the custom size
    EXPECT_EQ(out.dmScale, 75);
    EXPECT_EQ(out.dmColor, DMCOLOR_MONOCHROME);
    EXPECT_EQ(out.dmTTOption, DMTT_SUBDEV);
    EXPECT_EQ(out.dmICMMethod, 2u);
    EXPECT_EQ(out.dmICMIntent, 3u);
    EXPECT_EQ(out.dmFields & 0x01804810u, 0x01804810u);
}

TEST_F(HandleDevModeTest, DefaultRequestKeepsTheInputRenderingFieldsOverTheSiblingDefaults) {
    Request r;
    r.publicIn = MakePublic(DMPAPER_A4);
    r.publicOut = MakePublic(DMPAPER_A4);
    r.privateOut = MakePrivate();
    DEVMODEW& in = *r.publicIn.dm();
    in.dmScale = 75;
    in.dmColor = DMCOLOR_MONOCHROME;
    in.dmTTOption = DMTT_SUBDEV;
    in.dmICMMethod = 2;
    in.dmICMIntent = 3;
    in.dmCopies = 4;  // not carried: the sibling's default stands
    ASSERT_EQ(Run(OEMDM_DEFAULT, r, nullptr), S_OK);

    const DEVMODEW& out = *r.publicOut.dm();
    EXPECT_EQ(out.dmScale, 75);
    EXPECT_EQ(out.dmColor, DMCOLOR_MONOCHROME);
    EXPECT_EQ(out.dmTTOption, DMTT_SUBDEV);
    EXPECT_EQ(out.dmICMMethod, 2u);
    EXPECT_EQ(out.dmICMIntent, 3u);
    EXPECT_EQ(out.dmCopies, 1);
    EXPECT_EQ(out.dmFields & 0x01804810u, 0x01804810u);
}

TEST_F(HandleDevModeTest, FormChosenByDisplayNameOrKeptWhenTheFormListCannotBeRead) {
    const std::vector<sim::Form> forms = {Form(u"Letter", FORM_BUILTIN, 215900, 279400),
                                          Form(u"Legal", FORM_BUILTIN, 215900, 355600),
                                          Form(u"A4", FORM_BUILTIN, 210000, 297000)};
    sim::SetForms(printer_, forms);
    helper_.SetDisplayName("A4", u"A4");
    Request r = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);
    EXPECT_EQ(r.publicOut.dm()->dmPaperSize, 3);
    EXPECT_EQ(r.publicIn.dm()->dmPaperSize, 3);
    EXPECT_EQ(std::u16string(r.publicIn.dm()->dmFormName), u"A4");

    sim::FailCalls(sim::Api::EnumFormsW, ERROR_ACCESS_DENIED);
    Request unreadable = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, unreadable, &helper_), S_OK);
    EXPECT_EQ(unreadable.publicOut.dm()->dmPaperSize, DMPAPER_A4);
    EXPECT_EQ(unreadable.publicIn.dm()->dmPaperSize, DMPAPER_A4);
}

TEST_F(HandleDevModeTest, UnterminatedDisplayNameIsReadOnlyWithinItsSize) {
    sim::SetForms(printer_, {Form(u"Letter", FORM_BUILTIN, 215900, 279400), Form(u"A4", FORM_USER, 1, 1)});
    helper_.SetUnterminatedDisplayName("A4", u"A4");  // exactly 4 bytes
    Request r = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);
    EXPECT_EQ(r.publicOut.dm()->dmPaperSize, 2);
    EXPECT_EQ(std::u16string(r.publicIn.dm()->dmFormName), u"A4");
}

TEST_F(HandleDevModeTest, SiblingListingNoPapersMakesThePaperCustom) {
    for (DWORD count : {DWORD{0}, GDI_ERROR}) {
        SiblingTestReset(Sibling());
        Sibling().overridePaperCount = true;
        Sibling().paperCountAnswer = count;
        Request r = CustomRequest(DMPAPER_A4, 2100, 2970);
        helper_.setOptionsCalls.clear();
        ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK) << count;
        EXPECT_EQ(r.publicOut.dm()->dmPaperSize, 32767) << count;
        ASSERT_EQ(helper_.setOptionsCalls.size(), 1u) << count;
        EXPECT_EQ(helper_.setOptionsCalls[0].pairs, (Pairs{{"%CustomPageSize", "595 841 0 0 ShortEdge"}}));
    }
}

TEST_F(HandleDevModeTest, UnreadablePrinterNameGoesToTheSiblingAsNullAndSkipsTheMapping) {
    // The size query failing, and the query for the record failing after it.
    for (unsigned skip : {0u, 1u}) {
        sim::FailCalls(sim::Api::GetPrinterW, ERROR_INVALID_HANDLE, skip);
        SiblingTestReset(Sibling());
        Request r = CustomRequest(32767, 5000, 1000);
        ASSERT_EQ(Run(OEMDM_CONVERT, r, &helper_), S_OK) << skip;
        ASSERT_EQ(Sibling().convertCalls, 1u) << skip;
        EXPECT_TRUE(Sibling().lastNameNull) << skip;
        // Unmapped: the driver's custom number and the unclamped size.
        EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmPaperSize)), 32767) << skip;
        EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmPaperWidth)), 5000) << skip;
    }
}

// ---------------------------------------------------------------------------
// Failures of the sibling

TEST_F(HandleDevModeTest, RefusedConversionFailsAndLeavesWhatThePrivatePartProcessingLeft) {
    Sibling().refuseConversion = true;
    Request r = CustomRequest(256, 2100, 2970);
    r.privateIn[kBlock + 100] = 0x5A;
    WriteShortAt(r.privateIn.data(), kBlock + kPaperNumberOffset, 0);  // invalid: merge makes it 9
    const std::vector<BYTE> expectedOut = AfterPrivatePartOnly(r, OEMDM_MERGE, printer_);
    const Request before = r;

    EXPECT_EQ(Run(OEMDM_MERGE, r, &helper_), E_FAIL);
    EXPECT_EQ(Sibling().convertCalls, 1u);
    EXPECT_EQ(r.privateOut, expectedOut);
    EXPECT_EQ(ReadShortAt(r.privateOut.data(), kBlock + kPaperNumberOffset), 9);
    EXPECT_EQ(r.privateIn, before.privateIn);
    EXPECT_EQ(r.publicIn.bytes, before.publicIn.bytes);
    EXPECT_EQ(r.publicOut.bytes, before.publicOut.bytes);
    EXPECT_TRUE(helper_.setOptionsCalls.empty());
}

TEST_F(HandleDevModeTest, MissingSiblingOrConversionExportSucceedsWithTheProcessedPrivatePart) {
    Request r = ConvertRequest(DMPAPER_A4);
    WriteShortAt(r.privateIn.data(), kBlock + kPaperNumberOffset, 0);
    const std::vector<BYTE> expectedOut = AfterPrivatePartOnly(r, OEMDM_MERGE, printer_);
    const Request before = r;

    modules.sibling = nullptr;
    Request absent = before;
    EXPECT_EQ(Run(OEMDM_MERGE, absent, &helper_), S_OK);
    EXPECT_EQ(absent.privateOut, expectedOut);
    EXPECT_EQ(absent.publicOut.bytes, before.publicOut.bytes);
    EXPECT_TRUE(sim::DebugOutput().empty());

    modules.sibling = sibling_;
    sim::HideExport(u"QM22TIE.dll", "DrvConvertDevMode");
    Request noExport = before;
    EXPECT_EQ(Run(OEMDM_MERGE, noExport, &helper_), S_OK);
    EXPECT_EQ(noExport.privateOut, expectedOut);
    EXPECT_EQ(noExport.publicOut.bytes, before.publicOut.bytes);
    EXPECT_EQ(Sibling().convertCalls, 0u);
    EXPECT_EQ(Sibling().capabilityCalls, 2u);  // DC_DRIVER and DC_EXTRA come first
    EXPECT_TRUE(helper_.setOptionsCalls.empty());
    // The debugger line is written once the library is there, before the export
    // is looked up.
    EXPECT_EQ(sim::DebugOutput(), (std::vector<std::u16string>{u"PS DevMode : dmPaperSize=9\n"}));
}

TEST_F(HandleDevModeTest, SizeRequestAndBadRequestsNeverReachTheSibling) {
    Request size;
    EXPECT_EQ(Run(OEMDM_SIZE, size, &helper_), S_OK);
    EXPECT_EQ(size.param.cbBufSize, 12016u);

    Request unknown = ConvertRequest(DMPAPER_A4);
    EXPECT_EQ(Run(7, unknown, &helper_), E_FAIL);
    EXPECT_EQ(DriverConventionResult(HandleDevMode(OEMDM_MERGE, nullptr, &helper_, modules)), E_FAIL);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

    EXPECT_EQ(Sibling().capabilityCalls, 0u);
    EXPECT_EQ(Sibling().convertCalls, 0u);
    EXPECT_TRUE(sim::DebugOutput().empty());
}

// ---------------------------------------------------------------------------
// Default requests

struct DefaultCase {
    short duplex;
    short paper;
    Pairs expected;  // one SetOptions call per pair, in order
};

class DefaultRequestTest : public HandleDevModeTest, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(DefaultRequestTest, SiblingDefaultsSetTheDriverDuplexAndPageSize) {
    Sibling().defaultDuplex = GetParam().duplex;
    Sibling().defaultPaper = GetParam().paper;
    Request r;
    r.publicIn = MakePublic(DMPAPER_A4);
    r.privateOut = MakePrivate();
    ASSERT_EQ(Run(OEMDM_DEFAULT, r, &helper_), S_OK);

    EXPECT_EQ(Sibling().lastMode, DWORD{CDM_DRIVER_DEFAULT});
    EXPECT_EQ(Bytes(r.privateOut.data(), 0, 12),
              (std::vector<BYTE>{0xF0, 0x2E, 0, 0, 0x54, 0x46, 0x53, 0x4D, 1, 0, 0, 0}));
    EXPECT_EQ(Bytes(r.privateOut.data(), kBlock, kIdentification.size()), kIdentification);
    EXPECT_EQ(ReadShortAt(r.privateOut.data(), kBlock + kDuplexOffset), GetParam().duplex);
    EXPECT_EQ(ReadShortAt(r.privateOut.data(), kBlock + kPaperNumberOffset), GetParam().paper);

    ASSERT_EQ(helper_.setOptionsCalls.size(), GetParam().expected.size());
    for (size_t i = 0; i < GetParam().expected.size(); ++i) {
        const harness::CoreHelper::SetOptionsCall& call = helper_.setOptionsCalls[i];
        EXPECT_EQ(call.devmode, r.publicIn.dm());
        EXPECT_EQ(call.cbSize, 220u + kDriverExtra);
        EXPECT_EQ(call.resolveConflicts, TRUE);
        EXPECT_EQ(call.cPairs, 1u);
        EXPECT_TRUE(call.pairsWrittenNull);
        EXPECT_EQ(call.pairs, Pairs{GetParam().expected[i]});
    }
}

INSTANTIATE_TEST_SUITE_P(Defaults, DefaultRequestTest,
                         ::testing::Values(DefaultCase{1, 9, {{"Duplex", "None"}, {"PageSize", "A4"}}},
                                           DefaultCase{2, 1, {{"Duplex", "DuplexNoTumble"}, {"PageSize", "Letter"}}},
                                           DefaultCase{3, 8, {}}, DefaultCase{2, 8, {{"Duplex", "DuplexNoTumble"}}},
                                           DefaultCase{3, 1, {{"PageSize", "Letter"}}}));

TEST_F(HandleDevModeTest, DefaultRequestPushesACustomSizeButDoesNotMapIt) {
    // 2100 x 2970 matches the sibling's A4, which a convert request would select
    // (see above); a default request keeps the driver's custom size instead.
    Request r = CustomRequest(256, 2100, 2970);
    r.privateIn.clear();
    ASSERT_EQ(Run(OEMDM_DEFAULT, r, &helper_), S_OK);

    EXPECT_EQ(Sibling().lastMode, DWORD{CDM_DRIVER_DEFAULT});
    EXPECT_EQ(r.publicOut.dm()->dmPaperSize, 32767);
    EXPECT_EQ(r.publicOut.dm()->dmPaperWidth, 2100);
    ASSERT_EQ(helper_.setOptionsCalls.size(), 3u);
    EXPECT_EQ(helper_.setOptionsCalls[0].devmode, r.publicOut.dm());
    EXPECT_EQ(helper_.setOptionsCalls[0].pairs, (Pairs{{"%CustomPageSize", "595 841 0 0 ShortEdge"}}));
    EXPECT_EQ(helper_.setOptionsCalls[1].devmode, r.publicIn.dm());
    EXPECT_EQ(helper_.setOptionsCalls[1].pairs, (Pairs{{"Duplex", "None"}}));
    EXPECT_EQ(helper_.setOptionsCalls[2].devmode, r.publicIn.dm());
    EXPECT_EQ(helper_.setOptionsCalls[2].pairs, (Pairs{{"PageSize", "A4"}}));
}

TEST_F(HandleDevModeTest, DefaultRequestWithoutOutputFailsBeforeTheSibling) {
    Request r;
    r.publicIn = MakePublic(DMPAPER_A4);
    EXPECT_EQ(Run(OEMDM_DEFAULT, r, &helper_), E_FAIL);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(Sibling().convertCalls, 0u);
    EXPECT_TRUE(helper_.setOptionsCalls.empty());
}

TEST_F(HandleDevModeTest, DefaultRequestWithoutInputDevmodeStillWritesTheSiblingDefaults) {
    Request r;
    r.privateOut = MakePrivate();
    ASSERT_EQ(Run(OEMDM_DEFAULT, r, &helper_), S_OK);
    EXPECT_EQ(Bytes(r.privateOut.data(), kBlock, kIdentification.size()), kIdentification);
    EXPECT_TRUE(helper_.setOptionsCalls.empty());
    EXPECT_TRUE(sim::DebugOutput().empty());
}

// ---------------------------------------------------------------------------
// Debugger line

TEST_F(HandleDevModeTest, DebuggerLineReportsTheInputPaperNumber) {
    Request a4 = ConvertRequest(DMPAPER_A4);
    ASSERT_EQ(Run(OEMDM_MERGE, a4, &helper_), S_OK);
    Request negative = ConvertRequest(-2);
    ASSERT_EQ(Run(OEMDM_CONVERT, negative, &helper_), S_OK);
    Request custom = ConvertRequest(32767);
    ASSERT_EQ(Run(OEMDM_CONVERT, custom, &helper_), S_OK);
    EXPECT_EQ(sim::DebugOutput(),
              (std::vector<std::u16string>{u"PS DevMode : dmPaperSize=9\n", u"PS DevMode : dmPaperSize=-2\n",
                                           u"PS DevMode : dmPaperSize=32767\n"}));
}

TEST_F(HandleDevModeTest, RequestWithoutInputDevmodeWritesNoLineAndPushesNoSize) {
    Request r = ConvertRequest(DMPAPER_A4);
    r.publicIn.bytes.clear();
    r.publicOut.dm()->dmPaperSize = 32767;
    ASSERT_EQ(Run(OEMDM_CONVERT, r, &helper_), S_OK);
    EXPECT_TRUE(sim::DebugOutput().empty());
    EXPECT_TRUE(helper_.setOptionsCalls.empty());
    ASSERT_EQ(Sibling().convertCalls, 1u);
    // The sibling still got a copy that describes its own layout.
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmSize)), 220);
    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmDriverExtra)), 12004);
}

// ---------------------------------------------------------------------------
// Short and forged sizes. Every buffer is exactly as large as it declares, so
// AddressSanitizer reports any access past it.

TEST_F(HandleDevModeTest, OlderInputPrivatePartIsReadAndWrittenOnlyWithinItsSize) {
    Request r = ConvertRequest(DMPAPER_A4);
    r.privateIn = MakePrivate(8000, 8000);
    r.privateIn[kBlock + 7000] = 0x77;
    ASSERT_EQ(Run(OEMDM_MERGE, r, &helper_), S_OK);
    EXPECT_EQ(Sibling().lastInput[kCopyBlock + 7000], 0x77);
    EXPECT_EQ(Sibling().lastInput[kCopyBlock + 7988], 0);  // first byte past the part
    EXPECT_EQ(ReadShortAt(r.privateIn.data(), kBlock + kPaperNumberOffset), DMPAPER_A4);
    EXPECT_EQ(r.privateOut[kBlock + 7000], 0x77);
}

TEST_F(HandleDevModeTest, ForgedPrivatePartSizesStayInsideTheirBuffers) {
    Request huge = ConvertRequest(DMPAPER_A4);
    const DWORD forged = 0xFFFFFFFF;
    std::memcpy(huge.privateIn.data(), &forged, sizeof forged);
    EXPECT_EQ(Run(OEMDM_MERGE, huge, &helper_), S_OK);

    Request tiny = ConvertRequest(DMPAPER_A4);
    tiny.privateIn = MakePrivate(12, 4);  // declares less than its own header
    EXPECT_EQ(Run(OEMDM_MERGE, tiny, &helper_), S_OK);
    EXPECT_EQ(Bytes(tiny.privateIn.data(), 0, 12), Bytes(MakePrivate(12, 4).data(), 0, 12));
}

// An output private part is always written, so too small a buffer is refused
// before anything is written, with or without an input part.
TEST_F(HandleDevModeTest, ShortOutputBufferIsRefusedUntouchedWithoutAnInputPart) {
    struct Case {
        size_t allocated;
        DWORD bufSize;
    };
    const Case cases[] = {{12, 12}, {100, 100}, {8000, 8000}, {12015, 12015}, {12016, 0}, {12016, 12015}};
    for (const DWORD mode : {DWORD{OEMDM_CONVERT}, DWORD{OEMDM_MERGE}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "mode " << mode << ", " << c.allocated << " bytes, cbBufSize " << c.bufSize);
            SiblingTestReset(Sibling());
            Request r = ConvertRequest(DMPAPER_A4);
            r.privateIn.clear();
            r.privateOut = MakePrivate(c.allocated);
            std::fill(r.privateOut.begin() + kBlock, r.privateOut.end(), BYTE{0xAB});
            r.explicitBufSize = true;
            r.bufSize = c.bufSize;
            const std::vector<BYTE> privateBefore = r.privateOut;
            const std::vector<BYTE> publicBefore = r.publicOut.bytes;
            SetLastError(0);
            EXPECT_EQ(Run(mode, r, &helper_), E_FAIL);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
            EXPECT_EQ(r.privateOut, privateBefore);
            EXPECT_EQ(r.publicOut.bytes, publicBefore);
            EXPECT_EQ(Sibling().convertCalls, 0u);
        }
    }
}

// Without an input part the sibling carries the output as the private part
// processing left it: the defaults for a convert request, the output it was
// given (validated) for a merge. Never the block the sibling makes of nothing,
// which fails the settings' own validation.
TEST_F(HandleDevModeTest, WithoutAnInputPartTheOutputHoldsAValidBlock) {
    Request convert = ConvertRequest(DMPAPER_A4);
    convert.privateIn.clear();
    std::fill(convert.privateOut.begin(), convert.privateOut.end(), BYTE{0xAB});  // what the buffer held
    ASSERT_EQ(Run(OEMDM_CONVERT, convert, &helper_), S_OK);
    ASSERT_EQ(Sibling().convertCalls, 1u);
    const std::vector<BYTE>& out = convert.privateOut;
    EXPECT_EQ(Bytes(out.data(), 0, 12), Bytes(MakePrivate().data(), 0, 12));
    EXPECT_EQ(Bytes(out.data(), kBlock, kIdentification.size()), kIdentification);
    EXPECT_EQ(Bytes(out.data(), kBlock + 372, 8), (std::vector<BYTE>{1, 0, 5, 0, 9, 0, 1, 0}));
    EXPECT_EQ(Bytes(out.data(), kBlock + 3231, 1), (std::vector<BYTE>{1}));
    EXPECT_EQ(Bytes(out.data(), kBlock + 824, 128), std::vector<BYTE>(128, 0));
    std::vector<BYTE> again = out;
    SetDefaultSettings(PrivatePartSettings(again.data(), again.size()));
    EXPECT_EQ(again, out) << "a field differs from its default";
    ValidateSettings(PrivatePartSettings(again.data(), again.size()));
    EXPECT_EQ(again, out) << "the block fails its own validation";

    Request merge = ConvertRequest(DMPAPER_A4);
    merge.privateIn.clear();
    WriteShortAt(merge.privateOut.data(), kBlock + kDuplexOffset, 3);
    merge.privateOut[kBlock + 3231] = 170;  // no output box
    ASSERT_EQ(Run(OEMDM_MERGE, merge, &helper_), S_OK);
    EXPECT_EQ(ReadShortAt(merge.privateOut.data(), kBlock + kDuplexOffset), 3);
    EXPECT_EQ(merge.privateOut[kBlock + 3231], 1);
    EXPECT_EQ(Bytes(merge.privateOut.data(), kBlock, kIdentification.size()), kIdentification);
}

TEST_F(HandleDevModeTest, OlderPublicDevmodesAreCopiedOnlyAsFarAsTheyDeclare) {
    constexpr WORD kOlder = 156;  // up to dmFormName, without the later fields
    Request r = CustomRequest(32767, 2100, 2970);
    r.publicIn = MakePublic(32767, kOlder, 0);
    r.publicIn.dm()->dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
    r.publicIn.dm()->dmPaperWidth = 2100;
    r.publicIn.dm()->dmPaperLength = 2970;
    r.publicOut = MakePublic(DMPAPER_A4, kOlder, 0);
    ASSERT_EQ(Run(OEMDM_CONVERT, r, &helper_), S_OK);

    EXPECT_EQ(ReadShortAt(Sibling().lastInput, offsetof(DEVMODEW, dmSize)), 220);
    const DEVMODEW* out = r.publicOut.dm();
    EXPECT_EQ(out->dmSize, kOlder);
    EXPECT_EQ(out->dmDriverExtra, 0);
    EXPECT_EQ(out->dmPaperSize, 32767);
    EXPECT_EQ(out->dmPaperWidth, 2100);
    ASSERT_EQ(helper_.setOptionsCalls.size(), 1u);
    EXPECT_EQ(helper_.setOptionsCalls[0].cbSize, DWORD{kOlder});

    Request stub = ConvertRequest(DMPAPER_A4);
    stub.publicIn = MakePublic(DMPAPER_A4, 72, 0);  // ends before the paper number
    stub.publicOut = MakePublic(DMPAPER_A4, 72, 0);
    EXPECT_EQ(Run(OEMDM_MERGE, stub, &helper_), S_OK);
    EXPECT_EQ(sim::DebugOutput().size(), 1u);  // only the first request's line
}

// ---------------------------------------------------------------------------
// A failure keeps its cause, and the last error as it was, until the COM method
// turns it into E_FAIL and the last error.

TEST_F(HandleDevModeTest, FailuresCarryTheirCauseUntilTheComEdge) {
    for (const DWORD mode : {DWORD{7}, DWORD{OEMDM_MERGE}}) {  // an unknown mode; a refusing sibling
        SiblingTestReset(Sibling());
        Sibling().refuseConversion = true;
        Request r = ConvertRequest(DMPAPER_A4);
        SetLastError(0xC0DE);
        EXPECT_EQ(HandleDevMode(mode, r.Wire(printer_), &helper_, modules), HRESULT(0x80070057)) << mode;
        EXPECT_EQ(GetLastError(), mode == 7 ? DWORD{0xC0DE} : DWORD{ERROR_INVALID_PARAMETER}) << mode;
    }
    // A failure without a Win32 cause leaves the last error to the caller.
    SetLastError(1);
    EXPECT_EQ(DriverConventionResult(E_POINTER), E_FAIL);
    EXPECT_EQ(GetLastError(), 1u);
    // What HRESULT_FROM_WIN32 cannot carry stays in the last error alone.
    const std::pair<DWORD, HRESULT> lastErrors[] = {{0, E_FAIL}, {0xFFFF, HRESULT(0x8007FFFF)}, {0x10000, E_FAIL}};
    for (const auto& [error, expected] : lastErrors) {
        SetLastError(error);
        EXPECT_EQ(LastErrorResult(), expected) << error;
    }
}

}  // namespace
