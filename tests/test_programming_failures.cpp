// SPDX-License-Identifier: Apache-2.0
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
    Args tool;  // IMAGE, MISSING, FOLDER, EMPTY and BIG stand for scratch paths (attached to -f: they begin with '/')
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
         {"\nYour JTAG ID:   ", "Fail, Read JTAG ID\n",
          "IDCODE read 0xE1E1E1E0, expected 0x1B4E20D3 for KTR5200: a 1-bit BYPASS register answered: the CPU "
          "there does not know KTR5200's IDCODE instruction (another CPU?)\n"},
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
         {"Cannot support flash programming for your flash setting\n-w '12': -w takes 8 or 16\n"},
         Ends::end_of_run,
         true},
        {"unknown model",
         {},
         {"-C", "KTR5200", "-F", "S29AL016D", "-w", "16", "-i", "1", "-fIMAGE"},
         {"Cannot support flash programming for your flash setting\n"
          "Supported flash models: S29AL008D, S29AL004D, EN29LV040A, AM29LV040B, S29GL064M, K8D6316, S29GL128N, "
          "SST39VF6401\n--detect finds the flash\n"},
         Ends::end_of_run,
         true},
        {"no flash answering",
         {"--fault", "no-flash"},
         with({"-fIMAGE"}),
         {"Cannot read flash ID or Unknow flash\n", "Your flash, Maker ID = 0x",
          "\nNothing answered at 0x00000000 (chip select 0, cell 116): the CPU, -o or the wiring may be wrong\n"},
         Ends::end_of_run,
         true},
        {"flash on another chip select",
         {"--region", "1"},
         with({"-fIMAGE"}),
         {"Nothing answered at 0x00000000 (chip select 0, cell 116): the CPU, -o or the wiring may be wrong\n"},
         Ends::end_of_run,
         true},
        // A code outside the built-in group, and a chip without a query table.
        {"no geometry",
         {},
         {"-C", "KTR5200", "-F", "S29GL064M", "-w", "16", "-i", "1", "-fIMAGE"},
         {"Maker ID = 0x0001, Device ID = 0x22DA\n", "Not defined FLASH Qeury INFO\n",
          "Device ID 0x22DA is the code of S29AL008D, not S29GL064M: try -F S29AL008D\n"},
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
        {"misaligned start",
         {},
         with({"-o", "0x10002", "-fIMAGE"}),
         {"Not alignd writing address\n",
          "The start must be on an erase block (0x10000 bytes here): the nearest are 0x00010000 and 0x00020000\n"},
         Ends::end_of_run,
         true},
        {"image past the end from a late block",
         {},
         with({"-b", "18", "-fBIG"}),
         {"Cannot download, file size is bigger than flash device size\n",
          "The image is 65536 bytes (0x10000); from 0x000FC000 the flash has 16384 (0x4000) left\n"},
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
        // In a mirror, but past its end: the chip would wrap the rest onto its first blocks.
        {"range past a mirror's end",
         {},
         with({"-o", "0x1FFFC000", "-fBIG"}),
         {"0x1FFFC000 is offset 0x000FC000 of the 1024 KB flash, which repeats every 0x100000 bytes\n",
          "Cannot download, file size is bigger than flash device size\n"},
         Ends::quit,
         true},
        // Moved by -b past the table that the start address gave: the chip would wrap it.
        {"start block past the end",
         {},
         with({"-o", "0xF0000", "-b", "18", "-fIMAGE"}),
         {"Device size: 1024[KBytes]\n", "Start 0x001EC000 is past the end of the flash: 1024 KB from 0x00000000\n"},
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
         {"Flash needs 1 Blocks\n", "\nErase Error, ADDR  0x00000000\n",
          "Block 0 at 0x00000000 did not finish erasing within the chip's maximum, 15000 ms\n"},
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
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x", "\nAt 0x00000100 in block 0: bit 3 stayed 1\n"},
         Ends::end_of_run,
         false},
        {"buffer program failed",
         {"--flash", "S29GL064M", "--fault", "stuck-bit:0x100:3"},
         {"-C", "KTR5200", "-F", "S29GL064M", "-w", "16", "-i", "1", "-fIMAGE"},
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x", "\nAt 0x00000100 in block 0: bit 3 stayed 1\n"},
         Ends::end_of_run,
         false},
        // Over USB several buffers are written before the first is read back.
        {"buffer program failed over USB",
         {"--cable", "ftdi", "--flash", "S29GL064M", "--fault", "stuck-bit:0x100:3"},
         {"-C", "KTR5200", "-F", "S29GL064M", "-w", "16", "-i", "1", "-fIMAGE"},
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x"},
         Ends::end_of_run,
         false},
        {"program failed over USB",
         {"--cable", "ftdi", "--fault", "stuck-bit:0x100:3"},
         with({"-fIMAGE"}),
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x"},
         Ends::end_of_run,
         false},
        // Seven seconds a word: the polls give up long before (5000 reads on a fast port).
        {"program slower than its bounds",
         {"--fault", "slow-program:1000000", "--port-ns", "100"},
         with({"-fIMAGE"}),
         {"\nWriting address: 0x0\n", "\nProgram Error, Write: 0x"},
         Ends::end_of_run,
         false},
        // Protection and lock bits: refused before any erase, the block named as -b counts it.
        {"protected sector",
         {"--protect", "3"},
         with({"-eall"}),
         {"Device size: 1024[KBytes]\n", "Block 3 at 0x00030000 is protected: refused before any erase\n"},
         Ends::end_of_run,
         true},
        {"locked block",
         {"--flash", "28F256P30"},
         {"-C", "KTR5200", "--detect", "-fIMAGE"},
         {"Found CFI flash: maker 0x0089, device 0x891C, 32768 KB, Intel/Sharp command set, set-up 16x1 (-w 16 -i 1)\n",
          "Block 0 at 0x00000000 is locked: refused before any erase (--unlock unlocks the range)\n"},
         Ends::end_of_run,
         true},
        {"locked-down block",
         {"--flash", "28F256P30", "--protect", "1"},
         {"-C", "KTR5200", "--detect", "--unlock", "-fIMAGE", "-e", "0x10000"},
         {"Block 1 at 0x00008000 is locked down: refused before any erase (only a reset lifts it)\n"},
         Ends::end_of_run,
         true},
        {"unlock that would unlock every block",
         {"--flash", "28F128J3", "--lock", "0"},
         {"-C", "KTR5200", "--detect", "--unlock", "-fIMAGE"},
         {"Block 0 at 0x00000000 is locked, and an unlock on this chip unlocks every block: give --unlock-all, or "
          "the whole device as the range\n"},
         Ends::end_of_run,
         true},
        {"job past the CPU's address pins",
         {"--cpu", "MIRTA", "--flash", "28F256P30"},
         {"-C", "MIRTA", "--detect", "--unlock", "-o", "0x1FC0000", "-fIMAGE"},
         {"The job ends at 0x01FDFFFF, past the 16384 KB that this CPU's 24 address pins reach\n"},
         Ends::end_of_run,
         true},
        {"read past the CPU's address pins",
         {"--cpu", "MIRTA", "--flash", "28F256P30"},
         {"-C", "MIRTA", "--detect", "-o", "0x1FC0000", "--read", "BACKUP"},
         {"The job ends at 0x01FFFFFF, past the 16384 KB that this CPU's 24 address pins reach\n"},
         Ends::end_of_run,
         true},
        {"verify past the CPU's address pins",
         {"--cpu", "MIRTA", "--flash", "28F256P30"},
         {"-C", "MIRTA", "--detect", "-o", "0x1FC0000", "--verify", "IMAGE"},
         {"The job ends at 0x01FC03FF, past the 16384 KB that this CPU's 24 address pins reach\n"},
         Ends::end_of_run,
         true},
        {"nothing detected",
         {"--fault", "no-flash"},
         {"-C", "KTR5200", "--detect", "-fIMAGE"},
         {"No flash answered with known codes or a CFI table in any set-up tried (16x1, 8x2, 8x1)\n"},
         Ends::end_of_run,
         true},
        {"nothing detected in the set-up asked for",
         {"--flash", "AM29LV040B", "--bus", "8x1"},
         {"-C", "KTR5200", "--detect", "-w", "16", "-fIMAGE"},
         {"No flash answered with known codes or a CFI table in any set-up tried (16x1)\n"},
         Ends::end_of_run,
         true},
        // The status register's error bits, each with its cause line.
        {"erase failed",
         {"--flash", "28F128J3", "--fault", "erase-fail"},
         {"-C", "KTR5200", "--detect", "-fIMAGE"},
         {"\nErase Error, ADDR  0x00000000\n", "Status register 0xA0: erase failed\n"},
         Ends::end_of_run,
         false},
        {"voltage low",
         {"--flash", "28F128J3", "--fault", "voltage-low"},
         {"-C", "KTR5200", "--detect", "-fIMAGE"},
         {"\nErase Error, ADDR  0x00000000\n", "Status register 0x88: program/erase voltage too low\n"},
         Ends::end_of_run,
         false},
        {"intel program failed",
         {"--flash", "28F128J3", "--fault", "program-fail"},
         {"-C", "KTR5200", "--detect", "-fIMAGE"},
         {"\nWriting address: 0x0\n", "\nProgram Error, ADDR: 0x0\n", "Status register 0x90: program failed\n"},
         Ends::end_of_run,
         false},
        {"intel erase ignored",
         {"--flash", "28F256P30", "--fault", "ignore-erase:1"},
         {"-C", "KTR5200", "--detect", "--unlock", "-b", "1", "-e", "0x8000"},
         {"\nErase Error, ADDR  0x00008000\n", "Block 1 (-b 1) at 0x00008000 is not blank after its erase: "},
         Ends::end_of_run,
         false},
        {"intel word did not program",
         {"--flash", "28F128J3", "--fault", "stuck-bit:0x100:3"},
         {"-C", "KTR5200", "--detect", "-fIMAGE"},
         {"\nProgram Error, Write: 0x", "\nAt 0x00000100 in block 0: bit 3 stayed 1\n"},
         Ends::end_of_run,
         false},
        {"command sequence error",
         {"--flash", "28F256P30", "--fault", "sequence-error"},
         {"-C", "KTR5200", "--detect", "--unlock", "-fIMAGE"},
         {"Unlocked 1 block from 0x00000000 to 0x00007FFF\n", "\nErase Error, ADDR  0x00000000\n",
          "Status register 0xB0: command sequence error\n"},
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
            {"BACKUP", (dir.path() / "backup.bin").string()},
            {"BIG", dir.write("big.bin", pattern(0x10000, 34))},
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
        // A block found not blank finished its erase: time is not to blame.
        EXPECT_FALSE(has(run.console, "not blank after its erase") && has(run.console, "did not finish"));
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
    // Everything before that word was written and verified, and nothing after its run (at most
    // 256 words from where it began).
    const Bytes flash = session.board().flash()->contents();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x100, flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x300, flash.begin() + 0x400, [](uint8_t b) { return b == 0xFF; }));
}

}  // namespace
