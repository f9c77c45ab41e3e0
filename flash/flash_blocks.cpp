#include "flash/flash_blocks.h"

#include "flash/flash_geometry.h"
#include "platform/console.h"

void geometry_clear_query()
{
    for (char& c : g_geometry.qry)
        c = 0;
    g_geometry.word_write_timeout_us = 0;
    g_geometry.buffer_write_timeout_us = 0;
    g_geometry.block_erase_timeout_ms = 0;
    g_geometry.chip_erase_timeout_ms = 0;
    g_geometry.device_size = 0;
    g_geometry.write_buffer_code = 0;
    g_geometry.region_count = 0;
    for (uint32_t& region : g_geometry.regions)
        region = 0;
}

void geometry_print_timeouts()
{
    con_printf("Typical timeout for word write:   %d[us]\n", static_cast<int>(g_geometry.word_write_timeout_us));
    con_printf("Typical timeout for buffer write: %d[us]\n", static_cast<int>(g_geometry.buffer_write_timeout_us));
    con_printf("Typical timeout for block erase:  %d[ms]\n", static_cast<int>(g_geometry.block_erase_timeout_ms));
    con_printf("Typical timeout for chip erase:   %d[ms]\n", static_cast<int>(g_geometry.chip_erase_timeout_ms));
}

void geometry_print_region(int index, uint32_t descriptor)
{
    con_printf("Block region #%d", index);
    con_printf("   block numbers : %3d, size: %d[KB]\n", static_cast<int>(region_blocks(descriptor)),
               static_cast<int>(region_block_size(descriptor) / 1024));
}

uint32_t geometry_aligned_base(uint32_t base) { return base & ~(g_geometry.device_size - 1); }

int geometry_build_blocks(uint32_t aligned_base)
{
    uint32_t total = 0;
    for (int r = 0; r < g_geometry.region_count; ++r)
        total += region_blocks(g_geometry.regions[r]);
    if (total > kMaxBlocks) {
        con_printf("Error, MAX BLOCK NUMBER is overflow, blocknum: %d\n", static_cast<int>(total));
        return -1;
    }
    con_printf("Device size: %d[KBytes]\n", static_cast<int>(g_geometry.device_size / 1024));

    g_geometry.block_count = static_cast<int32_t>(total);
    g_geometry.block_start[0] = aligned_base;
    int block = 0;
    for (int r = 0; r < g_geometry.region_count; ++r) {
        uint32_t size = region_block_size(g_geometry.regions[r]);
        for (uint32_t k = 0; k < region_blocks(g_geometry.regions[r]); ++k, ++block) {
            g_geometry.block_size[block] = size;
            g_geometry.block_start[block + 1] = g_geometry.block_start[block] + size;
        }
    }
    return 0;
}
