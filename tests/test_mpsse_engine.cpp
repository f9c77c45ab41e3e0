// SPDX-License-Identifier: Apache-2.0
// The virtual MPSSE engine against the FTDI command set, driven by raw command bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/mpsse_engine.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::TapState;

Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

sim::BoardConfig with_usb(const sim::MpsseConfig& usb)
{
    sim::BoardConfig config;
    config.usb = usb;
    return config;
}

// A bare KTR5200 board (IDCODE 0x1B4E20D3) with its adapter opened, JTAG directions set.
struct Rig {
    sim::VirtualBoard board;
    sim::MpsseEngine& usb;
    explicit Rig(bool ft2232d = false, uint8_t direction = 0x0B)
        : board(with_usb({.ft2232d = ft2232d})), usb(board.mpsse())
    {
        EXPECT_EQ(usb.open({}, direction), nullptr);
    }
    Bytes exchange(const Bytes& command, size_t answers)
    {
        Bytes got(answers);
        EXPECT_TRUE(usb.write(command.data(), command.size())) << usb.error();
        EXPECT_TRUE(answers == 0 || usb.read(got.data(), answers)) << usb.error();
        return got;
    }
};

const Bytes kToShiftDr = {0x4B, 0x03, 0x02};  // TMS 0, 1, 0, 0 from Test-Logic-Reset

TEST(MpsseEngine, ShiftsReadWhatTheTapShiftsOut)
{
    const struct {
        const char* name;
        Bytes command;
        Bytes answer;
    } cases[] = {
        {"0x39 bytes, LSB first", {0x39, 0x03, 0x00, 0, 0, 0, 0}, {0xD3, 0x20, 0x4E, 0x1B}},
        {"0x28 bytes in only", {0x28, 0x03, 0x00}, {0xD3, 0x20, 0x4E, 0x1B}},
        {"0x3D reads on the falling edge", {0x3D, 0x03, 0x00, 0, 0, 0, 0}, {0xD3, 0x20, 0x4E, 0x1B}},
        {"0x31 MSB first: first bit in bit 7", {0x31, 0x00, 0x00, 0}, {0xCB}},
        {"0x3B 3 bits land in bits 5-7", {0x3B, 0x02, 0x00}, {0x60}},
        {"0x2A 5 bits land in bits 3-7", {0x2A, 0x04}, {0x98}},
        {"0x33 MSB-first bits land in bits 0-2", {0x33, 0x02, 0x00}, {0x06}},
        {"0x6B 3 clocks in Shift-DR", {0x6B, 0x02, 0x00}, {0x60}},
        {"0x84 loopback returns TDI", {0x84, 0x39, 0x01, 0x00, 0xA5, 0x5A}, {0xA5, 0x5A}},
    };
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.exchange(cat(kToShiftDr, c.command), c.answer.size()), c.answer) << c.name;
        EXPECT_EQ(rig.board.tap().state(), TapState::ShiftDr) << c.name;
    }
}

TEST(MpsseEngine, OutputEdgeDecidesWhatTheTapShiftsIn)
{
    // 0x12345678 shifted into the 32-bit IDCODE register, then read back.
    const Bytes pattern = {0x78, 0x56, 0x34, 0x12};
    const struct {
        const char* name;
        uint8_t pins;  // 0x08: TCK idles low; 0x09: high
        uint8_t op;
        Bytes back;
    } cases[] = {
        {"falling edge, TCK low", 0x08, 0x19, {0x78, 0x56, 0x34, 0x12}},
        {"rising edge, TCK low: one clock late", 0x08, 0x18, {0xF0, 0xAC, 0x68, 0x24}},
        {"falling edge, TCK high", 0x09, 0x19, {0x78, 0x56, 0x34, 0x12}},
        {"rising edge, TCK high", 0x09, 0x18, {0x78, 0x56, 0x34, 0x12}},
        {"MSB first", 0x08, 0x11, {0x1E, 0x6A, 0x2C, 0x48}},
    };
    for (const auto& c : cases) {
        Rig rig;
        Bytes command = cat({0x80, c.pins, 0x0B}, kToShiftDr);
        command = cat(cat(command, {c.op, 0x03, 0x00}), pattern);
        EXPECT_EQ(rig.exchange(cat(command, {0x28, 0x03, 0x00}), 4), c.back) << c.name;
    }
}

TEST(MpsseEngine, TmsCommandsAndPinsWalkTheTap)
{
    const struct {
        const char* name;
        uint8_t direction;
        Bytes command;
        TapState state;
        uint64_t clocks;
    } cases[] = {
        {"0x4B to Shift-DR", 0x0B, kToShiftDr, TapState::ShiftDr, 4},
        {"0x4B to Shift-IR", 0x0B, {0x4B, 0x04, 0x06}, TapState::ShiftIr, 5},
        {"0x4B through Pause-DR to Update-DR", 0x0B, {0x4B, 0x06, 0x6A}, TapState::UpdateDr, 7},
        {"0x4A changes TMS on the sampling edge", 0x0B, {0x80, 0x00, 0x0B, 0x4A, 0x03, 0x02}, TapState::CaptureDr, 4},
        {"TMS not driven floats high", 0x03, kToShiftDr, TapState::TestLogicReset, 4},
        {"TCK not driven gives no clocks", 0x0A, kToShiftDr, TapState::TestLogicReset, 0},
        {"TCK raised by 0x80 is a clock", 0x0B, {0x80, 0x00, 0x0B, 0x80, 0x01, 0x0B}, TapState::RunTestIdle, 1},
    };
    for (const auto& c : cases) {
        Rig rig(false, c.direction);
        rig.exchange(c.command, 0);
        EXPECT_EQ(rig.board.tap().state(), c.state) << c.name;
        EXPECT_EQ(rig.board.stats().tck_clocks, c.clocks) << c.name;
    }
}

TEST(MpsseEngine, UnknownOpcodesAnswerBadCommandAndTheNextCommandRuns)
{
    // 0x81 after the refused opcode reads the pins: TCK, TDI, TMS driven low, the inputs pulled up.
    const struct {
        bool ft2232d;
        uint8_t op;
    } cases[] = {{false, 0xAA}, {false, 0xAB}, {false, 0x00}, {false, 0x4C}, {false, 0x9E},
                 {false, 0xFF}, {true, 0x8A},  {true, 0x8B},  {true, 0x8E},  {true, 0x97}};
    for (const auto& c : cases) {
        Rig rig(c.ft2232d);
        EXPECT_EQ(rig.exchange({c.op, 0x81}, 3), (Bytes{0xFA, c.op, 0xF4})) << int(c.op);
    }
}

TEST(MpsseEngine, DivisorSetsTheVirtualTimePerClock)
{
    const struct {
        bool ft2232d;
        Bytes setup;
        double hz;
    } cases[] = {
        {false, {}, 6e6},  // powers up dividing by 5
        {false, {0x8A, 0x86, 0x04, 0x00}, 6e6},
        {false, {0x8A, 0x86, 0x00, 0x00}, 30e6},
        {false, {0x8B, 0x86, 0x00, 0x00}, 6e6},
        {false, {0x8A, 0x86, 0x2B, 0x01}, 100e3},
        {true, {0x86, 0x05, 0x00}, 1e6},
    };
    for (const auto& c : cases) {
        Rig rig(c.ft2232d);
        rig.exchange(c.setup, 0);
        EXPECT_DOUBLE_EQ(rig.usb.tck_hz(), c.hz);
        // Same bytes, 7 clocks against 1: the difference is six TCK periods.
        uint64_t t0 = rig.board.now_ns();
        rig.exchange({0x4B, 0x06, 0x7F}, 0);
        uint64_t t1 = rig.board.now_ns();
        rig.exchange({0x4B, 0x00, 0x01}, 0);
        uint64_t t2 = rig.board.now_ns();
        EXPECT_NEAR(double((t1 - t0) - (t2 - t1)), 6e9 / c.hz, 1.0) << c.hz;
    }
}

TEST(MpsseEngine, RoundTripsLatencyTimerAndTheAnswerBuffer)
{
    Rig rig;
    uint64_t t0 = rig.board.now_ns();
    rig.exchange({0x81, 0x87}, 1);
    uint64_t pushed = rig.board.now_ns() - t0;
    rig.exchange({0x81}, 1);  // no 0x87: waits for the 2 ms latency timer
    uint64_t waited = rig.board.now_ns() - t0 - pushed;
    EXPECT_GE(pushed, 125'000u);
    EXPECT_LT(pushed, 130'000u);
    EXPECT_GE(waited, 2'125'000u);
    const sim::SimStats& s = rig.board.stats();
    EXPECT_EQ((Bytes{uint8_t(s.usb_round_trips), uint8_t(s.usb_transfers), uint8_t(s.usb_bytes_out),
                     uint8_t(s.usb_bytes_in)}),
              (Bytes{2, 4, 3, 2}));

    // The FT2232D holds 384 answers: the engine stalls until they are read, and a host that
    // never reads finds its writes refused.
    Rig small(true);
    Bytes reads(400, 0x81);
    ASSERT_TRUE(small.usb.write(reads.data(), reads.size()));
    EXPECT_EQ(small.usb.answers_waiting(), 384u);
    Bytes got(400);
    EXPECT_TRUE(small.usb.read(got.data(), got.size())) << small.usb.error();
    reads.assign(800, 0x81);
    EXPECT_FALSE(small.usb.write(reads.data(), reads.size()));
    EXPECT_NE(std::string(small.usb.error()).find("timed out"), std::string::npos);

    // Answers taken in parts, as FTDI's D2XX library hands them over: every one comes, the
    // stalled ones included, and no more.
    Rig parts(true);
    reads.assign(400, 0x81);
    ASSERT_TRUE(parts.usb.write(reads.data(), reads.size()));
    EXPECT_EQ(parts.usb.read_some(got.data(), 100), 100u);
    EXPECT_EQ(parts.usb.read_some(got.data(), 400), 300u);
}

TEST(MpsseEngine, OpenFailsLikeAMissingDevice)
{
    const struct {
        sim::MpsseConfig usb;
        UsbDeviceChoice choice;
        const char* error;
    } cases[] = {
        {{.present = false}, {}, "no USB JTAG adapter found (looked for 0403:6010 or 0403:6014)"},
        {{}, {0x0403, 0x6014, 'A'}, "no USB JTAG adapter found (looked for 0403:6014)"},
        {{.ft2232d = true}, {0x0403, 0, 'B'}, "interface B of the FT2232D has no MPSSE engine (use A)"},
        {{}, {0x0403, 0, 'C'}, "the adapter has no interface 'C' (A or B)"},
    };
    for (const auto& c : cases) {
        sim::VirtualBoard board(with_usb(c.usb));
        const char* error = board.mpsse().open(c.choice, 0x0B);
        EXPECT_STREQ(error, c.error);
        uint8_t byte = 0x81;
        EXPECT_FALSE(board.mpsse().write(&byte, 1));
        EXPECT_FALSE(board.mpsse().read(&byte, 1));
    }
}

}  // namespace
