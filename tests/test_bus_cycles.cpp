// Pin-map operations of the four CPUs, checked against the virtual board's own wiring.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/exit.h"
#include "flash/flash_model.h"
#include "platform/platform.h"
#include "sim/cpu_pins.h"
#include "targets/cpu_table.h"
#include "tests/support/recording_platform.h"

namespace {

struct CpuCase {
    const char* name;
    sim::CpuModel model;
    int address_bits;
    // Data pins a write switches to drive, for a width of 8 and of 16; -1: the one bus cell.
    int driven_at_8;
    int driven_at_16;
    // Data bits get_data assembles, for a width of 8 and of 16.
    int read_at_8;
    int read_at_16;
};

constexpr CpuCase kCpus[] = {
    {"KTR5200", sim::CpuModel::Ktr5200, 26, -1, -1, 8, 16},
    {"ULN", sim::CpuModel::Uln, 25, 8, 16, 16, 16},
    {"PAXON", sim::CpuModel::Paxon, 26, 32, 32, 32, 32},
    {"MIRTA", sim::CpuModel::Mirta, 24, 16, 16, 8, 16},
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
bool is_direction(sim::CellRole role)
{
    return role == sim::CellRole::Direction || role == sim::CellRole::BusDirection;
}

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
        cpu_target_init();
        ASSERT_EQ(cpu_select(GetParam().name), 0);
        wiring = &sim::cpu_wiring(GetParam().model);
        ASSERT_EQ(wiring->bsr_length, g_target.bsr_length);
    }
    std::string blank() const { return std::string(static_cast<size_t>(g_target.bsr_length), '.'); }

    const sim::CpuWiring* wiring = nullptr;
};

TEST_P(BusCycleCells, SetAddressWritesEachBitIntoItsCellOnly)
{
    const CpuCase& cpu = GetParam();
    for (int bit = 0; bit < 32; ++bit) {
        std::string image = blank();
        g_target.ops.set_address(image.data(), 1u << bit);
        for (int cell = 0; cell < wiring->bsr_length; ++cell) {
            const sim::CellWiring role = wiring->cells[cell];
            char expected = '.';
            if (role.role == sim::CellRole::Address)
                expected = role.index == bit ? '1' : '0';
            ASSERT_EQ(image[cell], expected) << cpu.name << " A" << bit << " cell " << cell;
        }
        const size_t ones = static_cast<size_t>(std::count(image.begin(), image.end(), '1'));
        EXPECT_EQ(ones, bit < cpu.address_bits ? 1u : 0u) << cpu.name << " A" << bit;
    }
}

TEST_P(BusCycleCells, SetDataWritesWidthBitsAndSwitchesTheCpusDrivers)
{
    const CpuCase& cpu = GetParam();
    const char drive = wiring->drive_level ? '1' : '0';
    for (int width : {8, 16}) {
        const int driven = width == 8 ? cpu.driven_at_8 : cpu.driven_at_16;
        for (int bit = 0; bit < width; ++bit) {
            std::string image = blank();
            g_target.ops.set_data(image.data(), 1u << bit, static_cast<uint32_t>(width));
            for (int cell = 0; cell < wiring->bsr_length; ++cell) {
                const sim::CellWiring role = wiring->cells[cell];
                char expected = '.';
                if (is_data_out(role.role) && role.index < width)
                    expected = role.index == bit ? '1' : '0';
                else if (role.role == sim::CellRole::BusDirection)
                    expected = drive;
                else if (role.role == sim::CellRole::Direction && role.index < driven)
                    expected = drive;
                ASSERT_EQ(image[cell], expected) << cpu.name << " width " << width << " D" << bit << " cell " << cell;
            }
        }
    }
}

TEST_P(BusCycleCells, GetDataAssemblesInputCellsUnderTheMask)
{
    const CpuCase& cpu = GetParam();
    for (int width : {8, 16}) {
        const int read = width == 8 ? cpu.read_at_8 : cpu.read_at_16;
        for (uint32_t mask : {0xFFu, 0xFFFFu}) {
            g_flash_model.data_mask = mask;
            for (int bit = 0; bit < wiring->data_pins; ++bit) {
                std::string capture(static_cast<size_t>(g_target.bsr_length), '0');
                capture[static_cast<size_t>(one_cell(*wiring, is_data_in, bit))] = '1';
                const uint32_t expected = bit < read ? (1u << bit) & mask : 0;
                EXPECT_EQ(g_target.ops.get_data(capture.data(), static_cast<uint32_t>(width)), expected)
                    << cpu.name << " width " << width << " mask " << mask << " D" << bit;
            }
        }
    }
}

TEST_P(BusCycleCells, OnlyACapturedOneSetsABit)
{
    g_flash_model.data_mask = 0xFFFF;
    for (char level : {'0', '3', 'x', '\0', '\xff'}) {
        std::string capture(static_cast<size_t>(g_target.bsr_length), level);
        EXPECT_EQ(g_target.ops.get_data(capture.data(), 16), 0u) << GetParam().name << " char " << int(level);
    }
    std::string ones(static_cast<size_t>(g_target.bsr_length), '1');
    EXPECT_EQ(g_target.ops.get_data(ones.data(), 16), 0xFFFFu) << GetParam().name;
}

TEST_P(BusCycleCells, PinMapCellsAreTheWiredOnes)
{
    // Every cell the tool addresses for a data pin is one the board wires to that pin.
    for (int bit = 0; bit < wiring->data_pins; ++bit) {
        EXPECT_NE(one_cell(*wiring, is_data_out, bit), -1) << GetParam().name << " D" << bit;
        EXPECT_NE(one_cell(*wiring, is_data_in, bit), -1) << GetParam().name << " D" << bit;
    }
    EXPECT_FALSE(cells_with(*wiring, is_direction, -1).empty());
}

INSTANTIATE_TEST_SUITE_P(Cpus, BusCycleCells, ::testing::ValuesIn(kCpus),
                         [](const ::testing::TestParamInfo<CpuCase>& info) { return std::string(info.param.name); });

TEST(UlnSetData, WidthAboveSixteenEndsTheProcess)
{
    RecordingPlatform console;
    platform_install(&console);
    cpu_target_init();
    ASSERT_EQ(cpu_select("ULN"), 0);
    std::string image(g_target.bsr_image);
    try {
        g_target.ops.set_data(image.data(), 0x1FFFF, 17);
        FAIL() << "set_data returned";
    } catch (const ExitRequest& request) {
        EXPECT_EQ(request.status, 1);
    }
    EXPECT_EQ(console.console, "Error, data length\n");
    EXPECT_EQ(image, std::string(g_target.bsr_image)) << "no cell may change";
    EXPECT_TRUE(console.events.empty());
}

}  // namespace
