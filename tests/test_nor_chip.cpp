// SPDX-License-Identifier: Apache-2.0
// The virtual chips' command state machine, driven through the bank's pins.
#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
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

const char* setup_name(FlashSetup s) { return s == FlashSetup::x16 ? "16x1" : s == FlashSetup::x8 ? "8x1" : "8x2"; }

struct IdCase {
    const char* model;
    FlashSetup setup;
    NorCommands cmds;
    uint32_t base;
    uint32_t maker_at, maker;
    uint32_t device_at, device;
};

void PrintTo(const IdCase& c, std::ostream* os)
{
    *os << c.model << ' ' << setup_name(c.setup) << " base 0x" << std::hex << c.base << " maker at 0x" << c.maker_at;
}

class Autoselect : public testing::TestWithParam<IdCase> {};

TEST_P(Autoselect, ReadsMakerAndDeviceCodesUntilReset)
{
    const IdCase& c = GetParam();
    FlashBank bank(model(c.model), c.setup);
    std::vector<uint8_t> image(bank.size_bytes(), 0x3C);
    bank.load(image);
    NorBusDriver bus(bank);
    NorCommands at_base{c.base + c.cmds.addr1, c.base + c.cmds.addr2, c.cmds.lanes};

    at_base.command(bus, 0x90);
    EXPECT_EQ(bus.read(c.base + c.maker_at), c.maker);
    EXPECT_EQ(bus.read(c.base + c.device_at), c.device);
    EXPECT_EQ(bus.read(c.base + c.device_at), c.device) << "stays in autoselect";

    bus.write(c.base, 0xF0 * c.cmds.lanes);
    EXPECT_EQ(bus.read(c.base + c.device_at), c.setup == FlashSetup::x8 ? 0x3Cu : 0x3C3Cu);
}

INSTANTIATE_TEST_SUITE_P(
    Chips, Autoselect,
    testing::Values(IdCase{"S29AL008D", FlashSetup::x16, kWord, 0, 0, 0x0001, 2, 0x22DA},
                    IdCase{"S29AL008D:bottom", FlashSetup::x16, kWord, 0x10000, 0, 0x0001, 2, 0x225B},
                    IdCase{"S29AL008D:top", FlashSetup::x8, kByteMode, 0, 0, 0x01, 2, 0xDA},
                    IdCase{"S29AL004D:top", FlashSetup::x16, kWord, 0, 0, 0x0001, 2, 0x22B9},
                    IdCase{"S29AL004D:bottom", FlashSetup::x8, kByteMode, 0, 0, 0x01, 2, 0xBA},
                    IdCase{"EN29LV040A", FlashSetup::x8, kByteOnly, 0, 0, 0x7F, 1, 0x4F},
                    IdCase{"EN29LV040A", FlashSetup::x8, kByteOnly, 0, 0x100, 0x1C, 1, 0x4F},
                    IdCase{"EN29LV040A", FlashSetup::x8x2, kPair, 0, 0x200, 0x1C1C, 2, 0x4F4F},
                    IdCase{"AM29LV040B", FlashSetup::x8, kByteOnly, 0x20000, 0, 0x01, 1, 0x4F},
                    IdCase{"AM29LV040B", FlashSetup::x8x2, kPair, 0, 0, 0x0101, 2, 0x4F4F},
                    IdCase{"S29GL064M", FlashSetup::x16, kWord, 0, 0, 0x0001, 2, 0x227E},
                    IdCase{"S29GL128N", FlashSetup::x16, kWord, 0, 0, 0x0001, 2, 0x227E},
                    IdCase{"K8D6316", FlashSetup::x16, kWord, 0, 0, 0x00EC, 2, 0x22E2},
                    IdCase{"SST39VF6401", FlashSetup::x16, kSst, 0, 0, 0x00BF, 2, 0x236B},
                    IdCase{"SST39VF6401", FlashSetup::x16, {0xAAAA, 0x5554, 0x0101}, 0, 0, 0x00BF, 2, 0x236B}));

TEST(Autoselect, BrokenUnlockReturnsToReadArray)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    NorBusDriver bus(bank);
    bus.write(0xAAA, 0xAA);
    bus.write(0x556, 0x55);  // wrong address
    bus.write(0xAAA, 0x90);
    EXPECT_EQ(bus.read(2), 0xFFFFu);
    bus.write(0xAAA, 0xAA);
    bus.write(0x554, 0x54);  // wrong data
    bus.write(0xAAA, 0x90);
    EXPECT_EQ(bus.read(2), 0xFFFFu);
    kWord.command(bus, 0x90);
    EXPECT_EQ(bus.read(2), 0x22DAu);
}

TEST(Autoselect, ByteModeCommandsDecodeTheExtraLowAddressBit)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x8);
    NorBusDriver bus(bank);
    for (NorCommands off_by_one : {NorCommands{0xAAB, 0x555}, NorCommands{0xAAA, 0x554}}) {
        off_by_one.command(bus, 0x90);
        EXPECT_EQ(bus.read(2), 0xFFu) << std::hex << off_by_one.addr1 << ' ' << off_by_one.addr2;
    }
    kByteMode.command(bus, 0x90);
    EXPECT_EQ(bus.read(2), 0xDAu);
}

// CFI address A is read at CPU byte offset 2A on a 16-bit bus.
uint32_t cfi_byte(NorBusDriver& bus, uint32_t a) { return bus.read(2 * a); }

struct CfiCase {
    const char* model;
    std::vector<uint8_t> times;     // CFI 0x1F-0x22
    uint8_t size_code;              // 0x27
    uint8_t buffer_code;            // 0x2A
    std::vector<uint32_t> regions;  // 0x2D on, four bytes each
};

void PrintTo(const CfiCase& c, std::ostream* os) { *os << c.model; }

class CfiQuery : public testing::TestWithParam<CfiCase> {};

TEST_P(CfiQuery, AnswersTheQueryTable)
{
    const CfiCase& c = GetParam();
    FlashBank bank(model(c.model), FlashSetup::x16);
    NorBusDriver bus(bank);
    bus.write(0xAA, 0x98);
    EXPECT_EQ(cfi_byte(bus, 0x10), 'Q');
    EXPECT_EQ(cfi_byte(bus, 0x11), 'R');
    EXPECT_EQ(cfi_byte(bus, 0x12), 'Y');
    for (size_t i = 0; i < c.times.size(); ++i)
        EXPECT_EQ(cfi_byte(bus, 0x1F + i), c.times[i]) << i;
    EXPECT_EQ(cfi_byte(bus, 0x27), c.size_code);
    EXPECT_EQ(cfi_byte(bus, 0x2A), c.buffer_code);
    EXPECT_EQ(cfi_byte(bus, 0x2C), c.regions.size());
    for (size_t r = 0; r < c.regions.size(); ++r) {
        uint32_t d = 0;
        for (uint32_t k = 0; k < 4; ++k)
            d |= cfi_byte(bus, 0x2D + 4 * r + k) << (8 * k);
        EXPECT_EQ(d, c.regions[r]) << "region " << r;
    }
    EXPECT_EQ(cfi_byte(bus, 0x40), 0u) << "unlisted bytes read 0";
    bus.write(0, 0xF0);
    EXPECT_EQ(cfi_byte(bus, 0x10), 0xFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Chips, CfiQuery,
                         testing::Values(CfiCase{"S29GL064M", {7, 7, 0x0A, 0}, 0x17, 5, {0x00200007, 0x0100007E}},
                                         CfiCase{"S29GL128N", {7, 7, 0x0A, 0}, 0x18, 5, {0x0200007F}},
                                         CfiCase{"K8D6316", {4, 0, 0x0A, 0x0F}, 0x17, 0, {0x00200007, 0x0100007E}},
                                         CfiCase{"SST39VF6401", {4, 0, 4, 6}, 0x17, 0, {0x001007FF, 0x0100007F}}));

TEST(CfiQuery, EnteredFromAutoselectToo)
{
    FlashBank bank(model("S29GL064M"), FlashSetup::x16);
    NorBusDriver bus(bank);
    kWord.command(bus, 0x90);
    bus.write(0xAA, 0x98);
    EXPECT_EQ(cfi_byte(bus, 0x10), 'Q');
    EXPECT_EQ(bank.chip(0).counters().cfi_single_entries, 1u);
}

TEST(CfiQuery, ByteModeReadsAtTwiceTheCfiAddress)
{
    FlashBank bank(model("S29GL064M"), FlashSetup::x8);
    NorBusDriver bus(bank);
    bus.write(0xAA, 0x98);
    EXPECT_EQ(bus.read(0x20), 'Q');
    EXPECT_EQ(bus.read(0x24), 'Y');
}

TEST(CfiQuery, SstCountsWhichEntryWasUsed)
{
    FlashBank bank(model("SST39VF6401"), FlashSetup::x16);
    NorBusDriver bus(bank);
    kSst.command(bus, 0x98);
    EXPECT_EQ(cfi_byte(bus, 0x10), 'Q');
    bus.write(0, 0xF0);
    bus.write(0xAA, 0x98);
    EXPECT_EQ(cfi_byte(bus, 0x11), 'R');
    EXPECT_EQ(bank.chip(0).counters().cfi_three_cycle_entries, 1u);
    EXPECT_EQ(bank.chip(0).counters().cfi_single_entries, 1u);
}

TEST(CfiQuery, ChipsWithoutTableAnswerWithArrayData)
{
    for (const char* name : {"S29AL008D", "S29AL004D:bottom"}) {
        FlashBank bank(model(name), FlashSetup::x16);
        std::vector<uint8_t> image(0x40);
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<uint8_t>(i);
        bank.load(image);
        NorBusDriver bus(bank);
        bus.write(0xAA, 0x98);
        EXPECT_EQ(cfi_byte(bus, 0x10), 0x2120u) << name;
    }
}

// ---- program ----

struct ProgramCase {
    uint16_t old_value, written, expected;
};

void PrintTo(const ProgramCase& c, std::ostream* os) { *os << std::hex << c.old_value << " AND " << c.written; }

class ProgramBits : public testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramBits, OnlyClearsBits)
{
    const ProgramCase& c = GetParam();
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    bank.load({0, 0, static_cast<uint8_t>(c.old_value), static_cast<uint8_t>(c.old_value >> 8)});
    NorBusDriver bus(bank);
    kWord.program(bus, 2, c.written);
    bus.wait(10'000);
    EXPECT_EQ(bus.read(2), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ProgramBits,
                         testing::Values(ProgramCase{0xFFFF, 0x1234, 0x1234}, ProgramCase{0xF0F0, 0x0FFF, 0x00F0},
                                         ProgramCase{0x0000, 0xFFFF, 0x0000}, ProgramCase{0x00FF, 0xFF00, 0x0000}));

TEST(Program, StatusPollingUntilTypicalTime)
{
    FlashBank bank(model("S29GL064M"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    kWord.program(bus, 0x100, 0x0055);  // 60 us typical
    const uint64_t started = bus.now();

    sim::DevicePins p = bus.pins();
    p.address = 0x100;
    p.data_driven = 0;
    p.oe_n = false;
    bus.set(p);
    const uint32_t first = bus.sample();
    EXPECT_EQ(first & 0x80, 0x80u) << "kDq7 is the complement of the written bit 7";
    EXPECT_EQ(bus.sample(), first) << "sampling again inside one read cycle does not toggle";
    p.oe_n = true;
    bus.set(p);
    uint32_t second = bus.read(0x200);
    EXPECT_EQ((first ^ second) & 0x40, 0x40u) << "kDq6 toggles from read to read, at any address";
    EXPECT_EQ(first & ~0xC0u, 0u);

    bus.wait(started + 60'000 - bus.now() - 300);
    EXPECT_NE(bus.read(0x100), 0x0055u) << "still busy just before the typical time";
    bus.wait(300);
    EXPECT_EQ(bus.read(0x100), 0x0055u);
    EXPECT_EQ(bus.read(0x100), 0x0055u) << "no toggling once done";
}

TEST(Program, DQ7OfAStatusIsComplementForBothBitValues)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    kWord.program(bus, 0, 0x80);
    EXPECT_EQ(bus.read(0) & 0x80, 0u);
}

TEST(Program, CommandsIgnoredWhileBusy)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    kWord.erase(bus, 0, 0x30);
    bus.write(0, 0xF0);  // reset does not stop an erase either
    kWord.program(bus, 0x10, 0x0000);
    EXPECT_EQ(bus.read(0x10) & 0x80, 0u) << "still erasing";
    EXPECT_GE(bank.chip(0).counters().ignored_while_busy, 5u);
    bus.wait(700'000'000);
    EXPECT_EQ(bus.read(0x10), 0xFFFFu);
    EXPECT_EQ(bank.chip(0).counters().programs, 0u);
}

// ---- write buffer ----

constexpr uint32_t kSector = 0x20000;  // a 64 kKB sector of S29GL064M

void load_buffer(NorBusDriver& bus, uint32_t count_minus_one, uint32_t first, uint32_t words)
{
    kWord.unlock(bus);
    bus.write(kSector, 0x25);
    bus.write(kSector, count_minus_one);
    for (uint32_t k = 0; k < words; ++k)
        bus.write(first + 2 * k, 0x1100 + k);
}

TEST(WriteBuffer, ProgramsSixteenWordsAfterConfirm)
{
    FlashBank bank(model("S29GL064M"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    load_buffer(bus, 15, kSector + 0x40, 16);
    EXPECT_EQ(bus.read(kSector + 0x40), 0xFFFFu) << "nothing before the confirm";
    bus.write(kSector + 0x5E, 0x29);
    const uint64_t started = bus.now();
    EXPECT_EQ(bus.read(kSector + 0x5E) & 0x80, 0x80u) << "complement of the last word's bit 7";
    bus.wait(started + 240'000 - bus.now());
    for (uint32_t k = 0; k < 16; ++k)
        EXPECT_EQ(bus.read(kSector + 0x40 + 2 * k), 0x1100 + k);
    EXPECT_EQ(bank.chip(0).counters().buffer_programs, 1u);
}

struct AbortCase {
    const char* what;
    uint32_t count_minus_one;
    uint32_t first;
    uint32_t confirm_at;
    uint8_t confirm;
};

void PrintTo(const AbortCase& c, std::ostream* os) { *os << c.what; }

class WriteBufferAbort : public testing::TestWithParam<AbortCase> {};

TEST_P(WriteBufferAbort, AbortsUntilUnlockAndReset)
{
    const AbortCase& c = GetParam();
    FlashBank bank(model("S29GL064M"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    load_buffer(bus, c.count_minus_one, c.first, 16);
    bus.write(c.confirm_at, c.confirm);
    uint32_t status = bus.read(kSector);
    EXPECT_EQ(status & 0x02, 0x02u) << c.what;
    EXPECT_EQ(bank.chip(0).counters().buffer_aborts, 1u);
    EXPECT_EQ(bank.chip(0).counters().buffer_programs, 0u);

    bus.write(0, 0xF0);
    bus.wait(1'000'000);
    EXPECT_EQ(bus.read(kSector) & 0x02, 0x02u) << "F0 alone does not recover";
    kWord.command(bus, 0xF0);
    EXPECT_EQ(bus.read(kSector), 0xFFFFu);
    kWord.program(bus, kSector, 0x1234);
    bus.wait(60'000);
    EXPECT_EQ(bus.read(kSector), 0x1234u) << "accepts commands again";
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteBufferAbort,
                         testing::Values(AbortCase{"count above 16", 16, kSector, kSector, 0x29},
                                         AbortCase{"word outside the page", 15, kSector + 0x10, kSector, 0x29},
                                         AbortCase{"no confirm after the last word", 15, kSector, kSector, 0x30},
                                         AbortCase{"confirm in another sector", 15, kSector, kSector + 0x10000, 0x29}));

TEST(WriteBuffer, AbortShowsComplementOfLastData)
{
    FlashBank bank(model("S29GL064M"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    kWord.unlock(bus);
    bus.write(kSector, 0x25);
    bus.write(kSector, 1);
    bus.write(kSector, 0x0080);
    bus.write(kSector + 0x40, 0x0000);  // outside the page
    uint32_t a = bus.read(kSector), b = bus.read(kSector);
    EXPECT_EQ(a & 0x82, 0x82u);
    EXPECT_EQ((a ^ b) & 0x40, 0x40u);
}

TEST(WriteBuffer, ChipsWithoutBufferIgnoreIt)
{
    FlashBank bank(model("K8D6316"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    load_buffer(bus, 15, kSector, 16);
    bus.write(kSector + 0x1E, 0x29);
    bus.wait(1'000'000);
    EXPECT_EQ(bus.read(kSector), 0xFFFFu);
    EXPECT_EQ(bank.chip(0).counters().buffer_aborts, 0u);
}

// ---- erase ----

struct EraseCase {
    const char* model;
    FlashSetup setup;
    NorCommands cmds;
    uint8_t code;
    uint32_t address;     // CPU address inside the unit
    uint32_t start, end;  // CPU byte range that becomes 0xFF
    uint64_t typical_ns;
};

void PrintTo(const EraseCase& c, std::ostream* os)
{
    *os << c.model << ' ' << setup_name(c.setup) << " code 0x" << std::hex << int{c.code} << " at 0x" << c.address;
}

class SectorErase : public testing::TestWithParam<EraseCase> {};

TEST_P(SectorErase, ErasesExactlyTheUnitAfterItsTypicalTime)
{
    const EraseCase& c = GetParam();
    FlashBank bank(model(c.model), c.setup);
    bank.load(std::vector<uint8_t>(bank.size_bytes(), 0x00));
    NorBusDriver bus(bank, 100);
    c.cmds.erase(bus, c.address, c.code);
    const uint64_t started = bus.now();
    EXPECT_EQ(bus.read(c.address) & 0x80, 0u) << "kDq7 reads 0 while erasing";
    bus.wait(started + c.typical_ns - bus.now() - 200);
    EXPECT_EQ(bus.read(c.address) & 0x80, 0u);
    bus.wait(200);
    EXPECT_EQ(bus.read(c.address) & 0x80, 0x80u);

    const std::vector<uint8_t> after = bank.contents();
    uint32_t first_ff = UINT32_MAX, last_ff = 0, count = 0;
    for (uint32_t i = 0; i < after.size(); ++i) {
        if (after[i] == 0x00)
            continue;
        ASSERT_EQ(after[i], 0xFF);
        first_ff = std::min(first_ff, i);
        last_ff = i;
        ++count;
    }
    EXPECT_EQ(first_ff, c.start);
    EXPECT_EQ(last_ff + 1, c.end);
    EXPECT_EQ(count, c.end - c.start);
}

constexpr uint64_t kS = 1'000'000'000;

INSTANTIATE_TEST_SUITE_P(
    Layouts, SectorErase,
    testing::Values(EraseCase{"S29AL008D", FlashSetup::x16, kWord, 0x30, 0x12345, 0x10000, 0x20000, kS * 7 / 10},
                    EraseCase{"S29AL008D:top", FlashSetup::x16, kWord, 0x30, 0xF4000, 0xF0000, 0xF8000, kS * 7 / 10},
                    EraseCase{"S29AL008D:top", FlashSetup::x16, kWord, 0x30, 0xFA000, 0xFA000, 0xFC000, kS * 7 / 10},
                    EraseCase{"S29AL008D:top", FlashSetup::x16, kWord, 0x30, 0xFFFFE, 0xFC000, 0x100000, kS * 7 / 10},
                    EraseCase{"S29AL008D:bottom", FlashSetup::x16, kWord, 0x30, 0x0002, 0x0000, 0x4000, kS * 7 / 10},
                    EraseCase{"S29AL008D:bottom", FlashSetup::x8, kByteMode, 0x30, 0x5001, 0x4000, 0x6000, kS * 7 / 10},
                    EraseCase{"S29AL008D:bottom", FlashSetup::x16, kWord, 0x30, 0x8000, 0x8000, 0x10000, kS * 7 / 10},
                    EraseCase{"S29AL004D:top", FlashSetup::x16, kWord, 0x30, 0x70000, 0x70000, 0x78000, kS * 7 / 10},
                    EraseCase{"S29AL004D:bottom", FlashSetup::x16, kWord, 0x30, 0x7FFFE, 0x70000, 0x80000, kS * 7 / 10},
                    EraseCase{"EN29LV040A", FlashSetup::x8, kByteOnly, 0x30, 0x30001, 0x30000, 0x40000, kS / 2},
                    EraseCase{"AM29LV040B", FlashSetup::x8x2, kPair, 0x30, 0x20000, 0x20000, 0x40000, kS * 7 / 10},
                    EraseCase{"S29GL064M", FlashSetup::x16, kWord, 0x30, 0x2000, 0x2000, 0x4000, kS / 2},
                    EraseCase{"S29GL128N", FlashSetup::x16, kWord, 0x30, 0x30000, 0x20000, 0x40000, kS / 2},
                    EraseCase{"K8D6316", FlashSetup::x16, kWord, 0x30, 0x10000, 0x10000, 0x20000, kS * 7 / 10},
                    EraseCase{"SST39VF6401", FlashSetup::x16, kSst, 0x30, 0x12345, 0x12000, 0x13000, kS * 18 / 1000},
                    EraseCase{"SST39VF6401", FlashSetup::x16, kSst, 0x50, 0x12345, 0x10000, 0x20000, kS * 18 / 1000}));

struct ChipEraseCase {
    const char* model;
    FlashSetup setup;
    NorCommands cmds;
    uint64_t typical_ns;
};

void PrintTo(const ChipEraseCase& c, std::ostream* os) { *os << c.model << ' ' << setup_name(c.setup); }

class ChipErase : public testing::TestWithParam<ChipEraseCase> {};

TEST_P(ChipErase, ErasesEverythingAfterItsTypicalTime)
{
    const ChipEraseCase& c = GetParam();
    FlashBank bank(model(c.model), c.setup);
    bank.load(std::vector<uint8_t>(bank.size_bytes(), 0x5A));
    NorBusDriver bus(bank, 100);
    c.cmds.erase(bus, 0, 0x10);
    const uint64_t started = bus.now();
    bus.wait(started + c.typical_ns - bus.now() - 200);
    EXPECT_EQ(bus.read(0) & 0x80, 0u);
    bus.wait(200);
    EXPECT_EQ(bus.read(0) & 0xFF, 0xFFu);
    EXPECT_EQ(bank.contents(), std::vector<uint8_t>(bank.size_bytes(), 0xFF));
}

INSTANTIATE_TEST_SUITE_P(Chips, ChipErase,
                         testing::Values(ChipEraseCase{"S29AL008D", FlashSetup::x16, kWord, 14 * kS},
                                         ChipEraseCase{"S29AL004D", FlashSetup::x8, kByteMode, 11 * kS},
                                         ChipEraseCase{"EN29LV040A", FlashSetup::x8x2, kPair, 4 * kS},
                                         ChipEraseCase{"S29GL064M", FlashSetup::x16, kWord, 64 * kS},
                                         ChipEraseCase{"SST39VF6401", FlashSetup::x16, kSst, 40 * kS / 1000}));

TEST(Erase, UnknownCodeReturnsToReadArray)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    bank.load({0x00, 0x00});
    NorBusDriver bus(bank, 100);
    kWord.erase(bus, 0, 0x50);  // block erase exists only on the SST part
    EXPECT_EQ(bus.read(0), 0u);
    EXPECT_FALSE(bank.chip(0).busy(bus.now()));
}

// ---- unlock bypass ----

struct BypassCase {
    const char* model;
    FlashSetup setup;
    NorCommands cmds;
    uint32_t maker;  // autoselect address 0, once the chip reads codes again
};

void PrintTo(const BypassCase& c, std::ostream* os) { *os << c.model << ' ' << setup_name(c.setup); }

bool all_in_bypass(const FlashBank& bank, uint64_t now)
{
    for (int lane = 0; lane < bank.chip_count(); ++lane)
        if (!bank.chip(lane).in_bypass(now))
            return false;
    return true;
}

class UnlockBypass : public testing::TestWithParam<BypassCase> {};

TEST_P(UnlockBypass, ProgramsInTwoCyclesUntilNinetyThenZero)
{
    const BypassCase& c = GetParam();
    FlashBank bank(model(c.model), c.setup);
    NorBusDriver bus(bank, 100);
    const uint32_t mask = c.setup == FlashSetup::x8 ? 0xFF : 0xFFFF;
    c.cmds.command(bus, 0x20);
    ASSERT_TRUE(all_in_bypass(bank, bus.now()));

    bus.write(0x7776, 0xA0 * c.cmds.lanes);  // any address
    bus.write(0x1234, 0xA55A & mask);
    EXPECT_EQ(bus.read(0x1234) & 0x80, 0x80u) << "status: complement of bit 7";
    bus.wait(1'000'000);
    EXPECT_EQ(bus.read(0x1234), 0xA55A & mask);
    bus.write(0, 0xA0 * c.cmds.lanes);
    bus.write(0x1234, 0x0FF0 & mask);
    bus.wait(1'000'000);
    EXPECT_EQ(bus.read(0x1234), 0x0550 & mask) << "cells only go from 1 to 0";
    EXPECT_EQ(bank.chip(0).counters().bypass_programs, 2u);
    EXPECT_EQ(bank.chip(0).counters().programs, 0u);

    // Normal commands are not taken: F0 stays in the mode, autoselect reads the array,
    // erase erases nothing.
    c.cmds.reset(bus);
    c.cmds.command(bus, 0x90);
    EXPECT_EQ(bus.read(0), mask);
    c.cmds.reset(bus);
    c.cmds.erase(bus, 0x1234, 0x30);
    EXPECT_EQ(bus.read(0x1234), 0x0550 & mask);
    EXPECT_TRUE(all_in_bypass(bank, bus.now()));

    bus.write(0x4444, 0x90 * c.cmds.lanes);
    bus.write(0x2222, 0);
    EXPECT_FALSE(bank.chip(bank.chip_count() - 1).in_bypass(bus.now()));
    EXPECT_EQ(bank.chip(0).mode(bus.now()), sim::NorChip::Mode::read_array);
    c.cmds.command(bus, 0x90);
    EXPECT_EQ(bus.read(0), c.maker);
}

INSTANTIATE_TEST_SUITE_P(Chips, UnlockBypass,
                         testing::Values(BypassCase{"S29AL008D", FlashSetup::x16, kWord, 0x0001},
                                         BypassCase{"S29AL004D:bottom", FlashSetup::x8, kByteMode, 0x01},
                                         BypassCase{"AM29LV040B", FlashSetup::x8, kByteOnly, 0x01},
                                         BypassCase{"AM29LV040B", FlashSetup::x8x2, kPair, 0x0101}));

class NoUnlockBypass : public testing::TestWithParam<BypassCase> {};

TEST_P(NoUnlockBypass, UnlockThenTwentyReturnsToReadArray)
{
    const BypassCase& c = GetParam();
    FlashBank bank(model(c.model), c.setup);
    NorBusDriver bus(bank, 100);
    c.cmds.command(bus, 0x20);
    EXPECT_EQ(bank.chip(0).mode(bus.now()), sim::NorChip::Mode::read_array);
    bus.write(0, 0xA0 * c.cmds.lanes);
    bus.write(0x1234, 0);
    bus.wait(1'000'000);
    EXPECT_EQ(bus.read(0x1234), c.setup == FlashSetup::x8 ? 0xFFu : 0xFFFFu) << "no two-cycle program";
    c.cmds.command(bus, 0x90);
    EXPECT_EQ(bus.read(0), c.maker);
}

INSTANTIATE_TEST_SUITE_P(Chips, NoUnlockBypass,
                         testing::Values(BypassCase{"EN29LV040A", FlashSetup::x8x2, kPair, 0x7F7F},
                                         BypassCase{"K8D6316", FlashSetup::x16, kWord, 0x00EC},
                                         BypassCase{"S29GL064M", FlashSetup::x8, kByteMode, 0x01},
                                         BypassCase{"S29GL128N", FlashSetup::x16, kWord, 0x0001},
                                         BypassCase{"SST39VF6401", FlashSetup::x16, kSst, 0x00BF}));

TEST(UnlockBypass, EnteredOnlyAtTheFirstCommandAddress)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    NorBusDriver bus(bank);
    kWord.unlock(bus);
    bus.write(0x100, 0x20);
    EXPECT_EQ(bank.chip(0).mode(bus.now()), sim::NorChip::Mode::read_array);
}

// ---- pin protocol ----

TEST(Pins, AddressLatchedOnLaterFallingEdgeDataOnRisingEdge)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    kWord.command(bus, 0xA0);
    sim::DevicePins p = bus.pins();
    p.ce_n = true;
    bus.set(p);
    p.we_n = false;  // WE# first, CE# last: CE# latches the address
    p.address = 0x40;
    p.data_driven = 0xFFFF;
    bus.set(p);
    p.ce_n = false;
    bus.set(p);
    p.address = 0x80;  // changes after the latch: ignored
    p.data = 0x1234;   // data set up before the rising edge counts
    bus.set(p);
    p.we_n = true;
    bus.set(p);
    bus.wait(10'000);
    EXPECT_EQ(bus.read(0x40), 0x1234u);
    EXPECT_EQ(bus.read(0x80), 0xFFFFu);
}

TEST(Pins, DrivesOnlyWithChipEnableAndOutputEnableLow)
{
    FlashBank bank(model("S29AL008D"), FlashSetup::x16);
    NorBusDriver bus(bank, 100);
    uint32_t levels = 0;
    sim::DevicePins p;
    for (int ce = 0; ce < 2; ++ce)
        for (int oe = 0; oe < 2; ++oe) {
            p.ce_n = ce != 0;
            p.oe_n = oe != 0;
            EXPECT_EQ(bank.data_out(p, 0, levels), (ce == 0 && oe == 0) ? 0xFFFFu : 0u);
        }
}

}  // namespace

// ---- Intel-style chips ----

namespace {

// A 16-bit bus: word address k at CPU byte 2k; status in the low byte.
struct IntelBus {
    explicit IntelBus(const char* name) : bank(model(name), FlashSetup::x16), bus(bank, 100) {}
    uint32_t status(uint32_t at) { return bus.read(at) & 0xFF; }
    // Ready, after whatever the chip was doing.
    uint32_t settled(uint32_t at)
    {
        bus.wait(5'000'000'000);
        return status(at);
    }
    FlashBank bank;
    NorBusDriver bus;
};

TEST(IntelChip, IdentifierQueryAndExtendedTable)
{
    for (const auto& [name, device, pri_at, features] :
         {std::tuple{"28F128J3", 0x0018u, 0x31u, 0x0Au}, std::tuple{"28F256P30", 0x891Cu, 0x10Au, 0xE6u}}) {
        IntelBus chip(name);
        chip.bus.write(0, 0x90);
        EXPECT_EQ(chip.bus.read(0), 0x0089u) << name;
        EXPECT_EQ(chip.bus.read(2), device) << name;
        chip.bus.write(0xAA, 0x98);
        EXPECT_EQ(cfi_byte(chip.bus, 0x10), 'Q');
        EXPECT_EQ(cfi_byte(chip.bus, 0x13), 0x01u) << "Intel/Sharp command set";
        EXPECT_EQ(cfi_byte(chip.bus, 0x15) | cfi_byte(chip.bus, 0x16) << 8, pri_at) << name;
        EXPECT_EQ(cfi_byte(chip.bus, pri_at), 'P');
        EXPECT_EQ(cfi_byte(chip.bus, pri_at + 5), features) << name;
        chip.bus.write(0, 0xFF);
        EXPECT_EQ(chip.bus.read(0), 0xFFFFu) << "read array again";
    }
}

TEST(IntelChip, P30IsLockedAtPowerUpAndUnlocksBlockByBlock)
{
    IntelBus chip("28F256P30");
    chip.bus.write(0x40000, 0x90);
    EXPECT_EQ(chip.bus.read(0x40004), 0x01u) << "lock status at block base + 2";
    chip.bus.write(0x40000, 0x20);
    chip.bus.write(0x40000, 0xD0);
    EXPECT_EQ(chip.settled(0x40000), 0x80u | 0x20 | 0x02) << "SR1 and SR5: locked, nothing erased";
    chip.bus.write(0, 0x50);
    EXPECT_EQ(chip.status(0), 0x80u) << "clear status";
    chip.bus.write(0x40000, 0x60);
    chip.bus.write(0x40000, 0xD0);
    EXPECT_EQ(chip.settled(0x40000), 0x80u);
    chip.bus.write(0x40000, 0x40);
    chip.bus.write(0x40000, 0x1234);
    EXPECT_EQ(chip.status(0x40000) & 0x80, 0u) << "busy";
    EXPECT_EQ(chip.settled(0x40000), 0x80u);
    chip.bus.write(0, 0x90);
    EXPECT_EQ(chip.bus.read(0x40004), 0x00u);
    EXPECT_EQ(chip.bus.read(0x60004), 0x01u) << "the next block stays locked";
    chip.bus.write(0, 0xFF);
    EXPECT_EQ(chip.bus.read(0x40000), 0x1234u);
}

TEST(IntelChip, BufferWindowAndConfirmChecks)
{
    struct Case {
        const char* what;
        uint32_t count_minus_one;
        uint32_t second_word_at;
        uint8_t confirm;
        uint32_t status;
    };
    // J3: a 16-word (32-byte) window at 0x20000.
    for (const Case& c :
         {Case{"programmed", 1, 0x20002, 0xD0, 0x80}, Case{"count over 16", 16, 0x20002, 0xD0, 0xB0},
          Case{"outside the window", 1, 0x20020, 0xD0, 0xB0}, Case{"wrong confirm", 1, 0x20002, 0xFF, 0xB0}}) {
        IntelBus chip("28F128J3");
        chip.bus.write(0x20000, 0xE8);
        EXPECT_EQ(chip.status(0x20000), 0x80u) << "a buffer is free";
        chip.bus.write(0x20000, c.count_minus_one);
        chip.bus.write(0x20000, 0x1111);
        chip.bus.write(c.second_word_at, 0x2222);
        chip.bus.write(0x20000, c.confirm);
        EXPECT_EQ(chip.settled(0x20000), c.status) << c.what;
        chip.bus.write(0, 0xFF);
        EXPECT_EQ(chip.bus.read(0x20002), c.status == 0x80 ? 0x2222u : 0xFFFFu) << c.what;
    }
}

TEST(IntelChip, J3UnlockClearsEveryBlock)
{
    FlashFaults faults;
    faults.locked_blocks = {1, 5};
    FlashBank bank(model("28F128J3"), FlashSetup::x16, faults);
    NorBusDriver bus(bank, 100);
    bus.write(0x40000, 0x60);
    bus.write(0x40000, 0xD0);
    bus.wait(1'000'000);
    bus.write(0, 0x90);
    EXPECT_EQ(bus.read(0x40004) | bus.read(0x140004), 0x00u);
}

TEST(Protection, ProtectedSectorReadsOneAndKeepsItsCells)
{
    FlashFaults faults;
    faults.protected_blocks = {3};
    FlashBank bank(model("S29AL008D:bottom"), FlashSetup::x16, faults);  // sector 3: 32 KB at 0x8000
    bank.load(std::vector<uint8_t>(bank.size_bytes(), 0x5A));
    NorBusDriver bus(bank, 100);
    kWord.command(bus, 0x90);
    EXPECT_EQ(bus.read(0x8004), 0x01u);
    EXPECT_EQ(bus.read(0x4004), 0x00u);
    bus.write(0, 0xF0);
    kWord.erase(bus, 0x8000, 0x30);
    bus.wait(1'000'000);
    kWord.program(bus, 0x8010, 0x0000);
    bus.wait(1'000'000);
    EXPECT_EQ(bus.read(0x8010), 0x5A5Au);
    EXPECT_EQ(bank.chip(0).counters().protected_refusals, 2u);
    kWord.command(bus, 0x80);
    kWord.command(bus, 0x10);
    bus.wait(20'000'000'000);
    EXPECT_EQ(bus.read(0x8000), 0x5A5Au) << "a chip erase skips it";
    EXPECT_EQ(bus.read(0x4000), 0xFFFFu);
}

}  // namespace
