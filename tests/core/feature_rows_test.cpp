// Row data fixed when the tables are compiled and the formatting room counted
// per run of text.
#include "core/feature_blocks.h"
#include "core/feature_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

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

}  // namespace
