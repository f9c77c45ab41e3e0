// SPDX-License-Identifier: Apache-2.0
// Block erase over a byte range, and chip erase.
#include <algorithm>
#include <cstdint>

#include "flash/flash_erase_check.h"
#include "flash/flash_intel.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"

namespace {

// Polls are counted in reads: every read is several full boundary-scan shifts.
constexpr uint32_t kBlockPollLimit = 5000;
// Where every poll costs a round trip, the polls are spread over the typical erase time instead:
// about this many a block, with the cable's idle clocks between them.
constexpr uint32_t kPacedPolls = 16;

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
Status wait_block_erased(FlashSession& s, uint32_t address, uint32_t& last)
{
    const uint32_t mask = flash_done_mask(s);
    const PollClock clock(s.host, ms_to_ns(s.geometry.block_erase_max_ms));
    const uint64_t pace_ns = s.bus.answers_late() ? ms_to_ns(s.geometry.block_erase_timeout_ms) / kPacedPolls : 0;
    const uint32_t poll_limit = pace_ns != 0 ? 4 * kPacedPolls : kBlockPollLimit;
    uint32_t busy_reads = 0;
    while (((last = flash_read(s, address)) & mask) != mask) {
        if (++busy_reads > poll_limit && clock.max_passed())
            return Status::erase_failed;
        s.bus.bus_wait(pace_ns);
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
    }
    return Status::ok;
}

// A chip whose chip-erase time is not known is allowed the time of all its blocks.
uint64_t chip_erase_poll_ms(const FlashGeometry& g)
{
    uint64_t typical_ms = g.chip_erase_timeout_ms;
    if (typical_ms == 0)
        typical_ms = uint64_t{g.block_erase_timeout_ms} * static_cast<uint64_t>(g.block_count);
    return std::max({kChipErasePollFactor * typical_ms, uint64_t{g.chip_erase_max_ms}, kChipErasePollFloorMs});
}

Status wait_chip_erased(FlashSession& s, uint32_t base)
{
    const uint32_t mask = flash_done_mask(s);
    const PollClock clock(s.host, ms_to_ns(chip_erase_poll_ms(s.geometry)));
    while ((flash_read(s, base) & mask) != mask) {
        if (clock.max_passed())
            return Status::erase_failed;
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
    }
    return Status::ok;
}

// The fixed wait after the chip-erase command, on a clock that never jumps.
Status wait_fixed(FlashSession& s, uint64_t ns)
{
    s.bus.flush();
    const PollClock clock(s.host, ns);
    while (!clock.max_passed())
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
    return Status::ok;
}

}  // namespace

Outcome flash_erase_blocks(FlashSession& s, uint32_t start, uint32_t size)
{
    const FlashGeometry& g = s.geometry;
    flash_report(s, {.kind = EventKind::erase_started, .address = start, .count = size});

    int32_t first = 0;
    while (first < g.block_count && g.block_start[first] != start)
        ++first;
    if (first == g.block_count) {
        flash_report(s, {.kind = EventKind::erase_start_unaligned, .address = start});
        return {.status = Status::refused, .address = start};
    }
    // Every block that begins before the end of the range; a range past the flash's end
    // stops at the last block. Counted from the start, so a range at the top of the
    // address space does not wrap.
    int32_t last = first;
    while (last < g.block_count && g.block_start[last] - start < size)
        ++last;
    flash_report(s, {.kind = EventKind::erase_blocks_needed, .count = static_cast<uint32_t>(last - first)});

    flash_reset_cycle(s, start);

    Outcome result;
    flash_chip_enable(s, '0');
    for (int32_t block = first; block < last; ++block) {
        const uint32_t address = g.block_start[block];
        const Outcome here = {.address = address, .block = block};
        if (Status stop = flash_stop_check(s); stop != Status::ok) {
            result = flash_ended(s, here, stop);
            break;
        }
        flash_report(s, {.kind = EventKind::block_erasing,
                         .address = address,
                         .count = static_cast<uint32_t>(block - first + 1),
                         .block = block});

        const uint64_t erase_began = s.host.monotonic_ns();
        uint32_t first_word = 0;
        if (s.descriptor.style == CommandStyle::intel) {
            result = flash_intel_erase_block(s, address);
            result.block = block;
            if (result.ok())
                first_word = flash_read(s, address);  // back in read array
        } else {
            // Unlock and setup go to the range's start; the erase command to the block itself.
            erase_sequence(s, start, address, s.model.cmd_block_erase);
            s.bus.flush();
            const Status erased = wait_block_erased(s, address, first_word);
            if (erased == Status::erase_failed) {
                flash_report(s, {.kind = EventKind::erase_error, .address = address});
                flash_report(s, {.kind = EventKind::block_erase_not_done, .address = address, .block = block});
            }
            result = flash_ended(s, here, erased);
        }
        if (result.ok())
            result = flash_check_erased_block(s, {block, first_word, s.host.monotonic_ns() - erase_began});
        if (!result.ok())
            break;
        if (s.host.stop_key()) {
            result = flash_ended(s, here, Status::cancelled);
            break;
        }
    }
    flash_chip_enable(s, '1');
    return result;
}

Outcome flash_erase_chip(FlashSession& s, uint32_t base)
{
    flash_chip_enable(s, '0');
    erase_sequence(s, base, base + s.model.unlock_addr1, s.model.cmd_chip_erase);
    flash_chip_enable(s, '1');

    if (Status stop = wait_fixed(s, kChipEraseFixedWaitNs); stop != Status::ok)
        return flash_ended(s, {.address = base}, stop);

    flash_chip_enable(s, '0');
    const Status erased = wait_chip_erased(s, base);
    if (erased == Status::erase_failed)
        flash_report(s, {.kind = EventKind::erase_error, .address = base});
    Outcome result = flash_ended(s, {.address = base}, erased);
    // Every block is checked as after its own erase; the fixed wait hides how long this one took.
    for (int32_t block = 0; block < s.geometry.block_count && result.ok(); ++block)
        result = flash_check_erased_block(s, {block, flash_read(s, s.geometry.block_start[block]), 0});
    flash_chip_enable(s, '1');
    if (result.ok())
        flash_report(s, {.kind = EventKind::chip_erased});
    return result;
}
