#include "core/paper_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace {

TEST(kPaperTable, RowsAsPublished) {
    EXPECT_EQ(kPaperRowCount, 30u);
    const PaperRow& first = kPaperTable[0];
    EXPECT_EQ(first.number, 8);
    EXPECT_STREQ(first.keyword, "A3");
    EXPECT_EQ(first.width, 2970);
    EXPECT_EQ(first.length, 4200);
    EXPECT_EQ(first.code, 1);
    EXPECT_EQ(first.standard, 1);
    const PaperRow& last = kPaperTable[29];
    EXPECT_EQ(last.number, 265);
    EXPECT_STREQ(last.keyword, "16K");
    EXPECT_EQ(last.width, 1950);
    EXPECT_EQ(last.length, 2700);
    EXPECT_EQ(last.code, 30);
    EXPECT_EQ(last.standard, 0);
    std::set<int32_t> numbers;
    std::set<std::string> keywords;
    for (size_t i = 0; i < kPaperRowCount; ++i) {
        const PaperRow& row = kPaperTable[i];
        EXPECT_EQ(row.code, static_cast<int32_t>(i + 1));
        EXPECT_TRUE(numbers.insert(row.number).second);
        EXPECT_TRUE(keywords.insert(row.keyword).second);
        // Every row is found again by its number and its keyword.
        EXPECT_EQ(FindPaperRow(static_cast<int16_t>(row.number)), &row);
        EXPECT_EQ(FindPaperRowByKeyword(row.keyword), &row);
        EXPECT_NE(row.number, kSiblingCustomPaper);
        EXPECT_NE(row.number, kDriverCustomPaper);
    }
    EXPECT_STREQ(FindPaperRow(1)->keyword, "Letter");
    EXPECT_EQ(FindPaperRow(1)->code, 19);
    for (const int16_t absent : {int16_t{0}, int16_t{-1}, kSiblingCustomPaper, kDriverCustomPaper, int16_t{266}}) {
        EXPECT_EQ(FindPaperRow(absent), nullptr) << absent;
    }
    for (const char* absent : {"a4", "A4 ", "", kCustomKeyword, static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(FindPaperRowByKeyword(absent), nullptr) << (absent ? absent : "(null)");
    }
}

TEST(PaperSizes, ToleranceOfTwoBothWays) {
    EXPECT_TRUE(PaperSizesMatch(2100, 2970, 2100, 2970));
    EXPECT_TRUE(PaperSizesMatch(2102, 2968, 2100, 2970));
    EXPECT_TRUE(PaperSizesMatch(2098, 2972, 2100, 2970));
    EXPECT_FALSE(PaperSizesMatch(2103, 2970, 2100, 2970));
    EXPECT_FALSE(PaperSizesMatch(2100, 2967, 2100, 2970));
    EXPECT_FALSE(PaperSizesMatch(INT32_MIN, 0, INT32_MAX, 0));
    EXPECT_TRUE(PaperSizesMatch(INT32_MAX, INT32_MIN, INT32_MAX - 2, INT32_MIN + 2));
}

}  // namespace
