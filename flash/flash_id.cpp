// Manufacturer and device codes, read in autoselect mode.
#include "flash/flash_bus.h"
#include "flash/flash_geometry.h"
#include "flash/flash_ops.h"

int flash_read_id(char* image, uint32_t base, uint32_t maker_offset, uint32_t device_offset)
{
    bsr_set_chip_enable(image, '0');
    flash_unlock(image, base);
    flash_write(image, base + g_flash_model.unlock_addr1, g_flash_model.cmd_autoselect);
    uint32_t maker = flash_read(image, base + maker_offset);
    uint32_t device = flash_read(image, base + device_offset);
    // No reset here: the flash stays in autoselect until the run returns it to read mode.
    bsr_set_chip_enable(image, '1');

    g_flash_id.maker_id = static_cast<uint16_t>(maker);
    g_flash_id.device_id = static_cast<uint16_t>(device);
    // All data lines high: nothing drives the bus.
    if (maker == g_flash_model.data_mask || device == g_flash_model.data_mask)
        return -1;
    return 0;
}
