// The host build's resource table must carry the feature-block templates exactly
// as the Windows .rc embeds them: same type and names, 123 bytes each, no added
// terminating zero, and reachable through the resource functions.
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>

extern "C" const SimResource SimModuleResources[];
extern "C" const unsigned SimModuleResourceCount;

namespace {

const std::string kNumericTemplate =
    "featurebegin{\r\n"
    "%%%%BeginFeature: *%s %d\r\n"
    "(%d) /Custom /ProcSet findresource /%s get exec\r\n"
    "%%%%EndFeature\r\n"
    "}featurecleanup\r\n";

const std::string kTextTemplate =
    "featurebegin{\r\n"
    "%%%%BeginFeature: *%s %s\r\n"
    "(%s) /Custom /ProcSet findresource /%s get exec\r\n"
    "%%%%EndFeature\r\n"
    "}featurecleanup\r\n";

ULONG_PTR IntResource(const WCHAR* value) { return reinterpret_cast<ULONG_PTR>(value); }

std::string Bytes(const SimResource& resource) {
    return std::string(static_cast<const char*>(resource.data), resource.size);
}

TEST(ResourceTable, HoldsExactlyTheTwoTemplates) {
    ASSERT_EQ(SimModuleResourceCount, 2u);

    const SimResource& numeric = SimModuleResources[0];
    ASSERT_TRUE(IS_INTRESOURCE(numeric.type));
    ASSERT_TRUE(IS_INTRESOURCE(numeric.name));
    EXPECT_EQ(IntResource(numeric.type), 20563u);
    EXPECT_EQ(IntResource(numeric.name), 1u);
    EXPECT_EQ(numeric.size, 123u);
    EXPECT_EQ(Bytes(numeric), kNumericTemplate);

    const SimResource& text = SimModuleResources[1];
    ASSERT_TRUE(IS_INTRESOURCE(text.type));
    ASSERT_TRUE(IS_INTRESOURCE(text.name));
    EXPECT_EQ(IntResource(text.type), 20563u);
    EXPECT_EQ(IntResource(text.name), 2u);
    EXPECT_EQ(text.size, 123u);
    EXPECT_EQ(Bytes(text), kTextTemplate);
}

class ResourceLookup : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        module_ = sim::RegisterModule(u"/sim/plugin/QM22TRD.dll", SimModuleResources, SimModuleResourceCount);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { sim::Reset(); }

    // The bytes the resource functions hand out, or nothing when a step fails.
    std::string Load(const WCHAR* name, const WCHAR* type) {
        HRSRC info = FindResourceW(module_, name, type);
        if (info == nullptr) return "<not found>";
        HGLOBAL handle = LoadResource(module_, info);
        DWORD size = SizeofResource(module_, info);
        const void* data = LockResource(handle);
        if (data == nullptr) return "<not loaded>";
        return std::string(static_cast<const char*>(data), size);
    }

    HMODULE module_ = nullptr;
};

TEST_F(ResourceLookup, FindsBothTemplatesByNumber) {
    EXPECT_EQ(Load(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(20563)), kNumericTemplate);
    EXPECT_EQ(Load(MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(20563)), kTextTemplate);
}

TEST_F(ResourceLookup, OtherNamesAndTypesAreAbsent) {
    EXPECT_EQ(Load(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(20563)), "<not found>");
    EXPECT_EQ(Load(MAKEINTRESOURCEW(1), RT_RCDATA), "<not found>");
    EXPECT_EQ(Load(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(20562)), "<not found>");
}

}  // namespace
