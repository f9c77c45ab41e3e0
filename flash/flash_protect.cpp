// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_protect.h"

#include "flash/flash_intel.h"

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

// Refused, after `why` names the block.
Outcome refuse_block(FlashSession& s, EventKind why, int32_t block)
{
    const uint32_t address = s.geometry.block_start[block];
    flash_report(s, {.kind = why, .address = address, .block = block});
    return {.status = Status::refused, .address = address, .block = block};
}

Outcome check_amd(FlashSession& s, uint32_t base, int32_t first, int32_t last)
{
    const int32_t block = first_protected(s, base, first, last);
    if (block == last)
        return outcome_of(Status::ok);
    return refuse_block(s, EventKind::block_protected, block);
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

Outcome unlock_blocks(FlashSession& s, int32_t first, int32_t last)
{
    const FlashGeometry& g = s.geometry;
    if (!g.unlocks_each_block) {
        const Outcome result = flash_intel_unlock(s, g.block_start[first]);
        if (result.ok())
            flash_report(s, {.kind = EventKind::device_unlocked});
        return result;
    }
    uint32_t unlocked = 0;
    for (int32_t block = first; block < last; ++block) {
        if ((flash_intel_lock_status(s, g.block_start[block]) & kLocked) == 0)
            continue;
        if (Outcome result = flash_intel_unlock(s, g.block_start[block]); !result.ok()) {
            result.block = block;
            return result;
        }
        ++unlocked;
    }
    flash_write(s, g.block_start[first], s.model.cmd_reset);
    flash_report(s, {.kind = EventKind::blocks_unlocked,
                     .address = g.block_start[first],
                     .count = unlocked,
                     .total = g.block_start[last] - g.block_start[first]});
    return outcome_of(Status::ok);
}

Outcome check_intel(FlashSession& s, uint32_t base, int32_t first, int32_t last, UnlockRequest unlock,
                    bool whole_device)
{
    const Locks locks = read_locks(s, base, first, last);
    if (locks.locked_down >= 0)
        return refuse_block(s, EventKind::block_locked_down, locks.locked_down);
    if (locks.count == 0)
        return outcome_of(Status::ok);
    if (unlock == UnlockRequest::none)
        return refuse_block(s, EventKind::block_locked, locks.first_locked);
    if (!s.geometry.unlocks_each_block && unlock != UnlockRequest::all && !whole_device)
        return refuse_block(s, EventKind::block_locked_unlock_all, locks.first_locked);
    return unlock_blocks(s, first, last);
}

}  // namespace

Outcome flash_check_blocks(FlashSession& s, uint32_t base, int32_t first, int32_t last, UnlockRequest unlock,
                           bool whole_device)
{
    // Where nothing defines a block's status, a read there could give anything: the erase
    // check finds a block that did not change.
    const bool defined =
        s.descriptor.style == CommandStyle::intel || s.descriptor.block_status || s.geometry.lists_protection;
    if (first >= last || !defined)
        return outcome_of(Status::ok);
    flash_chip_enable(s, '0');
    const Outcome result = s.descriptor.style == CommandStyle::intel
                               ? check_intel(s, base, first, last, unlock, whole_device)
                               : check_amd(s, base, first, last);
    flash_chip_enable(s, '1');
    return result;
}
