#include "core/core_failure.h"
#include "core/core_types.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(CoreTypes, Win32StatusKeepsTheErrorAndTheHresultLayout) {
    struct Case {
        uint32_t error;
        uint32_t code;
        uint32_t carried;
    };
    const Case cases[] = {
        {0, 0x00000000u, 0},           {5, 0x80070005u, 5},       {122, 0x8007007Au, 122},
        {0xFFFF, 0x8007FFFFu, 0xFFFF}, {0x10005, 0x80070005u, 5},  // only the low 16 bits fit the layout
    };
    for (const Case& c : cases) {
        const Status status = Status::FromWin32(c.error);
        EXPECT_EQ(static_cast<uint32_t>(status.Code()), c.code) << c.error;
        EXPECT_EQ(status.Win32Error(), c.carried) << c.error;
        EXPECT_EQ(status.Failed(), c.error != 0) << c.error;
    }
    EXPECT_EQ(kStatusOutOfMemory.Win32Error(), 14u);  // E_OUTOFMEMORY sits in facility 7 too
    EXPECT_EQ(kStatusFail.Win32Error(), 0u);
}

TEST(CoreTypes, ByteRangeSubStaysInside) {
    const uint8_t bytes[] = {1, 2, 3, 4};
    const ByteRange view(bytes, sizeof bytes);
    struct Case {
        size_t offset, count, size;
        int first;  // -1: empty
    };
    const Case cases[] = {{0, SIZE_MAX, 4, 1}, {1, 2, 2, 2}, {3, 9, 1, 4}, {4, 1, 0, -1}, {9, 1, 0, -1}, {2, 0, 0, -1}};
    for (const Case& c : cases) {
        const ByteRange sub = view.Sub(c.offset, c.count);
        EXPECT_EQ(sub.size, c.size) << c.offset << "+" << c.count;
        EXPECT_TRUE(sub.begin() >= view.begin() && sub.end() <= view.end());
        if (c.first >= 0) {
            EXPECT_EQ(sub[0], c.first);
        }
    }
}

TEST(CoreTypes, ResultFromSuccessStatusIsStillAFailure) {
    const Result<int> wrong(kStatusOk);
    EXPECT_FALSE(wrong.Ok());
    EXPECT_EQ(wrong.status(), kStatusUnexpected);
    const Result<std::string> value(std::string("abc"));
    ASSERT_TRUE(value.Ok());
    EXPECT_EQ(value.Value(), "abc");
}

Status Throwing(int which) noexcept {
    try {
        if (which == 0) throw std::bad_alloc();
        if (which == 1) throw std::runtime_error("x");
        std::vector<int> ok(4);
        CORE_RETURN_IF(kStatusInvalidData, ok.size() != 5);
        return kStatusOk;
    }
    CORE_CATCH_RETURN()
}

TEST(CoreTypes, CaughtExceptionsBecomeStatuses) {
    EXPECT_EQ(Throwing(0), kStatusOutOfMemory);
    EXPECT_EQ(Throwing(1), kStatusUnexpected);
    EXPECT_EQ(Throwing(2), kStatusInvalidData);
}

}  // namespace
