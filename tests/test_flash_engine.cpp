// SPDX-License-Identifier: Apache-2.0
// The flash engine against virtual chips: identification, geometry, erase and programming.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ranges>
#include <string>
#include <vector>

#include <csignal>

#include "flash/flash_geometry.h"
#include "flash/flash_intel.h"
#include "platform/interrupts.h"
#include "tests/support/direct_bus.h"

namespace {

using sim::FlashSetup;
using test_support::FlashRig;

constexpr uint32_t kKB = 1024;
constexpr int kEsc = 27;

struct Region {
    uint32_t blocks;
    uint32_t size;
};

struct ChipCase {
    const char* sim_name;
    FlashSetup setup;
    const char* tool_model;
    int32_t width;
    int32_t chips;
    uint16_t maker;
    uint16_t device;
    uint32_t device_size;
    std::vector<Region> regions;
};

std::string label(const ChipCase& c)
{
    return std::string(c.sim_name) + " " + std::to_string(c.width) + "x" + std::to_string(c.chips);
}

const std::vector<ChipCase>& chip_cases()
{
    static const std::vector<Region> al008_top = {{15, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}};
    static const std::vector<Region> al008_bottom = {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {15, 64 * kKB}};
    static const std::vector<Region> al004_top = {{7, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}};
    static const std::vector<Region> al004_bottom = {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {7, 64 * kKB}};
    static const std::vector<Region> gl064 = {{8, 8 * kKB}, {127, 64 * kKB}};
    static const std::vector<ChipCase> cases = {
        {"S29AL008D:top", FlashSetup::x16, "S29AL008D", 16, 1, 0x0001, 0x22DA, 1024 * kKB, al008_top},
        {"S29AL008D:bottom", FlashSetup::x16, "S29AL008D", 16, 1, 0x0001, 0x225B, 1024 * kKB, al008_bottom},
        {"S29AL008D:top", FlashSetup::x8, "S29AL008D", 8, 1, 0x01, 0xDA, 1024 * kKB, al008_top},
        {"S29AL008D:bottom", FlashSetup::x8, "S29AL008D", 8, 1, 0x01, 0x5B, 1024 * kKB, al008_bottom},
        {"S29AL004D:top", FlashSetup::x16, "S29AL004D", 16, 1, 0x0001, 0x22B9, 512 * kKB, al004_top},
        {"S29AL004D:bottom", FlashSetup::x16, "S29AL004D", 16, 1, 0x0001, 0x22BA, 512 * kKB, al004_bottom},
        {"S29AL004D:top", FlashSetup::x8, "S29AL004D", 8, 1, 0x01, 0xB9, 512 * kKB, al004_top},
        {"S29AL004D:bottom", FlashSetup::x8, "S29AL004D", 8, 1, 0x01, 0xBA, 512 * kKB, al004_bottom},
        {"EN29LV040A", FlashSetup::x8, "EN29LV040A", 8, 1, 0x1C, 0x4F, 512 * kKB, {{8, 64 * kKB}}},
        {"EN29LV040A", FlashSetup::x8x2, "EN29LV040A", 8, 2, 0x1C1C, 0x4F4F, 1024 * kKB, {{8, 128 * kKB}}},
        {"AM29LV040B", FlashSetup::x8, "AM29LV040B", 8, 1, 0x01, 0x4F, 512 * kKB, {{8, 64 * kKB}}},
        {"AM29LV040B", FlashSetup::x8x2, "AM29LV040B", 8, 2, 0x0101, 0x4F4F, 1024 * kKB, {{8, 128 * kKB}}},
        {"S29GL064M", FlashSetup::x16, "S29GL064M", 16, 1, 0x0001, 0x227E, 8192 * kKB, gl064},
        {"K8D6316", FlashSetup::x16, "K8D6316", 16, 1, 0x00EC, 0x22E2, 8192 * kKB, gl064},
        {"S29GL128N", FlashSetup::x16, "S29GL128N", 16, 1, 0x0001, 0x227E, 16384 * kKB, {{128, 128 * kKB}}},
        // Its sectors and blocks are two CFI regions over the same memory; the blocks count.
        {"SST39VF6401", FlashSetup::x16, "SST39VF6401", 16, 1, 0x00BF, 0x236B, 8192 * kKB, {{128, 64 * kKB}}},
    };
    return cases;
}

std::unique_ptr<FlashRig> make_rig(const ChipCase& c, sim::FlashFaults faults = {})
{
    auto rig = std::make_unique<FlashRig>(c.sim_name, c.setup, c.tool_model, c.width, c.chips, faults);
    EXPECT_TRUE(rig->model_ok) << label(c);
    return rig;
}

constexpr Status kOk = Status::ok;

// Identification and geometry at address 0, then back to read array, as a run does them.
Status identify(FlashRig& rig)
{
    FlashSession& s = rig.s();
    if (!flash_read_id(s, 0, s.model.maker_id_offset, s.model.device_id_offset).ok())
        return Status::refused;
    const Outcome result = flash_builtin_for(s) ? flash_builtin_geometry(s, 0) : flash_query_cfi(s, 0);
    flash_reset_cycle(s, 0);
    return result.status;
}

// The write-buffer routine or the word-at-a-time one.
Outcome program(FlashRig& rig, bool buffered, std::span<const uint8_t> image)
{
    return buffered ? flash_program_buffered(rig.s(), 0, image) : flash_program(rig.s(), 0, image);
}

std::vector<uint8_t> pattern(size_t length, uint8_t seed = 3)
{
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + seed);
    return bytes;
}

// ---------------------------------------------------------------- identification

TEST(FlashIdentify, EveryChipInEverySetUpGivesItsCodesAndBlocks)
{
    for (const ChipCase& c : chip_cases()) {
        auto rig = make_rig(c);
        ASSERT_EQ(identify(*rig), kOk) << label(c);
        EXPECT_EQ(rig->s().identity.maker_id, c.maker) << label(c);
        EXPECT_EQ(rig->s().identity.device_id, c.device) << label(c);
        EXPECT_EQ(rig->s().geometry.device_size, c.device_size) << label(c);
        EXPECT_EQ(rig->s().geometry.region_count, c.regions.size()) << label(c);

        uint32_t address = 0;
        int block = 0;
        for (const Region& r : c.regions) {
            for (uint32_t k = 0; k < r.blocks; ++k, ++block) {
                ASSERT_LT(block, rig->s().geometry.block_count) << label(c);
                EXPECT_EQ(rig->s().geometry.block_start[block], address) << label(c) << " block " << block;
                EXPECT_EQ(rig->s().geometry.block_size[block], r.size) << label(c) << " block " << block;
                address += r.size;
            }
        }
        EXPECT_EQ(rig->s().geometry.block_count, block) << label(c);
        EXPECT_EQ(rig->s().geometry.block_start[block], c.device_size) << label(c);
        // The blocks are the chip's own erase units, and the chip is left reading its array.
        EXPECT_EQ(address, rig->bank.size_bytes()) << label(c);
        EXPECT_EQ(rig->bank.chip(0).mode(rig->clock.ns), sim::NorChip::Mode::read_array) << label(c);

        // Reported as found: the four typical times, the regions, the device size.
        const std::vector<EngineEvent>& e = rig->host.events;
        ASSERT_EQ(e.size(), 4 + c.regions.size() + 1) << label(c);
        for (size_t r = 0; r < c.regions.size(); ++r) {
            EXPECT_EQ(e[4 + r].kind, EventKind::erase_region) << label(c);
            EXPECT_EQ(e[4 + r].block, static_cast<int32_t>(r)) << label(c);
            EXPECT_EQ(std::pair(e[4 + r].count, e[4 + r].total), std::pair(c.regions[r].blocks, c.regions[r].size))
                << label(c) << " region " << r;
        }
        EXPECT_EQ(e.back().kind, EventKind::device_size) << label(c);
        EXPECT_EQ(e.back().total, c.device_size) << label(c);
    }
}

TEST(FlashIdentify, TypicalTimesAreReported)
{
    // Chip case; word write, buffer write (us), block erase, chip erase (ms).
    const std::pair<size_t, std::vector<uint32_t>> cases[] = {
        {0, {7, 0, 1000, 14000}}, {9, {300, 0, 1000, 5000}}, {12, {128, 128, 1024, 0}}, {15, {16, 0, 16, 64}}};
    for (const auto& [chip, typical] : cases) {
        auto rig = make_rig(chip_cases()[chip]);
        ASSERT_EQ(identify(*rig), kOk);
        const std::vector<EngineEvent>& e = rig->host.events;
        EXPECT_EQ(rig->host.kinds()[0], EventKind::typical_word_write);
        EXPECT_EQ(std::vector({e[0].count, e[1].count, e[2].count, e[3].count}), typical) << label(chip_cases()[chip]);
    }
}

TEST(FlashIdentify, NoFlashAnswering)
{
    sim::FlashFaults faults;
    faults.no_flash = true;
    FlashRig rig("S29AL008D:top", FlashSetup::x16, "S29AL008D", 16, 1, faults);
    EXPECT_EQ(flash_read_id(rig.s(), 0, 0, 2).status, Status::refused);
    EXPECT_EQ(rig.s().identity.maker_id, 0xFFFF);
    EXPECT_EQ(rig.s().identity.device_id, 0xFFFF);
    EXPECT_EQ(rig.bus.chip_enabled(), false);
}

TEST(FlashIdentify, BuiltinGeometryRefusesAnUnknownCode)
{
    FlashRig rig("S29GL064M", FlashSetup::x16, "S29AL008D", 16, 1);
    rig.s().identity.device_id = 0x227E;
    EXPECT_EQ(flash_builtin_geometry(rig.s(), 0).status, Status::refused);
    EXPECT_EQ(rig.host.kinds(), std::vector{EventKind::device_id_unknown});
    EXPECT_EQ(rig.s().geometry.block_count, 0);
}

TEST(FlashIdentify, BlockTableStartsAtTheBaseRoundedDownToTheDevice)
{
    FlashRig rig("S29AL004D:top", FlashSetup::x16, "S29AL004D", 16, 1);
    rig.s().identity.device_id = 0x22B9;
    ASSERT_EQ(flash_builtin_geometry(rig.s(), 0x8009'0000).status, kOk);
    EXPECT_EQ(rig.s().geometry.block_start[0], 0x8008'0000u);
    EXPECT_EQ(rig.s().geometry.block_start[rig.s().geometry.block_count], 0x8010'0000u);
}

// CFI tables the virtual chips do not carry: a copy of the S29GL064M with one table edited.
struct CfiCase {
    const char* what;
    std::vector<std::pair<int, uint8_t>> edits;  // CFI address, value
    Status result;
    EventKind last;  // the last event: the device size, or why the table was refused
    uint32_t count;  // of a refusal's event
    int32_t blocks;
};

TEST(FlashIdentify, CfiDataIsCheckedBeforeUse)
{
    const CfiCase cases[] = {
        {"as read", {}, kOk, EventKind::device_size, 0, 135},
        {"size code 32", {{0x27, 0x20}}, Status::refused, EventKind::cfi_size_out_of_range, 0, 0},
        {"size code 255", {{0x27, 0xFF}}, Status::refused, EventKind::cfi_size_out_of_range, 0, 0},
        {"no regions", {{0x2C, 0}}, Status::refused, EventKind::cfi_no_regions, 0, 0},
        {"nine regions", {{0x2C, 9}}, Status::refused, EventKind::cfi_too_many_regions, 8, 0},
        {"regions short of the device", {{0x31, 0x7D}}, Status::refused, EventKind::cfi_regions_mismatch, 0, 0},
        {"regions past the device", {{0x27, 0x16}}, Status::refused, EventKind::cfi_regions_mismatch, 0, 0},
        // 16 MB as 4096 blocks of 4 kKB, then as 8192 blocks of 2 kKB.
        {"4096 blocks",
         {{0x27, 0x18}, {0x2C, 1}, {0x2D, 0xFF}, {0x2E, 0x0F}, {0x2F, 0x10}, {0x30, 0}},
         kOk,
         EventKind::device_size,
         0,
         4096},
        {"8192 blocks",
         {{0x27, 0x18}, {0x2C, 1}, {0x2D, 0xFF}, {0x2E, 0x1F}, {0x2F, 0x08}, {0x30, 0}},
         Status::refused,
         EventKind::too_many_blocks,
         8192,
         0},
    };
    const sim::NorModel& original = *sim::FlashBank::find_nor_model("S29GL064M");
    for (const CfiCase& c : cases) {
        std::vector<uint8_t> table(original.cfi.begin(), original.cfi.end());
        for (const auto& [address, value] : c.edits)
            table[static_cast<size_t>(address)] = value;
        sim::NorModel edited = original;
        edited.cfi = table;
        FlashRig rig(edited, FlashSetup::x16, "S29GL064M", 16, 1);
        EXPECT_EQ(flash_query_cfi(rig.s(), 0).status, c.result) << c.what;
        ASSERT_FALSE(rig.host.events.empty()) << c.what;
        EXPECT_EQ(rig.host.events.back().kind, c.last) << c.what;
        EXPECT_EQ(rig.host.events.back().count, c.count) << c.what;
        EXPECT_EQ(rig.s().geometry.block_count, c.blocks) << c.what;
        EXPECT_EQ(rig.bus.chip_enabled(), false) << c.what;
        EXPECT_EQ(rig.bank.chip(0).mode(rig.clock.ns), sim::NorChip::Mode::read_array) << c.what;
    }
}

TEST(FlashIdentify, ChipWithoutCfiRefusesTheQuery)
{
    FlashRig rig("S29AL008D:top", FlashSetup::x16, "S29AL008D", 16, 1);
    EXPECT_EQ(flash_query_cfi(rig.s(), 0).status, Status::refused);
    EXPECT_EQ(rig.host.kinds(), std::vector{EventKind::no_cfi_table});
    EXPECT_EQ(rig.bus.chip_enabled(), false);
}

// ---------------------------------------------------------------- erase

const ChipCase& bottom_boot_x16() { return chip_cases()[1]; }

std::unique_ptr<FlashRig> identified_rig(const ChipCase& c, sim::FlashFaults faults = {})
{
    auto rig = make_rig(c, faults);
    EXPECT_EQ(identify(*rig), kOk) << label(c);
    rig->bank.load(std::vector<uint8_t>(rig->bank.size_bytes(), 0x00));
    rig->host.events.clear();
    rig->bus.writes = 0;
    rig->bus.reads = 0;
    return rig;
}

// True when exactly the bytes in [from, to) are erased and the rest still hold 0.
::testing::AssertionResult erased_exactly(const FlashRig& rig, uint32_t from, uint32_t to)
{
    std::vector<uint8_t> bytes = rig.bank.contents();
    for (uint32_t i = 0; i < bytes.size(); ++i) {
        uint8_t want = (i >= from && i < to) ? 0xFF : 0x00;
        if (bytes[i] != want)
            return ::testing::AssertionFailure() << "byte " << i << " is " << int{bytes[i]};
    }
    return ::testing::AssertionSuccess();
}

struct RangeCase {
    const char* what;
    uint32_t start;
    uint32_t size;
    Status result;
    uint32_t erased_from;
    uint32_t erased_to;
    uint32_t blocks;  // the erase needs
};

TEST(FlashErase, BlockRanges)
{
    // Bottom boot: 16 kKB, 8 kKB, 8 kKB, 32 kKB, then 15 x 64 kKB.
    const RangeCase cases[] = {
        {"one block exactly", 0x10000, 0x10000, kOk, 0x10000, 0x20000, 1},
        {"one byte into the next block", 0x10000, 0x10001, kOk, 0x10000, 0x30000, 2},
        {"small blocks", 0, 0x9000, kOk, 0, 0x10000, 4},
        {"past the end", 0xE0000, 0x100000, kOk, 0xE0000, 0x100000, 2},
        {"size 0", 0x4000, 0, kOk, 0, 0, 0},
    };
    for (const RangeCase& c : cases) {
        auto rig = identified_rig(bottom_boot_x16());
        EXPECT_EQ(flash_erase_blocks(rig->s(), c.start, c.size).status, c.result) << c.what;
        EXPECT_TRUE(erased_exactly(*rig, c.erased_from, c.erased_to)) << c.what;
        ASSERT_EQ(rig->host.of(EventKind::erase_blocks_needed).size(), 1u) << c.what;
        EXPECT_EQ(rig->host.of(EventKind::erase_blocks_needed)[0].count, c.blocks) << c.what;
        EXPECT_EQ(rig->host.of(EventKind::block_erasing).size(), c.blocks) << c.what;
        EXPECT_EQ(rig->bus.chip_enabled(), false) << c.what;
    }
}

TEST(FlashErase, BlocksAreNumberedInTheWholeTableAndCountedInTheJob)
{
    auto rig = identified_rig(bottom_boot_x16());
    ASSERT_EQ(flash_erase_blocks(rig->s(), 0x4000, 0x1C000).status, kOk);
    const std::vector<EngineEvent>& e = rig->host.events;
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].kind, EventKind::erase_started);
    EXPECT_EQ(e[0].address, 0x4000u);
    EXPECT_EQ(e[0].count, 0x1C000u);
    const uint32_t starts[] = {0x4000, 0x6000, 0x8000, 0x10000};
    for (uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(e[2 + k].kind, EventKind::block_erasing);
        EXPECT_EQ(e[2 + k].block, static_cast<int32_t>(k + 1));
        EXPECT_EQ(e[2 + k].address, starts[k]);
        EXPECT_EQ(e[2 + k].count, k + 1);
    }
}

TEST(FlashErase, SizeZeroStillReturnsToReadArray)
{
    auto rig = identified_rig(bottom_boot_x16());
    EXPECT_EQ(flash_erase_blocks(rig->s(), 0x4000, 0).status, kOk);
    EXPECT_EQ(rig->bus.writes, 1u);
    EXPECT_EQ(rig->bus.reads, 0u);
}

TEST(FlashErase, StartOffABlockIsRefusedWithoutBusTraffic)
{
    for (uint32_t start : {0x10001u, 0x3FFFu, 0x100000u}) {
        auto rig = identified_rig(bottom_boot_x16());
        EXPECT_EQ(flash_erase_blocks(rig->s(), start, 0x1000).status, Status::refused) << start;
        EXPECT_EQ(rig->host.kinds(), (std::vector{EventKind::erase_started, EventKind::erase_start_unaligned}));
        EXPECT_EQ(rig->bus.writes + rig->bus.reads, 0u);
        EXPECT_TRUE(erased_exactly(*rig, 0, 0));
    }
}

TEST(FlashErase, EscStopsBetweenBlocksOtherKeysDoNot)
{
    auto rig = identified_rig(bottom_boot_x16());
    rig->platform.press(kEsc);
    const Outcome cancelled = flash_erase_blocks(rig->s(), 0x10000, 0x30000);
    EXPECT_EQ(cancelled.status, Status::cancelled);
    EXPECT_EQ(cancelled.address, 0x10000u);
    EXPECT_TRUE(erased_exactly(*rig, 0x10000, 0x20000));

    rig = identified_rig(bottom_boot_x16());
    rig->platform.press('x');
    rig->platform.press(' ');
    EXPECT_EQ(flash_erase_blocks(rig->s(), 0x10000, 0x30000).status, kOk);
    EXPECT_TRUE(erased_exactly(*rig, 0x10000, 0x40000));
}

TEST(FlashErase, SlowBlockFailsAndStopsTheRange)
{
    sim::FlashFaults slow;
    slow.slow_erase_factor = 100;
    auto rig = identified_rig(bottom_boot_x16(), slow);
    const Outcome failed = flash_erase_blocks(rig->s(), 0x10000, 0x20000);
    EXPECT_EQ(failed.status, Status::erase_failed);
    EXPECT_EQ(failed.address, 0x10000u);
    EXPECT_EQ(failed.block, 4);
    ASSERT_EQ(rig->host.of(EventKind::block_erase_not_done).size(), 1u);
    EXPECT_EQ(rig->host.of(EventKind::block_erase_not_done)[0].address, 0x10000u);
    EXPECT_EQ(rig->host.of(EventKind::block_erasing).size(), 1u) << "the next block is not begun";
    // Given up once both more than 5000 reads and the chip's 15 s maximum have passed.
    EXPECT_GT(rig->bus.reads, 5001u);
    EXPECT_GE(rig->clock.ns, 15'000'000'000u);
    EXPECT_LT(rig->clock.ns, 20'000'000'000u);
}

TEST(FlashErase, ChipEraseOfEveryChipCompletes)
{
    for (const ChipCase& c : chip_cases()) {
        auto rig = identified_rig(c);
        EXPECT_EQ(flash_erase_chip(rig->s(), 0).status, kOk) << label(c);
        EXPECT_EQ(rig->host.kinds(), std::vector{EventKind::chip_erased}) << label(c);
        EXPECT_TRUE(erased_exactly(*rig, 0, rig->bank.size_bytes())) << label(c);
        EXPECT_EQ(rig->bus.chip_enabled(), false) << label(c);
        EXPECT_GE(rig->clock.ns, 7'000'000'000u) << label(c);
    }
}

TEST(FlashErase, SlowChipEraseIsReportedWithinABound)
{
    sim::FlashFaults slow;
    slow.slow_erase_factor = 100;
    // Chip, and its typical chip-erase time in seconds.
    const std::pair<size_t, uint64_t> cases[] = {{0, 14}, {9, 4}, {12, 64}};
    for (const auto& [chip, typical_s] : cases) {
        const ChipCase& c = chip_cases()[chip];
        auto rig = identified_rig(c, slow);
        uint64_t begin = rig->clock.ns;
        EXPECT_EQ(flash_erase_chip(rig->s(), 0).status, Status::erase_failed) << label(c);
        EXPECT_EQ(rig->host.kinds(), std::vector{EventKind::erase_error}) << label(c);
        // Given up well after the typical time, and well before the slow chip would finish.
        uint64_t spent_s = (rig->clock.ns - begin) / 1'000'000'000;
        EXPECT_GT(spent_s, 2 * typical_s) << label(c);
        EXPECT_LT(spent_s, 100 * typical_s) << label(c);
    }
}

// The bank's second chip reports busy on DQ15 until `until_ns`: the erase must wait for it.
class SecondChipLags : public sim::BusDevice {
public:
    SecondChipLags(sim::FlashBank& bank, uint64_t until_ns) : bank_(bank), until_ns_(until_ns) {}
    void pins_changed(const sim::DevicePins& before, const sim::DevicePins& after, uint64_t now_ns) override
    {
        bank_.pins_changed(before, after, now_ns);
    }
    uint32_t data_out(const sim::DevicePins& pins, uint64_t now_ns, uint32_t& levels) const override
    {
        uint32_t driven = bank_.data_out(pins, now_ns, levels);
        if (now_ns < until_ns_)
            levels &= ~0x8000u;
        return driven;
    }

private:
    sim::FlashBank& bank_;
    uint64_t until_ns_;
};

TEST(FlashErase, TwoChipsSideBySideMustBothFinish)
{
    const ChipCase& pair = chip_cases()[11];  // AM29LV040B x8x2
    auto rig = identified_rig(pair);
    uint64_t until = rig->clock.ns + 4'000'000'000;
    SecondChipLags lagging(rig->bank, until);
    rig->bus.route(lagging);
    EXPECT_EQ(flash_erase_blocks(rig->s(), 0, 0x20000).status, kOk);
    EXPECT_GE(rig->clock.ns, until);
    EXPECT_TRUE(erased_exactly(*rig, 0, 0x20000));

    rig = identified_rig(pair);
    until = rig->clock.ns + 15'000'000'000;
    SecondChipLags lagging_chip(rig->bank, until);
    rig->bus.route(lagging_chip);
    EXPECT_EQ(flash_erase_chip(rig->s(), 0).status, kOk);
    EXPECT_GE(rig->clock.ns, until);
}

// ---------------------------------------------------------------- programming

struct ProgramCase {
    size_t chip;  // index into chip_cases()
    bool buffered;
};

TEST(FlashProgram, FlashHoldsTheImageAfterwards)
{
    const ProgramCase cases[] = {
        {0, false},  {2, false}, {4, false},  {8, false}, {9, false},
        {11, false}, {12, true}, {13, false}, {14, true}, {15, false},
    };
    for (const ProgramCase& pc : cases) {
        const ChipCase& c = chip_cases()[pc.chip];
        for (size_t length : {0u, 1u, 7u, 32u, 33u, 100u, 515u}) {
            auto rig = make_rig(c);
            std::vector<uint8_t> bytes = pattern(length, static_cast<uint8_t>(length));
            const Outcome result = program(*rig, pc.buffered, bytes);
            ASSERT_EQ(result.status, kOk) << label(c) << " length " << length;
            std::vector<uint8_t> flash = rig->bank.contents();
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash.begin())) << label(c) << " " << length;
            // Padding and everything after it stays erased.
            EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(length), flash.begin() + 4096,
                                    [](uint8_t b) { return b == 0xFF; }))
                << label(c) << " " << length;
            EXPECT_EQ(rig->bus.chip_enabled(), false);
        }
    }
}

TEST(FlashProgram, AtAnOffsetStartAddress)
{
    auto rig = make_rig(chip_cases()[0]);
    std::vector<uint8_t> bytes = pattern(64);
    ASSERT_EQ(flash_program(rig->s(), 0x30000, bytes).status, kOk);
    std::vector<uint8_t> flash = rig->bank.contents();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash.begin() + 0x30000));
    EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + 0x30000, [](uint8_t b) { return b == 0xFF; }));
}

// The job's opening event, then (done, total) of each progress event; the last one finishes.
::testing::AssertionResult progress_is(const test_support::RecordingHost& host, uint32_t start,
                                       const std::vector<std::pair<uint32_t, uint32_t>>& want)
{
    const std::vector<EngineEvent>& e = host.events;
    if (e.size() != want.size() + 1 || e[0].kind != EventKind::program_started || e[0].address != start)
        return ::testing::AssertionFailure() << e.size() << " events";
    for (size_t k = 0; k < want.size(); ++k) {
        const EngineEvent& p = e[k + 1];
        if (p.kind != EventKind::progress || p.count != want[k].first || p.total != want[k].second ||
            p.finished != (k + 1 == want.size()) || std::string(p.text) != "Write")
            return ::testing::AssertionFailure() << "progress " << k << ": " << p.count << " / " << p.total;
    }
    return ::testing::AssertionSuccess();
}

TEST(FlashProgram, ProgressAndTheFinishedJob)
{
    {
        auto rig = make_rig(chip_cases()[0]);
        ASSERT_EQ(flash_program(rig->s(), 0x4000, pattern(5)).status, kOk);
        EXPECT_TRUE(progress_is(rig->host, 0x4000, {{0, 5}, {2, 5}, {4, 5}, {6, 5}}));
    }
    {
        auto rig = make_rig(chip_cases()[12]);
        ASSERT_EQ(flash_program_buffered(rig->s(), 0, pattern(40)).status, kOk);
        EXPECT_TRUE(progress_is(rig->host, 0, {{0, 40}, {32, 40}, {64, 40}}));
    }
    for (bool buffered : {false, true}) {
        auto rig = make_rig(chip_cases()[12]);
        ASSERT_EQ(program(*rig, buffered, {}).status, kOk);
        EXPECT_TRUE(progress_is(rig->host, 0, {{0, 0}}));
        // Only the single-word routine ends with a reset cycle.
        EXPECT_EQ(rig->bus.writes, buffered ? 0u : 1u);
    }
}

TEST(FlashProgram, CyclesPerWordAndPerBuffer)
{
    // Per model, 100 words or 5 buffers of pattern(200): write cycles, and the reads that check them.
    // Words are programmed in runs read back at once, after one more read of the run's last word; a
    // word holding a bypass command in some chip's byte (pattern bytes 25 and 73) opens a run of its
    // own. Buffers are read back once each, without a poll.
    const struct {
        size_t chip;
        bool buffered;
        uint64_t writes;
        uint64_t reads;
    } cases[] = {
        {0, false, 3 + 2 * 100 + 2 + 1, 100 + 1},   // S29AL008D 16x1: one run
        {2, false, 3 + 2 * 199 + 2 + 1, 200 + 4},   // S29AL008D 8x1: four runs, byte 76 erased
        {11, false, 3 + 2 * 100 + 2 + 1, 100 + 3},  // AM29LV040B 8x2: three runs
        {13, false, 4 * 100 + 1, 100 + 1},          // K8D6316: four cycles a word, one run
        {14, true, 21 * 5, 16 * 5},                 // S29GL128N
    };
    for (const auto& c : cases) {
        auto rig = make_rig(chip_cases()[c.chip]);
        const std::vector<uint8_t> image = pattern(c.buffered ? 32 * 5 : 200);
        ASSERT_EQ(program(*rig, c.buffered, image).status, kOk);
        EXPECT_EQ(rig->bus.writes, c.writes) << label(chip_cases()[c.chip]);
        EXPECT_EQ(rig->bus.reads, c.reads) << label(chip_cases()[c.chip]);
        EXPECT_EQ(rig->bank.chip(0).counters().buffer_aborts, 0u);
        EXPECT_EQ(rig->bank.chip(0).counters().ignored_while_busy, 0u);
    }
    // Erased words and whole erased buffers are only read back; what is not erased is found.
    for (bool buffered : {false, true}) {
        auto rig = make_rig(chip_cases()[buffered ? 14 : 13]);
        std::vector<uint8_t> image(256, 0xFF);
        image[100] = 0x12;
        ASSERT_EQ(program(*rig, buffered, image).status, kOk);
        EXPECT_EQ(rig->bus.writes, buffered ? 21u : 4u + 1) << "one word or one buffer programmed";
        rig->bank.load(std::vector<uint8_t>(512, 0x00));
        const Outcome failed = program(*rig, buffered, image);
        EXPECT_EQ(failed.status, Status::mismatch);
        EXPECT_EQ(failed.address, 0u);
        EXPECT_EQ(failed.expected, 0xFFFFu);
        EXPECT_EQ(failed.actual, 0u);
        EXPECT_EQ(rig->host.of(EventKind::program_mismatch).size(), 1u);
    }
}

// A chip slower than the port: writes land while it is still busy and are ignored. They read
// back wrong and are programmed once more; the job still ends with every word verified.
TEST(FlashProgram, WritesThatFindTheChipBusyAreRetried)
{
    // Chip case, buffered, and whether buffers are written ahead of their read-backs.
    const struct {
        size_t chip;
        bool buffered;
        bool late;
    } cases[] = {{0, false, false}, {2, false, false}, {13, false, false}, {12, true, false}, {12, true, true}};
    for (const auto& [chip, buffered, late] : cases) {
        sim::FlashFaults slow;
        slow.slow_program_factor = 10;
        auto rig = make_rig(chip_cases()[chip], slow);
        rig->bus.set_scan_ns(6'080);
        rig->bus.late = late;
        const std::vector<uint8_t> image = pattern(1024);
        ASSERT_EQ(program(*rig, buffered, image).status, kOk);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), rig->bank.contents().begin()));
        const sim::NorCounters& n = rig->bank.chip(0).counters();
        if (buffered && !late) {
            EXPECT_EQ(n.buffer_programs, 1024u / 32);  // read back too early, then again once it settled
            EXPECT_EQ(rig->bus.writes, 21u * 1024 / 32);
        } else if (buffered) {
            // The buffers written behind a busy one were ignored, then written again after a reset.
            EXPECT_EQ(n.buffer_programs, 1024u / 32);
            EXPECT_GT(n.ignored_while_busy, 0u);
            EXPECT_GT(rig->bus.writes, 21u * 1024 / 32 + 21);
        } else {
            // Each word was taken once, many of them only when written a second time.
            const bool bypass = rig->model().cmd_unlock_bypass != 0;
            const uint64_t words = bypass ? n.bypass_programs : n.programs;
            EXPECT_GT(n.ignored_while_busy, words / 4);
            EXPECT_GT(rig->bus.writes, (bypass ? 2 : 4) * (words + words / 4));
        }
        EXPECT_EQ(rig->bank.chip(0).mode(rig->clock.ns), sim::NorChip::Mode::read_array);
    }
}

struct StuckCase {
    const char* what;
    size_t chip;
    bool buffered;
    uint32_t address;
    int bit;
    Status result;
    uint32_t at;    // where the outcome says it stopped
    uint32_t read;  // the word read there (a mismatch)
    uint32_t untouched_from;
};

TEST(FlashProgram, StuckBitIsReportedWithWrittenAndReadValues)
{
    const StuckCase cases[] = {
        // A whole run is written before it is read back: 256 words.
        {"word", 0, false, 0x10, 3, Status::mismatch, 0x10, 0x8, 0x200},
        {"byte", 2, false, 0x11, 7, Status::mismatch, 0x11, 0x80, 0x100},
        {"second chip", 9, false, 0x11, 9, Status::mismatch, 0x10, 0x200, 0x200},
        {"inside a buffer", 12, true, 0x10, 3, Status::mismatch, 0x10, 0x8, 0x20},
        {"last word of a buffer", 12, true, 0x3E, 0, Status::timeout, 0x20, 0, 0x40},
    };
    for (const StuckCase& c : cases) {
        sim::FlashFaults faults;
        faults.stuck_bit = true;
        faults.stuck_address = c.address;
        faults.stuck_bit_index = c.bit;
        auto rig = make_rig(chip_cases()[c.chip], faults);
        const std::vector<uint8_t> zeros(0x400, 0x00);
        const Outcome result = program(*rig, c.buffered, zeros);
        EXPECT_EQ(result.status, c.result) << c.what;
        EXPECT_EQ(result.address, c.at) << c.what;
        EXPECT_EQ(result.actual, c.read) << c.what;
        const EventKind said = c.result == Status::mismatch ? EventKind::program_mismatch : EventKind::program_error;
        ASSERT_EQ(rig->host.of(said).size(), 1u) << c.what;
        EXPECT_EQ(rig->host.of(said)[0].actual, c.read) << c.what;
        EXPECT_FALSE(rig->host.events.back().finished) << c.what;
        EXPECT_EQ(rig->bus.chip_enabled(), false) << c.what;
        // Out of unlock bypass too: the chip reads its array again.
        EXPECT_EQ(rig->bank.chip(0).mode(rig->clock.ns), sim::NorChip::Mode::read_array) << c.what;
        // Nothing after the failing word, run or buffer was written.
        std::vector<uint8_t> flash = rig->bank.contents();
        EXPECT_TRUE(std::all_of(flash.begin() + c.untouched_from, flash.begin() + 0x400, [](uint8_t b) {
            return b == 0xFF;
        })) << c.what;
    }
}

TEST(FlashProgram, WordPollGivesUpAfterExactly5000ReadsOfTheSecondProgram)
{
    sim::FlashFaults faults;
    faults.stuck_bit = true;
    faults.stuck_address = 0;
    faults.stuck_bit_index = 0;
    auto rig = make_rig(chip_cases()[0], faults);
    EXPECT_EQ(flash_program(rig->s(), 0, std::vector<uint8_t>{0x00, 0x00}).status, Status::mismatch);
    // The run's read-back (the word twice), then the poll after it is programmed once more.
    EXPECT_EQ(rig->bus.reads, 2u + 5000);
    EXPECT_EQ(rig->bank.chip(0).counters().bypass_programs, 2u);
}

TEST(FlashProgram, EscStopsAfterTheCurrentWord)
{
    for (bool buffered : {false, true}) {
        auto rig = make_rig(chip_cases()[buffered ? 12 : 0]);
        rig->platform.press('a');
        rig->platform.press(kEsc);
        const std::vector<uint8_t> image = pattern(256);
        const Outcome ended = program(*rig, buffered, image);
        EXPECT_EQ(ended.status, Status::cancelled);
        // 'a' went after the first word or buffer, ESC after the second: the stop names the next.
        std::vector<uint8_t> flash = rig->bank.contents();
        size_t written = buffered ? 64 : 4;
        EXPECT_EQ(ended.address, written) << buffered;
        std::vector<uint8_t> bytes = pattern(256);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + static_cast<long>(written), flash.begin())) << buffered;
        EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(written), flash.begin() + 256, [](uint8_t b) {
            return b == 0xFF;
        })) << buffered;
        // A word at a time in unlock bypass: left before the routine ends.
        EXPECT_EQ(rig->bank.chip(0).mode(rig->clock.ns), sim::NorChip::Mode::read_array) << buffered;
    }
}

TEST(FlashProgram, UnlockBypassWhereTheChipHasIt)
{
    // Chip case, and whether its model programs in bypass (two cycles a word).
    for (const auto& [chip, bypass] : {std::pair{0, true}, {2, true}, {4, true}, {11, true}, {8, false}, {13, false}}) {
        const ChipCase& c = chip_cases()[static_cast<size_t>(chip)];
        auto rig = make_rig(c);
        const std::vector<uint8_t> image = pattern(64);
        ASSERT_EQ(flash_program(rig->s(), 0, image).status, kOk) << label(c);
        const uint32_t words = 64 / rig->model().bytes_per_word;
        // Unlock and enter once, two cycles a word, the bypass reset, then the plain reset.
        EXPECT_EQ(rig->bus.writes, bypass ? 3 + 2 * words + 2 + 1 : 4 * words + 1) << label(c);
        EXPECT_EQ(rig->bank.chip(0).counters().bypass_programs, bypass ? words : 0) << label(c);
        EXPECT_EQ(rig->bank.chip(0).mode(rig->clock.ns), sim::NorChip::Mode::read_array) << label(c);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), rig->bank.contents().begin())) << label(c);
    }
}

}  // namespace

// ---------------------------------------------------------------- stopping early

// Passes the pins to the bank; after `after` pin changes it raises an interrupt or breaks the cable.
class StopAfter : public sim::BusDevice {
public:
    StopAfter(sim::FlashBank& bank, test_support::DirectBus& bus, uint64_t after, bool cable)
        : bank_(bank), bus_(bus), left_(after), cable_(cable)
    {}
    void pins_changed(const sim::DevicePins& before, const sim::DevicePins& after, uint64_t now_ns) override
    {
        bank_.pins_changed(before, after, now_ns);
        if (left_ > 0 && --left_ == 0) {
            if (cable_)
                bus_.cable_fault = "port gone";
            else
                interrupt_raise(SIGINT);
        }
    }
    uint32_t data_out(const sim::DevicePins& pins, uint64_t now_ns, uint32_t& levels) const override
    {
        return bank_.data_out(pins, now_ns, levels);
    }

private:
    sim::FlashBank& bank_;
    test_support::DirectBus& bus_;
    uint64_t left_;
    bool cable_;
};

TEST(FlashStop, InterruptOrCableFaultEndsTheJobAtTheNextCycle)
{
    enum Job { blocks, chip, words, buffers, buffers_ahead };
    const struct {
        Job job;
        size_t chip_case;
    } jobs[] = {{blocks, 1}, {chip, 0}, {words, 0}, {buffers, 12}, {buffers_ahead, 12}};
    for (bool cable : {false, true}) {
        for (const auto& j : jobs) {
            SCOPED_TRACE(std::string(cable ? "cable " : "interrupt ") + std::to_string(j.job));
            auto rig = identified_rig(chip_cases()[j.chip_case]);
            StopAfter stopper(rig->bank, rig->bus, 400, cable);
            rig->bus.route(stopper);
            const std::vector<uint8_t> image = pattern(0x2000);
            Outcome status;
            switch (j.job) {
            case blocks:
                status = flash_erase_blocks(rig->s(), 0, 0x100000);
                break;
            case chip:
                status = flash_erase_chip(rig->s(), 0);
                break;
            case words:
                status = flash_program(rig->s(), 0, image);
                break;
            case buffers:
            case buffers_ahead:
                rig->bus.late = j.job == buffers_ahead;
                status = flash_program_buffered(rig->s(), 0, image);
                break;
            }
            interrupts_reset();
            EXPECT_EQ(status.status, cable ? Status::cable_fault : Status::interrupted);
            EXPECT_STREQ(status.detail, cable ? "port gone" : "SIGINT");
            EXPECT_FALSE(rig->bus.chip_enabled());
            // Stopped well before the end: the last bytes of the range were never reached (a chip
            // erase, once started, erases everything).
            const std::vector<uint8_t> flash = rig->bank.contents();
            EXPECT_EQ(flash[j.job <= chip ? 0xFFFFF : 0x1FFF], j.job == chip ? 0xFF : 0x00);
            EXPECT_LT(status.address, j.job <= chip ? 0x100000u : 0x2000u);
        }
    }
}

TEST(FlashStop, TimeBoundsWaitForTheChipsMaximumOnAFastPort)
{
    // A port a hundred times faster than usual: 5000 reads pass long before a healthy
    // sector erase of 0.7 s ends; the poll must go on until the chip's maximum.
    auto rig = identified_rig(bottom_boot_x16());
    rig->bus.set_scan_ns(6'080);
    EXPECT_EQ(flash_erase_blocks(rig->s(), 0x10000, 0x10000).status, kOk);
    EXPECT_TRUE(erased_exactly(*rig, 0x10000, 0x20000));
}

namespace {

// The P30 locks every block at power-up: without the check before the erase, its status
// register is what tells why nothing changed.
TEST(IntelEngine, LockedBlockIsNamedByTheStatusRegister)
{
    const sim::NorModel& chip = *sim::FlashBank::find_nor_model("28F256P30");
    for (bool erase : {true, false}) {
        FlashRig rig(chip, FlashSetup::x16, "S29AL008D", 16, 1);
        const FlashDescriptor& intel = flash_generic_descriptor(CommandStyle::intel);
        FlashModel model{};
        ASSERT_EQ(flash_setup_model(intel, 16, 1, model), Status::ok);
        FlashSession s(rig.bus, rig.host, intel, model, 1);
        ASSERT_EQ(flash_query_cfi(s, 0).status, Status::ok);
        EXPECT_EQ(s.model.buffer_words, 32u) << "64 bytes, from the query table";
        rig.host.events.clear();
        const std::vector<uint8_t> image(64, 0x00);
        Outcome failed;
        if (erase) {
            flash_chip_enable(s, '0');
            failed = flash_intel_erase_block(s, 0x8000);
        } else {
            failed = flash_intel_program(s, 0x8000, image);
        }
        EXPECT_EQ(failed.status, erase ? Status::erase_failed : Status::mismatch);
        EXPECT_EQ(failed.address, 0x8000u);
        EXPECT_STREQ(failed.detail, "the block is locked");
        const std::vector<EventKind> said = {erase ? EventKind::erase_error : EventKind::program_error,
                                             EventKind::status_register};
        EXPECT_TRUE(std::ranges::equal(rig.host.kinds() | std::views::drop(erase ? 0 : 1), said));
        EXPECT_EQ(rig.host.of(EventKind::status_register)[0].actual, erase ? 0xA2u : 0x92u);
        EXPECT_EQ(rig.bank.intel_chip(0).mode(), sim::IntelChip::Mode::read_array) << "read array on the way out";
    }
}

// A locked-down block refuses its unlock; a bus nobody drives gives no status at all.
TEST(IntelEngine, UnlockRefusedAndNoStatusHaveTheirOwnCauses)
{
    sim::FlashFaults faults;
    faults.protected_blocks = {1};
    FlashRig rig(*sim::FlashBank::find_nor_model("28F256P30"), FlashSetup::x16, "S29AL008D", 16, 1, faults);
    const FlashDescriptor& intel = flash_generic_descriptor(CommandStyle::intel);
    FlashModel model{};
    ASSERT_EQ(flash_setup_model(intel, 16, 1, model), Status::ok);
    FlashSession s(rig.bus, rig.host, intel, model, 1);
    ASSERT_EQ(flash_query_cfi(s, 0).status, Status::ok);
    rig.host.events.clear();
    flash_chip_enable(s, '0');
    const Outcome unlock = flash_intel_unlock(s, 0x8000);
    EXPECT_EQ(unlock.status, Status::refused);
    EXPECT_EQ(unlock.actual, 0xA0u);
    EXPECT_STREQ(unlock.detail, "unlock failed");
    EXPECT_EQ(rig.host.kinds(), (std::vector{EventKind::unlock_error, EventKind::status_register}));
    flash_chip_enable(s, '1');
    const Outcome erase = flash_intel_erase_block(s, 0);
    EXPECT_EQ(erase.status, Status::erase_failed);
    EXPECT_EQ(erase.actual, 0xFFu);
    EXPECT_STREQ(erase.detail, "not a status (nothing answers, or not an Intel-style chip)");
}

}  // namespace

namespace {

// A chip without a write buffer in its table is programmed a word at a time (0x40).
TEST(IntelEngine, WordProgramWhereTheTableHasNoBuffer)
{
    FlashRig rig(*sim::FlashBank::find_nor_model("28F128J3"), FlashSetup::x16, "S29AL008D", 16, 1);
    const FlashDescriptor& intel = flash_generic_descriptor(CommandStyle::intel);
    FlashModel model{};
    ASSERT_EQ(flash_setup_model(intel, 16, 1, model), Status::ok);
    FlashSession s(rig.bus, rig.host, intel, model, 1);
    ASSERT_EQ(flash_query_cfi(s, 0).status, Status::ok);
    s.model.buffer_words = 0;
    std::vector<uint8_t> image(600);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 37 + 5);
    EXPECT_EQ(flash_intel_program(s, 0x20000, image).status, Status::ok);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.bank.contents().begin() + 0x20000));
    EXPECT_EQ(rig.bank.intel_chip(0).counters().word_programs, 300u);
    EXPECT_EQ(rig.bank.intel_chip(0).counters().buffer_programs, 0u);
}

}  // namespace
