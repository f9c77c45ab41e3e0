// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_blocks.h"

void geometry_clear_query(FlashGeometry& g)
{
    for (char& c : g.qry)
        c = 0;
    g.word_write_timeout_us = 0;
    g.buffer_write_timeout_us = 0;
    g.block_erase_timeout_ms = 0;
    g.chip_erase_timeout_ms = 0;
    g.word_write_max_us = 0;
    g.buffer_write_max_us = 0;
    g.block_erase_max_ms = 0;
    g.chip_erase_max_ms = 0;
    g.device_size = 0;
    g.write_buffer_code = 0;
    g.region_count = 0;
    g.unlocks_each_block = false;
    g.lists_protection = false;
    for (uint32_t& region : g.regions)
        region = 0;
}

void geometry_report_timeouts(Host& host, const FlashGeometry& g)
{
    host.report({.kind = EventKind::typical_word_write, .count = g.word_write_timeout_us});
    host.report({.kind = EventKind::typical_buffer_write, .count = g.buffer_write_timeout_us});
    host.report({.kind = EventKind::typical_block_erase, .count = g.block_erase_timeout_ms});
    host.report({.kind = EventKind::typical_chip_erase, .count = g.chip_erase_timeout_ms});
}

void geometry_report_region(Host& host, int index, uint32_t descriptor)
{
    host.report({.kind = EventKind::erase_region,
                 .count = region_blocks(descriptor),
                 .total = region_block_size(descriptor),
                 .block = index});
}

uint32_t geometry_aligned_base(const FlashGeometry& g, uint32_t base) { return base & ~(g.device_size - 1); }

bool geometry_build_blocks(Host& host, FlashGeometry& g, uint32_t aligned_base)
{
    uint32_t total = 0;
    for (int r = 0; r < g.region_count; ++r)
        total += region_blocks(g.regions[r]);
    if (total > kMaxBlocks) {
        host.report({.kind = EventKind::too_many_blocks, .count = total});
        return false;
    }
    host.report({.kind = EventKind::device_size, .total = g.device_size});

    g.block_count = static_cast<int32_t>(total);
    g.block_start[0] = aligned_base;
    int block = 0;
    for (int r = 0; r < g.region_count; ++r) {
        uint32_t size = region_block_size(g.regions[r]);
        for (uint32_t k = 0; k < region_blocks(g.regions[r]); ++k, ++block) {
            g.block_size[block] = size;
            g.block_start[block + 1] = g.block_start[block] + size;
        }
    }
    return true;
}
