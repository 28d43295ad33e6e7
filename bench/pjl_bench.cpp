// Cost of building the PJL job header against the simulated spooler.
#include "common/module_context.h"
#include "common/wtext.h"
#include "pjl/pjl_header.h"
#include "platform/host/sim_control.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::vector<BYTE> DefaultSettings() {
    std::vector<BYTE> block(kSettingsBlockBytes, 0);
    const SettingsSpan span{block.data(), block.size()};
    SetDefaultSettings(span);
    WriteSettingText(span, 0, 7, WIDE("VTA/NP"));
    WriteSettingText(span, 960, 24, WIDE("12/7/2026"));
    return block;
}

// Every text field full, with two-byte UTF-8 characters: the longest header the
// settings can produce.
std::vector<BYTE> FullSettings() {
    std::vector<BYTE> block = DefaultSettings();
    const SettingsSpan span{block.data(), block.size()};
    struct Field {
        size_t offset;
        size_t units;
    };
    const Field fields[] = {{824, 64},   {960, 24},   {1010, 64},  {3860, 256}, {4380, 256}, {4904, 9},
                            {5174, 129}, {5434, 256}, {5952, 256}, {6464, 256}, {6978, 21}};
    for (const Field& field : fields) {
        const std::u16string text(field.units - 1, field.offset == 4904 ? u'7' : u'\u00E9');
        WriteSettingText(span, field.offset, field.units, text.c_str());
    }
    WriteSettingNumber(span, 5432, 1, 1);
    WriteSettingNumber(span, 6977, 1, 1);
    WriteSettingNumber(span, 4903, 1, 1);
    return block;
}

void RunHeader(benchmark::State& state, const std::vector<BYTE>& block) {
    sim::Reset();
    const ModuleContext modules;  // no paper-list file
    HANDLE printer = sim::AddPrinter(u"Bench");
    const std::u16string document(519, u'd');
    unsigned sinceReset = 0;
    for (auto _ : state) {
        if (FAILED(BuildPjlHeader(modules, printer, block.data(), document.c_str(), u"benchuser"))) {
            state.SkipWithError("the header failed");
            break;
        }
        // The simulated spooler keeps every byte written; start it afresh now
        // and then so the record does not grow without bound.
        if (++sinceReset == 1000) {
            state.PauseTiming();
            sim::Reset();
            printer = sim::AddPrinter(u"Bench");
            sinceReset = 0;
            state.ResumeTiming();
        }
    }
    sim::Reset();
    printer = sim::AddPrinter(u"Bench");
    if (FAILED(BuildPjlHeader(modules, printer, block.data(), document.c_str(), u"benchuser"))) {
        state.SkipWithError("the header failed");
    }
    state.counters["bytes"] = static_cast<double>(sim::WrittenBytes(printer).size());
    state.counters["writes"] = static_cast<double>(sim::WrittenChunks(printer).size());
}

void BM_PjlHeaderDefaultSettings(benchmark::State& state) { RunHeader(state, DefaultSettings()); }
BENCHMARK(BM_PjlHeaderDefaultSettings)->Unit(benchmark::kMicrosecond);

void BM_PjlHeaderAllTextFieldsFull(benchmark::State& state) { RunHeader(state, FullSettings()); }
BENCHMARK(BM_PjlHeaderAllTextFieldsFull)->Unit(benchmark::kMicrosecond);

}  // namespace
