// SPDX-License-Identifier: Apache-2.0
// Chains of several devices on the virtual board: what --chain-list reads and names, the
// refusals before any pin is driven, and a programming job and the IDCODE check at each
// position of the CPU.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using Args = std::vector<std::string>;

const Args kMustShow = {"--chain-before", "0x0362D093:6", "--chain-after", "none:8"};
const std::string kBoards = TARNFLASH_BOARDS_DIR;

Args with(Args first, const Args& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// What the tool printed after its banner.
std::string after_banner(const std::string& console)
{
    const size_t at = console.find("**********\n", console.find("VERSION"));
    return at == std::string::npos ? console : console.substr(at + 11);
}

TEST(Chain, ListReadsNamesAndAddsUpEveryChain)
{
    const struct {
        Args sim;
        Args tool;
        int status;
        const char* listing;
    } cases[] = {
        {{},
         {},
         0,
         "position 0: idcode 0x1B4E20D3 KTR5200/ULN (IR 4 bits)\ntotal IR length: 4 bits\n"
         "The IR lengths add up: 4 = 4 bits\n"},
        {kMustShow,
         {"--chain", "8,4,6", "-C", "KTR5200", "--bsdl-dir", kBoards},
         0,
         "position 0: no idcode (BYPASS)\nposition 1: idcode 0x1B4E20D3 KTR5200 (IR 4 bits)\n"
         "position 2: idcode 0x0362D093 FPGA_EXAMPLE (IR 6 bits)\ntotal IR length: 18 bits\n"
         "The IR lengths add up: 8 + 4 + 6 = 18 bits\n"},
        {with({"--cpu", "MIRTA"}, {"--chain-after", "none:2", "--chain-after", "none:16"}),
         {},
         0,
         "position 0: no idcode (BYPASS)\nposition 1: no idcode (BYPASS)\n"
         "position 2: idcode 0x0C4D7E2F MIRTA (IR 4 bits)\ntotal IR length: 22 bits\n"
         "The known IR lengths add up to 4 bits: 18 left for positions 0, 1 (give --chain L0,L1,... or --bsdl-dir)\n"},
        {{"--cpu", "PAXON", "--chain-before", "0x0362D093:6", "--chain-before", "0x12345679:16"},
         {},
         0,
         "position 0: idcode 0x0093A0C5 PAXON (IR 4 bits)\nposition 1: idcode 0x12345679 ? (IR ? bits)\n"
         "position 2: idcode 0x0362D093 ? (IR ? bits)\ntotal IR length: 26 bits\n"
         "The known IR lengths add up to 4 bits: 22 left for positions 1, 2 (give --chain L0,L1,... or --bsdl-dir)\n"},
        {kMustShow,
         {"--chain", "8,4,6", "-C", "KTR5200", "--bsdl", kBoards + "/example-fpga.bsd"},
         0,
         "position 0: no idcode (BYPASS)\nposition 1: idcode 0x1B4E20D3 KTR5200 (IR 4 bits)\n"
         "position 2: idcode 0x0362D093 FPGA_EXAMPLE (IR 6 bits)\ntotal IR length: 18 bits\n"
         "The IR lengths add up: 8 + 4 + 6 = 18 bits\n"},
        {{}, {"--bsdl", "/nonexistent.bsd"}, 1, "Cannot read the BSDL file /nonexistent.bsd\n"},
        {kMustShow,
         {"--chain", "8,4,7"},
         1,
         "position 0: no idcode (BYPASS)\nposition 1: idcode 0x1B4E20D3 KTR5200/ULN (IR 4 bits)\n"
         "position 2: idcode 0x0362D093 ? (IR ? bits)\ntotal IR length: 18 bits\n"
         "The IR lengths do not add up: 8 + 4 + 7 = 19 bits, measured 18\n"},
    };
    for (const char* cable : {"parport", "ftdi", "cmsis-dap"})
        for (const auto& c : cases) {
            SimRun run = run_sim(with({"--cable", cable}, c.sim), with({"--chain-list"}, c.tool));
            EXPECT_EQ(run.status, c.status) << cable << "\n" << run.console;
            std::string listing = after_banner(run.console);
            if (std::string_view(cable) == "cmsis-dap")  // the probe's own line first
                listing.erase(0, listing.find('\n') + 1);
            EXPECT_EQ(listing, c.listing) << cable;
            EXPECT_EQ(run.stats.bus_reads + run.stats.bus_writes, 0u) << cable;
        }
}

TEST(Chain, RefusalsComeBeforeAnyPinIsDriven)
{
    const Args job = {"-C", "KTR5200", "-j"};
    const struct {
        Args sim;
        Args tool;
        const char* line;
    } cases[] = {
        {kMustShow,
         {"--chain", "8,4,7", "--device", "1"},
         "The IR lengths do not add up: 8 + 4 + 7 = 19 bits, measured 18\n"},
        {kMustShow, {"--device", "3"}, "--device 3 is past the end of the chain: 3 devices, positions 0 to 2\n"},
        {{}, {"--device", "1"}, "--device 1 is past the end of the chain: 1 device, position 0\n"},
        {{"--tdo-stuck", "1"},
         {"--device", "0"},
         "The JTAG chain reads all ones: no cable, no power at the board, or a broken TDO\n"},
        {{"--tdo-stuck", "0"},
         {"--device", "0"},
         "The JTAG chain reads all zeros: no power at the board, or TDO held low\n"},
        {{"--chain-after", "0x1B4E20D3:4"},
         {"--chain", "4,4"},
         "Several devices match KTR5200 (positions 0, 1): choose one with --device N\n"},
        {kMustShow,
         {"--chain", "8,4,6"},
         "3 devices on the JTAG chain: choose one with --device N (KTR5200 is at position 1)\n"},
        {kMustShow, {"--chain", "8,4"}, "--chain gives 2 IR lengths, the chain has 3 devices\n"},
        {kMustShow, {"--chain", "8,5,5"}, "--chain gives position 1 5 IR bits, KTR5200 has 4\n"},
        {kMustShow,
         {"--chain", "8,x,6"},
         "Bad --chain 8,x,6: one IR length (2 to 512 bits) per device, position 0 first\n"},
        {kMustShow,
         {"--device", "1"},
         "The IR length of position 0 is unknown: give --chain L0,L1,... or its BSDL file with --bsdl-dir\n"},
        {kMustShow, {"--device", "2", "--chain", "8,4,6"}, "Position 2 has 6 IR bits, KTR5200 has 4\n"},
        {{}, {"--bsdl-dir", "/nonexistent"}, "Cannot list --bsdl-dir /nonexistent: No such file or directory\n"},
    };
    for (const char* cable : {"parport", "ftdi", "jlink", "gpio", "cmsis-dap"})
        for (const auto& c : cases) {
            SimRun run = run_sim(with({"--cable", cable}, c.sim), with(c.tool, job));
            EXPECT_EQ(run.status, 1) << cable << " " << c.line;
            EXPECT_TRUE(flash_job::has(run.console, c.line)) << cable << "\n" << run.console;
            EXPECT_FALSE(flash_job::has(run.console, "JTAG ID")) << cable << " " << c.line;
            EXPECT_EQ(run.stats.bus_reads + run.stats.bus_writes, 0u) << cable << " " << c.line;
        }
}

TEST(Chain, AnIdcodeMismatchSaysHowManyDevicesTheChainHolds)
{
    for (const Args& board : {Args{"--chain-before", "0x0362D093:6"}, Args{"--cpu", "MIRTA"}}) {
        SimRun run = run_sim(board, {"-C", "KTR5200", "-j"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(flash_job::has(run.console, "\nthe chain holds 2 devices: see --chain-list\n"), board[0] != "--cpu");
    }
}

TEST(Chain, UnreadableBsdlFilesAreNamedAndSkipped)
{
    flash_job::ScratchDir dir;
    const std::string broken = dir.write("broken.bsd", {'x'});
    dir.write("notes.txt", {'x'});
    SimRun run = run_sim({}, {"--chain-list", "--bsdl-dir", dir.path().string()});
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_TRUE(flash_job::in_order(run.console, {"Skipped " + broken + ":", "\nposition 0: idcode 0x1B4E20D3"}));
    EXPECT_FALSE(flash_job::has(run.console, "notes.txt"));
}

TEST(Chain, ProgramsTheCpuAtEachPosition)
{
    const struct {
        Args sim;
        const char* device;
        const char* lengths;
        int devices;
    } cases[] = {
        {{}, "0", "4", 1},
        {kMustShow, "1", "8,4,6", 3},
        {{"--chain-after", "0x12345679:16", "--chain-after", "none:2"}, "2", "2,16,4", 3},
        {{"--chain-before", "none:3", "--chain-before", "0x0362D093:6"}, "0", "4,6,3", 3},
    };
    flash_job::ScratchDir dir;
    const flash_job::Bytes image = flash_job::pattern(4096, 22);
    const std::string path = dir.write("image.bin", image);
    const std::string report = (dir.path() / "report.json").string();
    for (const char* cable : {"parport", "ftdi", "jlink", "gpio", "cmsis-dap"})
        for (const auto& c : cases) {
            SimSession session(with({"--cable", cable}, c.sim));
            SimRun run = session.run({"--device", c.device, "--chain", c.lengths, "-C", "KTR5200", "-F", "S29AL008D",
                                      "-w", "16", "-i", "1", "-f" + path, "--report", report});
            EXPECT_EQ(run.status, 0) << cable << " --device " << c.device << "\n" << run.console;
            EXPECT_TRUE(flash_job::has(run.console, "Flash writing & verifying OK")) << cable << " " << c.device;
            EXPECT_EQ(run.stats.rule_violations, 0u) << cable << " --device " << c.device;
            std::ifstream in(report);
            const auto target = nlohmann::json::parse(std::string(std::istreambuf_iterator<char>(in), {}))["target"];
            EXPECT_EQ(target["chain_device"], std::stoi(c.device)) << cable;
            EXPECT_EQ(target["chain_devices"], c.devices) << cable;
            flash_job::Bytes flash = session.board().flash()->contents();
            flash.resize(image.size());
            EXPECT_EQ(flash_job::first_difference(flash, image), "") << cable << " --device " << c.device;
            run = session.run({"--device", c.device, "--chain", c.lengths, "-C", "KTR5200", "-j"});
            EXPECT_TRUE(flash_job::has(run.console, "\nOK!, JTAG ID:   00011011010011100010000011010011\n"))
                << cable << " --device " << c.device << "\n"
                << run.console;
        }
}

}  // namespace
