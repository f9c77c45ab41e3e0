// SPDX-License-Identifier: Apache-2.0
// The parallel-port cable and its TAP walks: the probe, the shape of every clock, and what
// the walks do to an independent TAP controller on the virtual board.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "jtag/lpt_cable.h"
#include "jtag/tap_walker.h"
#include "sim/board.h"
#include "sim/sim_platform.h"
#include "tests/support/fake_platform.h"

namespace {

constexpr uint16_t kBase = 0x378;

TEST(LptCable, FindPortProbesEveryCandidateAndTheLastEchoWins)
{
    struct Case {
        std::set<uint16_t> echoing;
        uint16_t expected;
    };
    const Case cases[] = {
        {{0x278}, 0x278},        {{0x378, 0x3BC}, 0x3BC}, {{}, 0},
        {{0x378}, 0x378},        {{0x378, 0x278}, 0x278}, {{0x378, 0x278, 0x3BC}, 0x3BC},
        {{0x3BC, 0x2F8}, 0x3BC},
    };
    for (const Case& c : cases) {
        FakePlatform port(c.echoing);
        EXPECT_EQ(lpt_find_port(port), c.expected);
        // Each candidate in turn: the probe pattern written, then read back.
        ASSERT_EQ(port.events.size(), 6u);
        const uint16_t order[] = {0x378, 0x278, 0x3BC};
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(port.events[2 * i], (PortEvent{'W', order[i], 0x55}));
            EXPECT_EQ(port.events[2 * i + 1].kind, 'R');
            EXPECT_EQ(port.events[2 * i + 1].port, order[i]);
        }
    }
}

// Every clock is two writes to the base: TCK low with the new TMS and TDI and line 3 high,
// then the same with TCK high. Returns the (TMS, TDI) of each clock.
std::vector<std::pair<int, int>> clocks_of(const FakePlatform& port)
{
    std::vector<uint8_t> writes = port.writes_to(kBase);
    std::vector<std::pair<int, int>> clocks;
    EXPECT_EQ(writes.size() % 2, 0u);
    for (size_t i = 0; i + 1 < writes.size(); i += 2) {
        EXPECT_EQ(writes[i] & 0xF4, 0x00) << "first write of clock " << i / 2;
        EXPECT_EQ(writes[i] & 0x08, 0x08) << "line 3 high";
        EXPECT_EQ(writes[i + 1], writes[i] | 0x04) << "second write of clock " << i / 2;
        clocks.emplace_back((writes[i] >> 1) & 1, writes[i] & 1);
    }
    return clocks;
}

TEST(LptCable, EveryWalkIsWholeClocksOfTwoWritesCostingItsLength)
{
    FakePlatform port;
    LptCable cable(port, kBase);
    std::string image(298, '0');
    const struct {
        const char* what;
        std::function<void()> walk;
        size_t clocks;
    } cases[] = {
        {"reset", [&] { tap_reset(cable); }, 5},
        {"IR scan", [&] { jtag_scan_ir(cable, 4, "0000"); }, 4 + 7},
        {"DR scan", [&] { jtag_scan_dr(cable, image.c_str(), 298); }, 298 + 6},
        {"one-bit DR scan", [&] { jtag_scan_dr(cable, "1", 1); }, 1 + 6},
    };
    for (const auto& c : cases) {
        port.events.clear();
        c.walk();
        EXPECT_EQ(clocks_of(port).size(), c.clocks) << c.what;
    }
    port.events.clear();
    tap_reset(cable);
    for (const auto& [tms, tdi] : clocks_of(port))
        EXPECT_TRUE(tms == 1 && tdi == 0);
    port.events.clear();
    cable_park(cable);
    EXPECT_EQ(port.writes_to(kBase), (std::vector<uint8_t>{0x08, 0x00, 0x08}));
}

TEST(LptCable, ReadTdoLooksOnlyAtStatusBitSix)
{
    FakePlatform port;
    LptCable cable(port, kBase);
    for (const auto& [status, tdo] : {std::pair{0x40, 1}, {0xFF, 1}, {0x00, 0}, {0xBF, 0}, {0x80, 0}}) {
        port.events.clear();
        port.status = {static_cast<uint8_t>(status)};
        char read = 'x';
        cable.shift("0", 1, false, {.capture = &read});
        EXPECT_EQ(read, tdo ? '1' : '0') << std::hex << status;
        EXPECT_EQ(port.events.back(), (PortEvent{'R', kBase + 1, static_cast<uint8_t>(status)}));
        EXPECT_EQ(port.events.size(), 3u) << "one clock, then the status port once";
    }
}

// The walks against the board's own TAP controller.
class CableOnBoard : public ::testing::Test {
protected:
    CableOnBoard() : board(sim::BoardConfig{}), platform(board, sim::KeySetup{true, "", {}, 0})
    {
        platform_install(&platform);
        cable = std::make_unique<LptCable>(platform, kBase);
        cable_park(*cable);
        tap_reset(*cable);
    }

    sim::VirtualBoard board;
    sim::SimPlatform platform;
    std::unique_ptr<LptCable> cable;
};

TEST_F(CableOnBoard, InstructionScansLoadTheInstructionAndEndInIdle)
{
    const struct {
        const char* bits;
        uint8_t value;
        sim::DataRegister selected;
    } cases[] = {{"1011", 0xD, sim::DataRegister::Idcode},
                 {"0000", 0x0, sim::DataRegister::Boundary},
                 {"1111", 0xF, sim::DataRegister::Bypass}};
    for (const auto& c : cases) {
        jtag_scan_ir(*cable, 4, c.bits);
        EXPECT_EQ(board.tap().instruction(), c.value) << c.bits;
        EXPECT_EQ(board.tap().selected(), c.selected) << c.bits;
        EXPECT_EQ(board.tap().state(), sim::TapState::RunTestIdle) << c.bits;
    }
    tap_reset(*cable);
    EXPECT_EQ(board.tap().state(), sim::TapState::TestLogicReset);
}

TEST_F(CableOnBoard, CaptureReadsTheRegisterThatShiftsOutAndShiftsInTheOldBits)
{
    // KTR5200 IDCODE 0x1B4E20D3, bit 0 first.
    std::string expected;
    for (int bit = 0; bit < 32; ++bit)
        expected += ((0x1B4E20D3u >> bit) & 1) ? '1' : '0';
    jtag_scan_ir(*cable, 4, "1011");
    char buffer[33] = "00001111000011110000111100001111";
    jtag_scan_dr_capture(*cable, buffer, buffer, 32);
    EXPECT_EQ(std::string(buffer, 32), expected);
    EXPECT_EQ(board.tap().state(), sim::TapState::RunTestIdle);

    // Through the boundary register: what one scan shifts in, the next captures unchanged
    // without pins attached; a sample keeps only the cells asked for.
    jtag_scan_ir(*cable, 4, "0000");
    std::string image(298, '0');
    for (size_t i = 0; i < image.size(); i += 7)
        image[i] = '1';
    jtag_scan_dr(*cable, image.c_str(), 298);
    std::string capture(298, 'x');
    jtag_scan_dr_capture(*cable, image.c_str(), capture.data(), 298);
    EXPECT_EQ(capture, image);
    const uint16_t cells[] = {0, 6, 7, 14, 296, 297};
    char sample[6];
    const uint64_t reads = board.stats().port_reads;
    jtag_scan_dr_sample(*cable, image.c_str(), 298, cells, 6, sample);
    cable->flush();
    EXPECT_EQ(board.stats().port_reads - reads, 6u) << "the status port is read at the listed cells only";
    for (size_t k = 0; k < 6; ++k)
        EXPECT_EQ(sample[k], image[cells[k]]) << "cell " << cells[k];
}

TEST_F(CableOnBoard, OnlyTheLowBitOfACharacterIsShifted)
{
    jtag_scan_ir(*cable, 4, std::string("a`\0"
                                  "1",
                                  4)
                          .c_str());
    EXPECT_EQ(board.tap().instruction(), 0x9);
    jtag_scan_ir(*cable, 4,
                   "3\x02"
                   "21");
    EXPECT_EQ(board.tap().instruction(), 0x9);
}

TEST(Tap, Reverse32ReversesOnlyTheFirst32Characters)
{
    char text[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    bitstring_reverse32(text);
    EXPECT_STREQ(text, "VUTSRQPONMLKJIHGFEDCBA9876543210WXYZ");
}

}  // namespace
