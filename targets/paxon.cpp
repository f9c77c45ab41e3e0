// Pin map and bus cycles of the PAXON.
#include <cstdint>

#include "flash/flash_model.h"
#include "jtag/toggle_test.h"
#include "targets/bus_ops.h"
#include "targets/cell_write.h"
#include "targets/strobe_cycle.h"

namespace {

// A0, then A1-A25 downwards in steps of three.
constexpr auto kAddressCells = cell_list<26>({{214, 1, 1}, {289, -3, 25}});
// 32 data pins, three cells each: output, direction, input.
constexpr auto kDataOutCells = cell_list<32>({{316, 3, 32}});
constexpr auto kDirectionCells = cell_list<32>({{317, 3, 32}});
constexpr auto kDataInCells = cell_list<32>({{318, 3, 32}});
constexpr char kDrive = '0';
constexpr char kRelease = '1';
constexpr uint16_t kOeCell = 293;
constexpr uint16_t kWeCell = 292;
constexpr uint32_t kDataPins = 32;

void paxon_set_address(char* image, uint32_t address)
{
    cells_write_bits(image, kAddressCells, kAddressCells.size(), address);
}

void paxon_set_data(char* image, uint32_t data, uint32_t width)
{
    cells_fill(image, kDirectionCells, kDrive);
    cells_write_bits(image, kDataOutCells, width, data);
}

uint32_t paxon_get_data(const char* capture, uint32_t /*width*/)
{
    return cells_read_bits(capture, kDataInCells, kDataPins) & g_flash_model.data_mask;
}

uint32_t paxon_bus_read(char* image, uint32_t address)
{
    cells_fill(image, kDirectionCells, kRelease);
    paxon_set_address(image, address);
    return strobe_read(image, kOeCell, paxon_get_data);
}

void paxon_bus_write(char* image, uint32_t address, uint32_t data)
{
    paxon_set_address(image, address);
    paxon_set_data(image, data, g_flash_model.data_bits);
    strobe_write(image, kWeCell);
}

}  // namespace

const BusOps paxon_bus_ops = {
    paxon_set_address, paxon_set_data, paxon_get_data, paxon_bus_read, paxon_bus_write, paxon_toggle_test,
};
