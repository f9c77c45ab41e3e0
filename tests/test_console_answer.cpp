// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "app/console_answer.h"
#include "app/console_host.h"
#include "app/console_progress.h"
#include "app/exit.h"
#include "tests/support/fake_platform.h"

namespace {

struct AnswerCase {
    const char* name;
    std::string keys;
    int max_length;
    const char* answer;
    const char* echo;
};

class ReadAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(ReadAnswer, StoresDigitsAndEchoesThem)
{
    const AnswerCase& c = GetParam();
    FakePlatform console;
    console.type(c.keys);
    platform_install(&console);

    char answer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(read_answer(answer, c.max_length));

    EXPECT_STREQ(answer, c.answer);
    EXPECT_EQ(console.console, c.echo);
}

const AnswerCase kAnswerCases[] = {
    {"EnterAlone", "\r", 1, "", ""},
    {"MenuDigit", "3\r", 1, "3", "3"},
    {"WidthTwoDigits", "16\r", 2, "16", "16"},
    {"SecondDigitIgnoredAtMenu", "16\r", 1, "1", "1"},
    {"ThirdDigitIgnoredAtWidth", "168\r", 2, "16", "16"},
    {"LettersIgnored", "a1\r", 1, "1", "1"},
    {"BackspaceAndSignsIgnored", "\b-+5\r", 2, "5", "5"},
    {"NewlineIsNotEnter", "\n8\r", 2, "8", "8"},
    {"ExtendedKeyCodesIgnored",
     std::string("\xE0"
                 "H"
                 "2\r"),
     1, "2", "2"},
    {"LowerQEndsAtOnce", "q", 1, "q", ""},
    {"UpperQEndsAtOnce", "Q", 2, "Q", ""},
    {"DigitThenQ", "1q", 1, "1q", "1"},
    {"FullWidthThenQ", "12q", 2, "12q", "12"},
    {"ExtraDigitsThenQ", "123q", 2, "12q", "12"},
};

INSTANTIATE_TEST_SUITE_P(Keys, ReadAnswer, testing::ValuesIn(kAnswerCases),
                         [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

TEST(ReadAnswerInput, LeavesKeysAfterTheEndUnread)
{
    FakePlatform console;
    console.type("4\r9\r");
    platform_install(&console);
    char answer[4];
    EXPECT_FALSE(read_answer(answer, 1));
    EXPECT_STREQ(answer, "4");
    EXPECT_EQ(console.keys_left(), 2u);
}

TEST(ReadAnswerInput, WaitsForSlowKeys)
{
    FakePlatform console;
    console.type("12\r");
    console.input_closed = false;
    console.idle_polls_per_key = 50;
    platform_install(&console);
    char answer[4];
    EXPECT_FALSE(read_answer(answer, 2));
    EXPECT_STREQ(answer, "12");
    EXPECT_GT(console.key_tests, 100u);
}

TEST(ReadAnswerInput, EndOfInputEndsTheProcessWithStatusOne)
{
    for (const char* keys : {"", "1", "a"}) {
        FakePlatform console;
        console.type(keys);
        platform_install(&console);
        char answer[4];
        const Ending end = read_answer(answer, 2);
        EXPECT_TRUE(end && end->status == 1 && end->cable == CableEnd::reset_park) << keys;
        EXPECT_NE(console.console.find("\nNo more console input\n"), std::string::npos) << keys;
    }
}

// Fifty updates `step_ns` apart of a 99-byte job whose last word reaches past it.
const std::string& progress_text(FakePlatform& console, bool terminal, uint64_t step_ns)
{
    sim::VirtualClock clock;
    console.clock = &clock;
    console.terminal = terminal;
    platform_install(&console);
    ConsoleProgress progress("Write");
    for (uint32_t done = 0; done < 100; done += 2, clock.advance(step_ns))
        progress.update(done, 99);
    progress.finish(100, 99);
    console.clock = nullptr;
    return console.console;
}

TEST(ConsoleProgress, RedrawsTenTimesASecondOnATerminalAndLogsEveryTenth)
{
    for (bool terminal : {true, false}) {
        FakePlatform console;
        const std::string& text = progress_text(console, terminal, 30'000'000);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), terminal ? 13 : 0) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '%'), terminal ? 13 : 9) << text;
        EXPECT_EQ(
            text.rfind(terminal ? "Write:        0 / 99 [Byte]   0%\r" : "Write:       10 / 99 [Byte]  10%, 1 s", 0),
            0u);
        // The final line stops at the job's size and covers the longer line drawn before it.
        const size_t end = terminal ? text.rfind('\r') : text.rfind('\n', text.size() - 2);
        const size_t covered = terminal ? end - text.rfind('\r', end - 1) - 1 : 27;
        EXPECT_EQ(text.substr(end + 1), "Write:       99 / 99 [Byte]" + std::string(covered - 27, ' ') + "\n");
    }
}

// Under the simulator virtual time races ahead of the person watching: a terminal is redrawn on
// real time, so a job whose whole run passes in an instant is drawn once.
TEST(ConsoleProgress, RedrawsOnWallTimeNotVirtualTime)
{
    struct StillWall : FakePlatform {
        uint64_t wall_ns() override { return 0; }
    };
    StillWall console;
    const std::string& text = progress_text(console, true, 300'000'000);
    // The first draw and the final line.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 1) << text;
}

// The engine's events no end-to-end run provokes, as the console words them.
TEST(ConsoleHost, WordsEngineEventsAsTheToolAlwaysHas)
{
    const std::pair<EngineEvent, const char*> cases[] = {
        {{.kind = EventKind::typical_word_write, .count = 7}, "Typical timeout for word write:   7[us]\n"},
        {{.kind = EventKind::erase_region, .count = 15, .total = 0x10000, .block = 0},
         "Block region #0   block numbers :  15, size: 64[KB]\n"},
        {{.kind = EventKind::cfi_too_many_regions, .count = 8}, "Error, Max eraseregion is 8\n"},
        {{.kind = EventKind::block_erasing, .address = 0x8000, .count = 3, .block = 3}, "   4th Block, 0x00008000 \n"},
        {{.kind = EventKind::block_erase_not_done, .address = 0x10000, .block = 4},
         "Block 4 (-b 4) at 0x00010000 never reported its erase done\n"},
        {{.kind = EventKind::status_register, .actual = 0xA0, .text = "unlock failed"},
         "Status register 0xA0: unlock failed\n"},
    };
    for (const auto& [event, text] : cases) {
        FakePlatform console;
        platform_install(&console);
        ConsoleHost host;
        host.report(event);
        EXPECT_EQ(console.console, text);
    }
}

}  // namespace
