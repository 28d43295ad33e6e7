// The header builder on its own: pieces, failures of the sink, and the inputs
// only a host without Windows hands over (today's date as text).
#include "core/pjl_steps.h"

#include "core/private_part.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const PjlConverters kConverters{Utf8Converter(), Windows1252Converter()};

// Takes pieces until `refuseAt` pieces were taken, then refuses with `cause`.
class RecordingSink final : public HeaderPieceSink {
public:
    std::vector<std::string> pieces;
    size_t refuseAt = SIZE_MAX;
    Status cause = Status::FromWin32(28);  // ERROR_OUT_OF_PAPER
    size_t offered = 0;

    Status TakePiece(ByteRange piece) noexcept override {
        ++offered;
        if (pieces.size() == refuseAt) return cause;
        pieces.emplace_back(reinterpret_cast<const char*>(piece.data), piece.size);
        return kStatusOk;
    }
};

std::vector<uint8_t> DefaultBlock() {
    std::vector<uint8_t> block(kSettingsBlockBytes, 0);
    SetDefaultSettings(SettingsSpan{block.data(), block.size()});
    return block;
}

PjlHeaderInputs Inputs(const std::vector<uint8_t>& block) {
    return PjlHeaderInputs{block.data(), TEXT16("Doc1"), TEXT16("alice"), TEXT16("PC1"),
                           Text16View(), {2, 0},         kConverters};
}

TEST(AppendOrFlush, KeepsChunksBelow4096BytesOfWholePieces) {
    RecordingSink sink;
    HeaderAccumulator accumulator{sink, std::string()};
    const std::string a(4000, 'a');
    const std::string b(95, 'b');
    const std::string c(1, 'c');
    AppendOrFlush(accumulator, a);
    AppendOrFlush(accumulator, b);  // 4095 bytes: still one chunk
    EXPECT_EQ(sink.offered, 0u);
    AppendOrFlush(accumulator, c);                       // 4096 would be too many
    AppendOrFlush(accumulator, std::string(4096, 'x'));  // can never fit: left out
    FlushHeader(accumulator);
    FlushHeader(accumulator);  // nothing left: no empty piece
    EXPECT_EQ(sink.pieces, (std::vector<std::string>{a + b, c}));
}

TEST(BuildPjlHeaderPieces, ARefusedPieceEndsTheHeaderWithItsCause) {
    const std::vector<uint8_t> block = DefaultBlock();
    const Text16 longName(1500, Char16('D'));  // a job name line of 3000 hex digits
    PjlHeaderInputs inputs = Inputs(block);
    inputs.documentName = longName;
    std::string whole;
    ASSERT_EQ(BuildPjlHeaderBytes(inputs, whole), kStatusOk);
    ASSERT_GT(whole.size(), kHeaderChunkBytes);  // more than one piece
    for (size_t refuseAt = 0; refuseAt < 2; ++refuseAt) {
        RecordingSink sink;
        sink.refuseAt = refuseAt;
        EXPECT_EQ(BuildPjlHeaderPieces(inputs, sink), sink.cause);
        EXPECT_EQ(sink.offered, refuseAt + 1);  // nothing after the refusal
        std::string taken;
        for (const std::string& piece : sink.pieces) taken += piece;
        EXPECT_EQ(taken, whole.substr(0, taken.size()));
    }
    RecordingSink sink;
    EXPECT_EQ(BuildPjlHeaderPieces(PjlHeaderInputs{nullptr, {}, {}, {}, {}, {0, 0}, kConverters}, sink), kStatusOk);
    EXPECT_EQ(sink.offered, 0u);
}

TEST(BuildPjlHeaderPieces, PiecesAreWholeLinesWithinTheChunk) {
    const std::vector<uint8_t> block = DefaultBlock();
    RecordingSink sink;
    ASSERT_EQ(BuildPjlHeaderPieces(Inputs(block), sink), kStatusOk);
    for (const std::string& piece : sink.pieces) {
        EXPECT_LE(piece.size(), kHeaderChunkBytes);
        EXPECT_EQ(piece.substr(piece.size() - 2), "\r\n");
    }
    EXPECT_EQ(sink.pieces.front().substr(0, 9), "\x1B%-12345X");
    EXPECT_NE(sink.pieces.front().find("@PJL SET ZTHOSTNAME=504331\r\n"), std::string::npos);
    EXPECT_NE(sink.pieces.back().find("@PJL SET PAPER=AUTO\r\n"), std::string::npos);
}

// The date input counts only when the block asks for today's date, and is
// cut to the date field's room.
TEST(BuildPjlHeaderPieces, TodaysDateComesFromTheInputs) {
    std::vector<uint8_t> block = DefaultBlock();
    const SettingsSpan span{block.data(), block.size()};
    ASSERT_TRUE(WriteFieldText(span, kSettingDateText, TEXT16("1/1/2000")));
    struct Case {
        int dateSwitch;
        Text16View date;
        const char* line;
    };
    const Text16 tooLong(40, Char16('7'));
    const Case cases[] = {
        {0, TEXT16("12/7/2026"), "@PJL SET ZTDATEINFO=31322F372F32303236\r\n"},
        {0, Text16View(), "@PJL SET ZTDATEINFO=312F312F32303030\r\n"},  // no input: the block's
        {1, TEXT16("12/7/2026"), "@PJL SET ZTDATEINFO=312F312F32303030\r\n"},
        {0, tooLong, "@PJL SET ZTDATEINFO=3737373737373737373737373737373737373737373737\r\n"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteField(span, kSettingDateSwitch, c.dateSwitch));
        PjlHeaderInputs inputs = Inputs(block);
        inputs.dateText = c.date;
        std::string header;
        ASSERT_EQ(BuildPjlHeaderBytes(inputs, header), kStatusOk);
        EXPECT_NE(header.find(c.line), std::string::npos) << c.line;
    }
}

}  // namespace
