// PJL job header: settings blocks, user and computer names, form lists.
//
// Directives (fuzz_input.h) besides the settings (use "raw" for a block that
// did not pass validation):
//   document=TEXT     the document name buffer (520 units, terminated)
//   user=TEXT         the user name buffer (21 units; "usernull" for none)
//   login=TEXT        the name the simulated Windows reports for the user
//   computer=TEXT     the computer name
//   form=NAME, list=LINE   the printer's forms, the paper-list file's lines
//                     (fuzz_machine.h)
//   take=N            the spooler takes at most N bytes per call
// No body.
//
// Properties: every write offers at most 4095 bytes; with a spooler that takes
// everything each write is whole CR LF lines; the header opens with the
// universal exit line and closes with the switch to PostScript; behind the
// first line no byte below 0x20 or DEL stands inside a line; every
// "@PJL SET" name is one the settings table can produce; a spooler that takes
// less per call still gets the same header.
#include "fuzz_input.h"
#include "fuzz_machine.h"

#include "common/module_context.h"
#include "pjl/pjl_header.h"
#include "core/pjl_settings.h"
#include "platform/host/sim_control.h"

#include <cstring>
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

std::vector<WCHAR> NameBuffer(const std::string& value, size_t units) {
    std::vector<WCHAR> buffer(units, 0);
    const std::u16string text = fuzz::Units(value);
    for (size_t i = 0; i < text.size() && i < units; ++i) buffer[i] = static_cast<WCHAR>(text[i]);
    buffer[units - 1] = 0;
    return buffer;
}

std::vector<sim::WriteCall> BuildHeader(const fuzz::Input& input, const std::vector<BYTE>& settings, DWORD take) {
    fuzz::FreshMachine();
    ModuleContext modules;
    modules.module = sim::RegisterModule(sim::ToUtf16(fuzz::ProcessFolder() + "/QM22TRD.dll"));
    const HANDLE printer = sim::AddPrinter(u"Fuzz Printer");
    if (fuzz::HasDirective(input, "login")) sim::SetUserName(fuzz::Units(fuzz::Directive(input, "login")));
    if (fuzz::HasDirective(input, "computer")) sim::SetComputerName(fuzz::Units(fuzz::Directive(input, "computer")));
    fuzz::SetForms(input, printer);
    sim::SetWriteLimit(take);

    const std::vector<WCHAR> document = NameBuffer(fuzz::Directive(input, "document"), 520);
    const std::vector<WCHAR> user = NameBuffer(fuzz::Directive(input, "user", "fuzz"), 21);
    const bool noUser = fuzz::HasDirective(input, "usernull");
    BuildPjlHeader(modules, printer, settings.data(), document.data(), noUser ? nullptr : user.data());
    std::vector<sim::WriteCall> calls = sim::WriteCalls(printer);
    return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::Input input = fuzz::SplitInput(data, size, false);
    const std::vector<BYTE> block = fuzz::SettingsFrom(input);
    const std::vector<BYTE> settings(block.begin(), block.begin() + kPjlHeaderSettingsBytes);

    fuzz::WritePaperList(input);

    const std::vector<sim::WriteCall> calls = BuildHeader(input, settings, sim::kNoLimit);
    std::string header;
    for (const sim::WriteCall& call : calls) {
        FUZZ_CHECK(call.offered <= 4095, "a write of " + std::to_string(call.offered) + " bytes");
        FUZZ_CHECK(call.result && call.accepted.size() == call.offered, "the spooler refused a write");
        FUZZ_CHECK(call.accepted.size() >= 2 && call.accepted.compare(call.accepted.size() - 2, 2, "\r\n") == 0,
                   "a write that does not end with a line end:\n" + fuzz::Escaped(call.accepted));
        header += call.accepted;
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

    // A spooler that takes less per call gets the same bytes.
    const int64_t take = fuzz::Number(fuzz::Directive(input, "take"));
    if (take >= 1) {
        std::string taken;
        for (const sim::WriteCall& call : BuildHeader(input, settings, static_cast<DWORD>(take % 5000))) {
            FUZZ_CHECK(call.offered <= 4095, "a write of " + std::to_string(call.offered) + " bytes");
            taken += call.accepted;
        }
        FUZZ_CHECK(take % 5000 == 0 || taken == header, "with a spooler that takes " + std::to_string(take % 5000) +
                                                            " bytes per call the printer gets:\n" +
                                                            fuzz::Escaped(taken, 3000) + context);
    }
    sim::Reset();
    return 0;
}
