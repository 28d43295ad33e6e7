// The failure shorthand's trace, read back from the simulated debugger output.
#include "common/debug_trace.h"
#include "common/result_macros.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Defined at the end of the file under a fixed file name and line numbers, so
// the lines they trace can be written out here byte for byte.
HRESULT PassOn(HRESULT hr);
HRESULT RefuseNull(const void* pointer);
HRESULT CatchToFailure(int what);
int CatchToValue(int what);
BOOL HookLike(const void* pointer, HRESULT hr);

struct FailureTraceTest : ::testing::Test {
    void SetUp() override {
        sim::Reset();
        Switch(u"1");
    }
    void TearDown() override { Switch(u"0"); }

    static void Switch(const char16_t* value) {
        sim::SetEnvironmentVariable(u"QM22T_TRACE", value);
        InitDebugTrace();
    }
};

TEST_F(FailureTraceTest, EachShorthandWritesOneLineNamingWhereTheFailureWasSeen) {
    EXPECT_EQ(PassOn(E_ACCESSDENIED), E_ACCESSDENIED);
    EXPECT_EQ(RefuseNull(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(CatchToFailure(1), E_FAIL);
    EXPECT_EQ(CatchToFailure(2), E_FAIL);
    EXPECT_EQ(CatchToValue(1), -1);
    EXPECT_EQ(sim::DebugOutput(), (std::vector<std::u16string>{
                                      u"QM22TRD: failure 0x80070005 at probe.cpp:101: Step(hr)\n",
                                      u"QM22TRD: failure 0x8007000E at probe.cpp:106: (pointer) == nullptr\n",
                                      u"QM22TRD: failure 0x8007000E at probe.cpp:114: catch (...)\n",
                                      u"QM22TRD: failure 0x8000FFFF at probe.cpp:114: catch (...)\n",
                                      u"QM22TRD: failure 0x8007000E at probe.cpp:121: catch (...)\n",
                                  }));
}

// The hooks answer BOOL: FALSE, with the line naming the reason as an HRESULT;
// the thread's last error, which the driver reads, is left as it was.
TEST_F(FailureTraceTest, BoolShorthandsAnswerFalseAndKeepTheLastError) {
    const int here = 0;
    SetLastError(1234);
    EXPECT_EQ(HookLike(nullptr, S_OK), FALSE);
    EXPECT_EQ(HookLike(&here, E_ACCESSDENIED), FALSE);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(HookLike(&here, S_FALSE), TRUE);
    EXPECT_EQ(sim::DebugOutput(), (std::vector<std::u16string>{
                                      u"QM22TRD: failure 0x80004003 at probe.cpp:125: pointer == nullptr\n",
                                      u"QM22TRD: failure 0x80070005 at probe.cpp:126: Step(hr)\n",
                                  }));
}

TEST_F(FailureTraceTest, SuccessWritesNothingAndTheTraceOffWritesNothing) {
    const int here = 0;
    EXPECT_EQ(PassOn(S_FALSE), S_OK);  // a success code is no failure
    EXPECT_EQ(RefuseNull(&here), S_OK);
    EXPECT_EQ(CatchToFailure(0), S_OK);
    EXPECT_EQ(CatchToValue(0), 0);
    EXPECT_TRUE(sim::DebugOutput().empty());

    Switch(u"0");
    EXPECT_EQ(PassOn(E_FAIL), E_FAIL);
    EXPECT_EQ(CatchToValue(1), -1);
    EXPECT_TRUE(sim::DebugOutput().empty());
}

HRESULT Step(HRESULT hr) { return hr; }

void Throw(int what) {
    if (what == 1) throw std::bad_alloc();
    if (what == 2) throw std::runtime_error("not memory");
}

// clang-format off
#line 100 "probe.cpp"
HRESULT PassOn(HRESULT hr) {
    RETURN_IF_FAILED(Step(hr));
    return S_OK;
}

HRESULT RefuseNull(const void* pointer) {
    RETURN_IF_NULL_ALLOC(pointer);
    return S_OK;
}

HRESULT CatchToFailure(int what) {
    try {
        Throw(what);
        return S_OK;
    } CATCH_RETURN(E_FAIL)
}

int CatchToValue(int what) {
    try {
        Throw(what);
        return 0;
    } CATCH_RETURN_VALUE(-1)
}

BOOL HookLike(const void* pointer, HRESULT hr) {
    RETURN_FALSE_IF(E_POINTER, pointer == nullptr);
    RETURN_FALSE_IF_FAILED(Step(hr));
    return TRUE;
}
// clang-format on

}  // namespace
