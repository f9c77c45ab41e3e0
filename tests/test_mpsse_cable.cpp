// SPDX-License-Identifier: Apache-2.0
// The USB cable over the virtual MPSSE engine, checked against the parallel-port path on a twin board.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "jtag/lpt_cable.h"
#include "jtag/mpsse_cable.h"
#include "jtag/tap_walker.h"
#include "sim/board.h"
#include "sim/sim_platform.h"

#ifdef TARNFLASH_USB_FTDI
#include "platform/linux/ftdi_transport.h"
#endif

namespace {

const char* const kCpus[] = {"KTR5200", "ULN", "PAXON", "MIRTA"};

sim::BoardConfig board_config(const std::string& cpu, bool with_bus, sim::MpsseConfig usb = {})
{
    sim::BoardConfig config;
    config.cpu = cpu;
    config.with_bus = with_bus;
    config.usb = usb;
    return config;
}

struct UsbRig {
    sim::VirtualBoard board;
    MpsseCable cable;
    explicit UsbRig(sim::BoardConfig config, MpsseSettings settings = {})
        : board(config), cable(board.mpsse(), settings)
    {
        EXPECT_EQ(cable.open({}), nullptr);
    }
};

// The parallel-port cable and TAP walks, through the simulator's platform.
struct LptRig {
    sim::VirtualBoard board;
    sim::SimPlatform platform;
    LptCable cable;
    explicit LptRig(sim::BoardConfig config)
        : board(config),
          platform(board, sim::KeySetup{true, {}, {}, 0}),
          cable((platform_install(&platform), platform), board.config().port_base)
    {
        cable_park(cable);
        tap_reset(cable);
    }
};

std::string random_bits(size_t count, std::mt19937& random)
{
    std::string bits(count, '0');
    for (char& c : bits)
        c = static_cast<char>('0' + (random() & 1));
    return bits;
}

TEST(MpsseCable, ReadsTheIdcodeOfEveryCpu)
{
    const struct {
        const char* cpu;
        const char* instruction;
        uint32_t idcode;
    } cases[] = {{"KTR5200", "1011", 0x1B4E20D3},
                 {"ULN", "1011", 0x1B4E20D3},
                 {"PAXON", "1000", 0x0093A0C5},
                 {"MIRTA", "0101", 0x0C4D7E2F}};
    for (const auto& c : cases)
        for (bool ft2232d : {false, true}) {
            UsbRig rig(board_config(c.cpu, false, {.ft2232d = ft2232d}));
            tap_reset(rig.cable);
            jtag_scan_ir(rig.cable, 4, c.instruction);
            std::string capture(32, '0');
            jtag_scan_dr_capture(rig.cable, capture.data(), capture.data(), 32);
            uint32_t idcode = 0;
            for (int i = 0; i < 32; ++i)
                idcode |= uint32_t(capture[i] == '1') << i;
            EXPECT_EQ(idcode, c.idcode) << c.cpu << (ft2232d ? " on an FT2232D" : "");
            EXPECT_EQ(rig.cable.fault(), nullptr);
            EXPECT_EQ(rig.board.tap().state(), sim::TapState::RunTestIdle);
        }
}

TEST(MpsseCable, BoundaryScansMatchTheParallelPortPath)
{
    std::mt19937 random(7);
    for (const char* cpu : kCpus) {
        LptRig lpt(board_config(cpu, true));
        UsbRig usb(board_config(cpu, true));
        cable_park(usb.cable);
        tap_reset(usb.cable);
        jtag_scan_ir(lpt.cable, 4, "0000");
        jtag_scan_ir(usb.cable, 4, "0000");
        const uint32_t n = lpt.board.cpu().bsr_length;
        const std::vector<uint16_t> cells = {0, 1, 9, 70, 71, uint16_t(n / 2 + 3), uint16_t(n - 2), uint16_t(n - 1)};
        for (int round = 0; round < 4; ++round) {
            std::string image = random_bits(n, random);
            jtag_scan_dr(lpt.cable, image.data(), n);
            jtag_scan_dr(usb.cable, image.data(), n);
            std::string lpt_capture = random_bits(n, random);
            std::string usb_capture = lpt_capture;
            jtag_scan_dr_capture(lpt.cable, lpt_capture.data(), lpt_capture.data(), n);
            jtag_scan_dr_capture(usb.cable, usb_capture.data(), usb_capture.data(), n);
            EXPECT_EQ(usb_capture, lpt_capture) << cpu;
            std::string sample(cells.size(), '?');
            jtag_scan_dr_capture(lpt.cable, image.data(), lpt_capture.data(), n);
            jtag_scan_dr_sample(usb.cable, image.data(), n, cells.data(), uint32_t(cells.size()), sample.data());
            usb.cable.flush();
            for (size_t k = 0; k < cells.size(); ++k)
                EXPECT_EQ(sample[k], lpt_capture[cells[k]]) << cpu << " cell " << cells[k];
        }
        auto counts = [](const sim::SimStats& s) {
            return std::vector<uint64_t>{s.tck_clocks, s.ir_scans, s.dr_scans, s.rule_violations};
        };
        EXPECT_EQ(counts(usb.board.stats()), counts(lpt.board.stats())) << cpu;
        EXPECT_EQ(usb.board.tap().state(), lpt.board.tap().state()) << cpu;
        EXPECT_EQ(usb.board.tap().latches(), lpt.board.tap().latches()) << cpu;
        EXPECT_EQ(usb.cable.fault(), nullptr);
    }
}

// A wait is TCK clocks in Run-Test/Idle, no round trip: clock-only commands on the H series, shifted
// zeros on the FT2232D, which lacks them.
TEST(MpsseCable, IdleClocksKeepTheTapInRunTestIdle)
{
    for (bool ft2232d : {false, true}) {
        UsbRig rig(board_config("KTR5200", false, {.ft2232d = ft2232d}));
        tap_reset(rig.cable);
        jtag_scan_ir(rig.cable, 4, "0000");
        rig.cable.flush();
        const sim::SimStats before = rig.board.stats();
        rig.cable.idle(7);
        rig.cable.idle(8 * 70000 + 5);
        rig.cable.flush();
        const sim::SimStats& after = rig.board.stats();
        EXPECT_EQ(after.tck_clocks - before.tck_clocks, 7u + 8 * 70000 + 5) << ft2232d;
        EXPECT_EQ(after.usb_round_trips, before.usb_round_trips) << ft2232d;
        EXPECT_EQ(rig.board.tap().state(), sim::TapState::RunTestIdle) << ft2232d;
        EXPECT_EQ(rig.cable.fault(), nullptr) << ft2232d;
    }
}

TEST(MpsseCable, SampledScansShareRoundTripsAndNeverOverfillTheChip)
{
    const struct {
        bool ft2232d;
        uint64_t round_trips;
    } cases[] = {{false, 1}, {true, 6}};  // 1000 scans of two answer bytes: 4 KB or 384 bytes a trip
    for (const auto& c : cases) {
        UsbRig rig(board_config("KTR5200", false, {.ft2232d = c.ft2232d}));
        tap_reset(rig.cable);
        jtag_scan_ir(rig.cable, 4, "0000");
        rig.cable.flush();
        const uint64_t trips_before = rig.board.stats().usb_round_trips;
        std::mt19937 random(11);
        std::vector<uint16_t> cells(16);
        for (uint16_t k = 0; k < 16; ++k)
            cells[k] = uint16_t(40 + k);
        std::vector<std::string> images, samples(1000, std::string(16, '?'));
        for (int scan = 0; scan < 1000; ++scan) {
            images.push_back(random_bits(298, random));
            jtag_scan_dr_sample(rig.cable, images.back().data(), 298, cells.data(), 16, samples[scan].data());
        }
        rig.cable.flush();
        EXPECT_EQ(rig.board.stats().usb_round_trips - trips_before, c.round_trips);
        EXPECT_EQ(rig.board.mpsse().answer_stalls(), 0u);
        // Without pins behind the register, a capture holds what the scan before it left.
        for (int scan = 1; scan < 1000; ++scan)
            ASSERT_EQ(samples[scan], images[scan - 1].substr(40, 16)) << scan;
        EXPECT_NE(sim::stats_text(rig.board).find("usb_transfers: "), std::string::npos);
    }
    sim::VirtualBoard unused(board_config("KTR5200", false));
    EXPECT_EQ(sim::stats_text(unused).find("usb_"), std::string::npos);
}

TEST(MpsseCable, FailuresBecomeOneLineFaultsThatStopTheCable)
{
    static const uint8_t kStray = 0xC5;
    const struct {
        const char* name;
        sim::MpsseConfig usb;
        std::function<void(sim::MpsseEngine&)> meddle;  // after a good open
        const char* fault;
    } cases[] = {
        {"a stray opcode in the stream",
         {},
         [](sim::MpsseEngine& e) { e.write(&kStray, 1); },
         "MPSSE: the adapter refused command 0xC5"},
        {"the device went away", {}, [](sim::MpsseEngine& e) { e.close(); }, "USB write: the device is not open"},
        {"no adapter", {.present = false}, nullptr, "no USB JTAG adapter found (looked for 0403:6010 or 0403:6014)"},
    };
    for (const auto& c : cases) {
        sim::VirtualBoard board(board_config("KTR5200", false, c.usb));
        MpsseCable cable(board.mpsse(), {});
        const char* opened = cable.open({});
        if (c.meddle) {
            ASSERT_EQ(opened, nullptr) << c.name;
            c.meddle(board.mpsse());
            std::string capture(32, '0');
            jtag_scan_dr_capture(cable, capture.data(), capture.data(), 32);
        }
        ASSERT_NE(cable.fault(), nullptr) << c.name;
        EXPECT_STREQ(cable.fault(), c.fault) << c.name;
        const uint64_t clocks = board.stats().tck_clocks;
        tap_reset(cable);
        jtag_scan_dr(cable, "1111", 4);
        cable.flush();
        EXPECT_EQ(board.stats().tck_clocks, clocks) << c.name;
    }
}

TEST(MpsseCable, ClockAndPinsFollowTheSettingsAndTheChip)
{
    const struct {
        bool ft2232d;
        const char* pins;
        uint32_t asked;
        uint32_t tck_hz;
        uint8_t direction;
    } cases[] = {
        {false, "0:0", 6'000'000, 6'000'000, 0x0B},
        {false, "0x10:0x30", 30'000'000, 30'000'000, 0x3B},
        {false, "F0:f0", 100'000'000, 30'000'000, 0xFB},
        {false, "0:0", 7'000'000, 6'000'000, 0x0B},
        {false, "0:0", 1, 457, 0x0B},
        {true, "0:80", 30'000'000, 6'000'000, 0x8B},
        {true, "0:0", 1'000'000, 1'000'000, 0x0B},
    };
    for (const auto& c : cases) {
        MpsseSettings settings;
        settings.tck_hz = c.asked;
        ASSERT_EQ(mpsse_parse_pins(c.pins, settings), nullptr) << c.pins;
        UsbRig rig(board_config("KTR5200", false, {.ft2232d = c.ft2232d}), settings);
        EXPECT_EQ(rig.cable.tck_hz(), c.tck_hz);
        EXPECT_NEAR(rig.board.mpsse().tck_hz(), c.tck_hz, 1.0);
        EXPECT_EQ(rig.board.mpsse().low_direction(), c.direction);
        EXPECT_EQ(rig.board.mpsse().low_pins() & 0xFB & c.direction, 0x08 | (settings.gpio_value & c.direction));
        cable_park(rig.cable);
        EXPECT_EQ(rig.board.mpsse().low_pins() & 0x0B, 0);
    }
    for (const char* bad : {"0x01:0x00", "10", "0x10:", ":30", "0x100:0x30", "zz:10", ""}) {
        MpsseSettings settings;
        const char* error = mpsse_parse_pins(bad, settings);
        ASSERT_NE(error, nullptr) << bad;
        EXPECT_EQ(std::string(error).find('\n'), std::string::npos);
    }
}

#ifdef TARNFLASH_USB_FTDI
// Safe on any machine: with no adapter plugged in, libftdi finds nothing to open.
TEST(MpsseCable, FtdiTransportWithoutADeviceSaysSo)
{
    FtdiTransport transport;
    const char* error = transport.open({}, 0x0B);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(std::string(error).rfind("no USB JTAG adapter found (looked for 0403:6010 or 0403:6014)", 0), 0u)
        << error;
}
#endif

}  // namespace
