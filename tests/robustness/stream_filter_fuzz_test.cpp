// Random driver streams, cut into random WritePrinter calls, through the
// stream filter. Besides staying inside its buffers, the filter must account
// for every byte: what reaches the spooler is the input with each rewritten
// setup piece replaced by its rewrite, and what has not reached it yet is still
// held. Nothing is lost, duplicated or reordered.
#include "fuzz_support.h"

#include "platform/host/sim_control.h"
#include "psfilter/feature_rewrite.h"
#include "psfilter/stream_filter.h"
#include "feature_templates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kPartBytes = 12016;
constexpr size_t kSettingsStart = 12;
constexpr size_t kOrientationField = 378;
const char kJobStart[] = "%!PS-Adobe-3.0\r\n";

const std::vector<std::string> kTokens = {
    "%%BeginSetup\r\n",
    "%%EndSetup\r\n",
    "%%BeginPageSetup\r\n",
    "%%EndPageSetup\r\n",
    "%%Page: 1 1\r\n",
    "%%Page:",
    "%%EndPageComments\r\n",
    "%%ViewingOrientation: 1 0 0 1\r\n",
    "%%ViewingOrientation: 0 1 -1 0\r\n",
    "featurebegin{\r\n",
    "}featurecleanup\r\n",
    "%%BeginFeature: *ZTDuplex ",
    "%%BeginFeature: *ZTDuplex DuplexNoTumble\r\n",
    "%%BeginFeature: *PageSize A4\r\n",
    "%%EndFeature\r\n",
    "featurebegin{\r\n%%BeginFeature: *ZTDuplex DuplexTumble\r\n<</Duplex true>> setpagedevice\r\n"
    "%%EndFeature\r\n}featurecleanup\r\n",
    "%!PS-",
    "%%EOF\r\n",
    "%%EOF",
    "\r\n",
    "\r",
    "\n",
    std::string(1, '\0'),
    "showpage\r\n",
};

std::string RandomStream(FuzzRng& rng, size_t tokens) {
    std::string stream;
    for (size_t i = 0; i < tokens; ++i) {
        switch (rng.Below(6)) {
            case 0:
            case 1:
            case 2:
                stream += rng.Pick(kTokens);
                break;
            case 3: {
                for (uint32_t n = rng.Below(12); n > 0; --n) stream.push_back(static_cast<char>(rng.Byte()));
                break;
            }
            case 4:
                stream += std::string(rng.Below(120), static_cast<char>('a' + rng.Below(26))) + "\r\n";
                break;
            default: {
                // A whole setup section, now and then without its end.
                const bool page = rng.OneIn(2);
                stream += page ? "%%BeginPageSetup\r\n" : "%%BeginSetup\r\n";
                for (uint32_t n = rng.Below(5); n > 0; --n) stream += rng.Pick(kTokens);
                if (!rng.OneIn(5)) stream += page ? "%%EndPageSetup\r\n" : "%%EndSetup\r\n";
                break;
            }
        }
    }
    return stream;
}

// Cuts the stream into calls of random size (0 included). With keepJob, no
// call after the first begins with "%!PS-", which would start a new job and
// drop what the previous one left (tested on its own).
std::vector<std::string> RandomCalls(FuzzRng& rng, const std::string& stream, bool keepJob) {
    std::vector<std::string> calls;
    size_t at = 0;
    while (at < stream.size()) {
        const uint32_t kind = rng.Below(10);
        size_t size = kind < 4 ? rng.Below(8) : kind < 8 ? rng.Below(300) : rng.Below(5000);
        if (at == 0 && keepJob) size = std::max<size_t>(size, sizeof kJobStart - 1);
        size = std::min(size, stream.size() - at);
        while (keepJob && at + size < stream.size() && stream.compare(at + size, 5, "%!PS-") == 0) ++size;
        calls.push_back(stream.substr(at, size));
        at += size;
    }
    return calls;
}

// The rewriter under test, wrapped: every piece it is given must be the input
// bytes that follow what already reached the spooler.
struct Accounting {
    const std::string* input = nullptr;
    HANDLE printer = nullptr;
    SetupRewriteFunction inner = nullptr;
    struct Piece {
        size_t offset;
        size_t length;
        std::string replacement;
    };
    std::vector<Piece> pieces;
    size_t replacedBytes = 0;   // input bytes of the rewritten pieces
    size_t replacingBytes = 0;  // bytes of their rewrites
};
Accounting accounting;

// The input bytes that have gone out so far, rewritten or not.
size_t ConsumedInput(size_t sent) { return sent - accounting.replacingBytes + accounting.replacedBytes; }

HRESULT AccountingRewrite(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                          SectionState section, int orientation, std::string& out) {
    size_t offset = 0;
    if (accounting.input != nullptr) {
        offset = ConsumedInput(sim::WrittenBytes(accounting.printer).size());
        const std::string& input = *accounting.input;
        EXPECT_TRUE(offset + piece.size() <= input.size() &&
                    input.compare(offset, piece.size(), piece.data(), piece.size()) == 0)
            << "piece at input offset " << offset << " is not the input there: " << Escaped(std::string(piece));
    }
    EXPECT_GT(piece.size(), 0u);
    EXPECT_TRUE(section == SectionState::FirstPiece || section == SectionState::LaterPiece);
    const HRESULT hr = accounting.inner(module, documentName, settings, piece, section, orientation, out);
    if (SUCCEEDED(hr)) {
        accounting.pieces.push_back({offset, piece.size(), out});
        accounting.replacedBytes += piece.size();
        accounting.replacingBytes += out.size();
    }
    return hr;
}

// Hands every piece back unchanged.
HRESULT IdentityRewrite(HMODULE, const WCHAR*, SettingsView, std::string_view piece, SectionState, int,
                        std::string& out) {
    out.assign(piece.data(), piece.size());
    return S_OK;
}

class StreamFilterFuzz : public ::testing::Test {
protected:
    std::vector<BYTE> privatePart = std::vector<BYTE>(kPartBytes, 0);
    HANDLE printer = nullptr;
    HMODULE module = nullptr;
    std::unique_ptr<StreamFilterState> filter;
    FilterJob job{};

    void NewJob(FuzzRng& rng) {
        sim::Reset();
        sim::SetUserName(u"alice");
        printer = sim::AddPrinter(u"Filter Printer");
        module = sim::RegisterModule(u"/opt/robust/QM22TRD.dll", kFeatureTemplates, 2);
        std::fill(privatePart.begin(), privatePart.end(), BYTE{0});
        const char16_t identification[] = u"VTA/NP";
        std::memcpy(privatePart.data() + kSettingsStart, identification, sizeof identification);
        const int16_t orientation = static_cast<int16_t>(rng.Between(-1, 3));
        std::memcpy(privatePart.data() + kSettingsStart + kOrientationField, &orientation, sizeof orientation);
        filter.reset(new StreamFilterState());
        job = FilterJob{printer, module, SettingsView{privatePart.data() + kSettingsStart, kPartBytes - kSettingsStart},
                        u"Fuzz"};
        accounting.pieces.clear();
        accounting.replacedBytes = 0;
        accounting.replacingBytes = 0;
        accounting.printer = printer;
    }

    void TearDown() override {
        filter.reset();
        sim::Reset();
    }

    HRESULT Write(const std::string& bytes, DWORD* written) {
        // Exactly the call's bytes in their own allocation, so a read past them is caught.
        std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
        std::memcpy(exact.get(), bytes.data(), bytes.size());
        return StreamFilterWrite(*filter, job, exact.get(), static_cast<DWORD>(bytes.size()), written,
                                 &AccountingRewrite);
    }

    // One stream through the filter, checking the accounting afterwards.
    void RunAccounted(FuzzRng& rng, SetupRewriteFunction inner, const std::string& stream,
                      const std::string& context) {
        accounting.input = &stream;
        accounting.inner = inner;
        const bool failures = rng.OneIn(3);
        if (rng.OneIn(3)) sim::SetWriteLimit(1 + rng.Below(5000));
        if (failures) sim::FailCalls(sim::Api::WritePrinter, ERROR_NOT_ENOUGH_MEMORY, rng.Below(20), 1 + rng.Below(3));

        for (const std::string& call : RandomCalls(rng, stream, true)) {
            DWORD written = 0xDEAD;
            const HRESULT hr = Write(call, &written);
            ASSERT_TRUE(hr == S_OK || (failures && hr == E_FAIL)) << context << ": " << std::hex << hr;
            ASSERT_EQ(written, call.size()) << context;
        }
        // The spooler works again: empty calls send what it did not take.
        sim::StopFailing(sim::Api::WritePrinter);
        for (int i = 0; i < 3; ++i) {
            DWORD written = 0xDEAD;
            ASSERT_EQ(Write(std::string(), &written), S_OK) << context;
            ASSERT_EQ(written, 0u);
        }
        EXPECT_EQ(filter->unsent.length, 0) << context;

        const std::string sent = sim::WrittenBytes(printer);
        const size_t consumed = ConsumedInput(sent.size());
        ASSERT_LE(consumed, stream.size()) << context;
        std::string expected;
        size_t at = 0;
        for (const Accounting::Piece& piece : accounting.pieces) {
            ASSERT_GE(piece.offset, at) << context;
            expected += stream.substr(at, piece.offset - at) + piece.replacement;
            at = piece.offset + piece.length;
        }
        ASSERT_LE(at, consumed) << context;
        expected += stream.substr(at, consumed - at);
        ASSERT_EQ(sent.size(), expected.size()) << context;
        ASSERT_TRUE(sent == expected) << context << ": the output is not the input with its pieces rewritten";
        // What has not gone out is still held, whole.
        EXPECT_EQ(consumed + static_cast<size_t>(filter->pending.length) + static_cast<size_t>(filter->setup.length),
                  stream.size())
            << context << ": bytes were lost or duplicated";
        // The end of the document sends the rest as it was.
        ASSERT_EQ(StreamFilterFlush(*filter, printer), S_OK) << context;
        const std::string all = sim::WrittenBytes(printer);
        ASSERT_EQ(all.size() - sent.size(), stream.size() - consumed) << context;
        EXPECT_TRUE(all.compare(sent.size(), std::string::npos, stream, consumed, std::string::npos) == 0) << context;
        EXPECT_EQ(filter->pending.data, nullptr) << context;
        EXPECT_EQ(filter->setup.data, nullptr) << context;
    }
};

TEST_F(StreamFilterFuzz, IdentityRewritesReproduceTheInputExactly) {
    FuzzRng rng(0x5EED0501);
    size_t rewrites = 0;
    for (int round = 0; round < 80; ++round) {
        NewJob(rng);
        std::string stream = kJobStart + RandomStream(rng, 20 + rng.Below(200));
        stream += rng.OneIn(2) ? "%%EOF\r\n" : "\r\n%%EOF\r\n";
        RunAccounted(rng, &IdentityRewrite, stream, "round " + std::to_string(round));
        EXPECT_EQ(sim::WrittenBytes(printer), stream) << "round " << round;
        rewrites += accounting.pieces.size();
        if (HasFailure()) return;
    }
    EXPECT_GT(rewrites, 80u);  // the generator gives real sections
}

TEST_F(StreamFilterFuzz, FeatureRewritesReplaceOnlyTheirPieces) {
    FuzzRng rng(0x5EED0502);
    size_t changed = 0;
    for (int round = 0; round < 60; ++round) {
        NewJob(rng);
        std::string stream = kJobStart + RandomStream(rng, 20 + rng.Below(150)) + "%%EOF\r\n";
        RunAccounted(rng, &RewriteSetupPiece, stream, "round " + std::to_string(round));
        for (const Accounting::Piece& piece : accounting.pieces) {
            if (piece.replacement != stream.substr(piece.offset, piece.length)) ++changed;
        }
        if (HasFailure()) return;
    }
    EXPECT_GT(changed, 20u);  // the rewriter did rewrite
}

TEST_F(StreamFilterFuzz, LongSectionsAreCutWithoutLosingBytes) {
    FuzzRng rng(0x5EED0503);
    for (int round = 0; round < 3; ++round) {
        NewJob(rng);
        std::string stream = std::string(kJobStart) + "%%BeginSetup\r\n";
        while (stream.size() < 130000) stream += RandomStream(rng, 50) + std::string(90, 'x') + "\r\n";
        stream += "%%EndSetup\r\n%%EOF\r\n";
        RunAccounted(rng, rng.OneIn(2) ? &IdentityRewrite : &RewriteSetupPiece, stream,
                     "round " + std::to_string(round));
        if (HasFailure()) return;
    }
}

TEST_F(StreamFilterFuzz, HostileCallsKeepTheirDocumentedResults) {
    // New jobs in the middle, null data, spooler failures and short writes:
    // only the documented results, the whole count taken, and every rewritten
    // text released.
    FuzzRng rng(0x5EED0504);
    for (int round = 0; round < 40; ++round) {
        NewJob(rng);
        accounting.input = nullptr;
        accounting.inner = rng.OneIn(2) ? &IdentityRewrite : &RewriteSetupPiece;
        if (rng.OneIn(2)) sim::SetWriteLimit(rng.Below(3000));  // 0: the spooler takes nothing
        sim::FailCalls(sim::Api::WritePrinter, ERROR_NOT_ENOUGH_MEMORY, rng.Below(30), rng.Below(4));
        const std::string stream = RandomStream(rng, 50 + rng.Below(200));
        for (const std::string& call : RandomCalls(rng, stream, false)) {
            if (rng.OneIn(40)) {
                DWORD written = 0xDEAD;
                EXPECT_EQ(StreamFilterWrite(*filter, job, nullptr, 1 + rng.Below(9), &written, &AccountingRewrite),
                          E_POINTER);
                EXPECT_EQ(written, 0u);
            }
            DWORD written = 0xDEAD;
            std::unique_ptr<char[]> exact(new char[call.size() + 1]);
            std::memcpy(exact.get(), call.data(), call.size());
            const HRESULT hr = StreamFilterWrite(*filter, job, exact.get(), static_cast<DWORD>(call.size()),
                                                 rng.OneIn(10) ? nullptr : &written, &AccountingRewrite);
            ASSERT_TRUE(hr == S_OK || hr == E_FAIL) << "round " << round << ": " << std::hex << hr;
            if (written != 0xDEAD) {
                ASSERT_EQ(written, call.size()) << "round " << round;
            }
        }
        if (HasFailure()) return;
    }
}

}  // namespace
