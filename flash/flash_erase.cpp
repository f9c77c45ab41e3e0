// Block erase over a byte range, and chip erase.
#include <algorithm>
#include <cstdint>

#include "flash/flash_keys.h"
#include "flash/flash_ops.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

// Polls are counted in reads: every read is several full boundary-scan shifts.
constexpr uint32_t kBlockPollLimit = 5000;

constexpr int kChipEraseFixedWait = 8;
// After the fixed wait the chip is polled for up to four times its typical chip-erase time;
// the clock ticks in whole seconds, so the bound is never under 2 s.
constexpr uint64_t kChipErasePollFactor = 4;
constexpr uint64_t kChipErasePollFloorMs = 2000;

void erase_sequence(FlashSession& s, uint32_t base, uint32_t command_address, uint32_t command)
{
    flash_unlock(s, base);
    flash_write(s, base + s.model.unlock_addr1, s.model.cmd_erase_setup);
    flash_unlock(s, base);
    flash_write(s, command_address, command);
}

// False when the block did not report done within the poll limit.
bool wait_block_erased(FlashSession& s, uint32_t address)
{
    uint32_t mask = flash_done_mask(s);
    uint32_t busy_reads = 0;
    while ((flash_read(s, address) & mask) != mask) {
        if (++busy_reads > kBlockPollLimit)
            return false;
    }
    return true;
}

// A chip whose chip-erase time is not known is allowed the time of all its blocks.
int64_t chip_erase_poll_seconds(const FlashGeometry& g)
{
    uint64_t typical_ms = g.chip_erase_timeout_ms;
    if (typical_ms == 0)
        typical_ms = uint64_t{g.block_erase_timeout_ms} * static_cast<uint64_t>(g.block_count);
    uint64_t bound_ms = std::max(kChipErasePollFactor * typical_ms, kChipErasePollFloorMs);
    return static_cast<int64_t>((bound_ms + 999) / 1000);
}

bool wait_chip_erased(FlashSession& s, uint32_t base)
{
    uint32_t mask = flash_done_mask(s);
    int64_t limit = chip_erase_poll_seconds(s.geometry);
    int64_t begin = platform().time_seconds();
    while ((flash_read(s, base) & mask) != mask) {
        if (platform().time_seconds() - begin > limit)
            return false;
    }
    return true;
}

}  // namespace

FlashStatus flash_erase_blocks(FlashSession& s, uint32_t start, uint32_t size)
{
    const FlashGeometry& g = s.geometry;
    con_printf("\nFlash erasing ...., Start: 0x%08X, Size: 0x%X\n", start, size);

    int32_t first = 0;
    while (first < g.block_count && g.block_start[first] != start)
        ++first;
    if (first == g.block_count) {
        con_printf("Erasing start address is not on sector boundary\n");
        return FlashStatus::refused;
    }
    // Every block that begins before the end of the range; a range past the flash's end
    // stops at the last block. Counted from the start, so a range at the top of the
    // address space does not wrap.
    int32_t last = first;
    while (last < g.block_count && g.block_start[last] - start < size)
        ++last;
    con_printf("Flash needs %d Blocks\n", last - first);

    flash_reset_cycle(s, start);

    FlashStatus result = FlashStatus::ok;
    flash_chip_enable(s, '0');
    int line = 1;
    for (int32_t block = first; block < last; ++block) {
        uint32_t address = g.block_start[block];
        con_printf("%4dth Block, 0x%08X ", block + 1, address);
        if (line % 3 == 0)
            con_printf("\n");
        ++line;

        // Unlock and setup go to the range's start; the erase command to the block itself.
        erase_sequence(s, start, address, s.model.cmd_block_erase);
        if (!wait_block_erased(s, address)) {
            con_printf("\nErase Error, ADDR  0x%08x\n", address);
            result = FlashStatus::erase_failed;
            break;
        }
        if (flash_esc_pressed()) {
            result = FlashStatus::cancelled;
            break;
        }
    }
    flash_chip_enable(s, '1');
    return result;
}

FlashStatus flash_erase_chip(FlashSession& s, uint32_t base)
{
    flash_chip_enable(s, '0');
    erase_sequence(s, base, base + s.model.unlock_addr1, s.model.cmd_chip_erase);
    flash_chip_enable(s, '1');

    wait_seconds(kChipEraseFixedWait);

    flash_chip_enable(s, '0');
    bool done = wait_chip_erased(s, base);
    flash_chip_enable(s, '1');
    if (!done) {
        con_printf("\nErase Error, ADDR  0x%08x\n", base);
        return FlashStatus::erase_failed;
    }
    con_printf("Erasing ALL\n");
    return FlashStatus::ok;
}

void wait_seconds(int seconds)
{
    int64_t begin = platform().time_seconds();
    while (platform().time_seconds() - begin < seconds) {}
}
