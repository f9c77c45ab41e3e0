// SPDX-License-Identifier: Apache-2.0
// Manufacturer and device codes, read in autoselect mode.
#include "flash/flash_ops.h"

Outcome flash_read_id(FlashSession& s, uint32_t base, uint32_t maker_offset, uint32_t device_offset)
{
    flash_chip_enable(s, '0');
    if (s.descriptor.style == CommandStyle::amd)
        flash_unlock(s, base);
    flash_write(s, base + s.model.unlock_addr1, s.model.cmd_autoselect);
    uint32_t maker = flash_read(s, base + maker_offset);
    uint32_t device = flash_read(s, base + device_offset);
    // No reset here: the flash stays in autoselect until the run returns it to read mode.
    flash_chip_enable(s, '1');

    s.identity.maker_id = static_cast<uint16_t>(maker);
    s.identity.device_id = static_cast<uint16_t>(device);
    // All data lines high: nothing drives the bus. No maker has code 0: a bus that reads all
    // zeros, or the wrong CPU's pin map, is not a flash either.
    if (maker == s.model.data_mask || device == s.model.data_mask || maker == 0)
        return {.status = Status::refused, .address = base, .actual = maker};
    return outcome_of(Status::ok);
}
