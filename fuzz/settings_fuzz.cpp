// Settings on the core: a block from the settings directives (always "raw",
// so the validation under test meets the values as given), and a private part
// around it with the header of the "header=SIZE,SIGNATURE,VERSION" directive.
// No body.
//
// Properties: validation lists exactly the fields it changed, with the values
// they had and have, each now valid, and touches no other byte; a second
// validation changes nothing; a merge of the part over the defaults leaves the
// plug-in's header and a block the validation no longer changes, and a merge
// of that output over itself changes nothing.
#include "fuzz_input.h"

#include "core/private_part.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

int64_t Value(const std::vector<uint8_t>& block, const SettingRow& row) {
    return ReadField(SettingsView{block.data(), block.size()}, row);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input = fuzz::SplitInput(data, size, false);
    input.directives.emplace_back("raw", "");
    const std::vector<uint8_t> given = fuzz::SettingsFrom(input);

    std::vector<uint8_t> block = given;
    SettingCorrections corrections;
    ValidateSettings(SettingsSpan{block.data(), block.size()}, &corrections);
    std::vector<bool> listed(block.size(), false);
    for (size_t i = 0; i < corrections.count; ++i) {
        const SettingCorrection& c = corrections.items[i];
        const std::string name = c.row->name;
        for (size_t b = c.row->offset; b < c.row->offset + c.row->bytes; ++b) listed[b] = true;
        if (c.row->IsText()) {
            FUZZ_CHECK(std::all_of(block.begin() + c.row->offset, block.begin() + c.row->offset + c.row->bytes,
                                   [](uint8_t b) { return b == 0; }),
                       name + ": a corrected text is not cleared");
            continue;
        }
        FUZZ_CHECK(c.before != c.after, name + ": a correction that changed nothing");
        FUZZ_CHECK(Value(block, *c.row) == c.after, name + ": the field does not hold the corrected value");
        FUZZ_CHECK(Value(given, *c.row) == c.before, name + ": the value before is not the one given");
        FUZZ_CHECK(
            SettingValueValid(*c.row, c.after, ReadField(SettingsView{block.data(), block.size()}, kSettingBinding)),
            name + ": corrected to a value that is not valid");
    }
    for (size_t b = 0; b < block.size(); ++b) {
        FUZZ_CHECK(listed[b] || block[b] == given[b], "byte " + std::to_string(b) + " changed without a correction");
    }
    std::vector<uint8_t> again = block;
    SettingCorrections none;
    ValidateSettings(SettingsSpan{again.data(), again.size()}, &none);
    FUZZ_CHECK(none.count == 0 && again == block, "a second validation changed the block");

    // A part around the block, with the header the input asks for.
    std::vector<uint8_t> part(kPrivatePartBytes, 0);
    uint32_t header[3] = {kPrivatePartBytes, kPrivatePartSignature, kPrivatePartVersion};
    const std::vector<int64_t> words = fuzz::Numbers(fuzz::Directive(input, "header"), 3);
    for (size_t i = 0; i < words.size(); ++i) header[i] = static_cast<uint32_t>(words[i]);
    std::memcpy(part.data(), header, sizeof header);
    std::memcpy(part.data() + kPrivatePartHeaderBytes, given.data(), given.size());

    std::vector<uint8_t> out(kPrivatePartBytes, 0);
    FUZZ_CHECK(WriteDefaultPrivatePart(out.data(), out.size()), "no defaults in a part of full size");
    FUZZ_CHECK(MergePrivatePart(part.data(), out.data(), out.size()).Ok(), "a merge into a full part failed");
    const PrivatePartHeader merged = ReadPrivatePartHeader(out.data());
    FUZZ_CHECK(merged.dwSize == kPrivatePartBytes && merged.dwSignature == kPrivatePartSignature &&
                   merged.dwVersion == kPrivatePartVersion,
               "the merge left another header");
    std::vector<uint8_t> settled(out.begin() + kPrivatePartHeaderBytes, out.end());
    SettingCorrections after;
    ValidateSettings(SettingsSpan{settled.data(), settled.size()}, &after);
    FUZZ_CHECK(after.count == 0, "the merge left values the validation corrects");
    std::vector<uint8_t> twice = out;
    SettingCorrections remerged;
    FUZZ_CHECK(
        MergePrivatePart(out.data(), twice.data(), twice.size(), &remerged).Ok() && twice == out && remerged.count == 0,
        "merging a merged part over itself changed it");
    return 0;
}
