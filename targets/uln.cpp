// Pin map and bus cycles of the ULN.
#include <array>
#include <cstdint>

#include "app/exit.h"
#include "flash/flash_model.h"
#include "jtag/toggle_test.h"
#include "platform/console.h"
#include "targets/bus_ops.h"
#include "targets/cell_write.h"
#include "targets/strobe_cycle.h"

namespace {

// A0, A1-A15, A16-A24
constexpr auto kAddressCells = cell_list<25>({{0, 1, 1}, {2, 1, 15}, {17, 2, 9}});
// Each data pin has its own cell, followed by its direction cell.
constexpr auto kDataCells = cell_list<16>({{63, 2, 16}});
constexpr auto kDirectionCells = cell_list<16>({{64, 2, 16}});
constexpr char kDrive = '0';
constexpr char kRelease = '1';
constexpr uint16_t kOeCell = 47;
constexpr uint16_t kWeCell = 48;
constexpr uint32_t kBusWidth = 16;

void uln_set_address(char* image, uint32_t address)
{
    cells_write_bits(image, kAddressCells, kAddressCells.size(), address);
}

void uln_set_data(char* image, uint32_t data, uint32_t width)
{
    if (width > kBusWidth) {
        con_printf("Error, data length\n");
        process_end(1);
    }
    cells_fill(image, std::span(kDirectionCells).first(width), kDrive);
    cells_write_bits(image, kDataCells, width, data);
}

uint32_t uln_get_data(const char* capture, uint32_t /*width*/)
{
    return cells_read_bits(capture, kDataCells, kBusWidth) & g_flash_model.data_mask;
}

uint32_t uln_bus_read(char* image, uint32_t address)
{
    cells_fill(image, kDirectionCells, kRelease);
    uln_set_address(image, address);
    return strobe_read(image, kOeCell, uln_get_data);
}

void uln_bus_write(char* image, uint32_t address, uint32_t data)
{
    uln_set_address(image, address);
    // All 16 pins drive, also behind an 8-bit flash.
    uln_set_data(image, data, kBusWidth);
    strobe_write(image, kWeCell);
}

}  // namespace

const BusOps uln_bus_ops = {
    uln_set_address, uln_set_data, uln_get_data, uln_bus_read, uln_bus_write, uln_toggle_test,
};
