// PJL job header, built by the core from settings blocks, names, a date and
// paper codes, with the core's own conversions.
//
// Directives (fuzz_input.h) besides the settings (use "raw" for a block that
// did not pass validation):
//   document=TEXT     the document name (cut at 519 units)
//   user=TEXT         the user name (cut at 20 units)
//   computer=TEXT     the computer name
//   date=TEXT         today's date, for a block that asks for it
//   page=N, output=N  the printer's paper codes
//   refuse=N          the sink refuses the Nth piece (from 1)
// No body.
//
// Properties: every piece is at most 4095 bytes of whole CR LF lines; the
// header opens with the universal exit line and closes with the switch to
// PostScript; behind the first line no byte below 0x20 or DEL stands inside a
// line; every "@PJL SET" name is one the settings table can produce; one
// string gets the pieces' bytes; a sink that refuses a piece gets the
// header's beginning and its own refusal back.
#include "fuzz_input.h"

#include "core/pjl_header.h"
#include "core/pjl_settings.h"

#include <set>
#include <string>
#include <vector>

namespace {

const char kExitLine[] = "\x1B%-12345X@PJL";
const char kCommentLine[] = "@PJL COMMENT KELV Printer Driver";
const char kEnterLine[] = "@PJL ENTER LANGUAGE=POSTSCRIPT";
const char kSetPrefix[] = "@PJL SET ";

// Every name a row of the table can give: the text in front of "=" of each
// "|"-separated assignment.
const std::set<std::string>& TableNames() {
    static const std::set<std::string> names = [] {
        std::set<std::string> all;
        for (const PjlSettingRow& row : kPjlSettingTable) {
            const std::string assignment = row.assignment;
            size_t start = 0;
            while (start <= assignment.size()) {
                size_t end = assignment.find('|', start);
                if (end == std::string::npos) end = assignment.size();
                const std::string part = assignment.substr(start, end - start);
                all.insert(part.substr(0, part.find('=')));
                start = end + 1;
            }
        }
        return all;
    }();
    return names;
}

const PjlConverters kConverters{Utf8Converter(), Windows1252Converter()};
const Status kRefusal = Status::FromWin32(28);

class Pieces final : public HeaderPieceSink {
public:
    std::vector<std::string> taken;
    size_t refuseAt = 0;  // 0: never
    size_t offered = 0;

    Status TakePiece(ByteRange piece) noexcept override {
        ++offered;
        if (offered == refuseAt) return kRefusal;
        taken.emplace_back(reinterpret_cast<const char*>(piece.data), piece.size);
        return kStatusOk;
    }
};

Text16 Cut(const std::string& value, size_t units) {
    const std::u16string text = fuzz::Units(value);
    return Text16(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(units, text.size())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input = fuzz::SplitInput(data, size, false);
    const std::vector<uint8_t> block = fuzz::SettingsFrom(input);
    const Text16 document = Cut(fuzz::Directive(input, "document"), 519);
    const Text16 user = Cut(fuzz::Directive(input, "user", "fuzz"), 20);
    const Text16 host = Cut(fuzz::Directive(input, "computer", "PC1"), 600);
    const Text16 date = Cut(fuzz::Directive(input, "date"), 100);
    const PjlHeaderInputs inputs{block.data(),
                                 document,
                                 user,
                                 host,
                                 fuzz::HasDirective(input, "date") ? Text16View(date) : Text16View(),
                                 {static_cast<int32_t>(fuzz::Number(fuzz::Directive(input, "page", "2"))),
                                  static_cast<int32_t>(fuzz::Number(fuzz::Directive(input, "output", "0")))},
                                 kConverters};

    Pieces pieces;
    FUZZ_CHECK(BuildPjlHeaderPieces(inputs, pieces).Ok(), "a sink that takes everything saw a failure");
    std::string header;
    for (const std::string& piece : pieces.taken) {
        FUZZ_CHECK(piece.size() <= kHeaderChunkBytes, "a piece of " + std::to_string(piece.size()) + " bytes");
        FUZZ_CHECK(piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0,
                   "a piece that does not end with a line end:\n" + fuzz::Escaped(piece));
        header += piece;
    }

    const std::string context = "\n--- header:\n" + fuzz::Escaped(header, 6000);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < header.size()) {
        const size_t end = header.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos, "the header does not end with a line end" + context);
        lines.push_back(header.substr(start, end - start));
        start = end + 2;
    }
    FUZZ_CHECK(
        lines.size() >= 3 && lines.front() == kExitLine && lines[1] == kCommentLine && lines.back() == kEnterLine,
        "the header's frame is damaged" + context);
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        for (unsigned char c : line) {
            FUZZ_CHECK(c >= 0x20 && c != 0x7F, "byte " + std::to_string(c) + " inside line " + std::to_string(i) +
                                                   ": " + fuzz::Escaped(line) + context);
        }
        if (i == 1 || i + 1 == lines.size()) continue;
        FUZZ_CHECK(line.compare(0, sizeof kSetPrefix - 1, kSetPrefix) == 0,
                   "a line that is no @PJL SET line: " + fuzz::Escaped(line) + context);
        const size_t equals = line.find('=');
        FUZZ_CHECK(equals != std::string::npos, "a @PJL SET line without =: " + fuzz::Escaped(line) + context);
        const std::string name = line.substr(sizeof kSetPrefix - 1, equals - (sizeof kSetPrefix - 1));
        FUZZ_CHECK(TableNames().count(name) == 1,
                   "@PJL SET name the table does not have: " + fuzz::Escaped(name) + context);
    }

    std::string whole;
    FUZZ_CHECK(BuildPjlHeaderBytes(inputs, whole).Ok() && whole == header, "one string got other bytes" + context);

    const int64_t refuse = fuzz::Number(fuzz::Directive(input, "refuse"));
    if (refuse >= 1) {
        Pieces refusing;
        refusing.refuseAt = static_cast<size_t>(refuse % 8) + 1;
        const Status built = BuildPjlHeaderPieces(inputs, refusing);
        const bool reached = refusing.refuseAt <= pieces.taken.size();
        FUZZ_CHECK(built == (reached ? kRefusal : kStatusOk), "a refused piece did not end the header" + context);
        FUZZ_CHECK(refusing.offered == (reached ? refusing.refuseAt : pieces.taken.size()),
                   "pieces were offered after the refusal" + context);
        for (size_t i = 0; i < refusing.taken.size(); ++i) {
            FUZZ_CHECK(refusing.taken[i] == pieces.taken[i], "the beginning differs from the whole header" + context);
        }
    }
    return 0;
}
