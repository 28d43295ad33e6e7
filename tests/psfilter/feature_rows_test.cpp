// The plug-in's rewriter: its templates looked up from the module per piece,
// and the system's user name and date asked for only when a block needs them.
#include "psfilter/feature_blocks.h"
#include "psfilter/feature_rewrite.h"

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
