// SPDX-License-Identifier: Apache-2.0
// The virtual board's parallel port and TAP controller, driven by raw port bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/cpu_facts.h"
#include "sim/scan_pins.h"
#include "sim/tap_controller.h"

namespace {

// A board with the CPU's register alone: no pins, no bus.
sim::BoardConfig bare_board(const std::string& cpu)
{
    sim::BoardConfig config;
    config.cpu = cpu;
    return config;
}

using sim::TapState;
using Bits = std::vector<int>;

// IEEE 1149.1 TAP state diagram, written out here independently of the board.
struct Transition {
    TapState state;
    const char* name;
    TapState on_tms0;
    TapState on_tms1;
    Bits path;  // TMS values that reach the state from Test-Logic-Reset
};
const Transition kIeeeTable[] = {
    {TapState::TestLogicReset, "Test-Logic-Reset", TapState::RunTestIdle, TapState::TestLogicReset, {}},
    {TapState::RunTestIdle, "Run-Test/Idle", TapState::RunTestIdle, TapState::SelectDrScan, {0}},
    {TapState::SelectDrScan, "Select-DR-Scan", TapState::CaptureDr, TapState::SelectIrScan, {0, 1}},
    {TapState::CaptureDr, "Capture-DR", TapState::ShiftDr, TapState::Exit1Dr, {0, 1, 0}},
    {TapState::ShiftDr, "Shift-DR", TapState::ShiftDr, TapState::Exit1Dr, {0, 1, 0, 0}},
    {TapState::Exit1Dr, "Exit1-DR", TapState::PauseDr, TapState::UpdateDr, {0, 1, 0, 1}},
    {TapState::PauseDr, "Pause-DR", TapState::PauseDr, TapState::Exit2Dr, {0, 1, 0, 1, 0}},
    {TapState::Exit2Dr, "Exit2-DR", TapState::ShiftDr, TapState::UpdateDr, {0, 1, 0, 1, 0, 1}},
    {TapState::UpdateDr, "Update-DR", TapState::RunTestIdle, TapState::SelectDrScan, {0, 1, 0, 1, 1}},
    {TapState::SelectIrScan, "Select-IR-Scan", TapState::CaptureIr, TapState::TestLogicReset, {0, 1, 1}},
    {TapState::CaptureIr, "Capture-IR", TapState::ShiftIr, TapState::Exit1Ir, {0, 1, 1, 0}},
    {TapState::ShiftIr, "Shift-IR", TapState::ShiftIr, TapState::Exit1Ir, {0, 1, 1, 0, 0}},
    {TapState::Exit1Ir, "Exit1-IR", TapState::PauseIr, TapState::UpdateIr, {0, 1, 1, 0, 1}},
    {TapState::PauseIr, "Pause-IR", TapState::PauseIr, TapState::Exit2Ir, {0, 1, 1, 0, 1, 0}},
    {TapState::Exit2Ir, "Exit2-IR", TapState::ShiftIr, TapState::UpdateIr, {0, 1, 1, 0, 1, 0, 1}},
    {TapState::UpdateIr, "Update-IR", TapState::RunTestIdle, TapState::SelectDrScan, {0, 1, 1, 0, 1, 1}},
};

// Drives the board the way a cable does: two data-register writes per clock.
class Cable {
public:
    explicit Cable(sim::VirtualBoard& board) : board_(board), base_(board.config().port_base) {}

    void clock(uint8_t tms, uint8_t tdi = 0)
    {
        uint8_t bits = static_cast<uint8_t>(0x08 | (tms << 1) | tdi);
        board_.port().write(base_, bits);
        board_.port().write(base_, bits | 0x04);
    }
    uint8_t tdo() { return (board_.port().read(base_ + 1) >> 6) & 1; }
    void walk(const Bits& tms)
    {
        for (uint8_t bit : tms)
            clock(bit);
    }
    void reset() { walk({1, 1, 1, 1, 1}); }
    // From Run-Test/Idle along a path that starts in Test-Logic-Reset, keeping the instruction.
    void reach(bool reset_state, const Bits& path_from_reset)
    {
        if (reset_state)
            reset();
        else
            walk(Bits(path_from_reset.begin() + 1, path_from_reset.end()));
    }

    // From Test-Logic-Reset or Run-Test/Idle back to Run-Test/Idle; returns TDO per shift.
    Bits scan_ir(uint8_t instruction)
    {
        walk({0, 1, 1, 0, 0});
        return shift(Bits{uint8_t(instruction & 1), uint8_t(instruction >> 1 & 1), uint8_t(instruction >> 2 & 1),
                          uint8_t(instruction >> 3 & 1)});
    }
    Bits scan_dr(const Bits& in)
    {
        walk({0, 1, 0, 0});
        return shift(in);
    }

private:
    Bits shift(const Bits& in)
    {
        Bits out;
        for (size_t i = 0; i < in.size(); ++i) {
            clock(i + 1 == in.size(), in[i]);
            out.push_back(tdo());
        }
        walk({1, 0});
        return out;
    }

    sim::VirtualBoard& board_;
    uint16_t base_;
};

Bits word_bits(uint32_t value, int count)
{
    Bits bits;
    for (int i = 0; i < count; ++i)
        bits.push_back((value >> i) & 1);
    return bits;
}

Bits random_bits(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    Bits bits;
    for (size_t i = 0; i < count; ++i)
        bits.push_back(random() & 1);
    return bits;
}

Bits concat(Bits a, const Bits& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kCpus = {"KTR5200", "ULN", "PAXON", "MIRTA"};

TEST(TapController, EveryStateAndTmsFollowsTheIeeeDiagram)
{
    for (const Transition& row : kIeeeTable) {
        for (uint8_t tms : {0, 1}) {
            sim::VirtualBoard board(sim::BoardConfig{});
            Cable cable(board);
            cable.walk(row.path);
            ASSERT_EQ(board.tap().state(), row.state) << row.name;
            cable.clock(tms);
            EXPECT_EQ(board.tap().state(), tms ? row.on_tms1 : row.on_tms0) << row.name << " TMS " << int(tms);
        }
    }
}

TEST(TapController, FiveClocksWithTmsHighResetFromEveryState)
{
    for (const Transition& row : kIeeeTable) {
        sim::VirtualBoard board(sim::BoardConfig{});
        Cable cable(board);
        cable.scan_ir(0x3);  // a BYPASS instruction, which the reset must undo
        cable.reach(row.state == TapState::TestLogicReset, row.path);
        ASSERT_EQ(board.tap().state(), row.state) << row.name;
        cable.reset();
        EXPECT_EQ(board.tap().state(), TapState::TestLogicReset) << row.name;
        EXPECT_EQ(board.tap().selected(), sim::DataRegister::Idcode) << row.name;
    }
}

TEST(TapController, PowersUpInResetWithIdcodeSelected)
{
    for (const std::string& name : kCpus) {
        sim::VirtualBoard board(bare_board(name));
        Cable cable(board);
        const sim::CpuFacts& cpu = board.cpu();
        EXPECT_EQ(board.tap().state(), TapState::TestLogicReset);
        EXPECT_EQ(cable.scan_dr(Bits(32, 1)), word_bits(cpu.idcode, 32)) << name;
    }
}

// Shifts enough ones through the selected register to see its capture and its length.
Bits capture_and_length(Cable& cable, size_t register_guess) { return cable.scan_dr(Bits(register_guess + 8, 1)); }

TEST(TapController, InstructionsSelectIdcodeBoundaryOrBypass)
{
    for (const std::string& name : kCpus) {
        sim::VirtualBoard board(bare_board(name));
        Cable cable(board);
        const sim::CpuFacts& cpu = board.cpu();
        for (uint8_t instruction = 0; instruction < 16; ++instruction) {
            cable.scan_ir(instruction);
            Bits expected;
            if (instruction == 0x0)
                expected = Bits(cpu.bsr_length, 0);  // latches power up as all 0
            else if (instruction == cpu.idcode_instruction)
                expected = word_bits(cpu.idcode, 32);
            else
                expected = Bits{0};
            Bits seen = capture_and_length(cable, cpu.bsr_length);
            Bits want = concat(expected, Bits(cpu.bsr_length + 8 - expected.size(), 1));
            EXPECT_EQ(seen, want) << name << " instruction " << int(instruction);
        }
    }
}

TEST(TapController, CaptureIrShiftsOutZeroZeroZeroOne)
{
    sim::VirtualBoard board(sim::BoardConfig{});
    Cable cable(board);
    EXPECT_EQ(cable.scan_ir(0xD), (Bits{1, 0, 0, 0}));
    EXPECT_EQ(board.tap().instruction(), 0xD);
}

TEST(TapController, TdoIsPulledUpOutsideTheShiftStates)
{
    for (const Transition& row : kIeeeTable) {
        sim::VirtualBoard board(sim::BoardConfig{});
        Cable cable(board);
        cable.scan_ir(0x3);  // BYPASS: Shift-DR puts its captured 0 on TDO
        cable.reach(row.state == TapState::TestLogicReset, row.path);
        ASSERT_EQ(board.tap().state(), row.state) << row.name;
        board.port().write(0x378, 0x08);  // a falling edge inside the state
        EXPECT_EQ(cable.tdo(), row.state == TapState::ShiftDr ? 0 : 1) << row.name;
    }
}

class RecordingPins : public sim::ScanPins {
public:
    explicit RecordingPins(uint32_t length) : length_(length), levels(length, 0) {}
    void set_extest(bool active) override { extest.push_back(active); }
    void update(const uint8_t* latches) override { updates.emplace_back(latches, latches + length_); }
    void capture(uint8_t* cells) override { std::copy(levels.begin(), levels.end(), cells); }

    uint32_t length_;
    Bits levels;
    std::vector<bool> extest;
    std::vector<Bits> updates;
};

TEST(TapController, BoundaryScanUpdatesLatchesAndCapturesThePins)
{
    for (const std::string& name : kCpus) {
        sim::VirtualBoard board(bare_board(name));
        uint32_t length = board.cpu().bsr_length;
        auto owned = std::make_unique<RecordingPins>(length);
        RecordingPins& pins = *owned;
        board.attach_pins(std::move(owned));
        std::vector<Bits> observed;
        board.tap().on_update_dr = [&](sim::DataRegister which, const uint8_t* cells, uint32_t count) {
            if (which == sim::DataRegister::Boundary)
                observed.emplace_back(cells, cells + count);
        };
        Cable cable(board);
        EXPECT_EQ(pins.extest, (std::vector<bool>{false})) << name;

        cable.scan_ir(0x0);
        EXPECT_EQ(pins.extest, (std::vector<bool>{false, true})) << name;

        Bits image = random_bits(length, 7);
        pins.levels = random_bits(length, 8);
        EXPECT_EQ(cable.scan_dr(image), pins.levels) << name;
        ASSERT_EQ(pins.updates.size(), 1u);
        EXPECT_EQ(pins.updates[0], image) << name;
        EXPECT_EQ(observed, std::vector<Bits>{image}) << name;

        // Leaving EXTEST releases the pins and the boundary register takes no more updates.
        cable.scan_ir(board.cpu().idcode_instruction);
        cable.scan_dr(Bits(32, 0));
        cable.reset();
        EXPECT_EQ(pins.extest, (std::vector<bool>{false, true, false, false})) << name;
        EXPECT_EQ(pins.updates.size(), 1u) << name;
    }
}

TEST(TapController, WithoutPinsACaptureReturnsTheLatches)
{
    sim::VirtualBoard board(bare_board("PAXON"));
    Cable cable(board);
    Bits preset = random_bits(412, 3);
    std::vector<uint8_t> cells(preset.begin(), preset.end());
    board.tap().preset_latches(cells.data());
    cable.scan_ir(0x0);
    Bits first = random_bits(412, 4);
    EXPECT_EQ(cable.scan_dr(first), preset);
    EXPECT_EQ(cable.scan_dr(Bits(412, 0)), first);
}

TEST(TapController, RingStaysInOrderOverManyLengthsAndPauses)
{
    for (const std::string& name : kCpus) {
        sim::VirtualBoard board(bare_board(name));
        Cable cable(board);
        uint32_t length = board.cpu().bsr_length;
        cable.scan_ir(0x0);

        // 2 * length + 13 bits in one Shift-DR, with a Pause-DR excursion halfway.
        Bits in = random_bits(2 * length + 13, 11);
        Bits out;
        cable.walk({0, 1, 0, 0});
        for (size_t i = 0; i < in.size(); ++i) {
            bool pause = i == length + 5;
            cable.clock(pause || i + 1 == in.size(), in[i]);
            out.push_back(cable.tdo());
            if (pause)
                cable.walk({0, 0, 1, 0});  // Pause, Pause, Exit2, back to Shift-DR
        }
        cable.walk({1, 0});

        Bits expected_out = concat(Bits(length, 0), Bits(in.begin(), in.end() - length));
        EXPECT_EQ(out, expected_out) << name;
        const std::vector<uint8_t>& latches = board.tap().latches();
        EXPECT_EQ(Bits(latches.begin(), latches.end()), Bits(in.end() - length, in.end())) << name;

        // The next scan starts from a head that is not at cell 0.
        Bits next = random_bits(length, 12);
        EXPECT_EQ(cable.scan_dr(next), Bits(in.end() - length, in.end())) << name;
        EXPECT_EQ(cable.scan_dr(Bits(length, 0)), next) << name;
    }
}

TEST(TapController, CountsClocksAndScans)
{
    sim::VirtualBoard board(sim::BoardConfig{});
    Cable cable(board);
    cable.reset();
    cable.scan_ir(0xD);
    cable.scan_dr(Bits(32, 0));
    cable.scan_ir(0x0);
    cable.scan_dr(Bits(298, 0));
    cable.scan_dr(Bits(298, 0));
    const sim::SimStats& stats = board.stats();
    EXPECT_EQ(stats.ir_scans, 2u);
    EXPECT_EQ(stats.dr_scans, 3u);
    EXPECT_EQ(stats.tck_clocks, 5u + 2 * 11 + (32 + 6) + 2 * (298 + 6));
}

// --- the parallel port --------------------------------------------------------

TEST(VirtualPort, DataRegisterEchoesOnlyAtTheConfiguredBase)
{
    const struct {
        bool no_port;
        uint16_t base;
    } cases[] = {{false, 0x378}, {false, 0x278}, {false, 0x3BC}, {true, 0x378}};
    for (const auto& c : cases) {
        sim::BoardConfig config;
        config.no_port = c.no_port;
        config.port_base = c.base;
        sim::VirtualBoard board(config);
        for (uint16_t address : {0x378, 0x278, 0x3BC, 0x2F8}) {
            board.port().write(address, 0x55);
            uint8_t expected = (!c.no_port && address == c.base) ? 0x55 : 0xFF;
            EXPECT_EQ(board.port().read(address), expected) << std::hex << c.base << " " << address;
        }
        if (c.no_port) {
            EXPECT_EQ(board.port().read(c.base + 1), 0xFF);
        }
    }
}

TEST(VirtualPort, StatusBitSixCarriesTdo)
{
    sim::VirtualBoard board(sim::BoardConfig{});
    Cable cable(board);
    cable.reset();
    Bits id = cable.scan_dr(Bits(32, 0));
    EXPECT_EQ(id, word_bits(0x1B4E20D3, 32));
    // In Run-Test/Idle TDO floats high; the other status bits do not carry it.
    EXPECT_EQ(board.port().read(0x379) & 0x40, 0x40);
}

TEST(VirtualPort, EveryAccessTakesPortTimeAndIsCounted)
{
    sim::BoardConfig config;
    config.port_ns = 750;
    sim::VirtualBoard board(config);
    board.port().write(0x378, 0x08);
    board.port().write(0x278, 0x0C);  // elsewhere: counted, but no clock
    board.port().read(0x379);
    board.port().read(0x3BC);
    EXPECT_EQ(board.stats().port_writes, 2u);
    EXPECT_EQ(board.stats().port_reads, 2u);
    EXPECT_EQ(board.now_ns(), 4u * 750);
    EXPECT_EQ(board.stats().tck_clocks, 0u);
}

TEST(VirtualPort, OnlyRisingTckEdgesClockTheTap)
{
    sim::VirtualBoard board(sim::BoardConfig{});
    const uint8_t writes[] = {0x0C, 0x0C, 0x0E, 0x08, 0x0A, 0x0E, 0x0F, 0x0B, 0x55};
    for (uint8_t value : writes)
        board.port().write(0x378, value);
    // Rising edges: 0x0C (from 0), 0x0E after 0x08/0x0A, and 0x55 after 0x0B.
    EXPECT_EQ(board.stats().tck_clocks, 3u);
}

}  // namespace
