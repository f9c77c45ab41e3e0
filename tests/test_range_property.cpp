// SPDX-License-Identifier: Apache-2.0
// Random jobs on the virtual board over random flash contents. Whatever the CPU, model, set-up
// (named, or found by --detect), start address, start block, erase size and image, nothing outside
// the erase blocks of the requested range may change, and a job that reports success leaves the
// image in the flash and every other byte of its range erased, also when the board ignores the
// erase of one block.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/nor_models.h"
#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using namespace flash_job;
using Args = std::vector<std::string>;

constexpr uint32_t kSeed = 20261207;
constexpr int kJobs = 240;

// Chips the model menu does not list: found by --detect.
constexpr FlashWiring kDetectedOnly[] = {
    {"28F128J3", "16x1", nullptr, "16", "1"},
    {"28F128J3", "8x1", nullptr, "8", "1"},
    {"28F128J3", "8x2", nullptr, "8", "2"},
    {"28F256P30", "16x1", nullptr, "16", "1"},
};

// The erase units as the board's chips have them, in CPU addresses: two chips side by side
// double every unit; the SST part's block erase works on 64 KB.
std::vector<uint32_t> unit_starts(const sim::NorModel& chip, bool pair)
{
    std::vector<uint32_t> starts{0};
    const uint32_t scale = pair ? 2 : 1;
    if (chip.block_bytes != 0) {
        for (uint32_t a = chip.block_bytes; a <= chip.size_bytes; a += chip.block_bytes)
            starts.push_back(a * scale);
        return starts;
    }
    for (const sim::NorRegion& run : chip.sectors)
        for (uint32_t k = 0; k < run.count; ++k)
            starts.push_back(starts.back() + run.bytes * scale);
    return starts;
}

// The end of the unit that holds `address`.
uint64_t unit_end(const std::vector<uint32_t>& starts, uint64_t address)
{
    return *std::upper_bound(starts.begin(), starts.end() - 1, static_cast<uint32_t>(address));
}

TEST(RangeProperty, Seed20261207Jobs240NothingOutsideTheRangeChanges)
{
    std::mt19937 random(kSeed);
    auto pick = [&random](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    ScratchDir dir;
    const Bytes noise = pattern((32 << 20) + kJobs, kSeed);  // the flash before each job: random data
    int succeeded = 0;
    for (int job = 0; job < kJobs; ++job) {
        const uint32_t row = pick(std::size(kFlashWirings) + std::size(kDetectedOnly));
        const FlashWiring& w =
            row < std::size(kFlashWirings) ? kFlashWirings[row] : kDetectedOnly[row - std::size(kFlashWirings)];
        const char* cpu = kCpuNames[pick(4)];
        const sim::NorModel& chip = *sim::nor_model_find(w.sim_flash);
        const std::vector<uint32_t> units = unit_starts(chip, std::string(w.bus) == "8x2");
        const uint32_t device = units.back();
        const uint32_t count = static_cast<uint32_t>(units.size() - 1);

        // Mostly a unit start in the last few units (small jobs), sometimes a misaligned one.
        const uint32_t first = count > 4 ? count - 1 - pick(4) : pick(count);
        const uint32_t start = units[first] + (pick(8) == 0 ? 0x800 : 0);
        Args tool{"-C", cpu, "-o", std::to_string(start)};
        if (w.model == nullptr || pick(4) == 0) {
            // Found by what it answers; the P30 locks every block at power-up.
            tool.push_back("--detect");
            if (pick(2) == 0)
                tool.insert(tool.end(), {"-w", w.width, "-i", w.chips});
            if (pick(4) != 0)
                tool.push_back(pick(2) == 0 ? "--unlock" : "--unlock-all");
        } else {
            tool.insert(tool.end(), {"-F", w.model, "-w", w.width, "-i", w.chips});
        }
        int32_t block = 0;
        // -b counts from the first block of the device; -1 and past the table are refused.
        if (pick(3) == 0) {
            block = static_cast<int32_t>(pick(count + 2)) - 1;
            tool.push_back("-b" + std::to_string(static_cast<uint32_t>(block)));
        }
        // Whole-device erases only on the small chips: on the big ones they cost seconds.
        uint64_t erase = 0;
        bool erase_all = false;
        switch (pick(device > 0x100000 ? 2 : 5)) {
        case 0:
            break;
        case 1:
            erase = 1 + pick(0x30000);
            break;
        case 2:
            erase = 1 + pick(0x30000);
            break;
        case 3:
            erase = device;
            break;
        case 4:
            erase_all = true;
            break;
        }
        if (erase != 0)
            tool.push_back("-e" + std::to_string(erase));
        if (erase_all)
            tool.push_back("-eall");
        const Bytes image = pattern(pick(5) == 0 ? 0 : 1 + pick(0x300), static_cast<uint32_t>(job));
        if (!image.empty() || pick(2) == 0)
            tool.push_back("-f" + dir.write("image.bin", image));
        const bool has_image = tool.back().rfind("-f", 0) == 0;

        Args board{"--cpu", cpu, "--flash", w.sim_flash, "--bus", w.bus, "--keys", ""};
        if (pick(4) == 0)
            board.insert(board.end(), {"--fault", "ignore-erase:" + std::to_string(pick(count))});
        SimSession session(board);
        const Bytes before(noise.begin() + job, noise.begin() + job + device);
        session.board().flash()->load(before);
        const SimRun run = session.run(tool);
        const Bytes after = session.board().flash()->contents();

        std::string label = "job " + std::to_string(job) + ":" + (board.size() > 8 ? " " + board[9] + " --" : "");
        for (const std::string& arg : tool)
            label += " " + arg;
        SCOPED_TRACE(label);

        // What the job may change: from the start (moved by -b) to the end of the unit that holds
        // the end of the erase range or of the image, or the whole chip.
        uint64_t at = start;
        if (block >= 0 && static_cast<uint32_t>(block) < count)
            at = start + units[static_cast<uint32_t>(block)];
        const uint64_t erase_end = at + std::max<uint64_t>(erase_all ? device : erase, image.size());
        uint64_t allowed_begin = at;
        uint64_t allowed_end = std::min<uint64_t>(device, unit_end(units, std::max<uint64_t>(erase_end, at + 1) - 1));
        allowed_end = std::max<uint64_t>(allowed_end, std::min<uint64_t>(device, (at + image.size() + 31) & ~31ull));
        if (erase_all || (at == 0 && erase == device))
            allowed_begin = 0, allowed_end = device;
        allowed_begin = std::min<uint64_t>(allowed_begin, device);
        allowed_end = std::max(allowed_end, allowed_begin);
        const bool below_kept =
            std::equal(before.begin(), before.begin() + static_cast<long>(allowed_begin), after.begin());
        const bool above_kept = std::equal(before.begin() + static_cast<long>(allowed_end), before.end(),
                                           after.begin() + static_cast<long>(allowed_end));
        EXPECT_TRUE(below_kept && above_kept)
            << "changed outside 0x" << std::hex << allowed_begin << "-0x" << allowed_end << "\n"
            << run.console.substr(0, 1500);
        const bool ok = has(run.console, "\nFlash writing & verifying OK\n") ||
                        has(run.console, "\nFlash erasing & Verifying OK\n");
        EXPECT_EQ(run.status == 0, ok) << run.console.substr(0, 1500);
        if (run.status == 0 && has_image && !image.empty()) {
            ++succeeded;
            EXPECT_TRUE(at + image.size() <= device &&
                        std::equal(image.begin(), image.end(), after.begin() + static_cast<long>(at)));
        }
        if (run.status == 0) {
            uint64_t not_blank = 0;
            for (uint64_t a = allowed_begin; a < allowed_end; ++a)
                not_blank += (a < at || a >= at + image.size()) && after[a] != 0xFF;
            EXPECT_EQ(not_blank, 0u) << "bytes of the range neither erased nor the image";
        }
        EXPECT_EQ(run.stats.rule_violations, 0u);
    }
    // The jobs are not all refusals.
    EXPECT_GT(succeeded, kJobs / 5);
}

// --update over random flash: each block of the range holds what the job wants, or more bits set
// than it wants (programmed over), or other bits (erased); every fourth job one block is protected.
// The range ends up holding the image and erased bytes, nothing outside it changes, the report
// counts the blocks of each kind, and a protected block refuses the job only when it differs.
TEST(RangeProperty, Seed20261207Updates24ChangeOnlyWhatDiffers)
{
    std::mt19937 random(kSeed);
    auto pick = [&random](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    ScratchDir dir;
    for (int job = 0; job < 24; ++job) {
        const FlashWiring& w = kFlashWirings[pick(std::size(kFlashWirings))];
        const std::vector<uint32_t> units = unit_starts(*sim::nor_model_find(w.sim_flash), std::string(w.bus) == "8x2");
        const uint32_t count = static_cast<uint32_t>(units.size() - 1);
        const uint32_t first = count - 1 - pick(std::min(count, 6u));
        const uint32_t last = std::min(count - 1, first + pick(2));
        const uint32_t start = units[first];
        const Bytes image = pattern(units[last] - start + 1 + pick(units[last + 1] - units[last]), job);
        Bytes wanted = image;
        wanted.resize(units[last + 1] - start, 0xFF);
        Bytes before = pattern(units.back(), kSeed + job);
        uint32_t kinds[3] = {};
        const int32_t protect = job % 4 == 0 ? static_cast<int32_t>(first + pick(last - first + 1)) : -1;
        bool refused = false;
        for (uint32_t u = first; u <= last; ++u) {
            // A protected block is equal in half of those jobs, and differs in the others.
            const bool guarded = static_cast<int32_t>(u) == protect;
            const uint32_t kind = guarded ? (job % 8 == 0 ? 0 : 1 + pick(2)) : pick(3);
            const uint32_t from = units[u] - start, to = units[u + 1] - start;
            for (uint32_t i = from; i < to; ++i)
                before[start + i] = kind == 0   ? wanted[i]
                                    : kind == 1 ? wanted[i] | static_cast<uint8_t>(random())
                                                : before[start + i];
            // One byte that surely differs: more bits set, or one bit the image wants set cleared.
            const uint32_t at = static_cast<uint32_t>(
                std::find_if(image.begin() + from, image.end(), [](uint8_t b) { return b != 0 && b != 0xFF; }) -
                image.begin());
            if (kind == 1)
                before[start + at] = 0xFF;
            if (kind == 2)
                before[start + at] = wanted[at] & (wanted[at] - 1);
            ++kinds[kind];
            refused |= guarded && kind != 0;
        }
        Args board{"--cpu", "KTR5200", "--flash", w.sim_flash, "--bus", w.bus, "--keys", ""};
        if (protect >= 0)
            board.insert(board.end(), {"--protect", std::to_string(protect)});
        SimSession session(board);
        session.board().flash()->load(before);
        const std::string report = (dir.path() / "report.json").string();
        const SimRun run =
            session.run({"-C", "KTR5200", "-F", w.model, "-w", w.width, "-i", w.chips, "-o", std::to_string(start),
                         "-f" + dir.write("image.bin", image), "--update", "--report", report});
        SCOPED_TRACE("job " + std::to_string(job) + ": " + w.sim_flash + " " + w.bus + " at " + std::to_string(start) +
                     ", protected " + std::to_string(protect));
        Bytes want = before;
        if (!refused)
            std::copy(wanted.begin(), wanted.end(), want.begin() + start);
        EXPECT_EQ(first_difference(session.board().flash()->contents(), want), "") << run.console.substr(0, 1500);
        EXPECT_EQ(run.status, refused ? 1 : 0) << run.console.substr(0, 1500);
        std::ifstream in(report);
        const nlohmann::json record = nlohmann::json::parse(in);
        if (!refused) {
            EXPECT_EQ(record["outcome"]["message"], "Flash writing & verifying OK");
        }
        EXPECT_EQ(record["job"]["update"],
                  nlohmann::json({{"unchanged", kinds[0]}, {"programmed_over", kinds[1]}, {"erased", kinds[2]}}));
        EXPECT_EQ(run.stats.rule_violations, 0u);
    }
}

// The image already in the flash: nothing is erased or written beyond what identifying the chip
// writes, as for a read of the same range.
TEST(RangeProperty, UpdateWithTheImageInPlaceWritesNothing)
{
    ScratchDir dir;
    Bytes flash = pattern(0x30000, 7);
    const Args tool{"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", "0x10000"};
    auto run = [&](const Args& more) {
        Args args = tool;
        args.insert(args.end(), more.begin(), more.end());
        return run_sim({"--flash-in", dir.write("flash.bin", flash), "--stats"}, args);
    };
    const SimRun update =
        run({"-f" + dir.write("image.bin", Bytes(flash.begin() + 0x10000, flash.begin() + 0x20000)), "--update"});
    const SimRun read = run({"-e", "0x10000", "--read", (dir.path() / "back.bin").string()});
    EXPECT_EQ(update.status, 0);
    EXPECT_TRUE(
        has(update.console, "\nBlocks: 1 unchanged, 0 programmed over, 0 erased\n\nFlash writing & verifying OK\n"));
    EXPECT_EQ(update.stats.bus_writes, read.stats.bus_writes);
}

// ESC while the one block that differs is programmed over: the stop line names that block alone.
TEST(RangeProperty, UpdateStoppedNamesOnlyTheBlocksChanged)
{
    ScratchDir dir;
    Bytes flash = pattern(0xFC000, 9);  // to the top boot block of 16 KB; 8 KB ones at 0xF8000, 0xFA000
    const Bytes image(flash.begin() + 0xF8000, flash.end());
    for (size_t i = 0xFA000; i < 0xFC000; ++i)
        flash[i] |= 0x80;
    const Args tool{"-C",
                    "KTR5200",
                    "-F",
                    "S29AL008D",
                    "-w",
                    "16",
                    "-i",
                    "1",
                    "-o",
                    "0xF8000",
                    "-f" + dir.write("image.bin", image),
                    "--update"};
    const std::string before = dir.write("flash.bin", flash);
    const SimRun whole = run_sim({"--flash-in", before}, tool);
    ASSERT_EQ(whole.status, 0) << whole.console;
    const SimRun stopped =
        run_sim({"--flash-in", before, "--key-after", std::to_string(whole.stats.dr_scans - 1000) + ":\\e"}, tool);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_TRUE(has(stopped.console, ": 0x000FA000 to 0x000FBFFF may be half-written\n")) << stopped.console;
}

}  // namespace
