// SPDX-License-Identifier: Apache-2.0
// Block erase over a byte range, and chip erase.
#include <algorithm>
#include <cstdint>

#include "flash/flash_erase_check.h"
#include "flash/flash_intel.h"
#include "flash/flash_keys.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

// Polls are counted in reads: every read is several full boundary-scan shifts.
constexpr uint32_t kBlockPollLimit = 5000;

constexpr uint64_t kChipEraseFixedWaitNs = 8'000'000'000;
// After the fixed wait the chip is polled for up to four times its typical chip-erase time, or
// its maximum time where that is longer, and never under 2 s.
constexpr uint64_t kChipErasePollFactor = 4;
constexpr uint64_t kChipErasePollFloorMs = 2000;

void erase_sequence(FlashSession& s, uint32_t base, uint32_t command_address, uint32_t command)
{
    flash_unlock(s, base);
    flash_write(s, base + s.model.unlock_addr1, s.model.cmd_erase_setup);
    flash_unlock(s, base);
    flash_write(s, command_address, command);
}

// Until the block reports done; erase_failed when the poll is exhausted. `last` is the word the
// poll ended on: the block's first word once the erase is done.
FlashStatus wait_block_erased(FlashSession& s, uint32_t address, uint32_t& last)
{
    const uint32_t mask = flash_done_mask(s);
    const PollClock clock(ms_to_ns(s.geometry.block_erase_max_ms));
    uint32_t busy_reads = 0;
    while (((last = flash_read(s, address)) & mask) != mask) {
        if (++busy_reads > kBlockPollLimit && clock.max_passed())
            return FlashStatus::erase_failed;
        if (FlashStatus stop = flash_stop_check(s); stop != FlashStatus::ok)
            return stop;
    }
    return FlashStatus::ok;
}

// A chip whose chip-erase time is not known is allowed the time of all its blocks.
uint64_t chip_erase_poll_ms(const FlashGeometry& g)
{
    uint64_t typical_ms = g.chip_erase_timeout_ms;
    if (typical_ms == 0)
        typical_ms = uint64_t{g.block_erase_timeout_ms} * static_cast<uint64_t>(g.block_count);
    return std::max({kChipErasePollFactor * typical_ms, uint64_t{g.chip_erase_max_ms}, kChipErasePollFloorMs});
}

FlashStatus wait_chip_erased(FlashSession& s, uint32_t base)
{
    const uint32_t mask = flash_done_mask(s);
    const PollClock clock(ms_to_ns(chip_erase_poll_ms(s.geometry)));
    while ((flash_read(s, base) & mask) != mask) {
        if (clock.max_passed())
            return FlashStatus::erase_failed;
        if (FlashStatus stop = flash_stop_check(s); stop != FlashStatus::ok)
            return stop;
    }
    return FlashStatus::ok;
}

// The fixed wait after the chip-erase command, on a clock that never jumps.
FlashStatus wait_fixed(const FlashSession& s, uint64_t ns)
{
    s.bus.flush();
    const PollClock clock(ns);
    while (!clock.max_passed())
        if (FlashStatus stop = flash_stop_check(s); stop != FlashStatus::ok)
            return stop;
    return FlashStatus::ok;
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
        s.stop_address = address;
        if (result = flash_stop_check(s); result != FlashStatus::ok)
            break;
        con_printf("%4dth Block, 0x%08X ", block + 1, address);
        if (line % 3 == 0)
            con_printf("\n");
        ++line;

        const uint64_t erase_began = platform().monotonic_ns();
        uint32_t first_word = 0;
        if (s.descriptor.style == CommandStyle::intel) {
            result = flash_intel_erase_block(s, address);
            if (result == FlashStatus::ok)
                first_word = flash_read(s, address);  // back in read array
        } else {
            // Unlock and setup go to the range's start; the erase command to the block itself.
            erase_sequence(s, start, address, s.model.cmd_block_erase);
            s.bus.flush();
            result = wait_block_erased(s, address, first_word);
            if (result == FlashStatus::erase_failed) {
                con_printf("\nErase Error, ADDR  0x%08x\n", address);
                con_printf("Block %d (-b %d) at 0x%08X never reported its erase done\n", static_cast<int>(block),
                           static_cast<int>(block), address);
            }
        }
        if (result == FlashStatus::ok)
            result = flash_check_erased_block(s, {block, first_word, platform().monotonic_ns() - erase_began});
        if (result != FlashStatus::ok)
            break;
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
    s.stop_address = base;
    flash_chip_enable(s, '0');
    erase_sequence(s, base, base + s.model.unlock_addr1, s.model.cmd_chip_erase);
    flash_chip_enable(s, '1');

    if (FlashStatus stop = wait_fixed(s, kChipEraseFixedWaitNs); stop != FlashStatus::ok)
        return stop;

    flash_chip_enable(s, '0');
    FlashStatus result = wait_chip_erased(s, base);
    if (result == FlashStatus::erase_failed)
        con_printf("\nErase Error, ADDR  0x%08x\n", base);
    // Every block is checked as after its own erase; the fixed wait hides how long this one took.
    for (int32_t block = 0; block < s.geometry.block_count && result == FlashStatus::ok; ++block) {
        s.stop_address = s.geometry.block_start[block];
        result = flash_check_erased_block(s, {block, flash_read(s, s.stop_address), 0});
    }
    flash_chip_enable(s, '1');
    if (result == FlashStatus::ok)
        con_printf("Erasing ALL\n");
    return result;
}
