#include "harness/core_helper.h"
#include "paper_fixture.h"
#include "settings/paper.h"
#include "settings/paper_sources.h"

#include <cstdio>
#include <cstring>

namespace {

using PaperMappingTest = PaperTest;

const WCHAR kPrinterName[] = u"Inkjet";

DEVMODEW Copy(short paper, short width = 0, short length = 0) {
    DEVMODEW dm{};
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmPaperSize = paper;
    dm.dmPaperWidth = width;
    dm.dmPaperLength = length;
    return dm;
}

std::u16string FormName(const DEVMODEW& dm) {
    return std::u16string(dm.dmFormName, WTextLengthBounded(dm.dmFormName, 32));
}

// ---------------------------------------------------------------------------

TEST(FormUnits, RoundedToTenths) {
    EXPECT_EQ(FormUnitsToTenths(210000), 2100);
    EXPECT_EQ(FormUnitsToTenths(210049), 2100);
    EXPECT_EQ(FormUnitsToTenths(210050), 2101);
    EXPECT_EQ(FormUnitsToTenths(INT32_MAX), 21474836);
}

// ---------------------------------------------------------------------------

TEST_F(PaperMappingTest, CapabilityListsAreAskedTwiceWithZeroedBuffers) {
    Sibling().papers = {9, 300};
    Sibling().sizes = {{2100, 2970}, {1000, 1000}};
    std::vector<WORD> papers;
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::Ok);
    EXPECT_EQ(papers, (std::vector<WORD>{9, 300}));
    ASSERT_EQ(Sibling().calls.size(), 2u);
    EXPECT_FALSE(Sibling().calls[0].withBuffer);
    EXPECT_TRUE(Sibling().calls[1].withBuffer);
    EXPECT_TRUE(Sibling().calls[1].bufferWasZeroed);
    EXPECT_TRUE(Sibling().calls[0].devModeNull);
    EXPECT_TRUE(Sibling().calls[1].devModeNull);
    EXPECT_EQ(Sibling().calls[1].printerName, "Inkjet");

    std::vector<SiblingPaperSize> sizes;
    EXPECT_EQ(QuerySiblingPaperSizes(modules.sibling, printer, kPrinterName, sizes), SiblingListResult::Ok);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].width, 2100);
    EXPECT_EQ(sizes[0].length, 2970);
    EXPECT_EQ(sizes[1].width, 1000);
}

TEST_F(PaperMappingTest, CapabilityAnswersOfZeroMinusOneShortAndHuge) {
    Sibling().papers = {9, 11, 13};
    std::vector<WORD> papers{1};
    Sibling().countAnswer[DC_PAPERS] = 0xFFFFFFFF;
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::NoList);
    EXPECT_TRUE(papers.empty());
    Sibling().countAnswer[DC_PAPERS] = 0;
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::NoList);
    Sibling().countAnswer[DC_PAPERS] = 70000;
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::OutOfMemory);
    EXPECT_TRUE(papers.empty());
    Sibling().countAnswer.clear();
    Sibling().fillAnswer[DC_PAPERS] = 2;
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::Ok);
    EXPECT_EQ(papers, (std::vector<WORD>{9, 11}));
    Sibling().fillAnswer[DC_PAPERS] = 0xFFFFFFFF;
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::NoList);
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, nullptr, papers), SiblingListResult::NoList);
    sim::HideExport(u"QM22TIE.dll", "DrvDeviceCapabilities");
    Sibling().fillAnswer.clear();
    EXPECT_EQ(QuerySiblingPapers(modules.sibling, printer, kPrinterName, papers), SiblingListResult::NoList);
}

TEST_F(PaperMappingTest, FormListFailuresGiveAnEmptyList) {
    sim::SetForms(printer, {UserForm("One", 1000, 1000), UserForm("Two", 2000, 2000)});
    FormList forms = ReadFormList(printer);
    ASSERT_EQ(forms.count, 2u);
    EXPECT_EQ(sim::ToUtf8(forms.forms[1].pName), "Two");
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_INVALID_HANDLE, 1, 1);  // the second call fails
    EXPECT_EQ(ReadFormList(printer).count, 0u);
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_INVALID_HANDLE);
    EXPECT_EQ(ReadFormList(printer).count, 0u);
    sim::StopFailing(sim::Api::EnumFormsW);
    sim::SetForms(printer, {});
    EXPECT_EQ(ReadFormList(printer).count, 0u);
}

// ---------------------------------------------------------------------------

TEST_F(PaperMappingTest, CheckPaperNumber) {
    sim::SetForms(printer, {UserForm("Plain", 100000, 100000), UserForm("A4", 210000, 297000),
                            UserForm("Unlisted", 100000, 100000)});
    WriteList(u"PS_PAPER_LIST=A4 Extra=A4\n");
    EXPECT_EQ(CheckPaperNumber(modules, 9, printer), 9);  // a table number, whatever the forms
    EXPECT_EQ(CheckPaperNumber(modules, 265, printer), 265);
    EXPECT_EQ(CheckPaperNumber(modules, 2, printer), 2);    // "A4 Extra" begins with the form's name
    EXPECT_EQ(CheckPaperNumber(modules, 4, printer), 256);  // beyond the form list
    EXPECT_EQ(CheckPaperNumber(modules, 7, printer), 256);
    EXPECT_EQ(CheckPaperNumber(modules, 0, printer), 256);
    EXPECT_EQ(CheckPaperNumber(modules, -5, printer), 256);
    sim::SetForms(printer,
                  {UserForm("Plain", 1, 1), UserForm("A4", 1, 1), UserForm("Unlisted", 1, 1), UserForm("Four", 1, 1)});
    EXPECT_EQ(CheckPaperNumber(modules, 4, printer), 256);  // a form, but not in the file
    std::remove((folder + "/QM22T.ini").c_str());
    EXPECT_EQ(CheckPaperNumber(modules, 2, printer), 256);
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_INVALID_HANDLE);
    EXPECT_EQ(CheckPaperNumber(modules, 9, printer), 9);
    EXPECT_EQ(CheckPaperNumber(modules, 2, printer), 256);
}

// ---------------------------------------------------------------------------

TEST_F(PaperMappingTest, MatchSiblingPaperBySizeWithTolerance) {
    sim::SetForms(printer, {UserForm("Sheet", 210000, 297000)});
    Sibling().papers = {500};
    struct Case {
        LONG width;
        LONG length;
        short expected;
    };
    for (const Case& c : {Case{2100, 2970, 500}, Case{2102, 2968, 500}, Case{2103, 2970, 256}}) {
        Sibling().sizes = {{c.width, c.length}};
        short paper = 1;
        DEVMODEW copy = Copy(1);
        EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
        EXPECT_EQ(paper, c.expected) << c.width << "x" << c.length;
    }
}

TEST_F(PaperMappingTest, MatchSiblingPaperDriverCustomSize) {
    sim::SetForms(printer, {UserForm("Sheet", 210000, 297000)});
    Sibling().papers = {9};
    Sibling().sizes = {{2100, 2970}};
    short paper = 32767;
    DEVMODEW copy = Copy(32767, 5000, 1000);
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 256);
    EXPECT_EQ(copy.dmPaperWidth, 3400);
    EXPECT_EQ(copy.dmPaperLength, 1480);
    paper = 32767;
    copy = Copy(32767, 100, 6000);
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(copy.dmPaperWidth, 900);
    EXPECT_EQ(copy.dmPaperLength, 5500);
}

TEST_F(PaperMappingTest, MatchSiblingPaperLeavesKnownOrUnmappableNumbers) {
    sim::SetForms(printer, {UserForm("Sheet", 210000, 297000)});
    Sibling().papers = {9, 1};
    Sibling().sizes = {{2100, 2970}, {2159, 2794}};
    DEVMODEW copy = Copy(0);
    short paper = 1;  // listed by the sibling
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 1);
    paper = 2;  // neither listed nor a form position
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), E_INVALIDARG);
    EXPECT_EQ(paper, 2);
    paper = 0;
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), E_INVALIDARG);
    paper = 32767;  // no printer name: nothing asked, nothing changed
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, nullptr, &copy), S_OK);
    EXPECT_EQ(paper, 32767);
    EXPECT_EQ(MatchSiblingPaper(modules, nullptr, printer, kPrinterName, &copy), S_OK);
    sim::SetForms(printer, {});
    paper = 32767;
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 32767);
    sim::SetForms(printer, {UserForm("Sheet", 210000, 297000)});
    modules.sibling = nullptr;
    paper = 32767;
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 32767);
}

TEST_F(PaperMappingTest, MatchSiblingPaperUsesOnlyPapersThatHaveASize) {
    // Two sizes but one paper number: the second size has no number to give.
    sim::SetForms(printer, {UserForm("Sheet", 210000, 297000)});
    Sibling().papers = {500};
    Sibling().sizes = {{1000, 1000}, {2100, 2970}};
    short paper = 1;
    DEVMODEW copy = Copy(1);
    EXPECT_EQ(MatchSiblingPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 256);
}

TEST_F(PaperMappingTest, MatchSiblingCustomPaper) {
    sim::SetForms(printer, {UserForm("Sheet", 1, 1)});
    Sibling().papers = {9, 300};
    Sibling().sizes = {{2100, 2970}, {1000, 1480}};
    DEVMODEW copy = Copy(256, 998, 1482);
    short paper = 256;
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 300);
    copy = Copy(256, 997, 1480);
    paper = 256;
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 256);
    paper = 0;
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, kPrinterName, &copy), E_INVALIDARG);
    EXPECT_EQ(paper, 0);

    sim::SetForms(printer, {});
    paper = 256;
    copy = Copy(256, 2100, 2970);
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(paper, 256);
}

TEST_F(PaperMappingTest, MatchSiblingCustomPaperReportsListAllocationFailure) {
    sim::SetForms(printer, {UserForm("Sheet", 1, 1)});
    Sibling().papers = {9};
    Sibling().sizes = {{2100, 2970}};
    Sibling().countAnswer[DC_PAPERSIZE] = 70000;  // more than any allocation we make
    DEVMODEW copy = Copy(256, 2100, 2970);
    short paper = 256;
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, kPrinterName, &copy), E_OUTOFMEMORY);
    EXPECT_EQ(paper, 256);
    Sibling().countAnswer[DC_PAPERSIZE] = 0xFFFFFFFF;
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, kPrinterName, &copy), S_OK);
    EXPECT_EQ(MatchSiblingCustomPaper(modules, &paper, printer, nullptr, &copy), S_OK);
}

// ---------------------------------------------------------------------------

class SelectDriverFormTest : public PaperTest {
protected:
    harness::CoreHelper helper;
};

TEST_F(SelectDriverFormTest, BuiltinFormByDisplayName) {
    sim::SetForms(printer, {BuiltinForm("Letter", 215900, 279400), BuiltinForm("A4", 210000, 297000),
                            BuiltinForm("A4 Also", 210000, 297000)});
    Sibling().papers = {1, 9};
    helper.SetDisplayName("A4", u"A4");
    DEVMODEW target = Copy(9);
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    EXPECT_EQ(target.dmPaperSize, 2);
    EXPECT_EQ(FormName(target), u"A4");
    ASSERT_FALSE(helper.attributeQueries.empty());
    EXPECT_EQ(helper.attributeQueries.back().feature, "PageSize");
    EXPECT_EQ(helper.attributeQueries.back().option, "A4");
    EXPECT_EQ(helper.attributeQueries.back().attribute, "DisplayName");
}

TEST_F(SelectDriverFormTest, BuiltinFormOfTheSameSizeUnderAnotherName) {
    sim::SetForms(printer, {UserForm("A3 (297 x 420 mm)", 297000, 420000), BuiltinForm("Letter", 215900, 279400),
                            BuiltinForm("Big Sheet", 297020, 419980), BuiltinForm("A3", 297000, 420000)});
    Sibling().papers = {8};
    helper.SetDisplayName("A3", u"A3 (297 x 420 mm)");
    DEVMODEW target = Copy(8);
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    // The user form of that name is taken first, then the built-in form of
    // that size ends the walk.
    EXPECT_EQ(target.dmPaperSize, 3);
    EXPECT_EQ(FormName(target), u"Big Sheet");
}

TEST_F(SelectDriverFormTest, NonStandardPaperTakesTheLastFormOfItsName) {
    sim::SetForms(printer, {UserForm("Kaku 0", 1, 1), BuiltinForm("Kaku 0", 1, 1), UserForm("Other", 1, 1),
                            BuiltinForm("Envelope", 287000, 382000), UserForm("Kaku 0", 1, 1)});
    Sibling().papers = {259};
    helper.SetDisplayName("EnvKaku0", u"Kaku 0");
    DEVMODEW target = Copy(259);
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    EXPECT_EQ(target.dmPaperSize, 5);  // not the built-in one of its size
    EXPECT_EQ(FormName(target), u"Kaku 0");
}

TEST_F(SelectDriverFormTest, SiblingPaperThroughThePaperListFile) {
    WriteList(u"PS_PAPER_LIST=Kaku No.2=EnvKaku2\n");
    sim::SetForms(printer,
                  {BuiltinForm("Env Kaku 2", 240000, 332000), UserForm("Envelope Kaku #2", 1, 1), UserForm("x", 1, 1)});
    Sibling().papers = {9, 300};
    Sibling().names = {u"A4", u"Kaku No.2"};
    helper.SetDisplayName("EnvKaku2", u"Envelope Kaku #2");
    DEVMODEW target = Copy(300);
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    // Through the file the flag is 0: the built-in form of that size is not taken.
    EXPECT_EQ(target.dmPaperSize, 2);
    EXPECT_EQ(FormName(target), u"Envelope Kaku #2");
}

TEST_F(SelectDriverFormTest, UnlistedNumbersBecomeTheDriversCustomSize) {
    sim::SetForms(printer, {BuiltinForm("A4", 210000, 297000)});
    Sibling().papers = {9, 256, 300};
    Sibling().names = {u"A4", u"Custom"};  // no name for 300
    helper.SetDisplayName("A4", u"A4");
    struct Case {
        short paper;
        const WCHAR* printerName;
        short expected;
    };
    for (const Case& c : {Case{11, kPrinterName, 32767}, Case{0, kPrinterName, 0}, Case{256, kPrinterName, 32767},
                          Case{300, kPrinterName, 32767}, Case{9, nullptr, 32767}, Case{0, nullptr, 0}}) {
        DEVMODEW target = Copy(c.paper);
        SelectDriverForm(modules, &target, printer, c.printerName, &helper);
        EXPECT_EQ(target.dmPaperSize, c.expected) << c.paper;
        EXPECT_EQ(FormName(target), u"") << c.paper;
    }
}

TEST_F(SelectDriverFormTest, NoHelperOrNoDisplayNameKeepsThePaper) {
    sim::SetForms(printer, {BuiltinForm("A4", 210000, 297000)});
    Sibling().papers = {9, 300};
    Sibling().names = {u"A4", u"Unknown"};
    DEVMODEW target = Copy(9);
    SelectDriverForm(modules, &target, printer, kPrinterName, nullptr);
    EXPECT_EQ(target.dmPaperSize, 9);
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);  // the helper knows no "A4"
    EXPECT_EQ(target.dmPaperSize, 9);
    target = Copy(300);  // keyword "custom"
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    EXPECT_EQ(target.dmPaperSize, 300);
    EXPECT_EQ(helper.attributeQueries.back().option, "custom");
    helper.SetDisplayName("A4", u"");
    target = Copy(9);
    sim::SetForms(printer, {UserForm("", 1, 1)});
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    EXPECT_EQ(target.dmPaperSize, 9);
}

TEST_F(SelectDriverFormTest, LongNamesAreCutAtThirtyOneUnits) {
    const char* longName = "A4 sheet with a name of forty units long";  // 40
    sim::SetForms(printer, {UserForm("x", 1, 1), UserForm(longName, 1, 1)});
    Sibling().papers = {9};
    helper.SetDisplayName("A4", sim::ToUtf16(longName));
    DEVMODEW target = Copy(9);
    std::memset(target.dmFormName, 0x41, sizeof(target.dmFormName));
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    EXPECT_EQ(target.dmPaperSize, 2);
    EXPECT_EQ(FormName(target), u"A4 sheet with a name of forty u");
    EXPECT_EQ(target.dmFormName[31], 0);
}

TEST_F(SelectDriverFormTest, UnterminatedNamesAreReadWithinTheirSize) {
    WriteList(u"PS_PAPER_LIST=" + std::u16string(64, u'N') + u"=A5\n");
    sim::SetForms(printer, {UserForm("A5", 1, 1)});
    Sibling().papers = {300};
    Sibling().names = {std::u16string(64, u'N')};  // fills the whole 64-unit field
    helper.SetUnterminatedDisplayName("A5", u"A5");
    DEVMODEW target = Copy(300);
    SelectDriverForm(modules, &target, printer, kPrinterName, &helper);
    EXPECT_EQ(target.dmPaperSize, 1);
    EXPECT_EQ(FormName(target), u"A5");
}

}  // namespace
