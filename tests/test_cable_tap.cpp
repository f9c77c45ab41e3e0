// SPDX-License-Identifier: Apache-2.0
// The parallel-port cable and its TAP walks: the probe, the shape of every clock, and what
// the walks do to an independent TAP controller on the virtual board.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "jtag/jtag_chain.h"
#include "jtag/lpt_cable.h"
#include "jtag/tap_walker.h"
#include "sim/board.h"
#include "sim/sim_platform.h"
#include "sim/tap_controller.h"
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

TEST(LptCable, AnotherWiringIsAnotherRow)
{
    // TDO on the inverted BUSY bit, the other lines moved: the same walk through other masks.
    constexpr LptWiring kOther = {0x40, 0x20, 0x10, 0x80, 0x80, true, {0x00, 0x80, 0x80}};
    FakePlatform port;
    port.status = {0x7F};
    LptCable cable(port, kBase, kOther);
    char read = 'x';
    cable.shift("1", 1, true, {.capture = &read});
    cable_park(cable);
    EXPECT_EQ(read, '1');
    EXPECT_EQ(port.writes_to(kBase), (std::vector<uint8_t>{0xE0, 0xF0, 0x00, 0x80, 0x80}));
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
    jtag_scan_ir(*cable, 4,
                 std::string("a`\0"
                             "1",
                             4)
                     .c_str());
    EXPECT_EQ(board.tap().instruction(), 0x9);
    jtag_scan_ir(*cable, 4,
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
    LptCable cable(platform, kBase);
    tap_reset(cable);
    // Position 0's register first: each captures ...01, bit 0 first. BYPASS, EXTEST, BYPASS.
    char bits[] = "1111110000111";
    jtag_scan_ir_capture(cable, bits, bits, 13);
    EXPECT_EQ(std::string(bits, 13), "1000001000100");
    EXPECT_EQ(board.stats().rule_violations, 0u);
    jtag_scan_ir(cable, 13, "1111110000010");  // position 2 left at opcode 2 while the CPU drives its pins
    EXPECT_EQ(board.stats().rule_violations, 1u);
    const std::string stats = sim::stats_text(board);
    EXPECT_NE(stats.find("chain_device: position 0, idcode 0x0362D093, IR 6 bits, saw BYPASS x2\n"), std::string::npos)
        << stats;
    EXPECT_NE(stats.find("chain_device: position 2, no idcode, IR 3 bits, saw BYPASS x1 0x2 x1\n"), std::string::npos);
    EXPECT_NE(stats.find("neither in BYPASS nor IDCODE under EXTEST (its opcode, position) (0x00000002, 0x00000002)"),
              std::string::npos);
}

// A chain on the bit seam: the board's TAP (KTR5200) between devices that know only BYPASS,
// each an IR of its own length and a 1-bit DR; index 0 is nearest TDO.
class ChainDouble final : public Cable {
public:
    struct Other {
        sim::TapState state = sim::TapState::TestLogicReset;
        std::vector<uint8_t> ir, shift_ir;
        uint8_t bypass = 0;
    };
    ChainDouble(std::vector<uint32_t> before, std::vector<uint32_t> after) : cpu(*sim::find_cpu_facts("KTR5200"), stats)
    {
        for (uint32_t length : before)
            near_tdo.emplace_back().ir.assign(length, 0);
        for (uint32_t length : after)
            near_tdi.emplace_back().ir.assign(length, 0);
    }
    void park() override {}
    void tms_path(uint8_t path, uint8_t clocks, int) override
    {
        for (uint8_t k = 0; k < clocks; ++k)
            clock((path >> k) & 1, 0);
    }
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink) override
    {
        for (uint32_t i = 0, next = 0; i < length; ++i) {
            const char out = clock(exit && i + 1 == length, bits[i] & 1) ? '1' : '0';
            if (sink.capture)
                sink.capture[i] = out;
            else if (next < sink.count && sink.cells[next] == i)
                sink.sample[next++] = out;
        }
    }

    sim::SimStats stats;
    sim::TapController cpu;
    std::vector<Other> near_tdo, near_tdi;

private:
    // TDI enters the device nearest it; every device hands its old TDO on towards the cable.
    static uint8_t step(Other& d, uint8_t tms, uint8_t tdi)
    {
        using S = sim::TapState;
        uint8_t out = d.state == S::ShiftDr ? d.bypass : d.state == S::ShiftIr ? d.shift_ir[0] : 1;
        if (d.state == S::ShiftDr)
            d.bypass = tdi;
        if (d.state == S::ShiftIr) {
            d.shift_ir.erase(d.shift_ir.begin());
            d.shift_ir.push_back(tdi);
        }
        if (d.state == S::CaptureIr || d.state == S::CaptureDr) {
            d.shift_ir.assign(d.ir.size(), 0);
            d.shift_ir[0] = 1;
            d.bypass = 0;
        }
        if (d.state == S::UpdateIr)
            d.ir = d.shift_ir;
        d.state = sim::kTapNext[static_cast<int>(d.state)][tms];
        return out;
    }
    uint8_t clock(uint8_t tms, uint8_t tdi)
    {
        for (auto d = near_tdi.rbegin(); d != near_tdi.rend(); ++d)
            tdi = step(*d, tms, tdi);
        const uint8_t out = cpu.tdo();
        cpu.tck_rising(tms, tdi);
        cpu.tck_falling();
        tdi = out;
        for (auto d = near_tdo.rbegin(); d != near_tdo.rend(); ++d)
            tdi = step(*d, tms, tdi);
        return tdi;
    }
};

TEST(JtagChain, OtherDevicesSitInBypassAndTheCellsLineUp)
{
    const struct {
        std::vector<uint32_t> before, after;  // IR lengths
    } cases[] = {{{}, {}}, {{5}, {}}, {{}, {3}}, {{4, 8}, {2, 7, 300}}, {{1, 1, 1}, {6}}};
    for (const auto& c : cases) {
        ChainDouble cable(c.before, c.after);
        const auto sum = [](const std::vector<uint32_t>& v) {
            return uint32_t(std::accumulate(v.begin(), v.end(), 0u));
        };
        JtagChain chain(cable, {uint32_t(c.before.size()), uint32_t(c.after.size()), sum(c.before), sum(c.after)});
        const std::string where =
            std::to_string(c.before.size()) + " before, " + std::to_string(c.after.size()) + " after";
        chain.tap_reset();
        chain.scan_ir(4, "1011");
        EXPECT_EQ(cable.cpu.instruction(), 0xDu) << where;
        for (const auto* side : {&cable.near_tdo, &cable.near_tdi})
            for (const auto& other : *side)
                EXPECT_EQ(other.ir, std::vector<uint8_t>(other.ir.size(), 1)) << where;
        char id[33] = "00001111000011110000111100001111";
        chain.scan_dr_capture(id, id, 32);
        for (int bit = 0; bit < 32; ++bit)
            EXPECT_EQ(id[bit], (0x1B4E20D3u >> bit) & 1 ? '1' : '0') << where << " bit " << bit;

        chain.scan_ir(4, kExtest);
        std::string image(298, '0');
        for (size_t i = 0; i < image.size(); i += 5)
            image[i] = '1';
        chain.scan_dr(image.c_str(), 298);
        std::vector<uint8_t> latched;
        for (char bit : image)
            latched.push_back(bit & 1);
        EXPECT_EQ(cable.cpu.latches(), latched) << where;
        std::string capture(298, 'x');
        chain.scan_dr_capture(image.c_str(), capture.data(), 298);
        EXPECT_EQ(capture, image) << where;
        const uint16_t cells[] = {0, 5, 6, 150, 297};
        char sample[5];
        chain.scan_dr_sample(image.c_str(), 298, cells, 5, sample);
        for (size_t k = 0; k < 5; ++k)
            EXPECT_EQ(sample[k], image[cells[k]]) << where << " cell " << cells[k];
        EXPECT_EQ(cable.cpu.state(), sim::TapState::RunTestIdle) << where;
    }
}

TEST(Tap, Reverse32ReversesOnlyTheFirst32Characters)
{
    char text[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    bitstring_reverse32(text);
    EXPECT_STREQ(text, "VUTSRQPONMLKJIHGFEDCBA9876543210WXYZ");
}

}  // namespace
