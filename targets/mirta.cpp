// Pin map and bus cycles of the MIRTA.
#include <cstdint>

#include "flash/flash_model.h"
#include "jtag/toggle_test.h"
#include "targets/bus_ops.h"
#include "targets/cell_write.h"
#include "targets/strobe_cycle.h"

namespace {

// A0-A16 downwards one by one, A17-A23 downwards in steps of two; nothing above A23.
constexpr auto kAddressCells = cell_list<24>({{239, -1, 17}, {203, -2, 7}});
// D0-D15, D16-D23, D24-D31; each pin's direction cell sits just above its data cell.
constexpr auto kDataCells = cell_list<32>({{295, -2, 16}, {240, 2, 8}, {221, -2, 8}});
constexpr auto kDirectionCells = cell_list<32>({{296, -2, 16}, {241, 2, 8}, {222, -2, 8}});
constexpr uint32_t kLowPins = 16;
// MIRTA's direction cells are active high: '1' drives the pin and '0' releases it, the
// opposite of the other three CPUs.
constexpr char kDrive = '1';
constexpr char kRelease = '0';
constexpr uint16_t kOeCell = 176;
constexpr uint16_t kWeCell = 175;

void mirta_set_address(char* image, uint32_t address)
{
    cells_write_bits(image, kAddressCells, kAddressCells.size(), address);
}

void mirta_set_data(char* image, uint32_t data, uint32_t width)
{
    // D0-D15 drive whatever the width; with 8 bits D8-D15 carry what their cells hold.
    cells_fill(image, std::span(kDirectionCells).first(kLowPins), kDrive);
    cells_write_bits(image, kDataCells, width, data);
}

uint32_t mirta_get_data(const char* capture, uint32_t width)
{
    return cells_read_bits(capture, kDataCells, width) & g_flash_model.data_mask;
}

uint32_t mirta_bus_read(char* image, uint32_t address)
{
    cells_fill(image, kDirectionCells, kRelease);
    mirta_set_address(image, address);
    return strobe_read(image, kOeCell, mirta_get_data);
}

void mirta_bus_write(char* image, uint32_t address, uint32_t data)
{
    mirta_set_address(image, address);
    mirta_set_data(image, data, g_flash_model.data_bits);
    strobe_write(image, kWeCell);
}

}  // namespace

const BusOps mirta_bus_ops = {
    mirta_set_address, mirta_set_data, mirta_get_data, mirta_bus_read, mirta_bus_write, mirta_toggle_test,
};
