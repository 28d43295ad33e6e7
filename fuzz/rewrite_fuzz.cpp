// Setup-piece rewriter: settings texts and a piece of a setup section.
//
// Directives (fuzz_input.h) besides the settings:
//   state=1|2          document setup (1) or a later piece / page setup (2)
//   orientation=N      the page's orientation (1, 2, or -1 for the settings')
//   document=NAME      the job's document name
// Body: the piece.
//
// Properties of every successful rewrite, checked on the lines the rewriter
// wrote (a line that occurs in the piece is the driver's and is not judged):
//   - the "( )" value in front of "/Custom /ProcSet findresource" is one
//     balanced PostScript string: nothing of the value runs into the code
//     behind it, and no byte below 0x20 stands in it unescaped;
//   - no "%%BeginFeature:" line holds a byte below 0x20;
//   - the driver's text outside its replaced blocks survives, in order;
//   - the text is terminated and the rewriter gives the same answer twice.
#include "fuzz_input.h"

#include "feature_templates.h"
#include "platform/host/sim_control.h"
#include "psfilter/feature_rewrite.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kBlockOpener[] = "featurebegin{\r\n%%BeginFeature: *";
const char kBlockCleanup[] = "}featurecleanup\r\n";
const char kInvocation[] = " /Custom /ProcSet findresource /";

// The driver's text outside its well-formed feature blocks (an opener, then a
// cleanup line before any further "featurebegin"), cut after each line end:
// the runs that must reach the output unchanged and in order.
std::vector<std::string> DriverRuns(const std::string& piece) {
    std::vector<std::string> runs;
    const auto add = [&runs](const std::string& text) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end + 1;
            runs.push_back(text.substr(start, end - start));
            start = end;
        }
    };
    size_t at = 0;
    while (at < piece.size()) {
        const size_t open = piece.find(kBlockOpener, at);
        if (open == std::string::npos) break;
        const size_t cleanup = piece.find(kBlockCleanup, open);
        if (cleanup == std::string::npos) break;
        const size_t next = piece.find("featurebegin", open + 1);
        if (next != std::string::npos && next < cleanup) {
            // Malformed: the driver's own text, kept as it is.
            add(piece.substr(at, next - at));
            at = next;
            continue;
        }
        add(piece.substr(at, open - at));
        at = cleanup + sizeof kBlockCleanup - 1;
    }
    add(piece.substr(at));
    return runs;
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

void CheckWrittenLine(const std::string& line, const std::string& context) {
    if (line.compare(0, 15, "%%BeginFeature:") == 0) {
        for (unsigned char c : line) {
            FUZZ_CHECK(c >= 0x20, "a %%BeginFeature: line holds byte " + std::to_string(c) + ":\n" +
                                      fuzz::Escaped(line) + context);
        }
    }
    const size_t invocation = line.find(kInvocation);
    if (line.empty() || line[0] != '(' || invocation == std::string::npos) return;
    const size_t length = StringLength(line);
    FUZZ_CHECK(length == invocation, "the value is not one balanced PostScript string:\n" + fuzz::Escaped(line) +
                                         context);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        FUZZ_CHECK(c >= 0x20, "a feature value holds byte " + std::to_string(c) + ":\n" + fuzz::Escaped(line) +
                                  context);
    }
    const std::string tail = line.substr(invocation + sizeof kInvocation - 1);
    const size_t blank = tail.find(' ');
    FUZZ_CHECK(blank != std::string::npos && tail.compare(blank, std::string::npos, " get exec") == 0 &&
                   tail.find_first_of("()/\\ ") == blank,
               "the invocation behind a value is damaged:\n" + fuzz::Escaped(line) + context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input = fuzz::SplitInput(data, size, true);
    const std::vector<BYTE> settings = fuzz::SettingsFrom(input);
    const std::string& piece = input.body;
    if (piece.empty()) return 0;
    const int state = fuzz::Number(fuzz::Directive(input, "state", "1")) == 2 ? 2 : 1;
    int orientation = static_cast<int>(fuzz::Number(fuzz::Directive(input, "orientation", "-1")));
    if (orientation != 1 && orientation != 2) orientation = -1;
    std::u16string document = fuzz::Units(fuzz::Directive(input, "document", "Fuzz job"));
    if (document.size() > 600) document.resize(600);

    sim::Reset();
    SYSTEMTIME now{};
    now.wYear = 2024;
    now.wMonth = 3;
    now.wDay = 14;
    sim::SetLocalTime(now);
    sim::SetUserName(fuzz::Units(fuzz::Directive(input, "user", "fuzz")));
    const HMODULE module = sim::RegisterModule(u"/opt/fuzz/QM22TRD.dll", kFeatureTemplates, 2);

    // The piece in an allocation of exactly its size.
    std::vector<char> text(piece.begin(), piece.end());
    const WCHAR* name = reinterpret_cast<const WCHAR*>(document.c_str());
    char* rewritten = nullptr;
    size_t length = 0;
    const DWORD rc = RewriteSetupPiece(module, name, settings.data(), settings.size(), text.data(), text.size(),
                                       state, orientation, &rewritten, &length);
    if (rc != 0) {
        FUZZ_CHECK(rewritten == nullptr && length == 0, "a failed rewrite handed out a text");
        sim::Reset();
        return 0;
    }
    FUZZ_CHECK(rewritten != nullptr && rewritten[length] == 0, "the rewritten text is not terminated");
    const std::string out(rewritten, length);
    FreeRewrittenText(rewritten);

    char* again = nullptr;
    size_t againLength = 0;
    FUZZ_CHECK(RewriteSetupPiece(module, name, settings.data(), settings.size(), text.data(), text.size(), state,
                                 orientation, &again, &againLength) == 0 &&
                   std::string(again, againLength) == out,
               "the same piece rewritten twice gives different texts");
    FreeRewrittenText(again);
    sim::Reset();

    const std::string context = "\n--- piece:\n" + fuzz::Escaped(piece, 2000) + "\n--- rewritten:\n" +
                                fuzz::Escaped(out, 4000);
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find("\r\n", start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        if (piece.find(line + "\r\n") == std::string::npos &&
            !(end == out.size() && piece.size() >= line.size() &&
              piece.compare(piece.size() - line.size(), line.size(), line) == 0)) {
            CheckWrittenLine(line, context);
        }
        start = end + 2;
    }

    size_t at = 0;
    for (const std::string& run : DriverRuns(piece)) {
        const size_t found = out.find(run, at);
        FUZZ_CHECK(found != std::string::npos,
                   "the driver's text is lost or out of order:\n" + fuzz::Escaped(run) + context);
        at = found + run.size();
    }
    return 0;
}
