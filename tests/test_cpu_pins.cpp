// SPDX-License-Identifier: Apache-2.0
// The virtual CPU pins driven with the tool's own images: both descriptions of the
// hardware must agree on every pin.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "sim/cpu_pins.h"
#include "sim/memory_device.h"
#include "targets/bus_cycles.h"
#include "targets/cpu_table.h"

namespace {

struct PinCase {
    const char* name;
    sim::CpuModel model;
    uint32_t address_mask;
};

constexpr PinCase kCpus[] = {
    {"KTR5200", sim::CpuModel::Ktr5200, 0x03FFFFFF},
    {"ULN", sim::CpuModel::Uln, 0x01FFFFFF},
    {"PAXON", sim::CpuModel::Paxon, 0x03FFFFFF},
    {"MIRTA", sim::CpuModel::Mirta, 0x00FFFFFF},
};

void PrintTo(const PinCase& c, std::ostream* out) { *out << c.name; }

class CpuPinsTest : public ::testing::TestWithParam<PinCase> {
protected:
    void SetUp() override
    {
        cpu = cpu_select(GetParam().name);
        ASSERT_NE(cpu, nullptr);
        image = cpu->default_image;
        memory = &static_cast<sim::MemoryDevice&>(bus.attach(std::make_unique<sim::MemoryDevice>(), 0));
    }

    void drive(const std::string& cells)
    {
        std::array<uint8_t, kMaxBsrLength> latches{};
        for (size_t i = 0; i < cells.size(); ++i)
            latches[i] = cells[i] == '1';
        pins.update(latches.data());
    }

    std::string captured()
    {
        std::array<uint8_t, kMaxBsrLength> cells{};
        pins.capture(cells.data());
        std::string text(static_cast<size_t>(pins.bsr_length()), '?');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = cells[i] ? '1' : '0';
        return text;
    }

    // The cells of `role` (any index when index < 0).
    void set_role(sim::CellRole role, int index, char level)
    {
        const sim::CpuPins& wiring = sim::cpu_pins(GetParam().model);
        for (int cell = 0; cell < wiring.bsr_length; ++cell)
            if (wiring.cells[cell].role == role && (index < 0 || wiring.cells[cell].index == index))
                image[static_cast<size_t>(cell)] = level;
    }

    sim::SimStats stats;
    sim::VirtualClock clock;
    sim::Bus bus{stats};
    sim::BuiltinPins pins{GetParam().model, bus, clock};
    sim::MemoryDevice* memory = nullptr;
    const CpuTarget* cpu = nullptr;
    std::string image;
};

TEST_P(CpuPinsTest, DefaultImageKeepsTheBusIdleAndDrivesZeros)
{
    pins.set_extest(true);
    drive(image);
    const sim::BusSignals& p = pins.pins();
    EXPECT_TRUE(p.oe_n);
    EXPECT_TRUE(p.we_n);
    EXPECT_EQ(p.ncs_n, 0xFF);
    EXPECT_EQ(p.address, 0u);
    EXPECT_EQ(p.data_driven & 0xFFFFu, 0xFFFFu);
    EXPECT_EQ(p.data & 0xFFFFu, 0u);
    EXPECT_EQ(stats.rule_violations, 0u);
}

TEST_P(CpuPinsTest, PinsFollowTheLatchesOnlyUnderExtest)
{
    const sim::BusSignals power_up = pins.pins();
    pins.set_extest(true);
    EXPECT_TRUE(pins.pins().oe_n);
    EXPECT_EQ(pins.pins().ncs_n, 0xFF);
    EXPECT_EQ(pins.pins().data_driven, 0u) << "powers up with the data bus released";
    pins.set_extest(false);

    set_address(cpu->pins, image.data(), 0x00155AA5);
    set_data(cpu->pins, image.data(), 0x5A, 8);
    set_role(sim::CellRole::ReadStrobe, -1, '0');
    set_role(sim::CellRole::ChipSelect, 0, '0');
    drive(image);
    EXPECT_TRUE(pins.pins().oe_n);
    EXPECT_EQ(pins.pins().ncs_n, 0xFF);
    EXPECT_EQ(pins.pins().data_driven, 0u);
    EXPECT_EQ(pins.pins().address, power_up.address);

    pins.set_extest(true);
    EXPECT_FALSE(pins.pins().oe_n);
    EXPECT_EQ(pins.pins().ncs_n, 0xFE);
    EXPECT_EQ(pins.pins().address, 0x00155AA5u);
    EXPECT_EQ(pins.pins().data & 0xFFu, 0x5Au);

    pins.set_extest(false);
    EXPECT_TRUE(pins.pins().oe_n);
    EXPECT_TRUE(pins.pins().we_n);
    EXPECT_EQ(pins.pins().ncs_n, 0xFF);
    EXPECT_EQ(pins.pins().data_driven, 0u);
    EXPECT_EQ(pins.pins().address, 0x00155AA5u) << "address pins keep their levels";
}

TEST_P(CpuPinsTest, CaptureSamplesTheSelectedDevice)
{
    memory->store(0x2468, 0xA5C3);
    pins.set_extest(true);
    set_address(cpu->pins, image.data(), 0x2468);
    const sim::CpuPins& wiring = sim::cpu_pins(GetParam().model);
    const char release = wiring.drive_level ? '0' : '1';
    set_role(sim::CellRole::Direction, -1, release);
    set_role(sim::CellRole::BusDirection, -1, release);
    set_role(sim::CellRole::ReadStrobe, -1, '0');

    set_role(sim::CellRole::ChipSelect, 1, '0');
    drive(image);
    std::string capture = captured();
    EXPECT_EQ(get_data(cpu->pins, capture.data(), 16), 0xFFFFu) << "nothing on region 1: pulled up";

    set_role(sim::CellRole::ChipSelect, 1, '1');
    set_role(sim::CellRole::ChipSelect, 0, '0');
    drive(image);
    capture = captured();
    EXPECT_EQ(get_data(cpu->pins, capture.data(), 16), 0xA5C3u);
    for (int cell = 0; cell < wiring.bsr_length; ++cell) {
        const sim::CellRole role = wiring.cells[cell].role;
        if (role != sim::CellRole::DataIn && role != sim::CellRole::DataInOut) {
            EXPECT_EQ(capture[static_cast<size_t>(cell)], image[static_cast<size_t>(cell)])
                << "cell " << cell << " captures its own level";
        }
    }
    EXPECT_EQ(stats.rule_violations, 0u);
    EXPECT_EQ(stats.bus_reads, 1u);
}

INSTANTIATE_TEST_SUITE_P(Cpus, CpuPinsTest, ::testing::ValuesIn(kCpus),
                         [](const ::testing::TestParamInfo<PinCase>& info) { return std::string(info.param.name); });

TEST(CpuPinsMirta, DirectionCellsDriveAtOne)
{
    sim::SimStats stats;
    sim::VirtualClock clock;
    sim::Bus bus(stats);
    sim::BuiltinPins pins(sim::CpuModel::Mirta, bus, clock);
    pins.set_extest(true);
    std::array<uint8_t, kMaxBsrLength> latches{};
    latches[175] = latches[176] = 1;  // WE#, OE# high
    pins.update(latches.data());
    EXPECT_EQ(pins.pins().data_driven, 0u);
    for (int k = 0; k < 16; ++k)
        latches[static_cast<size_t>(296 - 2 * k)] = 1;
    pins.update(latches.data());
    EXPECT_EQ(pins.pins().data_driven, 0x0000FFFFu);
    for (int k = 0; k < 8; ++k) {
        latches[static_cast<size_t>(241 + 2 * k)] = 1;
        latches[static_cast<size_t>(222 - 2 * k)] = 1;
    }
    pins.update(latches.data());
    EXPECT_EQ(pins.pins().data_driven, 0xFFFFFFFFu);
}

}  // namespace
