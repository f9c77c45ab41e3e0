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
#include "jtag/tap.h"
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
        platform_install(&port);
        EXPECT_EQ(lpt_find_port(), c.expected);
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
    platform_install(&port);
    LptCable cable(kBase);
    std::string image(298, '0');
    const struct {
        const char* what;
        std::function<void()> walk;
        size_t clocks;
    } cases[] = {
        {"reset", [&] { cable.tap_reset(); }, 5},
        {"IR scan", [&] { cable.scan_ir(4, "0000"); }, 4 + 7},
        {"DR scan", [&] { cable.scan_dr(image.c_str(), 298); }, 298 + 6},
        {"one-bit DR scan", [&] { cable.scan_dr("1", 1); }, 1 + 6},
    };
    for (const auto& c : cases) {
        port.events.clear();
        c.walk();
        EXPECT_EQ(clocks_of(port).size(), c.clocks) << c.what;
    }
    port.events.clear();
    cable.tap_reset();
    for (const auto& [tms, tdi] : clocks_of(port))
        EXPECT_TRUE(tms == 1 && tdi == 0);
    port.events.clear();
    cable.park();
    EXPECT_EQ(port.writes_to(kBase), (std::vector<uint8_t>{0x08, 0x00, 0x08}));
}

TEST(LptCable, ReadTdoLooksOnlyAtStatusBitSix)
{
    FakePlatform port;
    platform_install(&port);
    LptCable cable(kBase);
    for (const auto& [status, tdo] : {std::pair{0x40, 1}, {0xFF, 1}, {0x00, 0}, {0xBF, 0}, {0x80, 0}}) {
        port.events.clear();
        port.status = {static_cast<uint8_t>(status)};
        EXPECT_EQ(cable.lpt_read_tdo(), tdo) << std::hex << status;
        EXPECT_EQ(port.events, (std::vector<PortEvent>{{'R', kBase + 1, static_cast<uint8_t>(status)}}));
    }
}

// The walks against the board's own TAP controller.
class CableOnBoard : public ::testing::Test {
protected:
    CableOnBoard() : board(sim::BoardConfig{}), platform(board, sim::KeySetup{true, "", {}, 0})
    {
        platform_install(&platform);
        cable = std::make_unique<LptCable>(kBase);
        cable->park();
        cable->tap_reset();
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
        cable->scan_ir(4, c.bits);
        EXPECT_EQ(board.tap().instruction(), c.value) << c.bits;
        EXPECT_EQ(board.tap().selected(), c.selected) << c.bits;
        EXPECT_EQ(board.tap().state(), sim::TapState::RunTestIdle) << c.bits;
    }
    cable->tap_reset();
    EXPECT_EQ(board.tap().state(), sim::TapState::TestLogicReset);
}

TEST_F(CableOnBoard, CaptureReadsTheRegisterThatShiftsOutAndShiftsInTheOldBits)
{
    // KTR5200 IDCODE 0x1B4E20D3, bit 0 first.
    std::string expected;
    for (int bit = 0; bit < 32; ++bit)
        expected += ((0x1B4E20D3u >> bit) & 1) ? '1' : '0';
    cable->scan_ir(4, "1011");
    char buffer[33] = "00001111000011110000111100001111";
    cable->scan_dr_capture(buffer, buffer, 32);
    EXPECT_EQ(std::string(buffer, 32), expected);
    EXPECT_EQ(board.tap().state(), sim::TapState::RunTestIdle);

    // Through the boundary register: what one scan shifts in, the next captures unchanged
    // without pins attached; a sample keeps only the cells asked for.
    cable->scan_ir(4, "0000");
    std::string image(298, '0');
    for (size_t i = 0; i < image.size(); i += 7)
        image[i] = '1';
    cable->scan_dr(image.c_str(), 298);
    std::string capture(298, 'x');
    cable->scan_dr_capture(image.c_str(), capture.data(), 298);
    EXPECT_EQ(capture, image);
    const uint16_t cells[] = {0, 6, 7, 14, 296, 297};
    char sample[6];
    const uint64_t reads = board.stats().port_reads;
    cable->scan_dr_sample(image.c_str(), 298, cells, 6, sample);
    cable->flush();
    EXPECT_EQ(board.stats().port_reads - reads, 6u) << "the status port is read at the listed cells only";
    for (size_t k = 0; k < 6; ++k)
        EXPECT_EQ(sample[k], image[cells[k]]) << "cell " << cells[k];
}

TEST_F(CableOnBoard, OnlyTheLowBitOfACharacterIsShifted)
{
    cable->scan_ir(4, std::string("a`\0"
                                  "1",
                                  4)
                          .c_str());
    EXPECT_EQ(board.tap().instruction(), 0x9);
    cable->scan_ir(4,
                   "3\x02"
                   "21");
    EXPECT_EQ(board.tap().instruction(), 0x9);
}

// Position 0 (after the CPU) has an IDCODE and 6 IR bits, position 2 (before it) none and 3.
TEST(CableOnChain, InstructionCaptureShowsEveryDeviceAndOneLeftActiveUnderExtestIsAViolation)
{
    sim::BoardConfig config;
    config.chain_after = {{true, 0x0362D093, 6}};
    config.chain_before = {{false, 0, 3}};
    sim::VirtualBoard board(config);
    sim::SimPlatform platform(board, sim::KeySetup{true, "", {}, 0});
    platform_install(&platform);
    LptCable cable(kBase);
    cable.tap_reset();
    // Position 0's register first: each captures ...01, bit 0 first. BYPASS, EXTEST, BYPASS.
    char bits[] = "1111110000111";
    cable.scan_ir_capture(bits, bits, 13);
    EXPECT_EQ(std::string(bits, 13), "1000001000100");
    EXPECT_EQ(board.stats().rule_violations, 0u);
    cable.scan_ir(13, "1111110000010");  // position 2 left at opcode 2 while the CPU drives its pins
    EXPECT_EQ(board.stats().rule_violations, 1u);
    const std::string stats = sim::stats_text(board);
    EXPECT_NE(stats.find("chain_device: position 0, idcode 0x0362D093, IR 6 bits, saw BYPASS x2\n"), std::string::npos)
        << stats;
    EXPECT_NE(stats.find("chain_device: position 2, no idcode, IR 3 bits, saw BYPASS x1 0x2 x1\n"), std::string::npos);
    EXPECT_NE(stats.find("neither in BYPASS nor IDCODE under EXTEST (its opcode, position) (0x00000002, 0x00000002)"),
              std::string::npos);
}

TEST(Tap, Reverse32ReversesOnlyTheFirst32Characters)
{
    char text[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    bitstring_reverse32(text);
    EXPECT_STREQ(text, "VUTSRQPONMLKJIHGFEDCBA9876543210WXYZ");
}

}  // namespace
