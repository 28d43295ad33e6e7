// The plug-in's side of the feature rewrite: templates loaded from the module
// and the system's user name and date reaching the blocks.
#include "feature_block_texts.h"
#include "psfilter/feature_blocks.h"
#include "core/feature_passes.h"
#include "psfilter/feature_rewrite.h"

#include "platform/host/sim_control.h"
#include "core/settings_access.h"
#include "feature_templates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const SimResource kNumericOnly[] = {{MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kFeatureNumericTemplate, 123}};

const std::string kRegion = Driver("PageRegion", "A4");
const std::string kResolution = Driver("Resolution", "600dpi");

class FeatureEmit : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetUserName(u"alice");
        SYSTEMTIME day = {};
        day.wYear = 2026;
        day.wMonth = 12;
        day.wDay = 7;
        sim::SetLocalTime(day);
        module = sim::RegisterModule(u"/opt/render/QM22TRD.dll", kFeatureTemplates, 2);
    }

    SettingsSpan Span() { return SettingsSpan{settings.data(), settings.size()}; }
    void U8(size_t offset, uint8_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 1, v)); }
    void S16(size_t offset, int16_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 2, v)); }
    void S32(size_t offset, int32_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 4, v)); }
    void Text(size_t offset, const std::u16string& text) {
        const std::u16string units = text + u'\0';
        ASSERT_TRUE(WriteSettingBytes(Span(), offset, units.data(), units.size() * 2));
    }
    void Bytes(size_t offset, const std::vector<BYTE>& bytes) {
        ASSERT_TRUE(WriteSettingBytes(Span(), offset, bytes.data(), bytes.size()));
    }

    HRESULT Rewrite(const std::string& piece, int state, int orientation, std::string& out) {
        return RewriteSetupPiece(module, document.c_str(), SettingsView{settings.data(), settings.size()}, piece,
                                 static_cast<SectionState>(state), orientation, out);
    }
    // A later piece: no orientation block.
    std::string Later(const std::string& piece) {
        std::string out;
        EXPECT_EQ(Rewrite(piece, 2, -1, out), S_OK);
        return out;
    }

    HMODULE module = nullptr;
    std::u16string document = u"Report";
    std::vector<BYTE> settings = std::vector<BYTE>(kSettingsBlockBytes, 0);
};

TEST_F(FeatureEmit, LoadTemplateGivesTheStoredBytes) {
    const TemplateText numeric = LoadTemplate(module, 1);
    ASSERT_FALSE(numeric.empty());
    EXPECT_EQ(std::string(numeric), std::string(kFeatureNumericTemplate, 123));
    const TemplateText text = LoadTemplate(module, 2);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(std::string(text), std::string(kFeatureTextTemplate, 123));

    EXPECT_TRUE(LoadTemplate(module, 3).empty());
    EXPECT_TRUE(LoadTemplate(nullptr, 1).empty());
    HMODULE partial = sim::RegisterModule(u"/opt/other/QM22TRD.dll", kNumericOnly, 1);
    EXPECT_FALSE(LoadTemplate(partial, 1).empty());
    EXPECT_TRUE(LoadTemplate(partial, 2).empty());

    sim::FailCalls(sim::Api::FindResourceW, ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_TRUE(LoadTemplate(module, 1).empty());
    sim::StopFailing(sim::Api::FindResourceW);
    sim::FailCalls(sim::Api::LoadResource, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(LoadTemplate(module, 2).empty());
}

TEST_F(FeatureEmit, DamagedTemplatesAreNotUsedAsFormats) {
    static const char kFiveTexts[] = "%s %s (%s) %s %s";
    static const char kNumberForText[] = "%s %d (%s) %s";
    static const char kForeign[] = "%s %n %s %s";
    static const char kLonePercent[] = "%s %s %s %s %";
    const SimResource damaged[] = {
        {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kNumberForText, sizeof kNumberForText - 1},
        {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(2), kFiveTexts, sizeof kFiveTexts - 1},
    };
    HMODULE bad = sim::RegisterModule(u"/opt/bad/QM22TRD.dll", damaged, 2);
    EXPECT_TRUE(LoadTemplate(bad, 1).empty());
    EXPECT_TRUE(LoadTemplate(bad, 2).empty());
    const SimResource foreign[] = {
        {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kForeign, sizeof kForeign - 1},
        {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(2), kLonePercent, sizeof kLonePercent - 1},
    };
    HMODULE odd = sim::RegisterModule(u"/opt/odd/QM22TRD.dll", foreign, 2);
    EXPECT_TRUE(LoadTemplate(odd, 1).empty());
    EXPECT_TRUE(LoadTemplate(odd, 2).empty());

    // Rewriting with such a module leaves the piece as the driver wrote it.
    module = bad;
    const std::string piece = Driver("ZTDuplex", "None") + kRegion;
    std::string out;
    EXPECT_EQ(Rewrite(piece, 1, 2, out), S_OK);
    EXPECT_EQ(out, piece);
}

TEST_F(FeatureEmit, MissingArgumentsAreRefused) {
    const SettingsView block{settings.data(), settings.size()};
    std::string out;
    EXPECT_EQ(RewriteSetupPiece(nullptr, u"Report", block, kRegion, SectionState::FirstPiece, 1, out), E_POINTER);
    EXPECT_EQ(RewriteSetupPiece(module, nullptr, block, kRegion, SectionState::FirstPiece, 1, out), E_POINTER);
    // No settings at all read as zero, like a short block.
    EXPECT_EQ(RewriteSetupPiece(module, u"Report", SettingsView{nullptr, 0}, kRegion, SectionState::LaterPiece, 1, out),
              S_OK);
    EXPECT_EQ(out, kRegion);
}

TEST_F(FeatureEmit, UserNameFallbacks) {
    const std::string piece = kResolution + Driver("ZTOwnerName", "False") + kRegion;
    const std::string owner = kResolution + Ours("ZTOwnerName", "False", "Off");
    sim::SetUserName(u"abcdefghijklmnopqrstuvwxy");  // 25 characters: the first 20 go on
    EXPECT_EQ(Later(piece), owner + Ours("ZTOwnerNameInfo", "6162636465666768696A6B6C6D6E6F7071727374") + kRegion);
    sim::FailCalls(sim::Api::GetUserNameW, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Later(piece), owner + Ours("ZTOwnerNameInfo", "") + kRegion);
    // An unterminated override is read up to its 20th character.
    U8(7248, 1);
    const std::u16string full(21, u'z');
    ASSERT_TRUE(WriteSettingBytes(Span(), 7250, full.data(), 42));
    EXPECT_EQ(Later(piece), owner + Ours("ZTOwnerNameInfo", "7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A") + kRegion);
}

TEST_F(FeatureEmit, DateThatCannotBeFormattedIsEmpty) {
    sim::FailCalls(sim::Api::GetDateFormatW, ERROR_INVALID_PARAMETER);
    const std::string piece = kResolution + Driver("ZTDateSpecify", "Today") + kRegion;
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTDateSpecify", "Today") + Ours("ZTDateInfo", "") + kRegion);
}

TEST_F(FeatureEmit, UserNameOverrideReachesTheOwnerBlock) {
    // Owner switch on with an empty text: the override the settings name goes on.
    const std::string piece = kResolution + Driver("ZTOwnerName", "True") + kRegion;
    U8(6977, 1);
    Text(6978, u"");
    U8(7248, 1);
    Text(7250, u"carol");
    const std::string out = Later(piece);
    EXPECT_NE(out.find(Ours("ZTOwnerNameInfo", "6361726F6C")), std::string::npos) << out;
}

}  // namespace
