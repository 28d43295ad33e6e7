#include "plugin/document_hooks.h"

#include "common/module_context.h"
#include "psfilter/stream_filter.h"

#include "frame_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <thread>

namespace {

struct DocumentHooksTest : ::testing::Test {
    HANDLE printer = nullptr;
    PluginPdev block;
    TestDevice device;

    void SetUp() override {
        sim::Reset();
        block.modules.module = sim::RegisterModule(u"/opt/frame/QM22TRD.dll");
        sim::RegisterModule(u"/opt/frame/QM22TIE.dll");
        printer = sim::AddPrinter(u"Frame Printer");
        documentDepth = -1;
        std::fill(std::begin(savedDocumentName), std::end(savedDocumentName), u'\0');
        driverRecord = DriverRecord{};
        block.driverStartDoc = &FakeDrvStartDoc;
        block.driverEndDoc = &FakeDrvEndDoc;
        block.driverSendPage = &FakeDrvSendPage;
        device.devobj.hPrinter = printer;
        device.devobj.pdevOEM = &block;
    }

    BOOL StartDoc(const std::u16string& name, DWORD jobId) {
        std::u16string copy = name;  // the hook takes a writable name
        return StartDocHook(&device.surface, copy.data(), jobId);
    }
    std::u16string Saved() const { return std::u16string(savedDocumentName); }
    std::u16string Recorded() const { return std::u16string(block.documentName); }
};

TEST_F(DocumentHooksTest, SecondStartDocKeepsTheFirstNameButPassesItsOwnArguments) {
    EXPECT_EQ(StartDoc(u"A", 7), TRUE);
    EXPECT_EQ(Recorded(), u"A");
    EXPECT_EQ(Saved(), u"A");
    EXPECT_EQ(documentDepth, 0);
    EXPECT_EQ(driverRecord.startDocName, u"A");
    EXPECT_EQ(driverRecord.startDocJob, 7u);
    EXPECT_EQ(driverRecord.startDocSurface, &device.surface);

    driverRecord.answer = FALSE;  // the driver's answer comes back unchanged
    EXPECT_EQ(StartDoc(u"B", 9), FALSE);
    EXPECT_EQ(Recorded(), u"A");
    EXPECT_EQ(Saved(), u"A");
    EXPECT_EQ(documentDepth, 0);
    EXPECT_EQ(driverRecord.startDocCalls, 2);
    EXPECT_EQ(driverRecord.startDocName, u"B");
    EXPECT_EQ(driverRecord.startDocJob, 9u);

    driverRecord.answer = TRUE;
    EXPECT_EQ(EndDocHook(&device.surface, ED_ABORTDOC), TRUE);
    EXPECT_EQ(driverRecord.endDocFlags, static_cast<FLONG>(ED_ABORTDOC));
    EXPECT_EQ(Saved(), u"");
    EXPECT_EQ(documentDepth, -1);
}

TEST_F(DocumentHooksTest, SecondStartDocChecksItsOwnJob) {
    StartDoc(u"A", 7);
    TestDevice second(printer);
    second.devobj.pdevOEM = &block;
    second.devobj.pOEMDM = nullptr;
    std::u16string name = u"B";
    EXPECT_EQ(StartDocHook(&second.surface, name.data(), 9), FALSE);
    ASSERT_EQ(sim::JobCommands().size(), 1u);
    EXPECT_EQ(sim::JobCommands()[0].jobId, 9u);
    EXPECT_EQ(driverRecord.startDocCalls, 1);
}

TEST_F(DocumentHooksTest, ExtraEndDocsMakeTheNextStartDocsCountAsFirst) {
    StartDoc(u"A", 1);
    EndDocHook(&device.surface, 0);
    EndDocHook(&device.surface, 0);
    EXPECT_EQ(documentDepth, -2);
    StartDoc(u"C", 2);
    EXPECT_EQ(documentDepth, -1);
    EXPECT_EQ(Saved(), u"C");
    StartDoc(u"D", 3);
    EXPECT_EQ(documentDepth, 0);
    EXPECT_EQ(Saved(), u"D");
    EXPECT_EQ(Recorded(), u"D");
    StartDoc(u"E", 4);
    EXPECT_EQ(Recorded(), u"D");
}

TEST_F(DocumentHooksTest, LongNamesAreCutTo519CharactersAndTheJobGoesOn) {
    const std::u16string longest(519, u'n');
    EXPECT_EQ(StartDoc(longest, 1), TRUE);
    EXPECT_EQ(Recorded(), longest);
    EXPECT_EQ(Saved(), longest);
    EndDocHook(&device.surface, 0);

    // 520 and 521 characters: the first 519 are recorded and saved, the driver
    // gets the name whole, and a later StartDoc of the document gets the cut one.
    for (size_t length : {size_t{520}, size_t{521}, size_t{4000}}) {
        driverRecord = DriverRecord{};
        std::u16string name(519, u'a');
        name += std::u16string(length - 519, u'z');
        EXPECT_EQ(StartDoc(name, 2), TRUE) << length;
        EXPECT_EQ(Recorded(), std::u16string(519, u'a')) << length;
        EXPECT_EQ(Saved(), std::u16string(519, u'a')) << length;
        EXPECT_EQ(driverRecord.startDocName, name) << length;
        EXPECT_EQ(driverRecord.startDocCalls, 1);
        EXPECT_EQ(StartDoc(u"later", 3), TRUE);
        EXPECT_EQ(Recorded(), std::u16string(519, u'a')) << length;
        EndDocHook(&device.surface, 0);
        EXPECT_EQ(documentDepth, -1);
    }
}

TEST_F(DocumentHooksTest, TheCutNeverSplitsASurrogatePair) {
    // U+1F5A8 is D83D DDA8. A pair at units 518 and 519 would be cut in two: it
    // goes whole, and 518 units stay.
    std::u16string straddling(518, u'p');
    straddling += u"\U0001F5A8tail";
    ASSERT_EQ(straddling.size(), 524u);
    EXPECT_EQ(StartDoc(straddling, 1), TRUE);
    EXPECT_EQ(Recorded(), std::u16string(518, u'p'));
    EXPECT_EQ(Saved(), std::u16string(518, u'p'));
    EndDocHook(&device.surface, 0);

    // A pair that ends at unit 519 fits.
    std::u16string fitting(517, u'q');
    fitting += u"\U0001F5A8tail";
    EXPECT_EQ(StartDoc(fitting, 1), TRUE);
    EXPECT_EQ(Recorded(), std::u16string(517, u'q') + u"\U0001F5A8");
    EndDocHook(&device.surface, 0);

    // An unpaired high surrogate at the cut is kept: no pair is split.
    std::u16string lone(518, u'r');
    lone += u'\xD800';
    lone += u"xyz";
    EXPECT_EQ(StartDoc(lone, 1), TRUE);
    EXPECT_EQ(Recorded(), std::u16string(518, u'r') + u'\xD800');
    EndDocHook(&device.surface, 0);

    // Exactly 519 units ending in a whole pair arrive whole.
    std::u16string pairAtEnd(517, u's');
    pairAtEnd += u"\U0001F5A8";
    EXPECT_EQ(StartDoc(pairAtEnd, 1), TRUE);
    EXPECT_EQ(Recorded(), pairAtEnd);
    EXPECT_TRUE(sim::JobCommands().empty());
}

TEST_F(DocumentHooksTest, DocumentWithoutNameIsRecordedEmptyAndGoesOn) {
    std::fill(std::begin(block.documentName), std::end(block.documentName), u'x');
    block.documentName[kDocumentNameCapacity - 1] = 0;
    EXPECT_EQ(StartDocHook(&device.surface, nullptr, 7), TRUE);
    EXPECT_EQ(Recorded(), u"");
    EXPECT_EQ(Saved(), u"");
    EXPECT_EQ(documentDepth, 0);
    EXPECT_EQ(driverRecord.startDocCalls, 1);
    EXPECT_EQ(driverRecord.startDocName, u"<null>");  // passed on as received
    EXPECT_EQ(driverRecord.startDocJob, 7u);
}

TEST_F(DocumentHooksTest, StartDocWithoutBlockStopsBeforeAnything) {
    device.devobj.pdevOEM = nullptr;
    EXPECT_EQ(StartDoc(u"A", 7), FALSE);
    EXPECT_EQ(documentDepth, -1);
    EXPECT_TRUE(sim::JobCommands().empty());
    EXPECT_EQ(driverRecord.startDocCalls, 0);
}

TEST_F(DocumentHooksTest, SendPageCountsPagesTheDriverSent) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SendPageHook(&device.surface), TRUE);
    EXPECT_EQ(block.pageCount, 3);
    EXPECT_EQ(driverRecord.sendPageCalls, 3);

    EXPECT_EQ(SendPageHook(nullptr), FALSE);
    SURFOBJ noDevice{};
    EXPECT_EQ(SendPageHook(&noDevice), FALSE);
    device.devobj.pdevOEM = nullptr;
    EXPECT_EQ(SendPageHook(&device.surface), FALSE);
    EXPECT_EQ(block.pageCount, 3);
    EXPECT_EQ(driverRecord.sendPageCalls, 3);
}

TEST_F(DocumentHooksTest, MissingDriverFunctionsFailWithoutBeingCalled) {
    block.driverStartDoc = nullptr;
    block.driverEndDoc = nullptr;
    block.driverSendPage = nullptr;
    EXPECT_EQ(StartDoc(u"A", 1), FALSE);
    EXPECT_EQ(Recorded(), u"A");
    EXPECT_EQ(SendPageHook(&device.surface), FALSE);
    EXPECT_EQ(block.pageCount, 0);
    EXPECT_EQ(EndDocHook(&device.surface, 0), FALSE);
    EXPECT_EQ(documentDepth, -1);
    EXPECT_EQ(Saved(), u"");
}

TEST_F(DocumentHooksTest, EndDocWithoutBlockStillClosesTheDocument) {
    StartDoc(u"A", 1);
    EXPECT_EQ(EndDocHook(nullptr, 0), FALSE);
    EXPECT_EQ(documentDepth, -1);
    EXPECT_EQ(Saved(), u"");
    EXPECT_EQ(driverRecord.endDocCalls, 0);
}

// The driver's EndDoc writes the printer's job-end sequence through the plug-in;
// its last line has no line end.
PDEVOBJ endingDevice = nullptr;
HRESULT WriteThroughFilter(PDEVOBJ device, const char* bytes, size_t count) {
    PluginPdev* block = PdevOf(device);
    const FilterJob job{device->hPrinter, nullptr, AsView(SettingsOf(device)), block->documentName};
    DWORD written = 0;
    return StreamFilterWrite(block->filter, job, bytes, static_cast<DWORD>(count), &written);
}
BOOL APIENTRY JobEndWritingDrvEndDoc(SURFOBJ*, FLONG) {
    const char tail[] = "\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X";
    return SUCCEEDED(WriteThroughFilter(endingDevice, tail, sizeof tail - 1));
}

TEST_F(DocumentHooksTest, EndDocSendsWhatTheFilterStillHoldsAfterTheDriversEndDoc) {
    endingDevice = &device.devobj;
    block.driverEndDoc = &JobEndWritingDrvEndDoc;
    const std::string job = "%!PS-Adobe-3.0\r\nshowpage\r\n%%EOF\r\n";
    ASSERT_EQ(WriteThroughFilter(&device.devobj, job.data(), job.size()), S_OK);
    EXPECT_EQ(EndDocHook(&device.surface, 0), TRUE);
    EXPECT_EQ(sim::WrittenBytes(printer), job + "\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X");
    EXPECT_FALSE(block.filter.pending.HasBlock());

    // Held bytes (a last CR, which a LF could still follow) the spooler refuses
    // at the end: the document fails instead of ending short, and the driver's
    // EndDoc has still run.
    block.driverEndDoc = &FakeDrvEndDoc;
    ASSERT_EQ(WriteThroughFilter(&device.devobj, "%!PS-\r\nlast\r", 12), S_OK);
    sim::FailCalls(sim::Api::WritePrinter, ERROR_NOT_ENOUGH_MEMORY, 0, 1);
    EXPECT_EQ(EndDocHook(&device.surface, 0), FALSE);
    EXPECT_EQ(driverRecord.endDocCalls, 1);
    EXPECT_FALSE(block.filter.pending.HasBlock());
    // Without a driver EndDoc the held bytes still go out; the answer stays FALSE.
    block.driverEndDoc = nullptr;
    ASSERT_EQ(WriteThroughFilter(&device.devobj, "%!PS-\r\nend\r", 11), S_OK);
    EXPECT_EQ(EndDocHook(&device.surface, 0), FALSE);
    EXPECT_EQ(sim::WrittenBytes(printer).substr(sim::WrittenBytes(printer).size() - 4), "end\r");
}

TEST_F(DocumentHooksTest, DocumentsOnOtherThreadsAreKeptApart) {
    StartDoc(u"Main", 1);
    PluginPdev otherBlock;
    otherBlock.driverStartDoc = &FakeDrvStartDoc;
    std::u16string otherRecorded;
    int otherDepth = 99;
    std::thread other([&] {
        TestDevice otherDevice(printer);
        otherDevice.devobj.pdevOEM = &otherBlock;
        std::u16string name = u"Other";
        StartDocHook(&otherDevice.surface, name.data(), 2);
        otherRecorded = otherBlock.documentName;
        otherDepth = documentDepth;
    });
    other.join();
    EXPECT_EQ(otherRecorded, u"Other");
    EXPECT_EQ(otherDepth, 0);
    EXPECT_EQ(Saved(), u"Main");
    EXPECT_EQ(documentDepth, 0);
}

// The price of keeping the document per thread, as the definition's comment
// says: an EndDoc on another thread ends that thread's document, not this one.
TEST_F(DocumentHooksTest, AnEndDocOnAnotherThreadLeavesThisThreadsDocumentOpen) {
    StartDoc(u"Main", 1);
    int otherDepth = 99;
    std::thread other([&] {
        EndDocHook(&device.surface, 0);
        otherDepth = documentDepth;
    });
    other.join();
    EXPECT_EQ(otherDepth, -2);
    EXPECT_EQ(documentDepth, 0);
    EXPECT_EQ(Saved(), u"Main");
    // So the next StartDoc here still counts as a later one of "Main".
    EXPECT_EQ(StartDoc(u"Next", 2), TRUE);
    EXPECT_EQ(Recorded(), u"Main");
    EndDocHook(&device.surface, 0);
    EXPECT_EQ(StartDoc(u"Next", 3), TRUE);
    EXPECT_EQ(Recorded(), u"Next");
}

}  // namespace
