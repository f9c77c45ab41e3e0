// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_update.h"

#include <algorithm>

namespace {

BlockChange change_of(std::span<const uint8_t> now, std::span<const uint8_t> wanted)
{
    BlockChange change = BlockChange::unchanged;
    for (size_t i = 0; i < now.size(); ++i) {
        if (now[i] == wanted[i])
            continue;
        if ((now[i] & wanted[i]) != wanted[i])
            return BlockChange::erase;
        change = BlockChange::program_over;
    }
    return change;
}

}  // namespace

std::vector<BlockPlan> update_plan(const FlashGeometry& g, uint32_t begin, std::span<const uint8_t> now,
                                   std::span<const uint8_t> wanted)
{
    std::vector<BlockPlan> plan;
    const uint64_t end = uint64_t{begin} + now.size();
    for (int32_t b = 0; b < g.block_count; ++b) {
        const uint64_t block_end = uint64_t{g.block_start[b]} + g.block_size[b];
        if (g.block_start[b] < begin || g.block_start[b] >= end)
            continue;
        const size_t from = g.block_start[b] - begin;
        const size_t length = static_cast<size_t>(std::min(block_end, end) - g.block_start[b]);
        plan.push_back(
            {b, g.block_start[b], g.block_size[b], change_of(now.subspan(from, length), wanted.subspan(from, length))});
    }
    return plan;
}

UpdateCounts update_counts(std::span<const BlockPlan> plan)
{
    UpdateCounts counts;
    for (const BlockPlan& p : plan)
        ++(p.change == BlockChange::unchanged      ? counts.unchanged
           : p.change == BlockChange::program_over ? counts.programmed_over
                                                   : counts.erased);
    return counts;
}

std::vector<ByteSpan> differing_spans(std::span<const uint8_t> now, std::span<const uint8_t> wanted, uint32_t from,
                                      uint32_t to, uint32_t unit)
{
    std::vector<ByteSpan> spans;
    for (uint32_t at = from; at < to; at += unit) {
        const uint32_t unit_end = std::min(at + unit, to);
        if (std::equal(now.begin() + at, now.begin() + unit_end, wanted.begin() + at))
            continue;
        if (!spans.empty() && at - spans.back().end <= 2 * unit)
            spans.back().end = unit_end;
        else
            spans.push_back({at, unit_end});
    }
    return spans;
}
