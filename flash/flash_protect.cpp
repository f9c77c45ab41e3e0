// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_protect.h"

#include "flash/flash_intel.h"
#include "platform/console.h"

namespace {

constexpr uint32_t kLocked = 0x01;
constexpr uint32_t kLockedDown = 0x02;

// The first protected block of the range, or `last`: autoselect reads 1 at a protected
// sector's status location.
int32_t first_protected(FlashSession& s, uint32_t base, int32_t first, int32_t last)
{
    const uint32_t protected_bits = s.chips == 2 ? 0x0101u : 0x01u;
    flash_unlock(s, base);
    flash_write(s, base + s.model.unlock_addr1, s.model.cmd_autoselect);
    int32_t block = first;
    while (block < last &&
           (flash_read(s, s.geometry.block_start[block] + s.model.block_status_offset) & protected_bits) == 0)
        ++block;
    flash_write(s, base, s.model.cmd_reset);
    return block;
}

FlashStatus check_amd(FlashSession& s, uint32_t base, int32_t first, int32_t last)
{
    const int32_t block = first_protected(s, base, first, last);
    if (block == last)
        return FlashStatus::ok;
    con_printf("Block %d at 0x%08X is protected: refused before any erase\n", static_cast<int>(block),
               s.geometry.block_start[block]);
    return FlashStatus::refused;
}

struct Locks {
    int32_t first_locked = -1;
    int32_t locked_down = -1;
    int32_t count = 0;
};

Locks read_locks(FlashSession& s, uint32_t base, int32_t first, int32_t last)
{
    Locks locks;
    for (int32_t block = first; block < last && locks.locked_down < 0; ++block) {
        const uint32_t status = flash_intel_lock_status(s, s.geometry.block_start[block]);
        if (status & kLockedDown)
            locks.locked_down = block;
        if ((status & kLocked) && locks.count++ == 0)
            locks.first_locked = block;
    }
    flash_write(s, base, s.model.cmd_reset);
    return locks;
}

FlashStatus unlock_blocks(FlashSession& s, int32_t first, int32_t last)
{
    const FlashGeometry& g = s.geometry;
    if (!g.unlocks_each_block) {
        const FlashStatus result = flash_intel_unlock(s, g.block_start[first]);
        if (result == FlashStatus::ok)
            con_printf("Unlocked every block of the device\n");
        return result;
    }
    int32_t unlocked = 0;
    for (int32_t block = first; block < last; ++block) {
        if ((flash_intel_lock_status(s, g.block_start[block]) & kLocked) == 0)
            continue;
        if (FlashStatus result = flash_intel_unlock(s, g.block_start[block]); result != FlashStatus::ok)
            return result;
        ++unlocked;
    }
    flash_write(s, g.block_start[first], s.model.cmd_reset);
    con_printf("Unlocked %d block%s from 0x%08X to 0x%08X\n", static_cast<int>(unlocked), unlocked == 1 ? "" : "s",
               g.block_start[first], g.block_start[last] - 1);
    return FlashStatus::ok;
}

FlashStatus check_intel(FlashSession& s, uint32_t base, int32_t first, int32_t last, UnlockRequest unlock,
                        bool whole_device)
{
    const FlashGeometry& g = s.geometry;
    const Locks locks = read_locks(s, base, first, last);
    if (locks.locked_down >= 0) {
        con_printf("Block %d at 0x%08X is locked down: refused before any erase (only a reset lifts it)\n",
                   static_cast<int>(locks.locked_down), g.block_start[locks.locked_down]);
        return FlashStatus::refused;
    }
    if (locks.count == 0)
        return FlashStatus::ok;
    if (unlock == UnlockRequest::none) {
        con_printf("Block %d at 0x%08X is locked: refused before any erase (--unlock unlocks the range)\n",
                   static_cast<int>(locks.first_locked), g.block_start[locks.first_locked]);
        return FlashStatus::refused;
    }
    if (!g.unlocks_each_block && unlock != UnlockRequest::all && !whole_device) {
        con_printf(
            "Block %d at 0x%08X is locked, and an unlock on this chip unlocks every block: give "
            "--unlock-all, or the whole device as the range\n",
            static_cast<int>(locks.first_locked), g.block_start[locks.first_locked]);
        return FlashStatus::refused;
    }
    return unlock_blocks(s, first, last);
}

}  // namespace

FlashStatus flash_check_blocks(FlashSession& s, uint32_t base, int32_t first, int32_t last, UnlockRequest unlock,
                               bool whole_device)
{
    if (first >= last)
        return FlashStatus::ok;
    flash_chip_enable(s, '0');
    const FlashStatus result = s.descriptor.style == CommandStyle::intel
                                   ? check_intel(s, base, first, last, unlock, whole_device)
                                   : check_amd(s, base, first, last);
    flash_chip_enable(s, '1');
    return result;
}
