// Bus access shared by the flash operations: the selected CPU's cycles and the console's ESC.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "flash/flash_model.h"
#include "platform/platform.h"
#include "targets/bus_cycles.h"
#include "targets/cpu_table.h"

constexpr int kKeyEsc = 27;

inline void flash_write(char* image, uint32_t address, uint32_t data) { g_target.ops.bus_write(image, address, data); }

inline uint32_t flash_read(char* image, uint32_t address) { return g_target.ops.bus_read(image, address); }

// The two unlock cycles that open every command sequence, relative to `base`.
inline void flash_unlock(char* image, uint32_t base)
{
    flash_write(image, base + g_flash_model.unlock_addr1, g_flash_model.unlock_data1);
    flash_write(image, base + g_flash_model.unlock_addr2, g_flash_model.unlock_data2);
}

// Back to read array, framed by its own chip enable.
inline void flash_reset_cycle(char* image, uint32_t address)
{
    bsr_set_chip_enable(image, '0');
    flash_write(image, address, g_flash_model.cmd_reset);
    bsr_set_chip_enable(image, '1');
}

// DQ7 reads 1 once an erase has finished. Two chips side by side each report on their own
// byte, and both must be done.
inline uint32_t flash_done_mask()
{
    return (g_flash_model.data_bits == 16 && g_options.interleave == 2) ? 0x8080u : 0x80u;
}

// Consumes a waiting key, if any; true when it was ESC.
inline bool flash_esc_pressed()
{
    Platform& console = platform();
    return console.key_available() && console.key_read() == kKeyEsc;
}
