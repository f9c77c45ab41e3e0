// SPDX-License-Identifier: Apache-2.0
// The programming run's questions on the console, answered with scripted keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using namespace flash_job;
using Args = std::vector<std::string>;

constexpr const char* kMenu =
    "\nSelect your flash model name !\n"
    "To exit, Enter 'q'\n\n"
    "[1] : S29AL008D\n"
    "[2] : S29AL004D\n"
    "[3] : EN29LV040A\n"
    "[4] : AM29LV040B\n"
    "[5] : S29GL064M\n"
    "[6] : K8D6316\n"
    "[7] : S29GL128N\n"
    "[8] : SST39VF6401\n";

TEST(ProgrammingPrompts, MenuAndBothPromptsInOrder)
{
    ScratchDir dir;
    const Bytes image = pattern(0x300, 21);
    SimSession session({"--keys", "1\\r16\\r1\\r"});
    SimRun run = session.run({"-C", "KTR5200", "-f" + dir.write("i.bin", image)});

    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(has(run.console, std::string(kMenu) + "1\n"
                                                      "\nEnter flash Bus width [8 or 16] ? 16\n"
                                                      "Enter flash interface number [1 or 2] ? 1\n\n"
                                                      "Maker ID = 0x0001, Device ID = 0x22DA\n"))
        << run.console;
    EXPECT_TRUE(has(run.console, "\nFlash writing & verifying OK\n\n"));
    EXPECT_EQ(first_difference(session.board().flash()->contents(), expected_flash({}, 0x100000, 0, 0, 0, image)), "");
}

enum class Outcome {
    quit_at_once,   // status 1, cable left as it was
    not_supported,  // "Not Yet support your flash type", end of the run
    chosen,         // the model was taken; the run stops later for want of an erase size
};

TEST(ProgrammingPrompts, ModelMenuAnswers)
{
    const struct {
        const char* keys;
        const char* board_flash;
        const char* after_menu;  // what follows the last menu line
        Outcome outcome;
    } cases[] = {
        {"q", "S29AL008D", "", Outcome::quit_at_once},
        {"Q", "S29AL008D", "", Outcome::quit_at_once},
        {"\\r", "S29AL008D", "Not Yet support your flash type\n", Outcome::not_supported},
        {"1q", "S29AL008D", "1Not Yet support your flash type\n", Outcome::not_supported},
        {"9\\r", "S29AL008D", "9Not Yet support your flash type\nThe menu takes 1 to 8, or q to quit\n",
         Outcome::not_supported},
        {"0\\r", "S29AL008D", "0Not Yet support your flash type\n", Outcome::not_supported},
        // Letters, Backspace and signs are neither taken nor echoed.
        {"a\b-+\\\\1\\r", "S29AL008D", "1\nMaker ID = 0x0001, Device ID = 0x22DA\n", Outcome::chosen},
        // One digit only: the second is ignored.
        {"12\\r", "S29AL008D", "1\nMaker ID = 0x0001, Device ID = 0x22DA\n", Outcome::chosen},
        {"7\\r", "S29GL128N", "7\nMaker ID = 0x0001, Device ID = 0x227E\n", Outcome::chosen},
        {"x\b6\\r", "K8D6316", "6\nMaker ID = 0x00EC, Device ID = 0x22E2\n", Outcome::chosen},
    };
    // What the same run reaches when the menu is answered with Enter alone.
    SimRun reference = run_sim({"--keys", "\\r"}, {"-C", "KTR5200", "-w", "16", "-i", "1"});

    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("keys ") + c.keys);
        SimSession session({"--flash", c.board_flash, "--keys", c.keys});
        ASSERT_TRUE(session.ok()) << session.error();
        SimRun run = session.run({"-C", "KTR5200", "-w", "16", "-i", "1"});
        EXPECT_TRUE(has(run.console, std::string(kMenu) + c.after_menu)) << run.console;
        switch (c.outcome) {
        case Outcome::quit_at_once:
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(
                run.console.ends_with(std::string(kMenu) + "\nQuit at the model menu: the flash was not touched\n"));
            // No TAP reset and no park: fewer port writes than the run that ends normally.
            EXPECT_NE(session.board().tap().state(), sim::TapState::TestLogicReset);
            EXPECT_LT(run.stats.port_writes, reference.stats.port_writes);
            EXPECT_EQ(run.stats.ir_scans, 1u);
            break;
        case Outcome::not_supported:
            EXPECT_EQ(run.status, 1);
            EXPECT_FALSE(has(run.console, "Maker ID"));
            EXPECT_EQ(run.stats.ir_scans, 1u);  // EXTEST never loaded
            break;
        case Outcome::chosen:
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(has(run.console, "Error, not specify erase size\n\n"));
            break;
        }
    }
}

TEST(ProgrammingPrompts, BusWidthAnswers)
{
    const struct {
        const char* keys;
        const char* shown;  // the prompt with what it echoed
        bool taken;
    } cases[] = {
        {"16\\r", "? 16\n", true},  {"a1b6\\r", "? 16\n", true}, {"168\\r", "? 16\n", true},  // two digits at most
        {"\\r", "? \n", false},     {"q", "? \n", false},  // 'q' ends the process only at the menu
        {"12\\r", "? 12\n", false}, {"1q", "? 1\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("keys ") + c.keys);
        SimRun run = run_sim({"--keys", c.keys}, {"-C", "KTR5200", "-F", "S29AL008D", "-i", "1"});
        EXPECT_TRUE(has(run.console, std::string("\nEnter flash Bus width [8 or 16] ") + c.shown)) << run.console;
        EXPECT_FALSE(has(run.console, "Select your flash model"));
        EXPECT_FALSE(has(run.console, "Enter flash interface"));
        // Without -e or -f a taken answer ends at the erase size; a refused one ends at once.
        EXPECT_EQ(run.status, 1);
        if (c.taken) {
            EXPECT_TRUE(has(run.console, "Maker ID = 0x0001, Device ID = 0x22DA\n"));
        } else {
            // Ends the run with what the prompt takes.
            EXPECT_TRUE(run.console.ends_with(std::string(c.shown) + "The bus width is 8 or 16\n")) << run.console;
        }
    }
}

TEST(ProgrammingPrompts, InterfaceAnswers)
{
    const struct {
        const char* keys;
        int status;
        const char* then;
    } cases[] = {
        {"1\\r", 1, "? 1\n\nMaker ID = 0x0001, Device ID = 0x22DA\n"},
        {"2\\r", 0, "? 2\n\nCannot support flash programming for your flash setting\n"},
        {"3\\r", 0, "? 3\n\nThe interface number is 1 or 2\n"},
        {"\\r", 0, "? \n\nThe interface number is 1 or 2\n"},
        {"12\\r", 1, "? 1\n\nMaker ID"},  // one digit at most
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("keys ") + c.keys);
        SimRun run = run_sim({"--keys", c.keys}, {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16"});
        EXPECT_EQ(run.status, 1);  // every answer ends early: there is no -e or -f
        EXPECT_TRUE(has(run.console, std::string("Enter flash interface number [1 or 2] ") + c.then)) << run.console;
        EXPECT_FALSE(has(run.console, "Enter flash Bus width"));
    }
}

TEST(ProgrammingPrompts, EndOfInputAtAPromptEndsWithStatusOne)
{
    const struct {
        const char* keys;
        Args tool;
        const char* prompt;
    } cases[] = {
        {"", {"-C", "KTR5200"}, "[8] : SST39VF6401\n"},
        {"1\\r", {"-C", "KTR5200"}, "Bus width [8 or 16] ? "},
        {"1\\r16\\r", {"-C", "KTR5200"}, "interface number [1 or 2] ? "},
        {"1", {"-C", "KTR5200", "-F", "S29AL008D", "-i", "1"}, "Bus width [8 or 16] ? 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("keys ") + c.keys);
        SimSession session({"--keys", c.keys});
        SimRun run = session.run(c.tool);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.console.ends_with(std::string(c.prompt) +
                                          "\nNo more console input\ngive -F MODEL, -w and -i, or --detect\n"))
            << run.console;
        EXPECT_EQ(session.board().tap().state(), sim::TapState::TestLogicReset);
    }
}

}  // namespace
