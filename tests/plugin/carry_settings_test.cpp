#include "plugin/carry_settings.h"
#include "plugin/plugin_pdev.h"

#include "frame_fakes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

// The carried byte ranges of the settings block, both ends included, written
// out here independently of the code's table.
const std::vector<std::pair<size_t, size_t>> kCarriedRanges = {
    {372, 375},   {382, 386},   {388, 391},   {400, 402},   {814, 816},   {818, 822},   {824, 951},
    {954, 1008},  {1010, 1137}, {1140, 1142}, {1144, 1152}, {1223, 1223}, {1226, 2729}, {3230, 3231},
    {3746, 3746}, {3748, 3764}, {3766, 3771}, {3774, 3774}, {3776, 3782}, {3784, 3792}, {3794, 3796},
    {3798, 3802}, {3824, 3828}, {3842, 3853}, {3856, 3858}, {3860, 4372}, {4374, 4376}, {4380, 4892},
    {4894, 4895}, {4902, 4923}, {5174, 5432}, {5434, 5949}, {5952, 7019}, {8584, 9083}};
// Carried only once more than one page has been sent.
const std::pair<size_t, size_t> kCopiesRange = {1224, 1225};

constexpr BYTE kOld = 0xA5;
constexpr BYTE kNew = 0x5A;

struct CarryCase : ::testing::Test {
    TestDevice oldDevice;
    TestDevice newDevice;

    void SetUp() override {
        std::memset(oldDevice.Settings(), kOld, 12004);
        std::memset(newDevice.Settings(), kNew, 12004);
        std::memset(oldDevice.privatePart.data(), 0x11, 12);  // headers are never touched
        std::memset(newDevice.privatePart.data(), 0x22, 12);
        FillPublic(oldDevice.publicDm, kOld);
        FillPublic(newDevice.publicDm, kNew);
    }
    static void FillPublic(DEVMODEW& dm, BYTE fill) {
        std::memset(&dm, fill, sizeof(dm));
        dm.dmSize = sizeof(DEVMODEW);
    }
    // The byte each offset of the new block must hold.
    static std::vector<BYTE> ExpectedBlock(bool copiesCarried) {
        std::vector<BYTE> expected(12004, kNew);
        auto carry = [&](std::pair<size_t, size_t> r) {
            for (size_t i = r.first; i <= r.second; ++i) expected[i] = kOld;
        };
        for (const auto& r : kCarriedRanges) carry(r);
        if (copiesCarried) carry(kCopiesRange);
        return expected;
    }
    std::vector<BYTE> NewBlock() { return std::vector<BYTE>(newDevice.Settings(), newDevice.Settings() + 12004); }
    // The public fields, by offset, that must come from the old settings.
    void ExpectPublic(const std::vector<size_t>& carriedOffsets) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&newDevice.publicDm);
        std::vector<BYTE> expected(sizeof(DEVMODEW), kNew);
        const std::vector<std::pair<size_t, size_t>> widths = {{84, 2}, {86, 2}, {90, 2},  {92, 2}, {94, 2},
                                                               {96, 2}, {98, 2}, {100, 2}, {180, 4}};
        for (const auto& [offset, width] : widths) {
            for (size_t o : carriedOffsets) {
                if (o == offset) std::memset(&expected[offset], kOld, width);
            }
        }
        expected[68] = static_cast<BYTE>(sizeof(DEVMODEW));  // dmSize
        expected[69] = 0;
        EXPECT_EQ(std::vector<BYTE>(bytes, bytes + sizeof(DEVMODEW)), expected);
    }
};

const std::vector<size_t> kAllPublic = {84, 86, 90, 92, 94, 96, 98, 100, 180};
const std::vector<size_t> kAllButCopies = {84, 90, 92, 94, 96, 98, 100, 180};

TEST_F(CarryCase, NothingIsCarriedBeforeTheFirstPage) {
    CarryJobSettings(&oldDevice.devobj, &newDevice.devobj, 0);
    EXPECT_EQ(NewBlock(), std::vector<BYTE>(12004, kNew));
    ExpectPublic({});
}

TEST_F(CarryCase, AfterOnePageCopiesFollowTheNewSettings) {
    CarryJobSettings(&oldDevice.devobj, &newDevice.devobj, 1);
    EXPECT_EQ(NewBlock(), ExpectedBlock(false));
    ExpectPublic(kAllButCopies);
    EXPECT_EQ(std::vector<BYTE>(newDevice.privatePart.begin(), newDevice.privatePart.begin() + 12),
              std::vector<BYTE>(12, 0x22));
}

TEST_F(CarryCase, AfterTwoPagesEverythingJobWideIsCarried) {
    CarryJobSettings(&oldDevice.devobj, &newDevice.devobj, 2);
    EXPECT_EQ(NewBlock(), ExpectedBlock(true));
    ExpectPublic(kAllPublic);
}

TEST_F(CarryCase, MissingSettingsOnEitherSideCarryNothing) {
    oldDevice.devobj.pPublicDM = nullptr;
    CarryJobSettings(&oldDevice.devobj, &newDevice.devobj, 2);
    oldDevice.devobj.pPublicDM = &oldDevice.publicDm;
    newDevice.devobj.pOEMDM = nullptr;
    CarryJobSettings(&oldDevice.devobj, &newDevice.devobj, 2);
    EXPECT_EQ(NewBlock(), std::vector<BYTE>(12004, kNew));
    ExpectPublic({});
}

TEST_F(CarryCase, FieldsBeyondAShortPublicPartAreLeftAlone) {
    // A public part that ends before dmNup (offset 180) never has it read.
    oldDevice.publicDm.dmSize = 156;
    CarryJobSettings(&oldDevice.devobj, &newDevice.devobj, 2);
    ExpectPublic({84, 86, 90, 92, 94, 96, 98, 100});
}

TEST(PdevTakeOver, MovesStateAndBufferBlocksLeavingTheOldBlockEmpty) {
    PluginPdev from;
    from.driverSendPage = &FakeDrvSendPage;
    from.driverStartDoc = &FakeDrvStartDoc;
    from.driverEndDoc = &FakeDrvEndDoc;
    from.pageCount = 4;
    std::memcpy(from.documentName, u"Doc", 8);
    from.filter.section = SectionState::LaterPiece;
    from.filter.inPageComments = true;
    from.filter.defaultOrientation = 2;
    ASSERT_TRUE(from.filter.setup.Append("\r\n%", 3).Ok());
    const BYTE* block = from.filter.setup.Bytes();

    PluginPdev to;
    TakeOverPdevState(to, from);
    EXPECT_EQ(to.driverSendPage, &FakeDrvSendPage);
    EXPECT_EQ(to.driverStartDoc, &FakeDrvStartDoc);
    EXPECT_EQ(to.driverEndDoc, &FakeDrvEndDoc);
    EXPECT_EQ(to.pageCount, 4);
    EXPECT_EQ(std::u16string(to.documentName), u"Doc");
    EXPECT_EQ(to.filter.section, SectionState::LaterPiece);
    EXPECT_TRUE(to.filter.inPageComments);
    EXPECT_EQ(to.filter.defaultOrientation, 2);
    EXPECT_EQ(to.filter.setup.Bytes(), block);
    EXPECT_EQ(to.filter.setup.Capacity(), 65537u);
    EXPECT_EQ(to.filter.setup.View(), "\r\n%");
    EXPECT_EQ(to.filter.setup.CompleteLength(), 2u);
    EXPECT_FALSE(from.filter.setup.HasBlock());
    EXPECT_EQ(from.filter.setup.Capacity() + from.filter.setup.Length() + from.filter.setup.CompleteLength(), 0u);
    EXPECT_FALSE(to.filter.pending.HasBlock());

    TakeOverPdevState(to, to);  // a block handed to itself keeps everything
    EXPECT_EQ(to.filter.setup.Bytes(), block);
}

TEST(PdevTakeOver, NewBlockStartsEmpty) {
    PluginPdev pdev;
    EXPECT_EQ(pdev.pageCount, 0);
    EXPECT_EQ(pdev.documentName[0], 0);
    EXPECT_EQ(pdev.filter.section, SectionState::Passing);
    EXPECT_FALSE(pdev.filter.inPageComments);
    EXPECT_EQ(pdev.filter.defaultOrientation, -1);
    EXPECT_FALSE(pdev.filter.pending.HasBlock());
}

}  // namespace
