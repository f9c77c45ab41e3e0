// Geometry read from the flash itself through a CFI query.
#include <cstdint>
#include <cstring>

#include "flash/flash_blocks.h"
#include "flash/flash_bus.h"
#include "flash/flash_geometry.h"
#include "flash/flash_ops.h"
#include "platform/console.h"

namespace {

// CFI address A is read at byte offset 2 x A; only the low byte of the word counts.
constexpr uint32_t kQry = 0x20;
constexpr uint32_t kWordWriteTime = 0x3E;
constexpr uint32_t kBufferWriteTime = 0x40;
constexpr uint32_t kBlockEraseTime = 0x42;
constexpr uint32_t kChipEraseTime = 0x44;
constexpr uint32_t kDeviceSize = 0x4E;
constexpr uint32_t kWriteBuffer = 0x54;
constexpr uint32_t kRegionCount = 0x58;
constexpr uint32_t kRegions = 0x5A;
constexpr uint32_t kRegionStride = 8;

// The SST39VF6401 lists its 4 KB sectors and its 64 KB blocks as two regions over the
// same memory; the erase command of its model row works on the blocks, the second one.
constexpr const char* kSectorsAndBlocksModel = "SST39VF6401";

uint32_t cfi_byte(char* image, uint32_t base, uint32_t offset) { return flash_read(image, base + offset) & 0xFF; }

// A typical-time code n means 2^n; the code is tested for 0 as the whole word read.
uint32_t cfi_time(char* image, uint32_t base, uint32_t offset)
{
    uint32_t code = flash_read(image, base + offset);
    return code == 0 ? 0 : (1u << (code & 0x1F));
}

uint32_t cfi_descriptor(char* image, uint32_t base, uint32_t offset)
{
    uint32_t descriptor = 0;
    for (uint32_t k = 0; k < 4; ++k)
        descriptor |= cfi_byte(image, base, offset + 2 * k) << (8 * k);
    return descriptor;
}

// Back to read array, chip enable released.
void leave_query(char* image, uint32_t base)
{
    flash_write(image, base, g_flash_model.cmd_reset);
    bsr_set_chip_enable(image, '1');
}

int refuse(char* image, uint32_t base)
{
    leave_query(image, base);
    return -1;
}

bool regions_cover_device()
{
    uint64_t covered = 0;
    for (int r = 0; r < g_geometry.region_count; ++r)
        covered += uint64_t{region_blocks(g_geometry.regions[r])} * region_block_size(g_geometry.regions[r]);
    return covered == g_geometry.device_size;
}

}  // namespace

int flash_query_cfi(char* image, uint32_t base)
{
    geometry_clear_query();
    bsr_set_chip_enable(image, '0');
    flash_write(image, base + g_flash_model.cfi_query_addr, g_flash_model.cmd_cfi_query);

    for (uint32_t k = 0; k < 3; ++k)
        g_geometry.qry[k] = static_cast<char>(cfi_byte(image, base, kQry + 2 * k));
    if (std::memcmp(g_geometry.qry, "QRY", 3) != 0) {
        con_printf("Cannot read QRY info.\n");
        return refuse(image, base);
    }

    g_geometry.word_write_timeout_us = cfi_time(image, base, kWordWriteTime);
    g_geometry.buffer_write_timeout_us = cfi_time(image, base, kBufferWriteTime);
    g_geometry.block_erase_timeout_ms = cfi_time(image, base, kBlockEraseTime);
    g_geometry.chip_erase_timeout_ms = cfi_time(image, base, kChipEraseTime);
    geometry_print_timeouts();

    uint32_t size_code = cfi_byte(image, base, kDeviceSize);
    if (size_code >= 32) {
        con_printf("Error, CFI device size out of range\n");
        return refuse(image, base);
    }
    g_geometry.device_size = 1u << size_code;
    uint32_t aligned_base = geometry_aligned_base(base);

    g_geometry.write_buffer_code = static_cast<uint16_t>(cfi_byte(image, base, kWriteBuffer));
    g_geometry.region_count = static_cast<uint8_t>(cfi_byte(image, base, kRegionCount));
    if (g_geometry.region_count == 0) {
        con_printf("Error, The number of Erase Regions is ZERO\n");
        return refuse(image, base);
    }

    uint32_t first_region = kRegions;
    if (std::strcmp(g_options.flash_model, kSectorsAndBlocksModel) == 0) {
        g_geometry.region_count = 1;
        first_region += kRegionStride;
    }
    if (g_geometry.region_count > kMaxRegions) {
        con_printf("Error, Max eraseregion is %d\n", kMaxRegions);
        return refuse(image, base);
    }

    for (int r = 0; r < g_geometry.region_count; ++r) {
        g_geometry.regions[r] = cfi_descriptor(image, base, first_region + kRegionStride * r);
        geometry_print_region(r, g_geometry.regions[r]);
    }
    if (!regions_cover_device()) {
        con_printf("Error, Erase regions do not match device size\n");
        return refuse(image, base);
    }

    leave_query(image, base);
    if (geometry_build_blocks(aligned_base) != 0) {
        bsr_set_chip_enable(image, '1');  // already released; the refusal scans it once more
        return -1;
    }
    return 0;
}
