// The stream filter's sink on the core alone: offers cut by the sink's takings
// and by a chunk size, a refusal's cause carried to the caller, a sink that
// takes nothing, and the feature rewriter with templates handed in as data.
#include "core/byte_sink.h"
#include "core/private_part.h"
#include "core/stream_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr Status kDiskFull = Status::FromWin32(112);

// Takes at most takes[i] bytes of offer i (the last entry stays; none: all),
// refuses the offers listed in `refuse` with kDiskFull, and records the rest.
struct ScriptedSink final : ByteSink {
    std::vector<size_t> takes;
    std::vector<size_t> refuse;
    std::vector<size_t> offers;
    std::string taken;

    Result<size_t> Offer(ByteRange bytes) noexcept override {
        const size_t index = offers.size();
        offers.push_back(bytes.size);
        for (size_t at : refuse) {
            if (at == index) return kDiskFull;
        }
        size_t count = takes.empty() ? bytes.size : takes[index < takes.size() ? index : takes.size() - 1];
        if (count > bytes.size) count = bytes.size;
        taken.append(reinterpret_cast<const char*>(bytes.data), count);
        return count;
    }
};

TEST(SinkWriteAll, OffersFollowTheTakingsAndTheChunk) {
    struct Case {
        size_t chunk;
        std::vector<size_t> takes;
        std::vector<size_t> refuse;
        std::vector<size_t> offers;
        size_t sent;
        Status status;
    };
    const Case cases[] = {
        {0, {}, {}, {10}, 10, kStatusOk},           {4, {}, {}, {4, 4, 2}, 10, kStatusOk},
        {0, {3}, {}, {10, 7, 4, 1}, 10, kStatusOk}, {4, {3}, {}, {4, 4, 4, 1}, 10, kStatusOk},
        {0, {25}, {}, {10}, 10, kStatusOk},        // never more than was offered
        {0, {3}, {1}, {10, 7}, 3, kDiskFull},      // the refusal's own cause
        {0, {4, 0}, {}, {10, 6}, 4, kStatusFail},  // nothing taken, no failure: no spinning
    };
    const std::string bytes = "0123456789";
    for (const Case& c : cases) {
        ScriptedSink sink;
        sink.takes = c.takes;
        sink.refuse = c.refuse;
        size_t sent = 99;
        const Status status =
            SinkWriteAll(sink, ByteRange(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), c.chunk, &sent);
        EXPECT_EQ(status, c.status) << c.offers.size();
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(sink.offers, c.offers);
        EXPECT_EQ(sink.taken, bytes.substr(0, c.sent));
    }
}

struct Bracketing final : PieceRewriter {
    Status Rewrite(std::string_view piece, SectionState, int, std::string& out) noexcept override {
        out = "<" + std::string(piece) + ">";
        return kStatusOk;
    }
};

// Through a sink that takes five bytes an offer and refuses one: the call
// fails with the sink's cause, keeps what was not taken, and the next calls
// send the same bytes as a sink that takes everything.
TEST(CoreStreamFilter, PartialTakesAndARefusalLoseNothing) {
    const std::string job = "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nA\r\n%%EndSetup\r\nbody\r\n";
    std::vector<uint8_t> settings(kSettingsBlockBytes, 0);
    Bracketing rewriter;
    ScriptedSink sink;
    sink.takes = {5};
    sink.refuse = {2};
    StreamFilterState state;
    const StreamJob streamJob{sink, rewriter, SettingsView{settings.data(), settings.size()}};
    size_t taken = 0;
    EXPECT_EQ(FilterWrite(state, streamJob, job.data(), job.size(), &taken), kDiskFull);
    EXPECT_EQ(taken, job.size());
    EXPECT_EQ(sink.taken, "%!PS-Adobe");
    EXPECT_EQ(FilterWrite(state, streamJob, nullptr, 0, &taken), kStatusOk);
    EXPECT_EQ(FilterFlush(state, sink), kStatusOk);
    EXPECT_EQ(sink.taken, "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n<A\r\n>%%EndSetup\r\nbody\r\n");
    EXPECT_EQ(FilterWrite(state, streamJob, nullptr, 3, &taken), kStatusNullPointer);
    EXPECT_EQ(taken, 0u);
}

// The rewriter with the two templates as plain data, no module behind them.
TEST(CoreStreamFilter, FeatureRewriterTakesItsTemplatesAsData) {
    constexpr std::string_view kText =
        "featurebegin{\r\n%%%%BeginFeature: *%s %s\r\n(%s) /Custom /ProcSet findresource /%s get exec\r\n"
        "%%%%EndFeature\r\n}featurecleanup\r\n";
    std::vector<uint8_t> settings(kSettingsBlockBytes, 0);
    const SettingsView view{settings.data(), settings.size()};
    const FeatureTemplates templates{CheckedTemplate("%d", kNumericTemplate), CheckedTemplate(kText, kTextTemplate)};
    EXPECT_TRUE(templates.numeric.empty());  // a template without its conversions is refused
    FeatureRewriter rewriter(RewriteContext{templates, u"", view, nullptr});
    ScriptedSink sink;
    StreamFilterState state;
    const std::string job = "%!PS-Adobe-3.0\r\n%%BeginSetup\r\nS\r\n%%EndSetup\r\n";
    ASSERT_EQ(FilterWrite(state, StreamJob{sink, rewriter, view}, job.data(), job.size(), nullptr), kStatusOk);
    EXPECT_EQ(sink.taken,
              "%!PS-Adobe-3.0\r\n%%BeginSetup\r\n"
              "featurebegin{\r\n%%BeginFeature: *ZTOrientation Portrait\r\n"
              "(Portrait) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
              "%%EndFeature\r\n}featurecleanup\r\nS\r\n%%EndSetup\r\n");
}

// What hosts without the module's resources get: the module's own files.
TEST(CoreStreamFilter, CompiledTemplatesAreTheModulesFiles) {
    const FeatureTemplates compiled = CompiledFeatureTemplates();
    EXPECT_EQ(compiled.numeric,
              "featurebegin{\r\n%%%%BeginFeature: *%s %d\r\n(%d) /Custom /ProcSet findresource /%s get exec\r\n"
              "%%%%EndFeature\r\n}featurecleanup\r\n");
    EXPECT_EQ(compiled.text,
              "featurebegin{\r\n%%%%BeginFeature: *%s %s\r\n(%s) /Custom /ProcSet findresource /%s get exec\r\n"
              "%%%%EndFeature\r\n}featurecleanup\r\n");
}

}  // namespace
