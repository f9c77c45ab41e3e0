// Every way a programming run can fail, with its message, its exit status and what
// it leaves in the flash and on the cable.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using namespace flash_job;
using Args = std::vector<std::string>;

enum class Ends {
    end_of_run,  // cable parked, TAP not reset
    quit,        // TAP reset first
};

struct FailureCase {
    const char* name;
    Args sim;
    Args tool;  // IMAGE, MISSING, FOLDER and EMPTY stand for scratch paths (attached to -f: they begin with '/')
    std::vector<std::string> lines;  // in this order
    Ends ends;
    bool flash_untouched;
};

const Args kTool{"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1"};

Args with(std::initializer_list<std::string> more)
{
    Args args = kTool;
    args.insert(args.end(), more);
    return args;
}

TEST(ProgrammingFailures, EveryRowEndsAsItShould)
{
    const FailureCase cases[] = {
        {"chain check mismatch",
         {"--cpu", "MIRTA"},
         {"-C", "KTR5200", "-fIMAGE"},
         {"\nYour JTAG ID:   ", "Fail, Read JTAG ID\n"},
         Ends::quit,
         true},
        {"model not on that bus",
         {},
         {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "2", "-fIMAGE"},
         {"Cannot support flash programming for your flash setting\nS29AL008D takes -w 16 -i 1 or -w 8 -i 1\n"},
         Ends::end_of_run,
         true},
        {"bus width never asked",
         {},
         {"-C", "KTR5200", "-F", "S29AL008D", "-w", "12", "-i", "1", "-fIMAGE"},
         {"Cannot support flash programming for your flash setting\nS29AL008D takes -w 16 -i 1 or -w 8 -i 1\n"},
         Ends::end_of_run,
         true},
        {"unknown model",
         {},
         {"-C", "KTR5200", "-F", "S29AL016D", "-w", "16", "-i", "1", "-fIMAGE"},
         {"Cannot support flash programming for your flash setting\n"
          "Supported flash models: S29AL008D, S29AL004D, EN29LV040A, AM29LV040B, S29GL064M, K8D6316, S29GL128N, "
          "SST39VF6401\n"},
         Ends::end_of_run,
         true},
        {"no flash answering",
         {"--fault", "no-flash"},
         with({"-fIMAGE"}),
         {"Cannot read flash ID or Unknow flash\n", "Your flash, Maker ID = 0x"},
         Ends::end_of_run,
         true},
        // A code outside the built-in group, and a chip without a query table.
        {"no geometry",
         {},
         {"-C", "KTR5200", "-F", "S29GL064M", "-w", "16", "-i", "1", "-fIMAGE"},
         {"Maker ID = 0x0001, Device ID = 0x22DA\n", "Not defined FLASH Qeury INFO\n"},
         Ends::end_of_run,
         true},
        {"image missing",
         {},
         with({"-fMISSING"}),
         {"Maker ID = 0x0001, Device ID = 0x22DA\n",
          "Could not open MISSING for input data.\nReason: No such file or directory\n"},
         Ends::quit,
         true},
        {"image is a folder",
         {},
         with({"-fFOLDER"}),
         {"Maker ID = 0x0001, Device ID = 0x22DA\n", "Could not open FOLDER for input data.\nReason: Is a directory\n"},
         Ends::quit,
         true},
        // Past the block table -b would give offset 0: a typo must not reach the boot block.
        {"start block past the table",
         {},
         with({"-b", "19", "-fIMAGE"}),
         {"Device size: 1024[KBytes]\n", "Block 19 is outside the flash: -b takes 0 to 18\n"},
         Ends::end_of_run,
         true},
        {"start block below the table",
         {},
         with({"-b", "0xFFFFFFFF", "-eall"}),
         {"Block -1 is outside the flash: -b takes 0 to 18\n"},
         Ends::end_of_run,
         true},
        {"start past the end",
         {},
         with({"-o", "0x100000", "-fIMAGE"}),
         {"Device size: 1024[KBytes]\n", "Start 0x00100000 is past the end of the flash: 1024 KB from 0x00000000\n"},
         Ends::end_of_run,
         true},
        {"no erase size", {}, kTool, {"Maker ID = 0x0001", "Error, not specify erase size\n\n"}, Ends::quit, true},
        {"empty image, no erase size",
         {},
         with({"-fEMPTY"}),
         {"Maker ID = 0x0001", "Error, not specify erase size\n\n"},
         Ends::quit,
         true},
        // A hundred times the typical erase time outlasts the block poll.
        {"block erase failed",
         {"--fault", "slow-erase:100"},
         with({"-fIMAGE"}),
         {"Flash needs 1 Blocks\n", "\nErase Error, ADDR  0x00000000\n"},
         Ends::end_of_run,
         false},
        {"erase ignored",
         {"--fault", "ignore-erase:1"},
         with({"-b", "1", "-e", "0x10000"}),
         {"   2th Block, 0x00010000 \nErase Error, ADDR  0x00010000\nBlock 1 (-b 1) at 0x00010000 "},
         Ends::end_of_run,
         false},
        {"chip erase ignored by a block",
         {"--fault", "ignore-erase:18"},
         with({"-eall", "-fIMAGE"}),
         {"\nFlash erasing all ....", "Block 18 (-b 18) at 0x000FC000 is not blank after its erase: 0x000FC000"},
         Ends::end_of_run,
         false},
        {"program failed",
         {"--fault", "stuck-bit:0x100:3"},
         with({"-fIMAGE"}),
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x"},
         Ends::end_of_run,
         false},
        {"buffer program failed",
         {"--flash", "S29GL064M", "--fault", "stuck-bit:0x100:3"},
         {"-C", "KTR5200", "-F", "S29GL064M", "-w", "16", "-i", "1", "-fIMAGE"},
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x"},
         Ends::end_of_run,
         false},
    };

    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        Bytes image = pattern(0x400, 31);
        image[0x100] &= static_cast<uint8_t>(~(1u << 3));  // needs the stuck bit at 0
        const std::string paths[][2] = {
            {"IMAGE", dir.write("image.bin", image)},
            {"MISSING", (dir.path() / "missing.bin").string()},
            {"FOLDER", dir.path().string()},
            {"EMPTY", dir.write("empty.bin", {})},
        };
        auto place = [&paths](std::string text) {
            for (const auto& path : paths)
                for (size_t at; (at = text.find(path[0])) != std::string::npos;)
                    text.replace(at, path[0].size(), path[1]);
            return text;
        };

        SimSession probe(c.sim);
        const Bytes before = pattern(std::min<size_t>(probe.board().flash()->size_bytes(), 0x100000), 32);
        Args sim = c.sim;
        sim.insert(sim.end(), {"--flash-in", dir.write("before.bin", before), "--keys", ""});
        SimSession session(sim);
        ASSERT_TRUE(session.ok()) << session.error();
        Args tool;
        for (const std::string& arg : c.tool)
            tool.push_back(place(arg));
        SimRun run = session.run(tool);

        std::vector<std::string> lines;
        for (const std::string& line : c.lines)
            lines.push_back(place(line));
        size_t from = 0;
        for (const std::string& line : lines) {
            size_t at = run.console.find(line, from);
            EXPECT_NE(at, std::string::npos) << "\"" << line << "\" in\n" << run.console.substr(0, 4000);
            if (at != std::string::npos)
                from = at + line.size();
        }
        EXPECT_FALSE(has(run.console, "verifying OK"));
        EXPECT_FALSE(has(run.console, "Verifying OK"));
        EXPECT_FALSE(has(run.console, "elapsed time"));
        EXPECT_FALSE(has(run.console, "Select your flash model"));
        // Every failure is status 1; only how the cable is left differs.
        EXPECT_EQ(run.status, 1);
        if (c.ends == Ends::quit) {
            EXPECT_EQ(session.board().tap().state(), sim::TapState::TestLogicReset);
        } else {
            EXPECT_NE(session.board().tap().state(), sim::TapState::TestLogicReset);
        }
        if (c.flash_untouched) {
            EXPECT_FALSE(has(run.console, "Flash erasing"));
            EXPECT_EQ(first_difference(session.board().flash()->contents(),
                                       expected_flash(before, session.board().flash()->size_bytes(), 0, 0, 0, {})),
                      "");
        }
        EXPECT_EQ(run.stats.rule_violations, 0u);
    }
}

// A slow ignored erase over a block blank but for a word outside the sample: only --verify-erase sees it.
TEST(ProgrammingFailures, VerifyEraseFindsAWordTheSampleMissed)
{
    ScratchDir dir;
    Bytes before(0x100000, 0xFF);
    before[0x10002] = 0x12;
    const Args sim{"--fault", "ignore-erase:1", "--fault", "slow-erase:10000", "--flash-in",
                   dir.write("before.bin", before), "--keys", ""};
    EXPECT_EQ(run_sim(sim, with({"-b", "1", "-e", "0x10000"})).status, 0);
    SimRun checked = run_sim(sim, with({"-b", "1", "-e", "0x10000", "--verify-erase"}));
    EXPECT_EQ(checked.status, 1);
    EXPECT_TRUE(in_order(checked.console, {"\nChecking erased words: 0x00010000 to 0x0001FFFF\n",
                                           "\nErase check error at 0x00010002: flash 0xFF12\n",
                                           "\n1 of 32768 erased words are not blank\n"}));
}

TEST(ProgrammingFailures, ProgramErrorShowsTheWordAndItsReadBack)
{
    // The stuck bit keeps bit 3 of the byte at 0x100 high: the word there reads back with it set.
    ScratchDir dir;
    Bytes image = pattern(0x400, 33);
    image[0x100] = 0x00;
    image[0x101] = 0x5A;
    SimSession session({"--fault", "stuck-bit:0x100:3", "--keys", ""});
    SimRun run = session.run(with({"-f" + dir.write("i.bin", image)}));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(has(run.console, "\nProgram Error, Write: 0x5A00, Read: 0x5A08\n")) << run.console;
    // Everything before that word was written and verified.
    const Bytes flash = session.board().flash()->contents();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x100, flash.begin()));
    EXPECT_EQ(flash[0x102], 0xFF);
}

}  // namespace
