// The stream filter's line buffer on the core alone.
#include "core/line_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

std::string Held(const LineBuffer& buffer) {
    if (!buffer.HasBlock()) return std::string();
    return std::string(reinterpret_cast<const char*>(buffer.Bytes()), buffer.Length());
}

Status AppendText(LineBuffer& buffer, const std::string& text) { return buffer.Append(text.data(), text.size()); }

TEST(LineBuffer, GrowsBy64KiBOrTwiceTheAppendAndKeepsItsBytes) {
    LineBuffer buffer;
    EXPECT_EQ(buffer.Append(nullptr, 0), kStatusOk);
    EXPECT_FALSE(buffer.HasBlock());

    ASSERT_EQ(AppendText(buffer, "0123456789"), kStatusOk);
    EXPECT_EQ(buffer.Capacity(), 65537u);
    EXPECT_EQ(buffer.Length(), 10u);
    EXPECT_EQ(buffer.Bytes()[10], 0);

    // Fits the block: no growth.
    ASSERT_EQ(AppendText(buffer, std::string(65526, 'a')), kStatusOk);
    EXPECT_EQ(buffer.Capacity(), 65537u);
    EXPECT_EQ(buffer.Length(), 65536u);

    // 1 more byte needs 65538: 65536 + 65536 + 1.
    ASSERT_EQ(AppendText(buffer, "b"), kStatusOk);
    EXPECT_EQ(buffer.Capacity(), 131073u);

    // A large append grows by twice its size: 65537 + 2 * 70000 + 1.
    ASSERT_EQ(AppendText(buffer, std::string(70000, 'c')), kStatusOk);
    EXPECT_EQ(buffer.Capacity(), 205538u);
    EXPECT_EQ(buffer.Length(), 135537u);
    EXPECT_EQ(Held(buffer).substr(0, 12), "0123456789aa");
    EXPECT_EQ(Held(buffer).substr(65535, 3), "abc");
    EXPECT_EQ(buffer.Bytes()[135537], 0);
}

TEST(LineBuffer, CompleteLengthFollowsLineEndsAcrossAppendsAndConsumes) {
    LineBuffer buffer;
    ASSERT_EQ(AppendText(buffer, "ab\r"), kStatusOk);
    EXPECT_EQ(buffer.CompleteLength(), 0u);
    ASSERT_EQ(AppendText(buffer, "\ncd"), kStatusOk);  // CR and LF in different appends
    EXPECT_EQ(buffer.CompleteLength(), 4u);
    ASSERT_EQ(AppendText(buffer, "\r\nef\r\ngh"), kStatusOk);
    EXPECT_EQ(buffer.CompleteLength(), 12u);
    ASSERT_EQ(AppendText(buffer, "ij"), kStatusOk);
    EXPECT_EQ(buffer.CompleteLength(), 12u);

    buffer.Consume(4);
    EXPECT_EQ(Held(buffer), "cd\r\nef\r\nghij");
    EXPECT_EQ(buffer.CompleteLength(), 8u);
    EXPECT_EQ(buffer.Bytes()[buffer.Length()], 0);
    // Taking the CR of the last line end leaves its LF as a complete line.
    buffer.Consume(7);
    EXPECT_EQ(Held(buffer), "\nghij");
    EXPECT_EQ(buffer.CompleteLength(), 1u);
    buffer.Consume(1);
    EXPECT_EQ(buffer.CompleteLength(), 0u);
    buffer.Consume(100);
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_TRUE(buffer.HasBlock());  // the block stays until Clear
    EXPECT_EQ(buffer.Bytes()[0], 0);

    buffer.Clear();
    EXPECT_FALSE(buffer.HasBlock());
    EXPECT_EQ(buffer.Capacity(), 0u);
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_EQ(buffer.CompleteLength(), 0u);
}

// Appends and takes from the front at random against a plain string: the held
// bytes, the complete length and the terminator always agree, and the block
// stays within a bounded multiple of what is held (taking from the front only
// moves an offset, so the room it frees must come back).
TEST(LineBuffer, FrontTakingKeepsTheBytesAndBoundsTheBlock) {
    uint32_t seed = 99;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    LineBuffer buffer;
    std::string model;
    size_t most = 0;
    for (int round = 0; round < 20000; ++round) {
        if (next() % 3 != 0) {
            std::string bytes;
            const size_t count = next() % (next() % 50 == 0 ? 200000 : 300);
            for (size_t i = 0; i < count; ++i) bytes += "ab\r\n\0"[next() % 5];
            ASSERT_EQ(AppendText(buffer, bytes), kStatusOk);
            model += bytes;
        } else {
            const size_t count = next() % (model.size() + 2);
            buffer.Consume(count);
            model.erase(0, count);
        }
        most = std::max(most, model.size());
        ASSERT_EQ(Held(buffer), model) << round;
        const size_t lastEnd = model.rfind("\r\n");
        // A lone LF left at the front still ends a line.
        const bool loneLf = buffer.CompleteLength() == 1 && !model.empty() && model[0] == '\n';
        const size_t expected = lastEnd == std::string::npos ? (loneLf ? 1 : 0) : lastEnd + 2;
        ASSERT_EQ(buffer.CompleteLength(), expected) << round;
        if (buffer.HasBlock()) {
            ASSERT_EQ(buffer.Bytes()[buffer.Length()], 0) << round;
            ASSERT_LE(buffer.Capacity(), 2u * most + 2u * 200000u + 65537u) << round;
        }
    }
}

TEST(LineBuffer, SearchesLookPastZeroBytes) {
    LineBuffer buffer;
    const char bytes[] = "a\0b\r\n%%EOF\r\nx\0%%EOF\r\n";
    ASSERT_EQ(buffer.Append(bytes, sizeof bytes - 1), kStatusOk);
    EXPECT_EQ(buffer.CompleteLength(), 21u);
    EXPECT_EQ(buffer.Find("%%EOF\r\n", 0), 5u);
    EXPECT_EQ(buffer.Find("%%EOF\r\n", 6), 14u);
    EXPECT_EQ(buffer.Find("%%EOF\r\n", 15), kNpos);
    EXPECT_EQ(buffer.FindLast("%%EOF\r\n"), 14u);
    EXPECT_EQ(buffer.Find("b", 0), 2u);
    EXPECT_EQ(buffer.Find("y", 20), kNpos);  // starts behind the last place the text fits
    EXPECT_EQ(buffer.Find("y", 1 << 30), kNpos);
    EXPECT_EQ(buffer.Find("", 0), kNpos);
    EXPECT_EQ(buffer.Find(std::string_view("x\0", 2), 0), 12u);  // a zero byte in the text is data too
    EXPECT_EQ(buffer.Find(std::string_view("\0%", 2), 0), 13u);
    EXPECT_EQ(LineBuffer().Find("a", 0), kNpos);
    EXPECT_EQ(LineBuffer().FindLast("a"), kNpos);
    EXPECT_EQ(buffer.View(), std::string_view(bytes, sizeof bytes - 1));
}

TEST(LineBuffer, FeatureCutPointEndsAtTheLastClosedBlock) {
    LineBuffer lines;
    ASSERT_EQ(AppendText(lines, "a\r\nb\r\nc"), kStatusOk);
    EXPECT_EQ(lines.FeatureCutPoint(), 6u);  // no feature block: the last line end

    LineBuffer open;
    ASSERT_EQ(AppendText(open, "x\r\nfeaturebegin{\r\ny\r\n"), kStatusOk);
    EXPECT_EQ(open.FeatureCutPoint(), 0u);  // never inside an open block

    LineBuffer closed;
    ASSERT_EQ(AppendText(closed,
                         "featurebegin{\r\n1\r\n}featurecleanup\r\nz\r\n"
                         "featurebegin{\r\n2\r\n}featurecleanup\r\nfeaturebegin{\r\n3\r\n"),
              kStatusOk);
    EXPECT_EQ(closed.FeatureCutPoint(), 73u);
}

TEST(LineBuffer, RefusedAppendLeavesTheBufferAsItWas) {
    LineBuffer buffer;
    buffer.SetByteLimit(8);
    ASSERT_EQ(AppendText(buffer, "abc\r\n"), kStatusOk);
    EXPECT_EQ(buffer.Capacity(), 9u);  // growth stops at the limit and its terminator
    EXPECT_EQ(AppendText(buffer, "defg"), kStatusOutOfMemory);
    EXPECT_EQ(Held(buffer), "abc\r\n");
    EXPECT_EQ(buffer.CompleteLength(), 5u);
    EXPECT_EQ(AppendText(buffer, "def"), kStatusOk);
    EXPECT_EQ(AppendText(buffer, "g"), kStatusOutOfMemory);
    EXPECT_EQ(buffer.Append(nullptr, 1), kStatusNullPointer);
}

TEST(LineBuffer, MovingHandsTheBlockOver) {
    LineBuffer from;
    ASSERT_EQ(AppendText(from, "line\r\nrest"), kStatusOk);
    const uint8_t* block = from.Bytes();
    LineBuffer to(std::move(from));
    EXPECT_EQ(to.Bytes(), block);
    EXPECT_EQ(to.Length(), 10u);
    EXPECT_EQ(to.CompleteLength(), 6u);
    EXPECT_FALSE(from.HasBlock());
    EXPECT_EQ(from.Length(), 0u);
    EXPECT_EQ(from.CompleteLength(), 0u);
    EXPECT_EQ(from.Capacity(), 0u);
}

}  // namespace
