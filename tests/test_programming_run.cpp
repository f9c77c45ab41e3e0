// SPDX-License-Identifier: Apache-2.0
// Whole programming runs on the virtual board: what ends up in the flash, and the
// console lines that frame each stage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using namespace flash_job;
using Args = std::vector<std::string>;

constexpr size_t kKB = 1024;
constexpr size_t kPreload = 1024 * kKB;  // the pattern covers at most this much of the flash

std::string hex(size_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%zX", value);
    return text;
}

// As the writing line shows an address.
std::string lower_hex(size_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%zx", value);
    return text;
}

// The flash's contents before the run: a pattern over its first megabyte.
Bytes preload_for(const char* flash, const char* bus)
{
    SimSession probe({"--flash", flash, "--bus", bus});
    size_t size = probe.board().flash()->size_bytes();
    return pattern(std::min(size, kPreload), 7);
}

Args sim_args(Args args, const std::string& flash_in)
{
    args.insert(args.end(), {"--flash-in", flash_in, "--keys", ""});
    return args;
}

// ---- every CPU, every flash model in each of its set-ups ----

struct SetupCase {
    const char* cpu;
    const char* flash;  // as the board knows it
    const char* bus;
    const char* model;  // as the tool is told
    const char* width;
    const char* chips;
    int region;          // chip-select region the flash sits on
    size_t start;        // offset in the flash where the image goes
    size_t image_bytes;  // odd lengths leave half a bus word to pad
    size_t erase_begin;  // the erase block that holds the start
    size_t erase_end;
    uint32_t mirror = 0;  // added to the addresses of the built-in row: a mirror far above the chip
};

// Block boundaries from the chips' sector maps: top-boot S29AL008D ends in 32K, 8K, 8K, 16K;
// bottom-boot parts start with 16K, 8K, 8K, 32K; two x8 chips double every block.
const SetupCase kSetups[] = {
    {"KTR5200", "S29AL008D:top", "16x1", "S29AL008D", "16", "1", 0, 0x10000, 0x801, 0x10000, 0x20000},
    {"KTR5200", "S29AL008D:top", "8x1", "S29AL008D", "8", "1", 0, 0xF8000, 0x401, 0xF8000, 0xFA000},
    {"KTR5200", "S29GL064M", "16x1", "S29GL064M", "16", "1", 0, 0x2000, 0x841, 0x2000, 0x4000},
    {"KTR5200", "EN29LV040A", "8x1", "EN29LV040A", "8", "1", 0, 0x10000, 0x401, 0x10000, 0x20000},
    {"KTR5200", "SST39VF6401", "16x1", "SST39VF6401", "16", "1", 0, 0x10000, 0x800, 0x10000, 0x20000},
    {"ULN", "S29AL008D:bottom", "8x1", "S29AL008D", "8", "1", 0, 0x4000, 0x401, 0x4000, 0x6000},
    {"ULN", "S29AL004D:top", "16x1", "S29AL004D", "16", "1", 0, 0x70000, 0x800, 0x70000, 0x78000},
    {"ULN", "AM29LV040B", "8x2", "AM29LV040B", "8", "2", 0, 0x20000, 0x801, 0x20000, 0x40000},
    {"ULN", "K8D6316", "16x1", "K8D6316", "16", "1", 2, 0, 0x800, 0, 0x2000},
    {"PAXON", "S29AL004D:bottom", "8x1", "S29AL004D", "8", "1", 0, 0x6000, 0x401, 0x6000, 0x8000},
    {"PAXON", "EN29LV040A", "8x2", "EN29LV040A", "8", "2", 0, 0, 0x800, 0, 0x20000},
    {"PAXON", "S29GL128N", "16x1", "S29GL128N", "16", "1", 0, 0x20000, 0x800, 0x20000, 0x40000},
    {"PAXON", "S29AL008D:top", "16x1", "S29AL008D", "16", "1", 1, 0xF0000, 0x800, 0xF0000, 0xF8000},
    {"MIRTA", "S29AL004D:bottom", "16x1", "S29AL004D", "16", "1", 0, 0, 0x800, 0, 0x4000},
    {"MIRTA", "AM29LV040B", "8x1", "AM29LV040B", "8", "1", 0, 0x70000, 0x401, 0x70000, 0x80000},
    {"MIRTA", "S29AL008D:bottom", "16x1", "S29AL008D", "16", "1", 3, 0x8000, 0x800, 0x8000, 0x10000},
    {"MIRTA", "S29AL004D:top", "8x1", "S29AL004D", "8", "1", 0, 0x7C000, 0x401, 0x7C000, 0x80000},
    // The chip decodes its own 20 address bits, and no CPU bit above its top address pin (ULN has
    // no A25 cell) reaches it: the same blocks again and again up to each region's end.
    {"KTR5200", "S29AL008D:top", "16x1", "S29AL008D", "16", "1", 7, 0xFC000, 0x800, 0xFC000, 0x100000, 0x1FF00000},
    {"KTR5200", "S29AL008D:top", "16x1", "S29AL008D", "16", "1", 6, 0xFC000, 0x800, 0xFC000, 0x100000, 0x1FF00000},
    {"ULN", "S29AL008D:top", "16x1", "S29AL008D", "16", "1", 0, 0, 0x800, 0, 0x10000, 0x2000000},
    {"PAXON", "S29AL008D:top", "16x1", "S29AL008D", "16", "1", 1, 0xF8000, 0x800, 0xF8000, 0xFA000, 0x1FF00000},
    {"MIRTA", "S29AL008D:bottom", "16x1", "S29AL008D", "16", "1", 3, 0, 0x800, 0, 0x4000, 0x1FF00000},
    // Named, though not in the menu: the generic Intel driver reads the rest from the CFI table.
    {"KTR5200", "28F128J3", "8x2", "28F128J3", "8", "2", 0, 0x40000, 0x801, 0x40000, 0x80000},
};

void PrintTo(const SetupCase& c, std::ostream* out) { *out << c.cpu << " with " << c.flash << " on " << c.bus; }

class EverySetup : public testing::TestWithParam<SetupCase> {};

// The CPU's BSDL file and the bus map of the set-up (the flash's own addresses, its region's chip
// select), as the tool takes them.
Args bsdl_board(const SetupCase& c)
{
    std::string lower = c.cpu;
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string file = std::string(TARNFLASH_BOARDS_DIR) + "/" + lower;
    std::string map;
    std::getline(*std::make_unique<std::ifstream>(file +
                                                  (c.bus[0] == '1'   ? "-x16"
                                                   : c.bus[2] == '1' ? "-x8"
                                                                     : "-x8x2") +
                                                  ".bus"),
                 map);
    map.replace(map.find("nCS0"), 4, "nCS" + std::to_string(c.region));
    return {"--bsdl", file + ".bsd", "--bus", map};
}

// The job through the built-in row, or through the CPU's BSDL file and the bus map of the
// set-up, on any cable.
void run_setup(const SetupCase& c, bool bsdl, const char* cable)
{
    ScratchDir dir;
    const Bytes before = preload_for(c.flash, c.bus);
    const Bytes image = pattern(c.image_bytes, 3);
    const std::string image_path = dir.write("image.bin", image);
    const uint32_t base = bsdl ? 0 : (static_cast<uint32_t>(c.region) << 29) + c.mirror;

    Args board = {"--flash", c.flash, "--bus", c.bus, "--region", std::to_string(c.region)};
    const Args cpu = bsdl ? bsdl_board(c) : Args{"--cpu", c.cpu};
    board.insert(board.end(), cpu.begin(), cpu.end());
    if (cable != nullptr)
        board.insert(board.end(), {"--cable", cable});
    SimSession session(sim_args(board, dir.write("before.bin", before)));
    ASSERT_TRUE(session.ok()) << session.error();
    Args tool = {"-F", c.model, "-w", c.width, "-i", c.chips, "-o", hex(base + c.start), "-f" + image_path};
    const Args tool_cpu = bsdl ? cpu : Args{"-C", c.cpu};
    tool.insert(tool.begin(), tool_cpu.begin(), tool_cpu.end());
    SimRun run = session.run(tool);

    EXPECT_EQ(run.status, 0) << run.console.substr(0, 3000);
    char erase_line[64];
    std::snprintf(erase_line, sizeof erase_line, "\nFlash erasing ...., Start: 0x%08zX", base + c.erase_begin);
    // Odd sizes end on a padded word or buffer, but the counter stops at the image's size.
    char final_line[64];
    std::snprintf(final_line, sizeof final_line, "\nWrite: %8zu / %zu [Byte]\n", c.image_bytes, c.image_bytes);
    EXPECT_TRUE(
        in_order(run.console, {"Maker ID = 0x", erase_line, "\nWriting address: " + lower_hex(base + c.start) + "\n",
                               final_line, "\nFlash writing & verifying OK\n\n", "\nWrite elapsed time:  "}));
    EXPECT_EQ(run.stats.rule_violations, 0u);
    const size_t size = session.board().flash()->size_bytes();
    EXPECT_EQ(first_difference(session.board().flash()->contents(),
                               expected_flash(before, size, c.erase_begin, c.erase_end, c.start, image)),
              "");
}

TEST_P(EverySetup, WritesTheImageAndLeavesOtherBlocksAlone) { run_setup(GetParam(), false, nullptr); }

// The same flash contents from the BSDL file: half of the set-ups on each cable.
TEST_P(EverySetup, TheSameThroughTheCpusBsdlFile)
{
    run_setup(GetParam(), true, (&GetParam() - kSetups) % 2 == 1 ? "ftdi" : nullptr);
}

// And through a J-Link or a Linux GPIO chip: half of the set-ups on each.
TEST_P(EverySetup, TheSameThroughAJlinkOrGpioLines)
{
    run_setup(GetParam(), false, (&GetParam() - kSetups) % 2 == 1 ? "jlink" : "gpio");
}

std::string setup_name(const testing::TestParamInfo<SetupCase>& info)
{
    std::string name = std::string(info.param.cpu) + "_" + info.param.flash + "_" + info.param.bus +
                       (info.param.mirror ? "_mirror" + std::to_string(info.param.region) : "");
    std::replace_if(
        name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Boards, EverySetup, testing::ValuesIn(kSetups), setup_name);

TEST(ProgrammingRun, OnlyTheTwoWriteBufferChipsUseTheBuffer)
{
    // A word alone takes four bus writes; a buffer of sixteen words takes twenty-one.
    const struct {
        const char* flash;
        bool buffered;
    } cases[] = {
        {"S29GL064M", true},
        {"S29GL128N", true},
        {"K8D6316", false},
        {"SST39VF6401", false},
    };
    ScratchDir dir;
    const Bytes image = pattern(0x800, 4);
    const std::string image_path = dir.write("i.bin", image);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flash);
        SimSession session({"--flash", c.flash, "--keys", ""});
        SimRun run = session.run({"-C", "KTR5200", "-F", c.flash, "-w", "16", "-i", "1", "-f" + image_path});
        EXPECT_EQ(run.status, 0);
        const uint64_t words = image.size() / 2;
        if (c.buffered)
            EXPECT_LT(run.stats.bus_writes, 2 * words);
        else
            EXPECT_GE(run.stats.bus_writes, 4 * words);
        EXPECT_EQ(first_difference(session.board().flash()->contents(),
                                   expected_flash({}, session.board().flash()->size_bytes(), 0, 0, 0, image)),
                  "");
    }
}

// A chip four times slower than typical, at 30 MHz TCK: the next commands reach it while a word
// or a buffer is still being programmed. The chip ignores them; they read back wrong, are written
// again, and the job ends with every word verified.
TEST(ProgrammingRun, WritesThatFindTheChipBusyAreRetried)
{
    ScratchDir dir;
    const Bytes image = pattern(0x2000, 23);
    const std::string image_path = dir.write("i.bin", image);
    for (const char* flash : {"S29GL064M", "S29AL008D"}) {
        SCOPED_TRACE(flash);
        SimSession session({"--cable", "ftdi", "--flash", flash, "--fault", "slow-program:4", "--keys", ""});
        SimRun run = session.run(
            {"-C", "KTR5200", "-F", flash, "-w", "16", "-i", "1", "--tck-hz", "30000000", "-f" + image_path});
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_TRUE(has(run.console, "\nFlash writing & verifying OK\n"));
        const sim::NorChip& chip = session.board().flash()->chip(0);
        EXPECT_GT(chip.counters().ignored_while_busy, 0u);
        // The tool learns the chip's pace: once it has, no write goes unheard (without it a word
        // chip loses every other word, a third of the writes).
        EXPECT_LT(4 * chip.counters().ignored_while_busy, run.stats.bus_writes);
        EXPECT_EQ(chip.mode(session.board().now_ns()), sim::NorChip::Mode::read_array);
        EXPECT_EQ(run.stats.rule_violations, 0u);
        EXPECT_EQ(first_difference(session.board().flash()->contents(),
                                   expected_flash({}, session.board().flash()->size_bytes(), 0, 0, 0, image)),
                  "");
    }
}

// ---- the typical run ----

// Runs in `dir` so the image can be named as a user would.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~InFolder() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

TEST(ProgrammingRun, TypicalRunFillsTheWholeChip)
{
    ScratchDir dir;
    const Bytes image = pattern(1024 * kKB, 11);
    dir.write("image.bin", image);
    InFolder here(dir.path());

    SimSession session({"--cpu", "KTR5200", "--flash", "S29AL008D", "--keys", ""});
    SimRun run = session.run({"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-eall", "-f", "image.bin"});

    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(in_order(run.console, {
                                          "  ***********  TARN JTAG NOR  **********\n",
                                          "\nOK!, JTAG ID:   00011011010011100010000011010011\n",
                                          "Maker ID = 0x0001, Device ID = 0x22DA\n",
                                          "\nFlash erasing all ...., Start: 0x00000000\n",
                                          "\nWriting address: 0x0\n",
                                          "Write:   943720 / 1048576 [Byte]  90%, ",
                                          "Write:  1048576 / 1048576 [Byte]\n",
                                          "\nFlash writing & verifying OK\n\n",
                                          "\nWrite elapsed time:  ",
                                      }));
    EXPECT_FALSE(has(run.console, "Select your flash model name"));
    EXPECT_FALSE(has(run.console, "Enter flash"));
    EXPECT_EQ(std::count(run.console.begin(), run.console.end(), '\r'), 0) << "no redraws into a log";

    // The elapsed time is the virtual time of the run, whole seconds, ending the output.
    const size_t at = run.console.rfind("\nWrite elapsed time:  ");
    ASSERT_NE(at, std::string::npos);
    int minutes = -1;
    int seconds = -1;
    char end = 0;
    ASSERT_EQ(
        std::sscanf(run.console.c_str() + at, "\nWrite elapsed time:  %d[min] %d[sec]%c", &minutes, &seconds, &end), 3);
    EXPECT_EQ(end, '\n');
    EXPECT_EQ(run.console.size(), run.console.find('\n', at + 1) + 1);
    EXPECT_LT(seconds, 60);
    const long virtual_seconds = static_cast<long>(run.virtual_ns / 1'000'000'000u);
    EXPECT_LE(virtual_seconds - (minutes * 60L + seconds), 1) << minutes << " min " << seconds << " s";
    EXPECT_GE(virtual_seconds - (minutes * 60L + seconds), 0);
    EXPECT_GT(minutes, 20);  // half a million words at five scans each

    EXPECT_EQ(run.stats.rule_violations, 0u);
    EXPECT_EQ(first_difference(session.board().flash()->contents(), image), "");
}

// ---- start block, erase sizes and image sizes ----

struct BlockCase {
    const char* flash;
    const char* block;
    const char* erase;  // -e value, empty for none
    size_t start;       // where writing begins
    size_t erase_begin;
    size_t erase_end;
    bool chip_erase;
};

TEST(ProgrammingRun, StartBlock)
{
    const BlockCase cases[] = {
        // Chip erase first, then the image from the start of block 3.
        {"S29AL008D:top", "3", "all", 0x30000, 0, 0x100000, true},
        // Only the block that holds the image.
        {"S29AL008D:bottom", "3", "", 0x8000, 0x8000, 0x10000, false},
        // -e as large as the device from a later block: blocks from there on, not the chip.
        {"S29AL008D:top", "16", "0x100000", 0xF8000, 0xF8000, 0x100000, false},
        // No chip-erase time known: the whole device from block 130 on, block by block.
        {"S29GL064M", "130", "all", 0x7B0000, 0x7B0000, 0x800000, false},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(std::string(c.flash) + " -b " + c.block);
        ScratchDir dir;
        SimSession probe({"--flash", c.flash});
        const size_t size = probe.board().flash()->size_bytes();
        const Bytes before = pattern(size, 5);
        const Bytes image = pattern(0x400, 6);
        SimSession session({"--flash", c.flash, "--flash-in", dir.write("before.bin", before), "--keys", ""});
        const std::string model = std::string(c.flash).substr(0, std::string(c.flash).find(':'));
        Args tool{"-C", "KTR5200", "-F", model, "-w", "16", "-i", "1", "-b", c.block, "-f" + dir.write("i.bin", image)};
        if (*c.erase)
            tool.push_back(std::string("-e") + c.erase);
        SimRun run = session.run(tool);

        EXPECT_EQ(run.status, 0) << run.console.substr(0, 3000);
        char start_line[64];
        std::snprintf(start_line, sizeof start_line, "Start: 0x%08zX", c.chip_erase ? c.start : c.erase_begin);
        EXPECT_TRUE(in_order(run.console, {c.chip_erase ? "\nFlash erasing all ...., " : "\nFlash erasing ...., ",
                                           start_line, "\nWriting address: " + lower_hex(c.start) + "\n",
                                           "\nFlash writing & verifying OK\n\n"}));
        EXPECT_EQ(first_difference(session.board().flash()->contents(),
                                   expected_flash(before, size, c.erase_begin, c.erase_end, c.start, image)),
                  "");
        EXPECT_EQ(run.stats.rule_violations, 0u);
    }
}

TEST(ProgrammingRun, EraseSmallerThanTheImage)
{
    // Bottom boot: 8K blocks at 0x4000 and 0x6000. -e covers the first; the image runs into the second.
    ScratchDir dir;
    const Bytes image = pattern(0x2400, 8);
    const std::string image_path = dir.write("i.bin", image);
    const Args tool{"-C",     "KTR5200", "-F",     "S29AL008D",      "-w", "16", "-i", "1", "-o",
                    "0x4000", "-e",      "0x1000", "-f" + image_path};

    // Erased flash beyond the erase range takes the image as well.
    SimSession clean({"--flash", "S29AL008D:bottom", "--keys", ""});
    SimRun ok = clean.run(tool);
    EXPECT_EQ(ok.status, 0);
    EXPECT_TRUE(in_order(ok.console, {"Flash needs 1 Blocks\n", "\nFlash writing & verifying OK\n\n"}));
    EXPECT_EQ(first_difference(clean.board().flash()->contents(), expected_flash({}, 0x100000, 0, 0, 0x4000, image)),
              "");

    // Old data there: the first word that needs a 0 turned back into 1 fails its verification.
    const Bytes before(0x100000, 0x00);
    SimSession dirty({"--flash", "S29AL008D:bottom", "--flash-in", dir.write("zeros.bin", before), "--keys", ""});
    SimRun bad = dirty.run(tool);
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(in_order(bad.console, {"Flash needs 1 Blocks\n", "\nProgram Error, Write: 0x"}));
    EXPECT_FALSE(has(bad.console, "verifying OK"));
    EXPECT_FALSE(has(bad.console, "elapsed time"));
    // Read back as old AND new, which is 0 over zeros.
    const size_t first_ones = 0x2000;  // first image word in the block that was not erased
    char line[64];
    std::snprintf(line, sizeof line, "\nProgram Error, Write: 0x%X, Read: 0x0\n",
                  image[first_ones] | image[first_ones + 1] << 8);
    EXPECT_TRUE(has(bad.console, line)) << line;
}

TEST(ProgrammingRun, ImageSizeAgainstTheRoomFromTheStartBlock)
{
    // Top boot: block 18 is the last, 16 kKB at 0xFC000.
    const struct {
        const char* block;
        size_t bytes;
        bool fits;
    } cases[] = {
        {"18", 0x4000, true},
        {"18", 0x4001, false},
        {"0", 0x100001, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("-b ") + c.block + ", " + hex(c.bytes) + " bytes");
        ScratchDir dir;
        const Bytes before = pattern(0x100000, 9);
        const Bytes image = pattern(c.bytes, 10);
        SimSession session({"--flash", "S29AL008D", "--flash-in", dir.write("b.bin", before), "--keys", ""});
        SimRun run = session.run({"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-b", c.block,
                                  "-f" + dir.write("i.bin", image)});
        const Bytes flash = session.board().flash()->contents();
        if (c.fits) {
            EXPECT_EQ(run.status, 0);
            EXPECT_TRUE(has(run.console, "\nFlash writing & verifying OK\n\n"));
            EXPECT_EQ(first_difference(flash, expected_flash(before, 0x100000, 0xFC000, 0x100000, 0xFC000, image)), "");
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(in_order(run.console, {"Maker ID = 0x0001, Device ID = 0x22DA\n",
                                               "Cannot download, file size is bigger than flash device size\n"}));
            EXPECT_FALSE(has(run.console, "Flash erasing"));
            EXPECT_EQ(session.board().tap().state(), sim::TapState::TestLogicReset);
            EXPECT_EQ(first_difference(flash, before), "");
        }
    }
}

// ---- erase-only runs ----

TEST(ProgrammingRun, EraseOnly)
{
    const struct {
        const char* flash;
        Args options;
        const char* erase_line;
        size_t erase_begin;
        size_t erase_end;
    } cases[] = {
        {"S29AL008D",
         {"-o", "0x20000", "-e", "0x10000"},
         "\nFlash erasing ...., Start: 0x00020000, Size: 0x10000\n",
         0x20000,
         0x30000},
        // Past the end of the flash the range stops there, and says so.
        {"S29AL008D",
         {"-o", "0xF0000", "-e", "0x20000"},
         "The erase stops at the end of the flash, 0x000FFFFF: 0x10000 of the 0x20000 bytes asked for from "
         "0x000F0000\n",
         0xF0000,
         0x100000},
        {"S29AL008D", {"-eall"}, "Erasing ALL\n", 0, 0x100000},
        {"EN29LV040A", {"-eall"}, "Erasing ALL\n", 0, 0x80000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flash) + " " + c.options.back());
        ScratchDir dir;
        SimSession probe({"--flash", c.flash});
        const size_t size = probe.board().flash()->size_bytes();
        const Bytes before = pattern(size, 12);
        SimSession session({"--flash", c.flash, "--flash-in", dir.write("b.bin", before), "--keys", ""});
        const std::string width = std::string(c.flash) == "EN29LV040A" ? "8" : "16";
        Args tool{"-C", "KTR5200", "-F", c.flash, "-w", width, "-i", "1"};
        tool.insert(tool.end(), c.options.begin(), c.options.end());
        SimRun run = session.run(tool);

        EXPECT_EQ(run.status, 0);
        // The OK line comes only after the erase has finished, and only the time follows it.
        EXPECT_TRUE(in_order(run.console, {c.erase_line, "\nFlash erasing & Verifying OK\n\nErase elapsed time:  "}));
        EXPECT_TRUE(run.console.ends_with("[sec]\n"));
        EXPECT_EQ(session.board().tap().state(), sim::TapState::TestLogicReset);
        EXPECT_EQ(first_difference(session.board().flash()->contents(),
                                   expected_flash(before, size, c.erase_begin, c.erase_end, 0, {})),
                  "");
    }
}

TEST(ProgrammingRun, ChipEraseThatNeverFinishesEndsTheRun)
{
    // Thirty times the typical chip-erase time outlasts the fixed wait and the chip's maximum.
    ScratchDir dir;
    const std::string image = dir.write("i.bin", pattern(0x100, 13));
    for (bool with_image : {false, true}) {
        SCOPED_TRACE(with_image ? "with an image" : "erase only");
        SimSession session({"--flash", "EN29LV040A", "--fault", "slow-erase:30", "--keys", ""});
        Args tool{"-C", "KTR5200", "-F", "EN29LV040A", "-w", "8", "-i", "1", "-eall"};
        if (with_image)
            tool.push_back("-f" + image);
        SimRun run = session.run(tool);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(
            in_order(run.console, {"\nFlash erasing all ...., Start: 0x00000000\n", "\nErase Error, ADDR  0x00000000\n",
                                   "The chip erase did not finish in the time allowed: the chip's typical time is 5000 "
                                   "ms, its maximum 80000 ms\n"}));
        EXPECT_FALSE(has(run.console, "Erasing ALL"));
        EXPECT_FALSE(has(run.console, "Verifying OK"));
        EXPECT_FALSE(has(run.console, "Writing address"));
        EXPECT_FALSE(has(run.console, "verifying OK"));
        EXPECT_FALSE(has(run.console, "elapsed time"));
    }
}

// ---- start addresses the run refuses ----

TEST(ProgrammingRun, MisalignedStartIsRefusedBeforeErasing)
{
    const struct {
        const char* flash;
        const char* start;
    } cases[] = {
        {"S29AL008D:top", "0x11000"},    // inside the second 64K block
        {"S29AL008D:top", "0x8000"},     // inside the first 64K block
        {"S29AL008D:bottom", "0x5000"},  // inside the 8K block at 0x4000
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flash) + " -o " + c.start);
        ScratchDir dir;
        const Bytes before = pattern(0x100000, 14);
        SimSession session({"--flash", c.flash, "--flash-in", dir.write("b.bin", before), "--keys", ""});
        SimRun run = session.run({"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", c.start, "-e",
                                  "0x100", "-f" + dir.write("i.bin", pattern(0x100, 15))});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(in_order(run.console, {"Maker ID = 0x0001", "Not alignd writing address\n"}));
        EXPECT_FALSE(has(run.console, "Flash erasing"));
        EXPECT_NE(session.board().tap().state(), sim::TapState::TestLogicReset);
        EXPECT_EQ(first_difference(session.board().flash()->contents(), before), "");
    }
}

TEST(ProgrammingRun, RegionWithoutChipSelectIsRefusedBeforeAnyScan)
{
    const struct {
        const char* cpu;
        const char* start;
        const char* line;
    } cases[] = {
        {"PAXON", "0xE0000000", "No chip select for address 0xE0000000 on this CPU\n"},
        {"MIRTA", "0xE0000000", "No chip select for address 0xE0000000 on this CPU\n"},
        {"MIRTA", "0xFFFF0000", "No chip select for address 0xFFFF0000 on this CPU\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cpu) + " -o " + c.start);
        ScratchDir dir;
        SimRun run =
            run_sim({"--cpu", c.cpu, "--keys", ""}, {"-C", c.cpu, "-F", "S29AL008D", "-w", "16", "-i", "1", "-o",
                                                     c.start, "-f" + dir.write("i.bin", pattern(0x100, 16))});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(has(run.console, c.line)) << run.console;
        EXPECT_FALSE(has(run.console, "JTAG ID"));
        EXPECT_EQ(run.stats.ir_scans, 0u);
        EXPECT_EQ(run.stats.dr_scans, 0u);
    }
}

// ---- ESC ----

TEST(ProgrammingRun, EscDuringProgrammingEndsWithStatusOne)
{
    ScratchDir dir;
    const Bytes image = pattern(0x400, 17);
    const Args tool{"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f" + dir.write("i.bin", image)};

    SimRun whole = run_sim({"--keys", ""}, tool);
    ASSERT_EQ(whole.status, 0);

    // ESC arrives some sixty words before the last is written: the chip is programmed in unlock
    // bypass, four scans a word, in runs of 256 words; the last run's read-back and the end of the
    // job take some 270 scans more.
    SimSession session({"--key-after", std::to_string(whole.stats.dr_scans - 270 - 4 * 60) + ":\\e"});
    SimRun run = session.run(tool);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(has(run.console, "\nWriting address: 0x0\n"));
    EXPECT_FALSE(has(run.console, "verifying OK"));
    EXPECT_FALSE(has(run.console, "elapsed time"));
    EXPECT_TRUE(has(run.console, "\nStopped by ESC at 0x00000")) << run.console;
    EXPECT_TRUE(run.console.ends_with(": 0x00000000 to 0x0000FFFF may be half-written\n")) << run.console;
    EXPECT_EQ(session.board().tap().state(), sim::TapState::TestLogicReset);
    const Bytes flash = session.board().flash()->contents();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x200, flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x3E0, flash.begin() + 0x400, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(session.board().flash()->chip(0).mode(session.board().now_ns()), sim::NorChip::Mode::read_array)
        << "out of unlock bypass";
}

// An Intel-style chip stopped between two runs of buffers is left in read array, not in status mode.
TEST(ProgrammingRun, EscDuringIntelProgrammingLeavesReadArray)
{
    ScratchDir dir;
    const Bytes image = pattern(0x1000, 23);
    const Args tool{"-C", "KTR5200", "--detect", "--unlock", "-f" + dir.write("i.bin", image)};
    SimRun whole = run_sim({"--flash", "28F256P30", "--keys", ""}, tool);
    ASSERT_EQ(whole.status, 0);
    SimSession session({"--flash", "28F256P30", "--key-after", std::to_string(whole.stats.dr_scans / 2) + ":\\e"});
    SimRun run = session.run(tool);
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(has(run.console, "verifying OK"));
    const Bytes flash = session.board().flash()->contents();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x200, flash.begin()));
    EXPECT_EQ(flash[0xFFF], 0xFF);
    EXPECT_EQ(session.board().flash()->intel_chip(0).mode(), sim::IntelChip::Mode::read_array);
}

TEST(ProgrammingRun, EscDuringBlockEraseEndsTheRun)
{
    // Two blocks asked for; ESC is waiting from the start and is seen after the first.
    ScratchDir dir;
    const Bytes before = pattern(0x100000, 18);
    const Bytes image = pattern(0x400, 19);
    for (bool with_image : {false, true}) {
        SCOPED_TRACE(with_image ? "with an image" : "erase only");
        SimSession session({"--flash-in", dir.write("b.bin", before), "--keys", "\\e"});
        Args tool{"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-e", "0x20000"};
        if (with_image)
            tool.push_back("-f" + dir.write("i.bin", image));
        SimRun run = session.run(tool);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(in_order(run.console, {"Flash needs 2 Blocks\n", "   1th Block, 0x00000000 "}));
        EXPECT_FALSE(has(run.console, "2th Block"));
        EXPECT_FALSE(has(run.console, "erifying OK"));
        EXPECT_FALSE(has(run.console, "Writing address"));
        EXPECT_TRUE(
            run.console.ends_with("\nStopped by ESC at 0x00000000: 0x00000000 to 0x0001FFFF may be half-written\n"))
            << run.console;
        EXPECT_EQ(session.board().tap().state(), sim::TapState::TestLogicReset);
        EXPECT_EQ(
            first_difference(session.board().flash()->contents(), expected_flash(before, 0x100000, 0, 0x10000, 0, {})),
            "");
    }
}

}  // namespace

namespace {

// --detect on every CPU and every wiring of every chip: the built-in models by their codes, the
// others by their CFI table; the image lands at 0 and the found line names the set-up.
TEST(ProgrammingRun, DetectFindsEveryChipOnEveryCpuAndSetup)
{
    struct Chip {
        const char* sim_flash;
        const char* bus;
        const char* found;  // from "Found " to the set-up
    };
    std::vector<Chip> chips = {{"28F128J3", "16x1", "CFI flash: maker 0x0089, device 0x0018, 16384 KB, Intel/Sharp"},
                               {"28F128J3", "8x1", "CFI flash: maker 0x0089, device 0x0018, 16384 KB, Intel/Sharp"},
                               {"28F128J3", "8x2", "CFI flash: maker 0x8989, device 0x1818, 32768 KB, Intel/Sharp"},
                               {"28F256P30", "16x1", "CFI flash: maker 0x0089, device 0x891C, 32768 KB, Intel/Sharp"},
                               // Set-ups no built-in model has: the generic AMD driver, buffer and all.
                               {"S29GL064M", "8x1", "CFI flash: maker 0x0001, device 0x007E, 8192 KB, AMD"},
                               {"S29GL128N", "8x2", "CFI flash: maker 0x0101, device 0x7E7E, 32768 KB, AMD"},
                               {"K8D6316", "8x2", "CFI flash: maker 0xECEC, device 0xE2E2, 16384 KB, AMD"}};
    for (const FlashWiring& w : kFlashWirings)
        chips.push_back({w.sim_flash, w.bus, w.model});
    ScratchDir dir;
    const Bytes image = pattern(0x300, 41);
    const std::string path = dir.write("image.bin", image);
    // Then through each CPU's BSDL file and the bus map of the chip's wiring: the map's data pins
    // fix the bus width, and the map counts the words of the set-up found.
    for (size_t pass = 0; pass < 2 * std::size(kCpuNames); ++pass)
        for (const Chip& c : chips) {
            const char* cpu = kCpuNames[pass % std::size(kCpuNames)];
            const bool bsdl = pass >= std::size(kCpuNames);
            SCOPED_TRACE(std::string(cpu) + " " + c.sim_flash + " " + c.bus + (bsdl ? " BSDL" : ""));
            SimSession session({"--cpu", cpu, "--flash", c.sim_flash, "--bus", c.bus, "--keys", ""});
            Args tool = bsdl ? bsdl_board({cpu, "", c.bus, "", "", "", 0, 0, 0, 0, 0}) : Args{"-C", cpu};
            tool.insert(tool.end(), {"--detect", "--unlock", "-f" + path});
            const SimRun run = session.run(tool);
            const std::string bus = c.bus;
            const std::string setup = " set-up " + bus + " (-w " + bus.substr(0, bus.find('x')) + " -i " +
                                      bus.substr(bus.find('x') + 1) + ")\n";
            EXPECT_TRUE(in_order(run.console, {std::string("Found ") + c.found, setup, "verifying OK"}));
            EXPECT_EQ(run.status, 0);
            const Bytes flash = session.board().flash()->contents();
            EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
            EXPECT_EQ(run.stats.rule_violations, 0u);
        }
}

}  // namespace
