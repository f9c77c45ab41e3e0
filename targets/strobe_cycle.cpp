#include "targets/strobe_cycle.h"

#include "flash/flash_model.h"
#include "jtag/tap.h"
#include "targets/bus_cycles.h"
#include "targets/cpu_table.h"

namespace {
uint32_t image_length() { return static_cast<uint32_t>(g_target.bsr_length); }
}  // namespace

uint32_t strobe_read(char* image, uint16_t oe_cell, uint32_t (*get_data)(const char* capture, uint32_t width))
{
    image[oe_cell] = '0';
    jtag_scan_dr(image, image_length());
    // A capture holds the pins as the previous Update-DR left them, so the flash's answer to
    // the address and OE# of the scan above only shows in a second, unchanged scan.
    jtag_scan_dr_capture(image, g_capture, image_length());
    image[oe_cell] = '1';
    jtag_scan_dr(image, image_length());
    return get_data(g_capture, g_flash_model.data_bits);
}

void strobe_write(char* image, uint16_t we_cell)
{
    image[we_cell] = '0';
    jtag_scan_dr(image, image_length());
    image[we_cell] = '1';
    jtag_scan_dr(image, image_length());
}
