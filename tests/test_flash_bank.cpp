// SPDX-License-Identifier: Apache-2.0
// The board wiring of the virtual flash: models, set-ups, lanes, byte order, faults.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/flash_bank.h"
#include "tests/support/nor_bus_driver.h"

using sim::FlashSetup;
using sim::FlashBank;
using sim::FlashFaults;

namespace {

const sim::NorModel& model(const char* name)
{
    const sim::NorModel* m = FlashBank::find_nor_model(name);
    if (m == nullptr)
        throw std::invalid_argument(name);
    return *m;
}

std::vector<uint8_t> counting(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    return v;
}

struct ModelCase {
    const char* name;
    bool known;
    const char* boot;
    uint32_t size;
    std::optional<FlashSetup> default_setup;
    bool x16, x8, x8x2;
};

TEST(Models, NamesSetupsAndSizes)
{
    const ModelCase cases[] = {
        {"S29AL008D", true, "top", 1 << 20, FlashSetup::x16, true, true, true},
        {"S29AL008D:top", true, "top", 1 << 20, FlashSetup::x16, true, true, true},
        {"S29AL008D:bottom", true, "bottom", 1 << 20, FlashSetup::x16, true, true, true},
        {"S29AL004D:bottom", true, "bottom", 1 << 19, FlashSetup::x16, true, true, true},
        {"EN29LV040A", true, "", 1 << 19, FlashSetup::x8, false, true, true},
        {"AM29LV040B", true, "", 1 << 19, FlashSetup::x8, false, true, true},
        {"S29GL064M", true, "", 1 << 23, FlashSetup::x16, true, true, true},
        {"S29GL128N", true, "", 1 << 24, FlashSetup::x16, true, true, true},
        {"K8D6316", true, "", 1 << 23, FlashSetup::x16, true, true, true},
        {"SST39VF6401", true, "", 1 << 23, FlashSetup::x16, true, false, false},
        {"28F128J3", true, "", 1 << 24, FlashSetup::x16, true, true, true},
        {"28F256P30", true, "", 1 << 25, FlashSetup::x16, true, false, false},
        {"s29al008d", false, "", 0, {}, false, false, false},
        {"S29AL008D:middle", false, "", 0, {}, false, false, false},
        {"S29AL008D:", false, "", 0, {}, false, false, false},
        {"AM29LV040B:top", false, "", 0, {}, false, false, false},
        {"K8D6316UBM", false, "", 0, {}, false, false, false},
    };
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const sim::NorModel* m = FlashBank::find_nor_model(c.name);
        ASSERT_EQ(m != nullptr, c.known);
        if (!m)
            continue;
        EXPECT_EQ(m->boot, c.boot);
        EXPECT_EQ(m->size_bytes, c.size);
        EXPECT_EQ(FlashBank::default_setup(*m), *c.default_setup);
        EXPECT_EQ(FlashBank::supports(*m, FlashSetup::x16), c.x16);
        EXPECT_EQ(FlashBank::supports(*m, FlashSetup::x8), c.x8);
        EXPECT_EQ(FlashBank::supports(*m, FlashSetup::x8x2), c.x8x2);
    }
    EXPECT_THROW(FlashBank(model("AM29LV040B"), FlashSetup::x16), std::invalid_argument);
}

TEST(Models, SectorRunsCoverEveryChip)
{
    for (const sim::NorModel& m : sim::nor_models()) {
        uint32_t expected = 0;
        for (uint32_t a = 0; a < m.size_bytes; a += 4096) {
            sim::NorSector s = sim::nor_sector_of(m, a);
            ASSERT_LE(s.start, a) << m.name;
            ASSERT_LT(a, s.start + s.bytes) << m.name;
            if (s.start == a) {
                EXPECT_EQ(s.start, expected) << m.name << " sectors follow each other";
                expected += s.bytes;
            }
        }
        EXPECT_EQ(expected, m.size_bytes) << m.name;
    }
}

struct OrderCase {
    FlashSetup setup;
    const char* model;
    uint32_t size;
    uint32_t address;   // CPU address read
    uint32_t expected;  // bus word there
};

TEST(Wiring, LoadReadAndContentsInCpuByteOrder)
{
    const OrderCase cases[] = {
        {FlashSetup::x16, "S29AL004D", 1 << 19, 0x10, 0x7871},  // bytes 0x10 (low) and 0x11 (high)
        {FlashSetup::x8, "S29AL004D", 1 << 19, 0x11, 0x78},     // CPU A0 is the chip's A-1
        {FlashSetup::x8, "AM29LV040B", 1 << 19, 0x11, 0x78},
        {FlashSetup::x8x2, "AM29LV040B", 1 << 20, 0x10, 0x7871},  // chip 0 low lane, chip 1 high
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.model);
        FlashBank bank(model(c.model), c.setup);
        ASSERT_EQ(bank.size_bytes(), c.size);
        const std::vector<uint8_t> image = counting(0x100);
        bank.load(image);
        std::vector<uint8_t> expected(c.size, 0xFF);
        std::copy(image.begin(), image.end(), expected.begin());
        EXPECT_EQ(bank.contents(), expected);
        NorBusDriver bus(bank);
        EXPECT_EQ(bus.read(c.address), c.expected);
        EXPECT_EQ(bus.read(c.address + c.size), c.expected) << "address lines above the chip are not connected";
    }
}

TEST(Wiring, PairSplitsEachBusWordOverTheChips)
{
    FlashBank bank(model("EN29LV040A"), FlashSetup::x8x2);
    bank.load({0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(bank.chip(0).cells()[0], 0x11);
    EXPECT_EQ(bank.chip(1).cells()[0], 0x22);
    EXPECT_EQ(bank.chip(0).cells()[1], 0x33);
    EXPECT_EQ(bank.chip(1).cells()[1], 0x44);

    NorBusDriver bus(bank, 100);
    kPair.program(bus, 0x10, 0x0080);  // chip 0 gets 0x80, chip 1 gets 0x00
    const uint32_t status = bus.read(0x10);
    EXPECT_EQ(status & 0x8080, 0x8000u) << "each chip shows its own kDq7";
    bus.wait(10'000);
    EXPECT_EQ(bus.read(0x10), 0x0080u);
    EXPECT_EQ(bank.chip(0).cells()[8], 0x80);
    EXPECT_EQ(bank.chip(1).cells()[8], 0x00);
}

TEST(Wiring, PairCommandsReachOnlyTheChipWhoseByteCarriesThem)
{
    FlashBank bank(model("AM29LV040B"), FlashSetup::x8x2);
    NorBusDriver bus(bank, 100);
    // Unlock and autoselect in the low byte only.
    bus.write(0xAAA, 0xFFAA);
    bus.write(0x554, 0xFF55);
    bus.write(0xAAA, 0xFF90);
    EXPECT_EQ(bus.read(2), 0xFF4Fu);
}

TEST(Wiring, ByteModeProgramsEitherHalfOfAWord)
{
    FlashBank bank(model("S29AL008D:bottom"), FlashSetup::x8);
    NorBusDriver bus(bank, 100);
    kByteMode.program(bus, 0x21, 0x5A);
    bus.wait(10'000);
    kByteMode.program(bus, 0x20, 0xA5);
    bus.wait(10'000);
    EXPECT_EQ(bus.read(0x20), 0xA5u);
    EXPECT_EQ(bus.read(0x21), 0x5Au);
    EXPECT_EQ(bank.contents()[0x20], 0xA5);
    EXPECT_EQ(bank.contents()[0x21], 0x5A);
    uint32_t levels = 0;
    sim::DevicePins p;
    p.ce_n = p.oe_n = false;
    EXPECT_EQ(bank.data_out(p, bus.now(), levels), 0xFFu) << "DQ15..kDq8 stay off the bus";
}

// ---- faults ----

TEST(Faults, NoFlashNeverDrivesNorListens)
{
    FlashFaults f;
    f.no_flash = true;
    FlashBank bank(model("S29AL008D"), FlashSetup::x16, f);
    bank.load({0x00, 0x00});
    NorBusDriver bus(bank);
    kWord.command(bus, 0x90);
    EXPECT_EQ(bus.read(0), 0xFFFFu);
    EXPECT_EQ(bus.read(2), 0xFFFFu);
    EXPECT_EQ(bank.chip(0).counters().write_cycles, 0u);
}

struct StuckCase {
    FlashSetup setup;
    const char* model;
    NorCommands cmds;
    uint32_t stuck_address;
    int bit;
    uint32_t word_address;  // bus word holding the bit
    uint32_t reads_back;    // after programming 0 there
};

TEST(Faults, StuckBitNeverProgramsToZero)
{
    const StuckCase cases[] = {
        {FlashSetup::x16, "S29AL008D", kWord, 0x11, 9, 0x10, 0x0200},
        {FlashSetup::x16, "S29AL008D", kWord, 0x10, 3, 0x10, 0x0008},
        {FlashSetup::x8, "AM29LV040B", kByteOnly, 0x11, 5, 0x11, 0x20},
        {FlashSetup::x8x2, "EN29LV040A", kPair, 0x21, 12, 0x20, 0x1000},
        {FlashSetup::x8x2, "EN29LV040A", kPair, 0x20, 1, 0x20, 0x0002},
    };
    for (const StuckCase& c : cases) {
        SCOPED_TRACE(c.bit);
        FlashFaults f;
        f.stuck_bit = true;
        f.stuck_address = c.stuck_address;
        f.stuck_bit_index = c.bit;
        FlashBank bank(model(c.model), c.setup, f);
        NorBusDriver bus(bank, 100);
        c.cmds.program(bus, c.word_address, 0);
        bus.wait(20'000);
        EXPECT_EQ(bus.read(c.word_address), c.reads_back);
        const uint32_t next = c.word_address + (c.setup == FlashSetup::x8 ? 1 : 2);
        c.cmds.program(bus, next, 0);
        bus.wait(20'000);
        EXPECT_EQ(bus.read(next), 0u) << "other words program normally";
    }
}

TEST(Faults, SlowEraseMultipliesEveryEraseTime)
{
    FlashFaults f;
    f.slow_erase_factor = 3;
    FlashBank bank(model("SST39VF6401"), FlashSetup::x16, f);
    NorBusDriver bus(bank, 100);
    kSst.erase(bus, 0, 0x30);
    uint64_t started = bus.now();
    bus.wait(2 * 18'000'000);
    EXPECT_EQ(bus.read(0) & 0x80, 0u) << "still erasing after twice the typical time";
    bus.wait(started + 3 * 18'000'000 - bus.now());
    EXPECT_EQ(bus.read(0), 0xFFFFu);

    kSst.erase(bus, 0, 0x10);
    started = bus.now();
    bus.wait(3 * 40'000'000 - 1000);
    EXPECT_EQ(bus.read(0) & 0x80, 0u);
    bus.wait(1000);
    EXPECT_EQ(bus.read(0), 0xFFFFu);

    kSst.program(bus, 0, 0x1234);
    bus.wait(7'000);
    EXPECT_EQ(bus.read(0), 0x1234u) << "programming keeps its time";
}

}  // namespace
