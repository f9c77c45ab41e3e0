// SPDX-License-Identifier: Apache-2.0
// The J-Link and GPIO cables on the virtual board: their refusals, the J-Links listed, the
// speed granted, and scans longer than one round trip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jtag/jlink_cable.h"
#include "jtag/tap_walker.h"
#include "sim/board.h"
#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using Args = std::vector<std::string>;
const Args kPins = {"--gpio-pins", "tck=11,tms=25,tdi=10,tdo=9"};

Args with(Args first, const Args& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(ProbeCables, RefusalsNameTheProbeOrTheLine)
{
    const Args jlink = {"--cable", "jlink", "-C", "KTR5200", "-j"};
    const Args gpio = with({"--cable", "gpio:gpiochip0", "-C", "KTR5200", "-j"}, kPins);
    const struct {
        Args sim;
        Args tool;
        const char* text;
    } cases[] = {
        {{}, jlink, "\nno J-Link found\n"},
        {{"--cable", "jlink", "--jlink-no-jtag"}, jlink, "\nJ-Link 50123456 offers no JTAG interface\n"},
        {{"--jlink-serials", "11,22"}, jlink, "\nseveral J-Links found: choose one with --cable-serial\n  11\n  22\n"},
        {{"--jlink-serials", "11,22"}, with(jlink, {"--cable-serial", "33"}), "\nno J-Link with serial 33 found\n"},
        {{}, gpio, "\nno GPIO chip 'gpiochip0' (No such file or directory)\n"},
        {{"--cable", "gpio"},
         with(gpio, {"--cable", "gpio:gpiochip1"}),
         "\nno GPIO chip 'gpiochip1' (No such file or directory)\n"},
        {{"--cable", "gpio", "--gpio-busy", "10=spi0 CS0"},
         gpio,
         "\nGPIO line 10 (tdi) on gpiochip0 is in use by 'spi0 CS0'\n"},
        {{"--cable", "gpio"},
         with(gpio, {"--gpio-pins", "tck=11,tms=25,tdi=10,tdo=54"}),
         "\nGPIO line 54 (tdo) is not on gpiochip0, which has lines 0 to 53\n"},
        {{"--cable", "gpio"},
         with(gpio, {"--gpio-pins", "tck=11,tms=11"}),
         "\n--gpio-pins puts tck and tms on line 11\n"},
        {{"--cable", "gpio"},
         with(gpio, {"--gpio-pins", "tck=1,tms=2,tdo=3"}),
         "\n--gpio-pins lacks tdi (tck=N,tms=N,tdi=N,tdo=N[,trst=N][,srst=N])\n"},
        {{"--cable", "gpio"}, with(gpio, {"--cable", "gpio"}), "\n--cable gpio needs its chip: gpio:gpiochip0"},
        {{}, with({"-C", "KTR5200", "-j"}, kPins), "\n--gpio-pins needs --cable gpio:CHIP\n"},
        {{}, with(gpio, {"--tck-hz", "1000"}), "\n--cable-serial and --tck-hz are not for --cable gpio"},
        {{}, with(jlink, {"--cable-id", "1366:0101"}), "\n--cable-id, --cable-interface, --cable-pins,"},
    };
    for (const auto& c : cases) {
        SimSession session(c.sim);
        SimRun run = session.run(c.tool);
        EXPECT_EQ(run.status, 1) << c.text;
        // Closed and released whichever way the run ended.
        EXPECT_FALSE(session.board().jlink().is_open() || session.board().gpio().requested()) << c.text;
        EXPECT_TRUE(flash_job::has(run.console, c.text)) << run.console;
        EXPECT_FALSE(flash_job::has(run.console, "JTAG ID")) << c.text;
    }
}

TEST(ProbeCables, ListsTheJlinksPluggedIn)
{
    const Args list = {"--cable", "jlink", "--cable-list"};
    EXPECT_EQ(run_sim({"--jlink-serials", "50123456,50123457,7"}, list).console,
              "J-Link 50123456\nJ-Link 50123457\nJ-Link 7\n");
    const SimRun none = run_sim({}, list);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.console, "no J-Link found\n");
    // With several plugged in, the one named does the job.
    SimSession session({"--jlink-serials", "11,22"});
    const SimRun chosen = session.run({"--cable", "jlink", "--cable-serial", "22", "-C", "KTR5200", "-j"});
    EXPECT_EQ(chosen.status, 0) << chosen.console;
    EXPECT_TRUE(flash_job::has(chosen.console, "\nJ-Link 22: TCK 4000 kHz\n")) << chosen.console;
    EXPECT_FALSE(session.board().jlink().is_open());
}

TEST(ProbeCables, TheJlinkSaysTheSpeedItGranted)
{
    const struct {
        const char* asked;
        const char* said;
    } cases[] = {
        {"12000000", "\nJ-Link 50123456: TCK 12000 kHz\n\nOK!"},
        {"1500", "\nJ-Link 50123456: TCK 1 kHz\n\nOK!"},
        {"50000000",
         "\nJ-Link 50123456: TCK 12000 kHz\n(--tck-hz 50000000 is above the probe's maximum, 12000000 Hz)\n"},
    };
    for (const auto& c : cases) {
        SimRun run = run_sim({"--cable", "jlink"}, {"--tck-hz", c.asked, "-C", "KTR5200", "-j"});
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_TRUE(flash_job::has(run.console, c.said)) << run.console;
    }
}

TEST(ProbeCables, AScanLongerThanABatchComesBackWhole)
{
    sim::BoardConfig config;
    config.chain_after = {{false, 0, 2}};  // a device without IDCODE after the CPU
    config.jlink.serials = {1};
    sim::VirtualBoard board(config);
    JlinkCable cable(board.jlink());
    ASSERT_EQ(cable.open(1, 12'000'000), nullptr);
    tap_reset(cable);
    jtag_scan_ir(cable, 6, "111111");  // both in BYPASS: two cells
    const uint32_t length = JlinkCable::kBatchBits * 2 + 100;
    std::string bits(length, '0'), out(length, 'x');
    for (uint32_t k = 0; k < length; ++k)
        bits[k] = "0110100"[k % 7];
    cable.tms_path(0b001, 3);  // Idle to Shift-DR
    cable.shift(bits.c_str(), length, true, {.capture = out.data()});
    cable.flush();
    EXPECT_EQ(out.substr(2), bits.substr(0, length - 2));
    EXPECT_GE(board.jlink().counters().jtag_io_calls, 3u);
}

}  // namespace
