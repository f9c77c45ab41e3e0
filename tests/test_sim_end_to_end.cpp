// The whole tool against the virtual board: the IDCODE check and the port.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/sim_run.h"

namespace {

struct IdcodeCase {
    const char* board_cpu;
    const char* tool_cpu;
    const char* bits;  // the ID read, most significant bit first
    bool match;
};

TEST(SimEndToEnd, IdcodeCheckOnEveryCpu)
{
    const IdcodeCase cases[] = {
        {"KTR5200", "KTR5200", "00011011010011100010000011010011", true},
        {"ULN", "ULN", "00011011010011100010000011010011", true},
        {"PAXON", "PAXON", "00000000100100111010000011000101", true},
        {"MIRTA", "MIRTA", "00001100010011010111111000101111", true},
        // Same die, same IDCODE and instruction: the name alone tells them apart.
        {"ULN", "KTR5200", "00011011010011100010000011010011", true},
        {"KTR5200", "ULN", "00011011010011100010000011010011", true},
        // KTR5200's IDCODE instruction is BYPASS on MIRTA: the test pattern comes
        // back one clock late behind the bypass cell's captured 0.
        {"MIRTA", "KTR5200", "11100001111000011110000111100000", false},
    };
    for (const IdcodeCase& c : cases) {
        SimRun run = run_sim({"--cpu", c.board_cpu}, {"-C", c.tool_cpu, "-j"});
        std::string label = std::string(c.board_cpu) + " board, -C " + c.tool_cpu;
        EXPECT_EQ(run.status, c.match ? 0 : 1) << label;
        if (c.match) {
            EXPECT_NE(run.console.find(std::string("\nOK!, JTAG ID:   ") + c.bits + "\n"), std::string::npos)
                << label << "\n"
                << run.console;
            EXPECT_EQ(run.console.find("Invalid JTAG ID"), std::string::npos) << label;
        } else {
            EXPECT_NE(run.console.find(std::string("\nYour JTAG ID:   ") + c.bits + "\n"), std::string::npos)
                << label << "\n"
                << run.console;
            EXPECT_NE(run.console.find("Invalid JTAG ID\n"), std::string::npos) << label;
        }
        EXPECT_EQ(run.stats.ir_scans, 1u) << label;
        EXPECT_EQ(run.stats.dr_scans, 1u) << label;
    }
}

TEST(SimEndToEnd, EveryPortBaseIsFound)
{
    for (const char* base : {"0x378", "0x278", "0x3BC"}) {
        SimRun run = run_sim({"--port-base", base}, {"-C", "KTR5200", "-j"});
        EXPECT_EQ(run.status, 0) << base;
        EXPECT_NE(run.console.find("\nOK!, JTAG ID:   "), std::string::npos) << base << "\n" << run.console;
    }
}

TEST(SimEndToEnd, NoPortEndsWithStatusOne)
{
    SimRun run = run_sim({"--no-port"}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find("Cannot get LPT PORT\n"), std::string::npos) << run.console;
    // Probing only: one write and one read per candidate, nothing after.
    EXPECT_EQ(run.stats.port_writes, 3u);
    EXPECT_EQ(run.stats.port_reads, 3u);
}

TEST(SimEndToEnd, IdcodeCheckPortTraffic)
{
    SimRun run = run_sim({"--cpu", "KTR5200"}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stats.port_writes, 117u);
    EXPECT_EQ(run.stats.port_reads, 35u);
    EXPECT_EQ(run.virtual_ns, (117u + 35u) * 1000u);
}

TEST(SimEndToEnd, BadSimulatorOptionDoesNotRunTheTool)
{
    SimRun run = run_sim({"--cpu", "Z80"}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.console.rfind("tarnflash-sim: ", 0), 0u);
    EXPECT_EQ(run.stats.port_writes, 0u);
}

}  // namespace
