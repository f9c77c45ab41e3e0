// SPDX-License-Identifier: Apache-2.0
// Pin-map operations of the four CPUs, checked against the virtual board's own wiring.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "jtag/lpt_cable.h"
#include "jtag/tap_walker.h"
#include "platform/platform.h"
#include "sim/board.h"
#include "sim/cpu_pins.h"
#include "sim/memory_device.h"
#include "sim/sim_platform.h"
#include "targets/cpu_table.h"
#include "targets/selected_target.h"

namespace {

struct CpuCase {
    const char* name;
    sim::CpuModel model;
    int address_bits;
    // Data pins a write switches to drive, for a width of 8 and of 16; -1: the one bus cell.
    int driven_at_8;
    int driven_at_16;
};

constexpr CpuCase kCpus[] = {
    {"KTR5200", sim::CpuModel::Ktr5200, 26, -1, -1},
    {"ULN", sim::CpuModel::Uln, 25, 8, 16},
    {"PAXON", sim::CpuModel::Paxon, 26, 32, 32},
    {"MIRTA", sim::CpuModel::Mirta, 24, 16, 16},
};

std::vector<int> cells_with(const sim::CpuWiring& wiring, bool (*match)(sim::CellRole), int index)
{
    std::vector<int> cells;
    for (int cell = 0; cell < wiring.bsr_length; ++cell)
        if (match(wiring.cells[cell].role) && (index < 0 || wiring.cells[cell].index == index))
            cells.push_back(cell);
    return cells;
}

bool is_data_out(sim::CellRole role) { return role == sim::CellRole::DataOut || role == sim::CellRole::DataInOut; }
bool is_data_in(sim::CellRole role) { return role == sim::CellRole::DataIn || role == sim::CellRole::DataInOut; }

int one_cell(const sim::CpuWiring& wiring, bool (*match)(sim::CellRole), int index)
{
    std::vector<int> cells = cells_with(wiring, match, index);
    return cells.size() == 1 ? cells[0] : -1;
}

void PrintTo(const CpuCase& c, std::ostream* out) { *out << c.name; }

class BusCycleCells : public ::testing::TestWithParam<CpuCase> {
protected:
    void SetUp() override
    {
        cpu = cpu_select(GetParam().name);
        ASSERT_NE(cpu, nullptr);
        wiring = &sim::cpu_wiring(GetParam().model);
        ASSERT_EQ(wiring->bsr_length, cpu->bsr_length);
    }
    std::string blank() const { return std::string(static_cast<size_t>(cpu->bsr_length), '.'); }

    const CpuTarget* cpu = nullptr;
    const sim::CpuWiring* wiring = nullptr;
};

TEST_P(BusCycleCells, SetAddressWritesEachBitIntoItsCellOnly)
{
    const CpuCase& c = GetParam();
    for (int bit = 0; bit < 32; ++bit) {
        std::string image = blank();
        set_address(cpu->pins, image.data(), 1u << bit);
        for (int cell = 0; cell < wiring->bsr_length; ++cell) {
            const sim::CellWiring role = wiring->cells[cell];
            char expected = '.';
            if (role.role == sim::CellRole::Address)
                expected = role.index == bit ? '1' : '0';
            ASSERT_EQ(image[cell], expected) << c.name << " A" << bit << " cell " << cell;
        }
        const size_t ones = static_cast<size_t>(std::count(image.begin(), image.end(), '1'));
        EXPECT_EQ(ones, bit < c.address_bits ? 1u : 0u) << c.name << " A" << bit;
    }
}

TEST_P(BusCycleCells, SetDataWritesWidthBitsAndSwitchesTheCpusDrivers)
{
    const CpuCase& c = GetParam();
    const char drive = wiring->drive_level ? '1' : '0';
    for (int width : {8, 16}) {
        const int driven = width == 8 ? c.driven_at_8 : c.driven_at_16;
        for (int bit = 0; bit < width; ++bit) {
            std::string image = blank();
            set_data(cpu->pins, image.data(), 1u << bit, static_cast<uint32_t>(width));
            for (int cell = 0; cell < wiring->bsr_length; ++cell) {
                const sim::CellWiring role = wiring->cells[cell];
                char expected = '.';
                if (is_data_out(role.role) && role.index < width)
                    expected = role.index == bit ? '1' : '0';
                else if (role.role == sim::CellRole::BusDirection)
                    expected = drive;
                else if (role.role == sim::CellRole::Direction && role.index < driven)
                    expected = drive;
                ASSERT_EQ(image[cell], expected) << c.name << " width " << width << " D" << bit << " cell " << cell;
            }
        }
    }
}

TEST_P(BusCycleCells, GetDataAssemblesTheWidthsInputCells)
{
    const CpuCase& c = GetParam();
    for (uint32_t width : {8u, 16u}) {
        for (int bit = 0; bit < wiring->data_pins; ++bit) {
            std::string capture(static_cast<size_t>(cpu->bsr_length), '0');
            capture[static_cast<size_t>(one_cell(*wiring, is_data_in, bit))] = '1';
            const uint32_t expected = bit < static_cast<int>(width) ? 1u << bit : 0;
            EXPECT_EQ(get_data(cpu->pins, capture.data(), width), expected)
                << c.name << " width " << width << " D" << bit;
        }
    }
}

TEST_P(BusCycleCells, OnlyACapturedOneSetsABit)
{
    for (char level : {'0', '3', 'x', '\0', '\xff'}) {
        std::string capture(static_cast<size_t>(cpu->bsr_length), level);
        EXPECT_EQ(get_data(cpu->pins, capture.data(), 16), 0u) << GetParam().name << " char " << int(level);
    }
    std::string ones(static_cast<size_t>(cpu->bsr_length), '1');
    EXPECT_EQ(get_data(cpu->pins, ones.data(), 16), 0xFFFFu) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Cpus, BusCycleCells, ::testing::ValuesIn(kCpus),
                         [](const ::testing::TestParamInfo<CpuCase>& info) { return std::string(info.param.name); });

}  // namespace

// ---- Bus cycles through the virtual board: port, TAP, CPU pins, bus and a memory. ----

namespace {

struct BoardCase {
    const char* name;
    uint32_t address_mask;
    uint32_t width;
};

void PrintTo(const BoardCase& c, std::ostream* out) { *out << c.name << " x" << c.width; }

constexpr BoardCase kBoardCases[] = {
    {"KTR5200", 0x03FFFFFF, 8}, {"KTR5200", 0x03FFFFFF, 16}, {"ULN", 0x01FFFFFF, 8},   {"ULN", 0x01FFFFFF, 16},
    {"PAXON", 0x03FFFFFF, 8},   {"PAXON", 0x03FFFFFF, 16},   {"MIRTA", 0x00FFFFFF, 8}, {"MIRTA", 0x00FFFFFF, 16},
};

// The tool's bus cycles wired to a virtual board, EXTEST loaded, chip select on `region`,
// the board's memory on `memory_region`.
class BoardBench {
public:
    BoardBench(const char* cpu, uint32_t data_width, int region = 0, int memory_region = -1)
        : board_(config(cpu, memory_region < 0 ? region : memory_region)),
          platform_(board_, sim::KeySetup{true, "", {}, 0}),
          width(data_width)
    {
        platform_install(&platform_);
        cable_ = std::make_unique<LptCable>(platform_, 0x378);
        chain_ = std::make_unique<JtagChain>(*cable_);
        target_ = std::make_unique<SelectedTarget>(*cpu_select(cpu), *chain_);
        target_->set_ncs_cell(cpu_ncs_cell(target_->cpu(), static_cast<uint32_t>(region) << 29));
        tap_reset(*cable_);
        jtag_scan_ir(*cable_, 4, kExtest);
        memory = dynamic_cast<sim::MemoryDevice*>(&board_.bus().device(0));
    }

    char* image() { return target_->bsr_image(); }
    SelectedTarget& target() { return *target_; }
    void chip_enable(char level) { target_->bsr_set_chip_enable(level); }
    void write(uint32_t address, uint32_t data) { target_->bus_write(address, data, width); }
    uint32_t read(uint32_t address) { return target_->bus_read(address, width); }
    sim::VirtualBoard& board() { return board_; }
    const sim::BusSignals& pins() { return board_.bus().signals(); }
    uint64_t dr_scans() const { return board_.stats().dr_scans; }
    uint64_t violations() const { return board_.stats().rule_violations; }
    std::string notes()
    {
        std::string text;
        for (const std::string& note : board_.bus().violation_notes())
            text += note + "\n";
        return text;
    }

    sim::MemoryDevice* memory = nullptr;

private:
    static sim::BoardConfig config(const char* cpu, int region)
    {
        sim::BoardConfig c;
        c.cpu = cpu;
        c.region = region;
        c.with_bus = true;
        return c;
    }

    sim::VirtualBoard board_;
    sim::SimPlatform platform_;
    std::unique_ptr<LptCable> cable_;
    std::unique_ptr<JtagChain> chain_;
    std::unique_ptr<SelectedTarget> target_;

public:
    uint32_t width;
};

class BoardCycles : public ::testing::TestWithParam<BoardCase> {};

TEST_P(BoardCycles, WalkingOnesArriveUnchangedAndReadBackMasked)
{
    const BoardCase& c = GetParam();
    BoardBench bench(c.name, c.width);
    ASSERT_NE(bench.memory, nullptr);
    const uint32_t mask = c.width == 8 ? 0xFF : 0xFFFF;

    uint64_t scans = bench.dr_scans();
    bench.chip_enable('0');
    EXPECT_EQ(bench.dr_scans(), scans + 1);

    for (uint32_t bit = 0; bit < 32; ++bit) {
        const uint32_t address = 1u << bit;
        const uint32_t data = 1u << (bit % c.width);
        scans = bench.dr_scans();
        bench.write(address, data);
        EXPECT_EQ(bench.dr_scans(), scans + 2);
        ASSERT_FALSE(bench.memory->writes().empty());
        EXPECT_EQ(bench.memory->writes().back().address, address & c.address_mask) << "A" << bit;
        EXPECT_EQ(bench.memory->writes().back().data & mask, data) << "D" << bit % c.width;

        // Read straight after the write, then a value with every bit of the word in play.
        scans = bench.dr_scans();
        EXPECT_EQ(bench.read(address), data) << "A" << bit;
        EXPECT_EQ(bench.dr_scans(), scans + 3);
        bench.memory->store(address & c.address_mask, 0xA55A ^ (address & 0xFFFF));
        EXPECT_EQ(bench.read(address), (0xA55A ^ (address & 0xFFFF)) & mask);
    }
    scans = bench.dr_scans();
    bench.chip_enable('1');
    EXPECT_EQ(bench.dr_scans(), scans + 1);
    EXPECT_EQ(bench.pins().ncs_n, 0xFF);
    EXPECT_EQ(bench.board().stats().bus_writes, 32u);
    EXPECT_EQ(bench.board().stats().bus_reads, 64u);
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

TEST_P(BoardCycles, ReadRunTakesTwoScansMoreThanItsWordsAndReadsOnlyTheDataCells)
{
    const BoardCase& c = GetParam();
    BoardBench bench(c.name, c.width);
    for (uint32_t k = 0; k < 20; ++k)
        bench.memory->store(0x100 + 2 * k, 0x1357 * (k + 1));
    bench.chip_enable('0');
    const uint64_t scans = bench.dr_scans();
    const uint64_t reads = bench.board().stats().port_reads;
    uint32_t words[20];
    bench.target().bus_read_run(0x100, 2, 20, c.width, words);
    EXPECT_EQ(bench.dr_scans(), scans + 22);
    EXPECT_EQ(bench.board().stats().port_reads, reads + 20 * c.width);
    for (uint32_t k = 0; k < 20; ++k)
        EXPECT_EQ(words[k], (0x1357 * (k + 1)) & data_mask_of(c.width)) << "word " << k;
    EXPECT_EQ(bench.pins().data_driven, 0u);
    EXPECT_TRUE(bench.pins().oe_n);
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

TEST_P(BoardCycles, AddressBitsAboveTheLastCellNeverReachTheBus)
{
    const BoardCase& c = GetParam();
    BoardBench bench(c.name, c.width);
    bench.chip_enable('0');
    bench.write(0xFFFFFFFF, 0x12);
    EXPECT_EQ(bench.pins().address, c.address_mask);
    bench.read(~c.address_mask);
    EXPECT_EQ(bench.pins().address, 0u);
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

TEST_P(BoardCycles, ChipEnableSelectsTheDeviceOnlyThroughItsRegion)
{
    const BoardCase& c = GetParam();
    const int regions = std::string(c.name) == "PAXON" || std::string(c.name) == "MIRTA" ? 7 : 8;
    for (int region = 0; region < regions; ++region) {
        BoardBench bench(c.name, c.width, region);
        bench.write(0x10, 0x21);
        EXPECT_TRUE(bench.memory->writes().empty()) << "region " << region << " written while deselected";
        bench.chip_enable('0');
        EXPECT_EQ(bench.pins().ncs_n, static_cast<uint8_t>(~(1u << region))) << "region " << region;
        bench.write(0x10, 0x21);
        EXPECT_EQ(bench.memory->writes().size(), 1u) << "region " << region;
        EXPECT_EQ(bench.read(0x10), 0x21u);
        bench.chip_enable('1');
        EXPECT_EQ(bench.pins().ncs_n, 0xFF);
        EXPECT_EQ(bench.read(0x10), data_mask_of(c.width)) << "pulled up";
        EXPECT_EQ(bench.violations(), 0u) << bench.notes();
    }
}

INSTANTIATE_TEST_SUITE_P(Board, BoardCycles, ::testing::ValuesIn(kBoardCases),
                         [](const ::testing::TestParamInfo<BoardCase>& info) {
                             return std::string(info.param.name) + "_x" + std::to_string(info.param.width);
                         });

TEST(BoardEdges, Ktr5200ByteWidthDrivesTheUpperCellsAsTheyStand)
{
    BoardBench bench("KTR5200", 8);
    bench.image()[151] = '1';  // D8: not written by an 8-bit cycle, but driven
    bench.chip_enable('0');
    bench.write(0x20, 0x81);
    EXPECT_EQ(bench.pins().data_driven & 0xFFFF, 0xFFFFu);
    EXPECT_EQ(bench.memory->writes().back().data, 0x0181u);
    EXPECT_EQ(bench.image()[151], '1');
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

TEST(BoardEdges, UlnDrivesSixteenPinsIntoAByteWideDevice)
{
    BoardBench bench("ULN", 8, 1, 0);
    auto& byte_wide =
        static_cast<sim::MemoryDevice&>(bench.board().bus().attach(std::make_unique<sim::MemoryDevice>(0xFF), 1));
    bench.chip_enable('0');
    bench.write(0x30, 0xA5);
    EXPECT_EQ(bench.pins().data_driven, 0xFFFFu);
    EXPECT_EQ(bench.pins().data, 0x00A5u);
    EXPECT_EQ(byte_wide.writes().back().data, 0xA5u);
    EXPECT_EQ(bench.read(0x30), 0xA5u);
    EXPECT_EQ(bench.pins().data_driven, 0u);
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

TEST(BoardEdges, PaxonSwitchesAllThirtyTwoPins)
{
    BoardBench bench("PAXON", 16);
    bench.chip_enable('0');
    bench.write(0x40, 0x1234);
    EXPECT_EQ(bench.pins().data_driven, 0xFFFFFFFFu);
    EXPECT_EQ(bench.read(0x40), 0x1234u);
    EXPECT_EQ(bench.pins().data_driven, 0u);
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

TEST(BoardEdges, MirtaDrivesAtOneAndReleasesAllThirtyTwoPins)
{
    BoardBench bench("MIRTA", 16);
    bench.chip_enable('0');
    bench.write(0x50, 0x8001);
    EXPECT_EQ(bench.pins().data_driven & 0xFFFF, 0xFFFFu);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(bench.image()[296 - 2 * k], '1') << "D" << k;
    // Upper pins left driving by someone else's edit must be released too.
    for (int k = 0; k < 8; ++k)
        bench.image()[241 + 2 * k] = bench.image()[222 - 2 * k] = '1';
    EXPECT_EQ(bench.read(0x50), 0x8001u);
    EXPECT_EQ(bench.pins().data_driven, 0u);
    EXPECT_EQ(bench.violations(), 0u) << bench.notes();
}

}  // namespace
