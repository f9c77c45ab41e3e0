// Geometry of the chips without a usable CFI table, built into the tool.
#include <cstdint>

#include "flash/flash_blocks.h"
#include "flash/flash_geometry.h"
#include "flash/flash_model.h"
#include "flash/flash_ops.h"
#include "platform/console.h"

namespace {

constexpr uint32_t kKB = 1024;

struct Region {
    uint32_t blocks;
    uint32_t block_size;
};

struct BuiltinRow {
    uint32_t FlashModel::*slot;
    uint32_t word_write_us;
    uint32_t buffer_write_us;
    uint32_t block_erase_ms;
    uint32_t chip_erase_ms;
    uint32_t device_size;
    int region_count;
    Region regions[4];  // in address order
};

// Searched in this order; the first slot holding the device code wins.
constexpr BuiltinRow kBuiltin[] = {
    {&FlashModel::dev_lv040, 300, 0, 1000, 5000, 512 * kKB, 1, {{8, 64 * kKB}}},
    {&FlashModel::dev_s29al008d_bottom,
     7,
     0,
     1000,
     14000,
     1024 * kKB,
     4,
     {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {15, 64 * kKB}}},
    {&FlashModel::dev_s29al008d_top,
     7,
     0,
     1000,
     14000,
     1024 * kKB,
     4,
     {{15, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}}},
    {&FlashModel::dev_s29al004d_top,
     7,
     0,
     1000,
     11000,
     512 * kKB,
     4,
     {{7, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}}},
    {&FlashModel::dev_s29al004d_bottom,
     7,
     0,
     1000,
     11000,
     512 * kKB,
     4,
     {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {7, 64 * kKB}}},
};

constexpr bool row_is_whole(const BuiltinRow& row)
{
    uint32_t covered = 0;
    for (int r = 0; r < row.region_count; ++r)
        covered += row.regions[r].blocks * row.regions[r].block_size;
    return row.region_count >= 1 && row.region_count <= 4 && covered == row.device_size;
}

constexpr bool table_is_whole()
{
    for (const BuiltinRow& row : kBuiltin)
        if (!row_is_whole(row))
            return false;
    return true;
}

static_assert(table_is_whole(), "every built-in row must have 1 to 4 regions covering its device");

}  // namespace

int flash_builtin_geometry(uint32_t base, int32_t interleave)
{
    geometry_clear_query();
    const BuiltinRow* found = nullptr;
    for (const BuiltinRow& row : kBuiltin) {
        if (g_flash_model.*row.slot == g_flash_id.device_id) {
            found = &row;
            break;
        }
    }
    if (found == nullptr) {
        con_printf("Not defined DEVICE ID\n");
        return -1;
    }

    // Two chips side by side double every block and the device.
    uint32_t chips = static_cast<uint32_t>(interleave);
    g_geometry.word_write_timeout_us = found->word_write_us;
    g_geometry.buffer_write_timeout_us = found->buffer_write_us;
    g_geometry.block_erase_timeout_ms = found->block_erase_ms;
    g_geometry.chip_erase_timeout_ms = found->chip_erase_ms;
    g_geometry.device_size = found->device_size * chips;
    g_geometry.region_count = static_cast<uint8_t>(found->region_count);
    for (int r = 0; r < found->region_count; ++r)
        g_geometry.regions[r] = region_descriptor(found->regions[r].blocks, found->regions[r].block_size * chips);

    geometry_print_timeouts();
    for (int r = 0; r < g_geometry.region_count; ++r)
        geometry_print_region(r, g_geometry.regions[r]);
    return geometry_build_blocks(geometry_aligned_base(base));
}
