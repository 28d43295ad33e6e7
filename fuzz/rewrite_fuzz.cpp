// Setup-piece rewriter, on the core alone: settings texts and a piece of a
// setup section.
//
// Directives (fuzz_input.h) besides the settings:
//   state=1|2          document setup (1) or a later piece / page setup (2)
//   orientation=N      the page's orientation (1, 2, or -1 for the settings')
//   document=NAME      the job's document name
// Body: the piece.
//
// Properties of every successful rewrite:
//   - every block the rewriter wrote (one that is not the piece's own) is the
//     five lines of its template; its "( )" value in front of "/Custom
//     /ProcSet findresource" is one balanced PostScript string (nothing of the
//     value runs into the code behind it) without an unescaped byte below
//     0x20, and its "%%BeginFeature:" line holds no byte below 0x20 and no DEL;
//   - the driver's text outside its replaced blocks survives, in order;
//   - the rewriter gives the same answer twice.
#include "fuzz_input.h"

#include "core/feature_rewrite.h"
#include "feature_template_texts.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

namespace {

const char kBlockOpener[] = "featurebegin{\r\n%%BeginFeature: *";
const char kBlockCleanup[] = "}featurecleanup\r\n";
const char kInvocation[] = " /Custom /ProcSet findresource /";

// The end of a feature block that opens at `open`, or npos. The driver's
// blocks are read as the rewriter reads them: the opener, then a cleanup line
// before any further "featurebegin". A block of the five template lines
// (opener, comment, invocation, "%%EndFeature", cleanup) that is not the
// piece's own counts as well, whatever its value holds: it was written.
size_t BlockEnd(const std::string& text, size_t open, const std::string* piece) {
    const size_t cleanup = text.find(kBlockCleanup, open);
    if (cleanup == std::string::npos) return std::string::npos;
    const size_t end = cleanup + sizeof kBlockCleanup - 1;
    if (piece != nullptr) {
        size_t at = open + sizeof kBlockOpener - 1;
        for (int line = 0; line < 2 && at != std::string::npos; ++line) {
            at = text.find("\r\n", at);
            if (at != std::string::npos) at += 2;
        }
        if (at != std::string::npos && at + 14 == cleanup && text.compare(at, 14, "%%EndFeature\r\n") == 0 &&
            piece->find(text.substr(open, end - open)) == std::string::npos) {
            return end;
        }
    }
    const size_t next = text.find("featurebegin", open + 1);
    if (next != std::string::npos && next < cleanup) return std::string::npos;
    return end;
}

// The text with every feature block taken out: what the rewriter must leave
// exactly as the driver wrote it, whatever it replaces or inserts. `piece` is
// null for the piece itself, the piece for a rewritten text.
std::string OutsideBlocks(const std::string& text, const std::string* piece) {
    std::string outside;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find(kBlockOpener, at);
        size_t end = std::string::npos;
        while (open != std::string::npos && (end = BlockEnd(text, open, piece)) == std::string::npos) {
            open = text.find(kBlockOpener, open + 1);
        }
        if (open == std::string::npos) break;
        outside += text.substr(at, open - at);
        at = end;
    }
    if (at < text.size()) outside += text.substr(at);
    return outside;
}

// Length of the PostScript string that opens `line`, or npos when it does not
// close: nesting of unescaped parentheses, "\" escaping the next byte.
size_t StringLength(const std::string& line) {
    int depth = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            ++i;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return i + 1;
        }
    }
    return std::string::npos;
}

// A block the rewriter wrote: the five lines of its templates, a comment line
// without control bytes, and a value that is one balanced PostScript string
// right up to the invocation.
void CheckWrittenBlock(const std::string& block, const std::string& context) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find("\r\n", start);
        if (end == std::string::npos) end = block.size();
        lines.push_back(block.substr(start, end - start));
        start = end + 2;
    }
    FUZZ_CHECK(
        lines.size() == 5 && lines[0] == "featurebegin{" && lines[3] == "%%EndFeature" && lines[4] == "}featurecleanup",
        "a written block is not five template lines:\n" + fuzz::Escaped(block) + context);
    for (unsigned char c : lines[1]) {
        FUZZ_CHECK(c >= 0x20 && c != 0x7F, "a %%BeginFeature: line holds byte " + std::to_string(c) + ":\n" +
                                               fuzz::Escaped(lines[1]) + context);
    }
    const std::string& line = lines[2];
    const size_t invocation = line.find(kInvocation);
    FUZZ_CHECK(!line.empty() && line[0] == '(' && invocation != std::string::npos,
               "a written block without its value and invocation:\n" + fuzz::Escaped(line) + context);
    FUZZ_CHECK(StringLength(line) == invocation,
               "the value is not one balanced PostScript string:\n" + fuzz::Escaped(line) + context);
    for (size_t i = 0; i < invocation; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        FUZZ_CHECK(c >= 0x20,
                   "a feature value holds byte " + std::to_string(c) + ":\n" + fuzz::Escaped(line) + context);
    }
    const std::string tail = line.substr(invocation + sizeof kInvocation - 1);
    const size_t blank = tail.find(' ');
    FUZZ_CHECK(blank != std::string::npos && tail.compare(blank, std::string::npos, " get exec") == 0 &&
                   tail.find_first_of("()/\\ ") == blank,
               "the invocation behind a value is damaged:\n" + fuzz::Escaped(line) + context);
}

// Every block of the rewritten text (an opener up to the first cleanup line,
// no other "featurebegin" inside) that is not the piece's own was written by
// the rewriter.
void CheckWrittenBlocks(const std::string& piece, const std::string& out, const std::string& context) {
    size_t open = out.find(kBlockOpener);
    while (open != std::string::npos) {
        const size_t cleanup = out.find(kBlockCleanup, open);
        if (cleanup == std::string::npos) break;
        const size_t next = out.find("featurebegin", open + 1);
        if (next == std::string::npos || next > cleanup) {
            const std::string block = out.substr(open, cleanup + sizeof kBlockCleanup - 1 - open);
            if (piece.find(block) == std::string::npos) CheckWrittenBlock(block, context);
        }
        open = out.find(kBlockOpener, open + 1);
    }
}

// The user name the system would give (the "user" directive) and a fixed date.
struct FuzzIdentity final : JobIdentity {
    Text16 user;
    Text16 UserName(SettingsView) const override { return user; }
    Text16 TodaysDate() const override { return u"2026/12/08"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input = fuzz::SplitInput(data, size, true);
    const std::vector<uint8_t> settings = fuzz::SettingsFrom(input);
    const std::string& piece = input.body;
    if (piece.empty()) return 0;
    const int state = fuzz::Number(fuzz::Directive(input, "state", "1")) == 2 ? 2 : 1;
    int orientation = static_cast<int>(fuzz::Number(fuzz::Directive(input, "orientation", "-1")));
    if (orientation != 1 && orientation != 2) orientation = -1;
    std::u16string document = fuzz::Units(fuzz::Directive(input, "document", "Fuzz job"));
    if (document.size() > 600) document.resize(600);

    FuzzIdentity identity;
    identity.user = fuzz::Units(fuzz::Directive(input, "user", "fuzz"));
    const FeatureTemplates templates{CheckedTemplate(kFeatureNumericText, kNumericTemplate),
                                     CheckedTemplate(kFeatureTextText, kTextTemplate)};

    // The piece in an allocation of exactly its size.
    std::unique_ptr<char[]> text(new char[piece.size()]);
    std::memcpy(text.get(), piece.data(), piece.size());
    const std::string_view view(text.get(), piece.size());
    const RewriteContext rewrite{templates, document.c_str(), SettingsView{settings.data(), settings.size()},
                                 &identity};
    const SectionState section = state == 2 ? SectionState::LaterPiece : SectionState::FirstPiece;
    std::string out;
    const Status status = RewriteSetupPieceWith(rewrite, view, section, orientation, out);
    if (!status.Ok()) {
        FUZZ_CHECK(status == kStatusOutOfMemory, "the rewrite failed with " + std::to_string(status.Code()));
        return 0;
    }
    std::string again;
    FUZZ_CHECK(RewriteSetupPieceWith(rewrite, view, section, orientation, again).Ok() && again == out,
               "the same piece rewritten twice gives different texts");

    const std::string context =
        "\n--- piece:\n" + fuzz::Escaped(piece, 2000) + "\n--- rewritten:\n" + fuzz::Escaped(out, 4000);
    CheckWrittenBlocks(piece, out, context);

    const std::string before = OutsideBlocks(piece, nullptr);
    const std::string after = OutsideBlocks(out, &piece);
    FUZZ_CHECK(before == after, "the driver's text outside the feature blocks changed:\n--- outside, piece:\n" +
                                    fuzz::Escaped(before, 2000) + "\n--- outside, rewritten:\n" +
                                    fuzz::Escaped(after, 2000) + context);
    return 0;
}
