// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_blocks.h"

#include "platform/console.h"

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
    for (uint32_t& region : g.regions)
        region = 0;
}

void geometry_print_timeouts(const FlashGeometry& g)
{
    con_printf("Typical timeout for word write:   %d[us]\n", static_cast<int>(g.word_write_timeout_us));
    con_printf("Typical timeout for buffer write: %d[us]\n", static_cast<int>(g.buffer_write_timeout_us));
    con_printf("Typical timeout for block erase:  %d[ms]\n", static_cast<int>(g.block_erase_timeout_ms));
    con_printf("Typical timeout for chip erase:   %d[ms]\n", static_cast<int>(g.chip_erase_timeout_ms));
}

void geometry_print_region(int index, uint32_t descriptor)
{
    con_printf("Block region #%d", index);
    con_printf("   block numbers : %3d, size: %d[KB]\n", static_cast<int>(region_blocks(descriptor)),
               static_cast<int>(region_block_size(descriptor) / 1024));
}

uint32_t geometry_aligned_base(const FlashGeometry& g, uint32_t base) { return base & ~(g.device_size - 1); }

bool geometry_build_blocks(FlashGeometry& g, uint32_t aligned_base)
{
    uint32_t total = 0;
    for (int r = 0; r < g.region_count; ++r)
        total += region_blocks(g.regions[r]);
    if (total > kMaxBlocks) {
        con_printf("Error, MAX BLOCK NUMBER is overflow, blocknum: %d\n", static_cast<int>(total));
        return false;
    }
    con_printf("Device size: %d[KBytes]\n", static_cast<int>(g.device_size / 1024));

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
