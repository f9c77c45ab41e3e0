// Block erase over a byte range, and chip erase.
#include <algorithm>
#include <cstdint>

#include "flash/flash_bus.h"
#include "flash/flash_geometry.h"
#include "flash/flash_ops.h"
#include "platform/console.h"

namespace {

// Polls are counted in reads: every read is several full boundary-scan shifts.
constexpr uint32_t kBlockPollLimit = 5000;

constexpr int kChipEraseFixedWait = 8;
// After the fixed wait the chip is polled for up to four times its typical chip-erase time;
// the clock ticks in whole seconds, so the bound is never under 2 s.
constexpr uint64_t kChipErasePollFactor = 4;
constexpr uint64_t kChipErasePollFloorMs = 2000;

void erase_sequence(char* image, uint32_t base, uint32_t command_address, uint32_t command)
{
    flash_unlock(image, base);
    flash_write(image, base + g_flash_model.unlock_addr1, g_flash_model.cmd_erase_setup);
    flash_unlock(image, base);
    flash_write(image, command_address, command);
}

// False when the block did not report done within the poll limit.
bool wait_block_erased(char* image, uint32_t address)
{
    uint32_t mask = flash_done_mask();
    uint32_t busy_reads = 0;
    while ((flash_read(image, address) & mask) != mask) {
        if (++busy_reads > kBlockPollLimit)
            return false;
    }
    return true;
}

// A chip whose chip-erase time is not known is allowed the time of all its blocks.
int64_t chip_erase_poll_seconds()
{
    uint64_t typical_ms = g_geometry.chip_erase_timeout_ms;
    if (typical_ms == 0)
        typical_ms = uint64_t{g_geometry.block_erase_timeout_ms} * static_cast<uint64_t>(g_geometry.block_count);
    uint64_t bound_ms = std::max(kChipErasePollFactor * typical_ms, kChipErasePollFloorMs);
    return static_cast<int64_t>((bound_ms + 999) / 1000);
}

bool wait_chip_erased(char* image, uint32_t base)
{
    uint32_t mask = flash_done_mask();
    int64_t limit = chip_erase_poll_seconds();
    int64_t begin = platform().time_seconds();
    while ((flash_read(image, base) & mask) != mask) {
        if (platform().time_seconds() - begin > limit)
            return false;
    }
    return true;
}

}  // namespace

int flash_erase_blocks(char* image, uint32_t start, uint32_t size)
{
    con_printf("\nFlash erasing ...., Start: 0x%08X, Size: 0x%X\n", start, size);

    int32_t first = 0;
    while (first < g_geometry.block_count && g_geometry.block_start[first] != start)
        ++first;
    if (first == g_geometry.block_count) {
        con_printf("Erasing start address is not on sector boundary\n");
        return -1;
    }
    // Every block that begins before the end of the range; a range past the flash's end
    // stops at the last block. Counted from the start, so a range at the top of the
    // address space does not wrap.
    int32_t last = first;
    while (last < g_geometry.block_count && g_geometry.block_start[last] - start < size)
        ++last;
    con_printf("Flash needs %d Blocks\n", last - first);

    flash_reset_cycle(image, start);

    int result = 0;
    bsr_set_chip_enable(image, '0');
    int line = 1;
    for (int32_t block = first; block < last; ++block) {
        uint32_t address = g_geometry.block_start[block];
        con_printf("%4dth Block, 0x%08X ", block + 1, address);
        if (line % 3 == 0)
            con_printf("\n");
        ++line;

        // Unlock and setup go to the range's start; the erase command to the block itself.
        erase_sequence(image, start, address, g_flash_model.cmd_block_erase);
        if (!wait_block_erased(image, address)) {
            con_printf("\nErase Error, ADDR  0x%08x\n", address);
            result = -1;
            break;
        }
        if (flash_esc_pressed())
            break;
    }
    bsr_set_chip_enable(image, '1');
    return result;
}

int flash_erase_chip(char* image, uint32_t base)
{
    bsr_set_chip_enable(image, '0');
    erase_sequence(image, base, base + g_flash_model.unlock_addr1, g_flash_model.cmd_chip_erase);
    bsr_set_chip_enable(image, '1');

    wait_seconds(kChipEraseFixedWait);

    bsr_set_chip_enable(image, '0');
    bool done = wait_chip_erased(image, base);
    bsr_set_chip_enable(image, '1');
    if (!done) {
        con_printf("\nErase Error, ADDR  0x%08x\n", base);
        return -1;
    }
    con_printf("Erasing ALL\n");
    return 0;
}

void wait_seconds(int seconds)
{
    int64_t begin = platform().time_seconds();
    while (platform().time_seconds() - begin < seconds) {}
}
