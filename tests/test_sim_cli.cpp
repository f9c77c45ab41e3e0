// SPDX-License-Identifier: Apache-2.0
// tarnflash-sim's own options, its keys and its clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "sim/board.h"
#include "sim/sim_options.h"
#include "sim/sim_platform.h"
#include "tests/support/sim_run.h"

namespace {

using Args = std::vector<std::string>;

TEST(SimOptions, BadOptionsGiveOneLineMessages)
{
    const Args cases[] = {
        {"--cpu", "ARM"},
        {"--cpu", "ktr5200"},
        {"--cpu"},
        {"--port-base", "0x2F8"},
        {"--port-base", "zz"},
        {"--port-base", "0x378x"},
        {"--frob"},
        {"-C", "KTR5200"},
        {"KTR5200"},
        {"--keys", "a\\q"},
        {"--keys", "abc\\"},
        {"--key-after", "abc"},
        {"--key-after", "x:y"},
        {"--key-after", ":y"},
        {"--key-after", "3:\\z"},
        {"--port-ns", "-3"},
        {"--port-ns", "1e3"},
        {"--port-ns", ""},
        {"--port-ns", "0"},
        {"--port-ns", "1000000001"},
        {"--usb-latency-us", "-1"},
        {"--usb-latency-us", "1000001"},
        // Regions these CPUs have no chip select for.
        {"--cpu", "PAXON", "--region", "7"},
        {"--region", "7", "--cpu", "MIRTA"},
        {"--stats=1"},
        // An IDCODE's bit 0 is 1; an IR holds its captured 01 and at most 32 bits here.
        {"--chain-before", "0x0362D092:6"},
        {"--chain-after", "none:1"},
        {"--chain-after", "none:33"},
        {"--chain-after", "0x0362D093"},
        {"--tdo-stuck", "2"},
        {"--serve", "tcp:1"},
        {"--serve", "xvc:70000"},
        {"--serve-once"},
        {"--serve", "xvc:0", "--serve-stall-ms", "0"},
        {"--serve", "xvc:0", "--", "-j"},
        {"--jlink-serials", "12,,3"},
        {"--gpio-busy", "x=spi"},
        {"--gpio-call-ns", "1000001"},
        {"--cable", "jtag"},
    };
    for (const Args& args : cases) {
        SimParsed parse = sim_parse(args);
        std::string shown = args[0] + (args.size() > 1 ? " " + args[1] : "");
        EXPECT_FALSE(parse.ok()) << shown;
        EXPECT_EQ(parse.error.rfind("tarnflash-sim: ", 0), 0u) << parse.error;
        EXPECT_EQ(parse.error.find('\n'), std::string::npos) << parse.error;
    }
}

TEST(SimOptions, DefaultsAndEveryOption)
{
    SimParsed plain = sim_parse({});
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.options.cpu, "KTR5200");
    EXPECT_EQ(plain.options.port_base, 0x378);
    EXPECT_FALSE(plain.options.no_port);
    EXPECT_FALSE(plain.options.keys_given);
    EXPECT_EQ(plain.options.port_ns, 1000u);
    EXPECT_FALSE(plain.options.stats);

    SimParsed all = sim_parse({"--cpu", "PAXON", "--no-port", "--port-base", "0x3bc", "--keys",
                                                "12\\r", "--key-after", "40:\\e", "--key-after=7:q", "--port-ns=250",
                                                "--usb-latency-us=1000", "--stats", "--", "-C", "PAXON", "--", "-j"});
    ASSERT_TRUE(all.ok()) << all.error;
    const sim::SimOptions& o = all.options;
    EXPECT_EQ(o.cpu, "PAXON");
    EXPECT_TRUE(o.no_port);
    EXPECT_EQ(o.port_base, 0x3BC);
    EXPECT_TRUE(o.keys_given);
    EXPECT_EQ(o.keys, "12\r");
    ASSERT_EQ(o.key_after.size(), 2u);
    EXPECT_EQ(o.key_after[0].after_dr_scans, 40u);
    EXPECT_EQ(o.key_after[0].text, "\x1b");
    EXPECT_EQ(o.key_after[1].after_dr_scans, 7u);
    EXPECT_EQ(o.key_after[1].text, "q");
    EXPECT_EQ(o.port_ns, 250u);
    EXPECT_EQ(sim_board_config(o).usb.latency_us, 1000u);
    EXPECT_TRUE(o.stats);
    EXPECT_EQ(o.tool_args, (Args{"-C", "PAXON", "--", "-j"}));

    for (const char* base : {"0x378", "0x278", "0x3BC", "888"}) {
        SimParsed parse = sim_parse({"--port-base", base});
        EXPECT_TRUE(parse.ok()) << base;
    }
}

TEST(SimOptions, KeyEscapes)
{
    const struct {
        const char* text;
        const char* keys;
    } cases[] = {
        {"\\r", "\r"}, {"\\n", "\n"}, {"\\e", "\x1b"},  {"\\\\", "\\"}, {"1\\r2\\r\\e", "1\r2\r\x1b"},
        {"q", "q"},    {"", ""},      {"\\\\r", "\\r"},
    };
    for (const auto& c : cases) {
        std::string keys;
        EXPECT_TRUE(sim::unescape_keys(c.text, keys)) << c.text;
        EXPECT_EQ(keys, c.keys) << c.text;
    }
    for (const char* bad : {"\\", "\\t", "a\\0", "\\E"}) {
        std::string keys;
        EXPECT_FALSE(sim::unescape_keys(bad, keys)) << bad;
    }
}

struct PlatformOnBoard {
    explicit PlatformOnBoard(const Args& args)
        : options(sim_parse(args).options),
          board(sim_board_config(options)),
          platform(board, sim::key_setup(options))
    {}
    std::string drain()
    {
        std::string keys;
        while (platform.key_available())
            keys += static_cast<char>(platform.key_read());
        return keys;
    }
    sim::SimOptions options;
    sim::VirtualBoard board;
    sim::SimPlatform platform;
};

TEST(SimPlatform, ScriptedKeysComeInOrderThenEnd)
{
    PlatformOnBoard run({"--keys", "2\\r\\n\\e"});
    EXPECT_FALSE(run.platform.keys_ended());
    EXPECT_EQ(run.drain(), "2\r\n\x1b");
    EXPECT_TRUE(run.platform.keys_ended());
    EXPECT_EQ(run.platform.key_read(), -1);

    PlatformOnBoard empty({"--keys", ""});
    EXPECT_FALSE(empty.platform.key_available());
    EXPECT_TRUE(empty.platform.keys_ended());
}

TEST(SimPlatform, KeyAfterWaitsForTheDrScans)
{
    PlatformOnBoard run({"--keys", "1", "--key-after", "10:b", "--key-after", "4:a", "--key-after", "10:c"});
    EXPECT_EQ(run.drain(), "1");
    EXPECT_FALSE(run.platform.keys_ended());
    run.board.stats().dr_scans = 3;
    run.board.stats().port_writes = 1000;  // scans mean port traffic
    EXPECT_EQ(run.drain(), "");
    EXPECT_FALSE(run.platform.keys_ended());
    run.board.stats().dr_scans = 4;
    EXPECT_EQ(run.drain(), "a");
    run.board.stats().dr_scans = 12;
    EXPECT_EQ(run.drain(), "bc");
    EXPECT_TRUE(run.platform.keys_ended());
}

TEST(SimPlatform, PendingKeysEndWhenTheToolWaitsWithoutScanning)
{
    PlatformOnBoard run({"--key-after", "10:a"});
    EXPECT_FALSE(run.platform.keys_ended());  // first look: the tool may still be scanning
    EXPECT_TRUE(run.platform.keys_ended());   // no port access since: the keys can never come
}

TEST(SimPlatform, UnscriptedKeysComeFromTheInputWithNewlineAsEnter)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    PlatformOnBoard run({});
    sim::KeySetup setup = sim::key_setup(run.options);
    setup.input_fd = fds[0];
    sim::SimPlatform platform(run.board, setup);

    EXPECT_FALSE(platform.key_available());
    EXPECT_FALSE(platform.keys_ended());
    ASSERT_EQ(write(fds[1], "3\n\x1b", 3), 3);
    std::string keys;
    while (platform.key_available())
        keys += static_cast<char>(platform.key_read());
    EXPECT_EQ(keys, "3\r\x1b");
    EXPECT_FALSE(platform.keys_ended());
    close(fds[1]);
    EXPECT_TRUE(platform.keys_ended());
    EXPECT_FALSE(platform.key_available());
    close(fds[0]);
}

TEST(SimPlatform, KeyWaitsPassInVirtualTimeForScriptsAndInRealTimeOnTheInput)
{
    PlatformOnBoard script({"--keys", "7"});
    EXPECT_TRUE(script.platform.key_wait(100));
    EXPECT_EQ(script.drain(), "7");
    uint64_t before = script.board.now_ns();
    EXPECT_FALSE(script.platform.key_wait(100));
    EXPECT_EQ(script.board.now_ns() - before, 100'000'000u);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    sim::KeySetup setup;
    setup.input_fd = fds[0];
    sim::SimPlatform platform(script.board, setup);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform.key_wait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    EXPECT_TRUE(platform.key_wait(-1));
    EXPECT_EQ(platform.key_read(), 'y');
    close(fds[1]);
    EXPECT_FALSE(platform.key_wait(-1));  // the end of input ends the wait
    close(fds[0]);
}

TEST(SimPlatform, CalendarClockRunsOnVirtualTime)
{
    PlatformOnBoard run({});
    const int64_t epoch = sim::SimPlatform::kEpochSeconds;
    EXPECT_EQ(run.platform.time_seconds(), epoch);
    run.board.clock().ns = 2'500'000'000;
    EXPECT_EQ(run.platform.time_seconds(), epoch + 2);

    // A busy wait on the clock alone reaches the next second.
    int64_t start = run.platform.time_seconds();
    uint64_t calls = 0;
    while (run.platform.time_seconds() == start)
        ++calls;
    EXPECT_GT(calls, 400'000u);
    EXPECT_LT(calls, 600'000u);
}

TEST(SimPlatform, ConsoleCaptureAndPortAccess)
{
    PlatformOnBoard run({"--port-base", "0x278"});
    std::string text;
    run.platform.capture_console(&text);
    run.platform.console_write("OK\n", 3);
    EXPECT_EQ(text, "OK\n");
    EXPECT_EQ(run.platform.port_access(), nullptr);
    run.platform.port_write(0x278, 0x55);
    EXPECT_EQ(run.platform.port_read(0x278), 0x55);
    EXPECT_EQ(run.platform.port_read(0x378), 0xFF);
}

TEST(SimStats, SecondsAreDecimal)
{
    EXPECT_EQ(sim::seconds_text(117'000), "0.000117");
    EXPECT_EQ(sim::seconds_text(1), "0.000000001");
    EXPECT_EQ(sim::seconds_text(0), "0.000000");
    EXPECT_EQ(sim::seconds_text(2'500'000'000), "2.500000");
    EXPECT_EQ(sim::seconds_text(61'000'001'500), "61.0000015");
}

TEST(SimProgram, BadSimulatorOptionStopsWithStatusTwoBeforeTheTool)
{
    for (const char* args : {"--cpu ARM -- -C ARM -j", "--port-base 0x2F8", "-C KTR5200 -j", "--keys '\\x'"}) {
        std::string errors;
        EXPECT_EQ(run_sim_program(args, errors), 2) << args;
        EXPECT_EQ(errors.rfind("tarnflash-sim: ", 0), 0u) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    }
}

TEST(SimProgram, HelpAndVersionEndWithStatusZero)
{
    for (const auto& [args, begins] : {std::pair{"-h", "usage: tarnflash-sim"},
                                       {"--help", "usage: tarnflash-sim"},
                                       {"--version", "tarnflash-sim " TARNFLASH_VERSION_TEXT "\n"}}) {
        std::string output;
        EXPECT_EQ(run_sim_program(args, output, true), 0) << args;
        EXPECT_EQ(output.rfind(begins, 0), 0u) << output;
    }
}

TEST(SimProgram, ElapsedTimeIsLabelledAsTheEstimateAtThePortSpeed)
{
    const std::string image = testing::TempDir() + "sim-note.bin";
    std::fclose(std::fopen(image.c_str(), "w"));
    std::string job;
    EXPECT_EQ(run_sim_program("--port-ns 250 -- -C KTR5200 -F S29AL008D -w 16 -i 1 -e 0x4000 -f" + image, job, true),
              0);
    const std::string note =
        "(tarnflash-sim: that elapsed time is virtual, the estimate for real hardware at 250 ns "
        "per port access, --port-ns)\n";
    EXPECT_TRUE(job.ends_with("[sec]\n" + note)) << job;
    std::string check;
    EXPECT_EQ(run_sim_program("-- -C KTR5200 -j", check, true), 0);
    EXPECT_EQ(check.find("tarnflash-sim"), std::string::npos) << check;
}

}  // namespace
