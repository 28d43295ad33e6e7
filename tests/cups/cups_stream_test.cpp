// The filter's PostScript stream: what it rewrites, drops and keeps, byte for
// byte, whatever the sizes the input arrives in.
#include "cups_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A rewriter that shows what it was asked: "<state orientation>" in front of
// the piece it got.
bool Mark(std::string_view piece, int state, int orientation, std::string* out, std::string*) {
    *out = "<" + std::to_string(state) + " " + std::to_string(orientation) + ">\r\n" + std::string(piece);
    return true;
}

struct Streamed {
    std::string out;
    std::vector<std::string> complaints;
    bool ok;
};

Streamed Stream(const std::string& input, size_t writeSize, cups::PieceRewriter rewriter = Mark,
                size_t sinkLimit = ~0u) {
    Streamed run{};
    cups::CupsStream stream(
        rewriter,
        [&](const char* data, size_t size) {
            if (run.out.size() + size > sinkLimit) return false;
            run.out.append(data, size);
            return true;
        },
        [&](const std::string& message) { run.complaints.push_back(message); }, 1);
    run.ok = true;
    for (size_t at = 0; at < input.size() && run.ok; at += writeSize) {
        run.ok = stream.Write(input.data() + at, std::min(writeSize, input.size() - at));
    }
    run.ok = run.ok && stream.Finish();
    return run;
}

const std::string kBlock =
    "[{\n%%BeginFeature: *ZTDuplex OFF\n(OFF) /Custom /ProcSet findresource /ZTDuplex get exec\n"
    "%%EndFeature\n} stopped cleartomark\n";

struct Case {
    const char* name;
    std::string input;
    std::string expected;
};

TEST(CupsStream, RewritesDropsAndKeepsByteForByte) {
    const std::vector<Case> cases = {
        {"document setup, no page yet", "%!PS\n%%BeginSetup\n" + kBlock + "%%EndSetup\n",
         "%!PS\n%%BeginSetup\n<1 -1>\r\n" + kBlock + "%%EndSetup\n"},
        {"page turned by its comments",
         "%%Page: 1 1\n%%ViewingOrientation: 0 1 -1 0\r\n%%BeginPageSetup\r\nx\r\n%%EndPageSetup\r\n",
         "%%Page: 1 1\n%%ViewingOrientation: 0 1 -1 0\r\n%%BeginPageSetup\r\n<1 2>\r\nx\r\n%%EndPageSetup\r\n"},
        {"page without comments takes the settings'", "%%Page: 1 1\n%%BeginPageSetup\nx\n%%EndPageSetup\n",
         "%%Page: 1 1\n%%BeginPageSetup\n<1 1>\r\nx\n%%EndPageSetup\n"},
        {"empty section: nothing to rewrite", "%%BeginSetup\n%%EndSetup\n", "%%BeginSetup\n%%EndSetup\n"},
        {"pstops's copies request goes",
         "%%BeginSetup\na\n%RBIBeginNonPPDFeature: *NumCopies 3\n3 copies\n%RBIEndNonPPDFeature\nb\n%%EndSetup\n",
         "%%BeginSetup\n<1 -1>\r\na\nb\n%%EndSetup\n"},
        {"the end-of-job byte goes", "%%EOF\n\x04", "%%EOF\n"},
        {"a 0x04 inside stays",
         "a\x04"
         "b\n\x04\n",
         "a\x04"
         "b\n\x04\n"},
        {"the document's own blocks come back in CUPS's form",
         "%%BeginSetup\r\nfeaturebegin{\r\n%%BeginFeature: *ZTDuplex OFF\r\n(OFF) "
         "x\r\n%%EndFeature\r\n}featurecleanup\r\n%%EndSetup\r\n",
         "%%BeginSetup\r\n<1 -1>\r\n[{\n%%BeginFeature: *ZTDuplex OFF\n(OFF) x\n%%EndFeature\n} stopped "
         "cleartomark\n%%EndSetup\r\n"},
        {"a feature's second block starts a piece of its own",
         "%%BeginSetup\n" + kBlock + "x\n" + kBlock + "%%EndSetup\n",
         "%%BeginSetup\n<1 -1>\r\n" + kBlock + "x\n<2 -1>\r\n" + kBlock + "%%EndSetup\n"},
        {"an unclosed section still goes out", "%%BeginSetup\nx\n", "%%BeginSetup\n<1 -1>\r\nx\n"},
        {"a last line without end", "a\nb", "a\nb"},
    };
    for (const Case& c : cases) {
        for (size_t size : {size_t{1}, size_t{3}, size_t{4096}}) {
            const Streamed run = Stream(c.input, size);
            EXPECT_TRUE(run.ok) << c.name;
            EXPECT_EQ(run.out, c.expected) << c.name << ", written " << size << " bytes at a time";
        }
    }
}

TEST(CupsStream, RefusedPieceGoesOutAsItCame) {
    const auto refuse = [](std::string_view, int, int, std::string*, std::string* problem) {
        *problem = "no memory";
        return false;
    };
    const std::string input = "%%BeginSetup\n" + kBlock + "%%EndSetup\n";
    const Streamed run = Stream(input, 7, refuse);
    EXPECT_EQ(run.out, input);
    ASSERT_EQ(run.complaints.size(), 1u);
    EXPECT_NE(run.complaints[0].find("no memory"), std::string::npos);
}

TEST(CupsStream, LongSectionIsCutAfterAClosedBlock) {
    std::string section;
    while (section.size() <= cups::kSectionCutBytes) section += kBlock;
    const Streamed run = Stream("%%BeginSetup\n" + section + "tail\n%%EndSetup\n", 65536);
    // The first piece ends with a whole block; the rest is a later piece.
    const size_t second = run.out.find("<2 -1>\r\n");
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(run.out.compare(second - kBlock.size(), kBlock.size(), kBlock), 0);
    EXPECT_EQ(run.out.substr(run.out.size() - 16), "tail\n%%EndSetup\n");
}

TEST(CupsStream, FailingSinkStopsTheStream) {
    const Streamed run = Stream("%%BeginSetup\n" + kBlock + "%%EndSetup\nmore\n", 5, Mark, 20);
    EXPECT_FALSE(run.ok);
}

// Block conversion there and back gives the CUPS form back, for any mix of
// blocks and other lines.
TEST(CupsStream, BlockFormsRoundTrip) {
    const std::vector<std::string> pieces = {kBlock, "%%BeginFeature: *PageSize A4\n", "plain line\n",
                                             "[{\n", "} stopped cleartomark\n",        "crlf\r\n",
                                             "[{x\n"};
    std::mt19937 random(23);
    for (int round = 0; round < 500; ++round) {
        std::string text;
        for (int i = 0; i < 8; ++i) text += pieces[random() % pieces.size()];
        const std::string rewriterForm = cups::ToRewriterForm(text);
        EXPECT_EQ(cups::ToCupsForm(rewriterForm), text);
        EXPECT_EQ(rewriterForm.find(kBlock), std::string::npos) << text;
    }
    EXPECT_EQ(cups::ToRewriterForm(kBlock),
              "featurebegin{\r\n%%BeginFeature: *ZTDuplex OFF\r\n(OFF) /Custom /ProcSet findresource /ZTDuplex get "
              "exec\r\n%%EndFeature\r\n}featurecleanup\r\n");
}

TEST(CupsStream, BlocksGiveWayAsTold) {
    const cups::BlockReplacements blocks = {{"CustomZTGCCyan True", "[{\nG\n} stopped cleartomark\n"},
                                            {"CustomZTJobNameInfo True", ""},
                                            {"ZTJobNameInfo FromSettings", ""}};
    const auto block = [](const std::string& feature, const std::string& code) {
        return "[{\n%%BeginFeature: *" + feature + "\n" + code + "%%EndFeature\n} stopped cleartomark\n";
    };
    const std::vector<Case> cases = {
        {"replaced", "a\n" + block("CustomZTGCCyan True", "5\n") + "b\n", "a\n[{\nG\n} stopped cleartomark\nb\n"},
        {"dropped", block("CustomZTJobNameInfo True", "(x)\n") + block("ZTJobNameInfo FromSettings", ""), ""},
        {"another choice stays", block("ZTJobNameInfo Other", ""), block("ZTJobNameInfo Other", "")},
        {"not ours", block("CustomPageSize True", "1 2 0 0 0\n"), block("CustomPageSize True", "1 2 0 0 0\n")},
        {"unclosed", "[{\n%%BeginFeature: *CustomZTGCCyan True\n5\n", "[{\n%%BeginFeature: *CustomZTGCCyan True\n5\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(cups::ReplaceBlocks(c.input, blocks), c.expected) << c.name;
}

}  // namespace
