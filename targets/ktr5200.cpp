// Pin map and bus cycles of the KTR5200.
#include <array>
#include <cstdint>

#include "flash/flash_model.h"
#include "jtag/toggle_test.h"
#include "targets/bus_ops.h"
#include "targets/cell_write.h"
#include "targets/strobe_cycle.h"

namespace {

// A0, A1-A15, A16-A25
constexpr auto kAddressCells = cell_list<26>({{78, 1, 1}, {81, 1, 15}, {96, 2, 10}});
// D0 sits below the direction cell, D1-D15 above it.
constexpr auto kDataCells = cell_list<16>({{142, 1, 1}, {144, 1, 15}});
constexpr uint16_t kDirectionCell = 143;  // one cell for the whole data bus
constexpr char kDrive = '0';
constexpr char kRelease = '1';
constexpr uint16_t kOeCell = 131;
constexpr uint16_t kWeCell = 133;

void ktr5200_set_address(char* image, uint32_t address)
{
    cells_write_bits(image, kAddressCells, kAddressCells.size(), address);
}

void ktr5200_set_data(char* image, uint32_t data, uint32_t width)
{
    image[kDirectionCell] = kDrive;
    cells_write_bits(image, kDataCells, width, data);
}

uint32_t ktr5200_get_data(const char* capture, uint32_t width)
{
    return cells_read_bits(capture, kDataCells, width) & g_flash_model.data_mask;
}

uint32_t ktr5200_bus_read(char* image, uint32_t address)
{
    image[kDirectionCell] = kRelease;
    ktr5200_set_address(image, address);
    return strobe_read(image, kOeCell, ktr5200_get_data);
}

void ktr5200_bus_write(char* image, uint32_t address, uint32_t data)
{
    ktr5200_set_address(image, address);
    ktr5200_set_data(image, data, g_flash_model.data_bits);
    strobe_write(image, kWeCell);
}

}  // namespace

const BusOps ktr5200_bus_ops = {
    ktr5200_set_address, ktr5200_set_data, ktr5200_get_data, ktr5200_bus_read, ktr5200_bus_write, ktr5200_toggle_test,
};
