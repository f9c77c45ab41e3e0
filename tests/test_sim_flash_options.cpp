// SPDX-License-Identifier: Apache-2.0
// tarnflash-sim's flash options: the chip on the board, its wiring, its faults, and
// the files that fill it before a run and receive it after.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/sim_options.h"
#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using namespace flash_job;
using Args = std::vector<std::string>;

TEST(SimFlashOptions, BadValuesGiveOneLine)
{
    const Args cases[] = {
        {"--flash", "S29AL016D"},
        {"--flash", "s29al008d"},
        {"--flash", "S29AL008D:middle"},
        {"--flash", "S29AL008D:"},
        {"--flash", "EN29LV040A:top"},
        {"--flash"},
        {"--bus", "16"},
        {"--bus", "8x4"},
        {"--bus", "16X1"},
        {"--fault", "none"},
        {"--fault", "stuck-bit:0x100"},
        {"--fault", "stuck-bit:0x100:16"},
        {"--fault", "stuck-bit:zz:1"},
        {"--fault", "stuck-bit:0x100000000:1"},
        {"--fault", "slow-erase:0"},
        {"--fault", "slow-erase:"},
        {"--fault", "slow-erase:2x"},
        {"--fault", "slow-program:0"},
        {"--fault", "slow-program:1000001"},
        {"--fault", "no-flash:1"},
        {"--fault", "ignore-erase:x"},
        {"--fault", "ignore-erase:19"},  // S29AL008D has blocks 0 to 18
        // Chips that cannot be wired that way, in either order of the options.
        {"--flash", "SST39VF6401", "--bus", "8x1"},
        {"--flash", "SST39VF6401", "--bus", "8x2"},
        {"--flash", "EN29LV040A", "--bus", "16x1"},
        {"--bus", "16x1", "--flash", "AM29LV040B"},
        // A stuck bit the bus does not carry.
        {"--flash", "AM29LV040B", "--fault", "stuck-bit:0:8"},
        {"--fault", "stuck-bit:0:15", "--flash", "S29AL008D", "--bus", "8x1"},
        // Protection and lock bits: a block the chip has; lock bits and status faults on Intel-style chips.
        {"--protect", "19"},
        {"--protect", "x"},
        {"--flash", "28F256P30", "--lock", "259"},
        {"--lock", "0"},
        {"--fault", "erase-fail"},
        {"--flash", "28F256P30", "--bus", "8x1"},
    };
    for (const Args& args : cases) {
        std::string shown;
        for (const std::string& arg : args)
            shown += arg + " ";
        SimParsed parse = sim_parse(args);
        EXPECT_FALSE(parse.ok()) << shown;
        EXPECT_EQ(parse.error.rfind("tarnflash-sim: ", 0), 0u) << shown << parse.error;
        EXPECT_EQ(parse.error.find('\n'), std::string::npos) << parse.error;
    }
}

TEST(SimFlashOptions, GoodValues)
{
    SimParsed parse = sim_parse({"--flash", "S29AL004D:bottom", "--bus", "8x2", "--fault",
                                                  "stuck-bit:0x1F:15", "--fault", "slow-erase:4", "--fault", "no-flash",
                                                  "--fault", "slow-program:0x10",
                                                  "--flash-in", "a.bin", "--flash-out", "b.bin"});
    ASSERT_TRUE(parse.ok()) << parse.error;
    const sim::SimOptions& o = parse.options;
    EXPECT_EQ(o.flash, "S29AL004D:bottom");
    EXPECT_EQ(o.bus, sim::FlashSetup::x8x2);
    EXPECT_TRUE(o.faults.stuck_bit);
    EXPECT_EQ(o.faults.stuck_address, 0x1Fu);
    EXPECT_EQ(o.faults.stuck_bit_index, 15);
    EXPECT_EQ(o.faults.slow_erase_factor, 4u);
    EXPECT_EQ(o.faults.slow_program_factor, 16u);
    EXPECT_TRUE(o.faults.no_flash);
    EXPECT_EQ(o.flash_in, "a.bin");
    EXPECT_EQ(o.flash_out, "b.bin");

    // Every chip in every wiring it has.
    const struct {
        const char* flash;
        const char* bus;
    } wirings[] = {
        {"S29AL008D", "16x1"}, {"S29AL008D:bottom", "8x1"}, {"S29AL004D:top", "8x2"},
        {"EN29LV040A", "8x1"}, {"AM29LV040B", "8x2"},       {"S29GL064M", "16x1"},
        {"S29GL128N", "8x1"},  {"K8D6316", "16x1"},         {"SST39VF6401", "16x1"},
    };
    for (const auto& w : wirings)
        EXPECT_TRUE(sim_parse({"--flash", w.flash, "--bus", w.bus}).ok()) << w.flash << " " << w.bus;
}

std::unique_ptr<sim::VirtualBoard> board_with(const Args& args)
{
    SimParsed parse = sim_parse(args);
    EXPECT_TRUE(parse.ok()) << parse.error;
    return std::make_unique<sim::VirtualBoard>(sim_board_config(parse.options));
}

TEST(SimFlashOptions, FlashInFillsFromTheFirstByteAndLeavesTheRestErased)
{
    ScratchDir dir;
    const Bytes start = pattern(301, 41);
    const std::string file = dir.write("start.bin", start);
    const struct {
        const char* flash;
        const char* bus;
        size_t size;
    } cases[] = {
        {"S29AL008D", "16x1", 0x100000},
        {"S29AL008D", "8x1", 0x100000},
        {"AM29LV040B", "8x2", 0x100000},
        {"EN29LV040A", "8x1", 0x80000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flash) + " " + c.bus);
        auto board = board_with({"--flash", c.flash, "--bus", c.bus, "--flash-in", file});
        ASSERT_NE(board->flash(), nullptr);
        EXPECT_EQ(first_difference(board->flash()->contents(), expected_flash(start, c.size, 0, 0, 0, {})), "");
    }

    // Exactly the flash's size is taken; one byte more is refused.
    const std::string whole = dir.write("whole.bin", pattern(0x80000, 42));
    EXPECT_EQ(board_with({"--flash", "AM29LV040B", "--bus", "8x1", "--flash-in", whole})->flash()->contents(),
              pattern(0x80000, 42));
    const std::string big = dir.write("big.bin", pattern(0x80001, 43));
    SimParsed parse = sim_parse({"--flash", "AM29LV040B", "--bus", "8x1", "--flash-in", big});
    ASSERT_TRUE(parse.ok());
    sim::BoardConfig config;
    std::string error;
    EXPECT_EQ(sim::board_config(parse.options, config, error).status, Status::refused);
    EXPECT_EQ(board_with({"--flash", "AM29LV040B", "--bus", "8x2", "--flash-in", big})->flash()->contents().size(),
              0x100000u);

    parse = sim_parse({"--flash-in", (dir.path() / "none.bin").string()});
    ASSERT_TRUE(parse.ok());
    EXPECT_EQ(sim::board_config(parse.options, config, error).status, Status::refused);
}

TEST(SimFlashOptions, ProgramRefusesBadFlashSetUpsWithStatusTwo)
{
    ScratchDir dir;
    const std::string big = dir.write("big.bin", pattern(0x80001, 44));
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = dir.write("out.bin", {1, 2, 3});
    // With --stats a run that went ahead would print more than the one line.
    for (const std::string& args :
         {std::string("--flash S29AL016D -- -C KTR5200 -j"),
          std::string("--flash SST39VF6401 --bus 8x1 -- -C KTR5200 -j"),
          std::string("--fault stuck-bit:1 -- -C KTR5200 -j"),
          "--flash EN29LV040A --flash-in '" + big + "' -- -C KTR5200 -j",
          "--flash-in '" + (dir.path() / "none.bin").string() + "' -- -C KTR5200 -j",
          "--flash-in '" + dir.path().string() + "' -- -C KTR5200 -j", "--flash-in '" + fifo + "' -- -C KTR5200 -j",
          std::string("--flash-in /dev/zero -- -C KTR5200 -j"), std::string("--flash-in /dev/urandom -- -C KTR5200 -j"),
          "--flash-out '" + dir.path().string() + "' -- -C KTR5200 -j",
          "--flash-out '" + (dir.path() / "none" / "out.bin").string() + "' -- -C KTR5200 -j"}) {
        std::string errors;
        EXPECT_EQ(run_sim_program("--stats " + args, errors), 2) << args;
        EXPECT_EQ(errors.rfind("tarnflash-sim: ", 0), 0u) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    }

    // The check before the run leaves an existing --flash-out as it was.
    std::string error;
    EXPECT_TRUE(sim::check_flash_out(sim_parse({"--flash-out", out}).options, error).ok()) << error;
    EXPECT_EQ(dir.read("out.bin"), (Bytes{1, 2, 3}));
}

TEST(SimFlashOptions, FlashOutHoldsTheContentsInCpuByteOrder)
{
    // Two x8 chips side by side: CPU bytes alternate between them, so the file shows the order.
    ScratchDir dir;
    const Bytes before = pattern(0x100000, 45);
    const Bytes image = pattern(0x301, 46);
    const std::string args = "--flash AM29LV040B --bus 8x2 --keys '' --flash-in '" + dir.write("before.bin", before) +
                             "' --flash-out '" + (dir.path() / "after.bin").string() +
                             "' -- -C KTR5200 -F AM29LV040B -w 8 -i 2 -o 0x20000 '-f" + dir.write("image.bin", image) +
                             "'";
    std::string errors;
    ASSERT_EQ(run_sim_program(args, errors), 0) << errors;
    EXPECT_EQ(
        first_difference(dir.read("after.bin"), expected_flash(before, 0x100000, 0x20000, 0x40000, 0x20000, image)),
        "");
}

}  // namespace
