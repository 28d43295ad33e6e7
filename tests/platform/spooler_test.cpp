// Simulated spooler: WritePrinter capture and failure modes, GetPrinterW and
// EnumFormsW two-call rules, SetJobW records.
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Spooler : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        printer = sim::AddPrinter(u"Kelv IJ 9000");
    }
    BOOL Write(const std::string& bytes, DWORD* written) {
        return WritePrinter(printer, const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()), written);
    }
    HANDLE printer = nullptr;
};

TEST_F(Spooler, WritePrinterKeepsBytesAndCallBoundaries) {
    DWORD written = 99;
    ASSERT_TRUE(Write("@PJL\r\n", &written));
    EXPECT_EQ(written, 6u);
    ASSERT_TRUE(Write(std::string("\x1b%-12345X", 9), &written));
    ASSERT_TRUE(Write("", &written));
    EXPECT_EQ(written, 0u);

    const std::vector<std::string> chunks = sim::WrittenChunks(printer);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0], "@PJL\r\n");
    EXPECT_EQ(chunks[1], std::string("\x1b%-12345X", 9));
    EXPECT_EQ(chunks[2], "");
    EXPECT_EQ(sim::WrittenBytes(printer), std::string("@PJL\r\n\x1b%-12345X", 15));
    EXPECT_EQ(sim::CallCount(sim::Api::WritePrinter), 3u);
}

TEST_F(Spooler, OutputIsKeptPerHandle) {
    HANDLE second = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Kelv IJ 9000"), &second, nullptr));
    ASSERT_NE(second, printer);
    DWORD written = 0;
    ASSERT_TRUE(Write("one", &written));
    ASSERT_TRUE(WritePrinter(second, const_cast<char*>("two"), 3, &written));
    EXPECT_EQ(sim::WrittenBytes(printer), "one");
    EXPECT_EQ(sim::WrittenBytes(second), "two");
    ASSERT_TRUE(ClosePrinter(second));
    EXPECT_FALSE(WritePrinter(second, const_cast<char*>("x"), 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(sim::WrittenBytes(second), "two");  // records outlive the handle
}

TEST_F(Spooler, OpenPrinterOfUnknownNameFails) {
    HANDLE h = nullptr;
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Nobody"), &h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(Spooler, WriteLimitTakesFewerBytes) {
    sim::SetWriteLimit(4);
    DWORD written = 0;
    ASSERT_TRUE(Write("abcdefgh", &written));
    EXPECT_EQ(written, 4u);
    ASSERT_TRUE(Write("xy", &written));
    EXPECT_EQ(written, 2u);
    const std::vector<sim::WriteCall> calls = sim::WriteCalls(printer);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].offered, 8u);
    EXPECT_EQ(calls[0].accepted, "abcd");
    EXPECT_EQ(calls[1].accepted, "xy");
}

TEST_F(Spooler, APrintersOwnLimitStandsInForTheMachinesOnAllItsHandles) {
    sim::SetWriteLimit(4);
    const HANDLE second = sim::AddPrinter(u"Second");
    sim::SetWriteLimit(second, 2);
    HANDLE again = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Second"), &again, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(again, const_cast<char*>("abcdefgh"), 8, &written));
    EXPECT_EQ(written, 2u);
    ASSERT_TRUE(Write("abcdefgh", &written));  // the first printer keeps the machine's
    EXPECT_EQ(written, 4u);
    sim::SetWriteLimit(second, sim::kNoLimit);  // also no limit where the machine has one
    ASSERT_TRUE(WritePrinter(second, const_cast<char*>("abcdefgh"), 8, &written));
    EXPECT_EQ(written, 8u);
    EXPECT_EQ(sim::WrittenBytes(again), "ab");
    EXPECT_EQ(sim::WrittenBytes(second), "abcdefgh");
}

TEST_F(Spooler, WriteLimitZeroSucceedsWithNothingTaken) {
    sim::SetWriteLimit(0);
    DWORD written = 77;
    ASSERT_TRUE(Write("abc", &written));
    EXPECT_EQ(written, 0u);
    ASSERT_EQ(sim::WrittenChunks(printer).size(), 1u);
    EXPECT_EQ(sim::WrittenBytes(printer), "");
}

TEST_F(Spooler, WriteSinkTakesTheOutputInsteadOfTheRecord) {
    std::string taken;
    sim::SetWriteLimit(1);  // the sink decides, not the limit
    sim::SetWriteSink(printer, [&](const void* bytes, DWORD count) {
        if (taken.size() >= 5) return sim::WriteOutcome{FALSE, 0, ERROR_WRITE_FAULT};
        const DWORD take = count < 3 ? count : 3;
        taken.append(static_cast<const char*>(bytes), take);
        return sim::WriteOutcome{TRUE, 7, 0};  // a faulty spooler: reported as the sink says
    });
    HANDLE other = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Kelv IJ 9000"), &other, nullptr));
    DWORD written = 99;
    ASSERT_TRUE(Write("abcd", &written));
    EXPECT_EQ(written, 7u);
    ASSERT_TRUE(WritePrinter(other, const_cast<char*>("ef"), 2, &written));  // every handle of the printer
    EXPECT_EQ(written, 7u);
    SetLastError(0);
    EXPECT_FALSE(Write("gh", &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_WRITE_FAULT});
    EXPECT_EQ(taken, "abcef");
    EXPECT_TRUE(sim::WriteCalls(printer).empty());
    EXPECT_TRUE(sim::WriteCalls(other).empty());

    sim::SetWriteSink(printer, nullptr);
    ASSERT_TRUE(Write("ij", &written));
    EXPECT_EQ(sim::WrittenBytes(printer), "i");
}

TEST_F(Spooler, WritePrinterFailureSetsLastErrorAndLeavesCountAlone) {
    sim::FailCalls(sim::Api::WritePrinter, ERROR_PRINT_CANCELLED, 1, 1);
    DWORD written = 0;
    ASSERT_TRUE(Write("ok", &written));
    written = 1234;
    SetLastError(0);
    EXPECT_FALSE(Write("lost", &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_EQ(written, 1234u);
    ASSERT_TRUE(Write("again", &written));  // only one call was to fail

    const std::vector<sim::WriteCall> calls = sim::WriteCalls(printer);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_FALSE(calls[1].result);
    EXPECT_EQ(calls[1].offered, 4u);
    EXPECT_EQ(sim::WrittenChunks(printer), (std::vector<std::string>{"ok", "again"}));
    EXPECT_EQ(sim::WrittenBytes(printer), "okagain");
}

TEST_F(Spooler, WritePrinterOnUnknownHandleFails) {
    DWORD written = 0;
    EXPECT_FALSE(WritePrinter(reinterpret_cast<HANDLE>(0x1234), const_cast<char*>("a"), 1, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Spooler, GetPrinterSizeQueryThenFill) {
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(GetPrinterW(printer, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(needed, sizeof(PRINTER_INFO_1W));

    std::vector<BYTE> small(needed - 1);
    DWORD again = 0;
    EXPECT_FALSE(GetPrinterW(printer, 1, small.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);

    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterW(printer, 1, buffer.data(), needed, &again));
    const auto* info = reinterpret_cast<const PRINTER_INFO_1W*>(buffer.data());
    EXPECT_EQ(std::u16string(info->pName), u"Kelv IJ 9000");
    // The strings lie in the caller's buffer, after the structure.
    const BYTE* name = reinterpret_cast<const BYTE*>(info->pName);
    EXPECT_GE(name, buffer.data() + sizeof(PRINTER_INFO_1W));
    EXPECT_LT(name, buffer.data() + needed);
}

TEST_F(Spooler, GetPrinterOtherLevelAndInjectedFailure) {
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));

    sim::FailCalls(sim::Api::GetPrinterW, ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_FALSE(GetPrinterW(printer, 1, nullptr, 0, &needed));  // size query works
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    DWORD again = 0;
    EXPECT_FALSE(GetPrinterW(printer, 1, buffer.data(), needed, &again));  // the fill fails
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(sim::CallCount(sim::Api::GetPrinterW), 3u);
}

TEST_F(Spooler, DefaultFormsFollowDmpaperNumbers) {
    const std::vector<sim::Form> forms = sim::DefaultForms();
    ASSERT_GE(forms.size(), 41u);
    EXPECT_EQ(forms[DMPAPER_LETTER - 1].name, u"Letter");
    EXPECT_EQ(forms[DMPAPER_LETTER - 1].width, 215900);
    EXPECT_EQ(forms[DMPAPER_LETTER - 1].height, 279400);
    EXPECT_EQ(forms[DMPAPER_A4 - 1].name, u"A4");
    EXPECT_EQ(forms[DMPAPER_A4 - 1].width, 210000);
    EXPECT_EQ(forms[DMPAPER_A4 - 1].height, 297000);
    EXPECT_EQ(forms[DMPAPER_A3 - 1].name, u"A3");
    EXPECT_EQ(forms[DMPAPER_ENV_10 - 1].name, u"Envelope #10");
    EXPECT_EQ(forms[DMPAPER_ENV_10 - 1].width, 104775);
    for (const sim::Form& f : forms) EXPECT_EQ(f.flags, static_cast<DWORD>(FORM_BUILTIN));
}

TEST_F(Spooler, EnumFormsTwoCallsWithStringsAfterTheArray) {
    sim::SetForms(printer, {{u"A4", FORM_BUILTIN, 210000, 297000},
                            {u"Kaku No.2", FORM_USER, 240000, 332000},
                            {u"Roll", FORM_PRINTER, 300000, 1000000}});
    DWORD needed = 0;
    DWORD returned = 99;
    EXPECT_FALSE(EnumFormsW(printer, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    const DWORD expected = 3 * sizeof(FORM_INFO_1W) + (3 + 10 + 5) * sizeof(WCHAR);
    EXPECT_EQ(needed, expected);

    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumFormsW(printer, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 3u);
    const auto* forms = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    EXPECT_EQ(std::u16string(forms[0].pName), u"A4");
    EXPECT_EQ(forms[0].Flags, static_cast<DWORD>(FORM_BUILTIN));
    EXPECT_EQ(forms[0].Size.cx, 210000);
    EXPECT_EQ(forms[0].Size.cy, 297000);
    EXPECT_EQ(std::u16string(forms[1].pName), u"Kaku No.2");
    EXPECT_EQ(forms[1].Flags, static_cast<DWORD>(FORM_USER));
    EXPECT_EQ(forms[2].Flags, static_cast<DWORD>(FORM_PRINTER));
    EXPECT_EQ(forms[2].ImageableArea.right, 300000);
    EXPECT_EQ(forms[2].ImageableArea.bottom, 1000000);
    for (DWORD i = 0; i < returned; ++i) {
        const BYTE* name = reinterpret_cast<const BYTE*>(forms[i].pName);
        EXPECT_GE(name, buffer.data() + 3 * sizeof(FORM_INFO_1W));
        EXPECT_LT(name, buffer.data() + needed);
    }
}

TEST_F(Spooler, EnumFormsBufferOneByteShortFails) {
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(EnumFormsW(printer, 1, nullptr, 0, &needed, &returned));
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(EnumFormsW(printer, 1, buffer.data(), needed - 1, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    ASSERT_TRUE(EnumFormsW(printer, 1, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(returned, sim::DefaultForms().size());
}

TEST_F(Spooler, EnumFormsWithNoFormsSucceedsEmpty) {
    sim::SetForms(printer, {});
    DWORD needed = 5;
    DWORD returned = 5;
    EXPECT_TRUE(EnumFormsW(printer, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

TEST_F(Spooler, EnumFormsInjectedFailure) {
    sim::FailCalls(sim::Api::EnumFormsW, ERROR_NOT_ENOUGH_MEMORY);
    DWORD needed = 5;
    DWORD returned = 5;
    EXPECT_FALSE(EnumFormsW(printer, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(needed, 5u);
    EXPECT_EQ(returned, 5u);
    sim::StopFailing(sim::Api::EnumFormsW);
    EXPECT_FALSE(EnumFormsW(printer, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(Spooler, SetJobIsRecorded) {
    EXPECT_TRUE(SetJobW(printer, 7, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_FALSE(SetJobW(reinterpret_cast<HANDLE>(0x42), 8, 0, nullptr, JOB_CONTROL_CANCEL));
    const std::vector<sim::JobCommand> jobs = sim::JobCommands();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].printer, printer);
    EXPECT_EQ(jobs[0].jobId, 7u);
    EXPECT_EQ(jobs[0].level, 0u);
    EXPECT_FALSE(jobs[0].jobInfoGiven);
    EXPECT_EQ(jobs[0].command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
    EXPECT_TRUE(jobs[0].result);
    EXPECT_FALSE(jobs[1].result);
}

TEST_F(Spooler, ResetForgetsPrintersAndRecords) {
    DWORD written = 0;
    ASSERT_TRUE(Write("x", &written));
    sim::Reset();
    EXPECT_TRUE(sim::WrittenChunks(printer).empty());
    EXPECT_FALSE(Write("y", &written));
    EXPECT_EQ(sim::CallCount(sim::Api::WritePrinter), 1u);
}

}  // namespace
