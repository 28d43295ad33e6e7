// Row data fixed when the tables are compiled, the formatting room counted per
// run of text, and the rewriter's one-time template load and on-demand values.
#include "psfilter/feature_blocks.h"
#include "psfilter/feature_rewrite.h"
#include "core/feature_tables.h"

#include "platform/host/sim_control.h"
#include "core/settings_access.h"
#include "feature_templates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Driver(const std::string& keyword, const std::string& value) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + value + "\r\n<<>> setpagedevice\r\n" +
           "%%EndFeature\r\n}featurecleanup\r\n";
}

const ReplaceRow* Row(const char* keyword) {
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            if (std::strcmp(group.rows[i].keyword, keyword) == 0) return &group.rows[i];
        }
    }
    return nullptr;
}

TEST(FeatureRows, InvocationRuleIsFixedPerRow) {
    size_t mapped = 0;
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            const ReplaceRow& row = group.rows[i];
            if (row.invocation != Invocation::Same) ++mapped;
        }
    }
    // Every keyword of the invocation list is a replace row.
    EXPECT_EQ(mapped, 35u);

    ASSERT_NE(Row("ZTCollate"), nullptr);
    EXPECT_EQ(Row("ZTCollate")->invocation, Invocation::OnOff);
    EXPECT_EQ(Row("ZTForm")->invocation, Invocation::OnOff);
    EXPECT_EQ(Row("ZTFormSelect1")->invocation, Invocation::Same);
    EXPECT_EQ(Row("ZTImageShift")->invocation, Invocation::UpperOnOff);
    EXPECT_EQ(Row("ZTStampDateFont")->invocation, Invocation::Hex);
    EXPECT_EQ(Row("ZTPrintSpeed")->invocation, Invocation::PrintSpeed);
    EXPECT_EQ(Row("ZTZoomRate")->invocation, Invocation::Same);

    EXPECT_EQ(InvocationValue(Invocation::OnOff, "True"), "On");
    EXPECT_EQ(InvocationValue(Invocation::OnOff, "Maybe"), "Maybe");  // only the two words change
    EXPECT_EQ(InvocationValue(Invocation::UpperOnOff, "False"), "OFF");
    EXPECT_EQ(InvocationValue(Invocation::Hex, "A\xC3\xA9"), "41C3A9");
    EXPECT_EQ(InvocationValue(Invocation::PrintSpeed, "OFF"), "Standard");
    EXPECT_EQ(InvocationValue(Invocation::Same, "True"), "True");
}

TEST(FeatureRows, InsertRowFlags) {
    size_t plain = 0;
    size_t standIn = 0;
    for (const InsertRow& row : kInsertTable) {
        if (row.plainText) {
            ++plain;
            EXPECT_STREQ(row.keyword, "ZTSecretNumInfo");
        }
        if (row.customSizeStandIn) {
            ++standIn;
            EXPECT_STREQ(row.anchors, "ZTPageSize ");
            EXPECT_STREQ(row.keyword, "ZTPageSizeWidth");
        }
    }
    EXPECT_EQ(plain, 1u);
    EXPECT_EQ(standIn, 1u);
}

TEST(FeatureRows, FormatRoomCountsLiteralRunsAndPercentSigns) {
    // (4 + 260) doubled ten times is 270336: the result must stay below it,
    // whether the last bytes come from the format's own text or an argument.
    std::string out;
    ASSERT_TRUE(FormatText("%sab", {std::string(270333, 'x')}, out));
    EXPECT_EQ(out.size(), 270335u);
    EXPECT_EQ(out.substr(270331), "xxab");
    EXPECT_FALSE(FormatText("%sab", {std::string(270334, 'x')}, out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(FormatText("%s%%", {std::string(270334, 'x')}, out));
    EXPECT_EQ(out.size(), 270335u);
    EXPECT_FALSE(FormatText("%s%%", {std::string(270335, 'x')}, out));

    // Numbers of every width, signs included.
    ASSERT_TRUE(FormatText("[%d|%d|%d]", {int64_t{0}, int64_t{-9223372036854775807 - 1}, int64_t{65535}}, out));
    EXPECT_EQ(out, "[0|-9223372036854775808|65535]");
}

class FeatureRewriteOnce : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetUserName(u"alice");
        module = sim::RegisterModule(u"/opt/render/QM22TRD.dll", kFeatureTemplates, 2);
    }

    HRESULT Rewrite(const std::string& piece, int state, std::string& out) {
        return RewriteSetupPiece(module, u"Doc", SettingsView{settings.data(), settings.size()}, piece,
                                 static_cast<SectionState>(state), 1, out);
    }

    HMODULE module = nullptr;
    std::vector<BYTE> settings = std::vector<BYTE>(kSettingsBlockBytes, 0);
};

TEST_F(FeatureRewriteOnce, TemplatesAreLookedUpOncePerPiece) {
    const std::string piece = Driver("ZTDuplex", "None") + Driver("ZTCollate", "True") + Driver("ZTGCCyan", "1") +
                              Driver("Resolution", "600dpi");
    std::string out;
    ASSERT_EQ(Rewrite(piece, 1, out), S_OK);
    EXPECT_EQ(sim::CallCount(sim::Api::FindResourceW), 2u);
    ASSERT_EQ(Rewrite(piece, 2, out), S_OK);
    EXPECT_EQ(sim::CallCount(sim::Api::FindResourceW), 4u);
}

TEST_F(FeatureRewriteOnce, UserNameAndDateAreAskedForOnlyWhenTheirBlocksArePlaced) {
    const std::string plain = Driver("ZTDuplex", "None") + Driver("Resolution", "600dpi");
    std::string out;
    ASSERT_EQ(Rewrite(plain, 2, out), S_OK);
    EXPECT_EQ(sim::CallCount(sim::Api::GetUserNameW), 0u);
    EXPECT_EQ(sim::CallCount(sim::Api::GetDateFormatW), 0u);

    // The owner-name block goes behind the owner-name switch block and carries
    // the user name, hex-encoded ("alice").
    const std::string owner = Driver("ZTOwnerName", "False") + Driver("Resolution", "600dpi");
    ASSERT_EQ(Rewrite(owner, 2, out), S_OK);
    EXPECT_GE(sim::CallCount(sim::Api::GetUserNameW), 1u);
    EXPECT_NE(out.find("%%BeginFeature: *ZTOwnerNameInfo 616C696365\r\n"), std::string::npos);
    EXPECT_EQ(sim::CallCount(sim::Api::GetDateFormatW), 0u);
}

}  // namespace
