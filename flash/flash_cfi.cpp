// SPDX-License-Identifier: Apache-2.0
// Geometry read from the flash itself through a CFI query.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "flash/flash_blocks.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"

namespace {

// CFI address A is read at byte offset 2 x A (4 x A with two chips side by side, each in byte
// mode); only the low byte of the word counts.
constexpr uint32_t kQry = 0x20;
constexpr uint32_t kWordWriteTime = 0x3E;
constexpr uint32_t kBufferWriteTime = 0x40;
constexpr uint32_t kBlockEraseTime = 0x42;
constexpr uint32_t kChipEraseTime = 0x44;
// The maximum times are the typical ones times 2^n, n at CFI 0x23-0x26.
constexpr uint32_t kWordWriteMax = 0x46;
constexpr uint32_t kBufferWriteMax = 0x48;
constexpr uint32_t kBlockEraseMax = 0x4A;
constexpr uint32_t kChipEraseMax = 0x4C;
constexpr uint32_t kDeviceSize = 0x4E;
constexpr uint32_t kWriteBuffer = 0x54;
constexpr uint32_t kRegionCount = 0x58;
constexpr uint32_t kCfiRegions = 0x5A;
constexpr uint32_t kRegionStride = 8;
constexpr uint32_t kExtendedTable = 0x2A;
// In the Intel extended table ("PRI"): the optional-feature word, whose bit 5 is instant
// individual block locking.
constexpr uint32_t kPriFeatures = 5;
constexpr uint32_t kIndividualLocking = 1u << 5;
// In the AMD extended table: sectors per protection group, 0 where the chip has none.
constexpr uint32_t kPriSectorProtect = 7;

uint32_t cfi_at(const FlashSession& s, uint32_t base, uint32_t offset)
{
    return base + offset * static_cast<uint32_t>(s.chips);
}

uint32_t cfi_byte(FlashSession& s, uint32_t base, uint32_t offset)
{
    return flash_read(s, cfi_at(s, base, offset)) & 0xFF;
}

// A typical-time code n means 2^n; the code is tested for 0 as the whole word read.
uint32_t cfi_time(FlashSession& s, uint32_t base, uint32_t offset)
{
    uint32_t code = flash_read(s, cfi_at(s, base, offset));
    return code == 0 ? 0 : (1u << (code & 0x1F));
}

uint32_t cfi_descriptor(FlashSession& s, uint32_t base, uint32_t offset)
{
    uint32_t descriptor = 0;
    for (uint32_t k = 0; k < 4; ++k)
        descriptor |= cfi_byte(s, base, offset + 2 * k) << (8 * k);
    return descriptor;
}

// A write buffer of 2^code bytes in each chip, as bus words.
uint32_t buffer_words_of(const FlashSession& s, uint32_t code)
{
    if (code == 0 || code > 16)
        return 0;
    const uint32_t chip_word_bytes = s.model.bytes_per_word / static_cast<uint32_t>(s.chips);
    return std::min(kMaxBufferWords, (1u << code) / chip_word_bytes);
}

// The extended table ("PRI") at the address the query table gives, or 0 where there is none.
uint32_t extended_table(FlashSession& s, uint32_t base)
{
    const uint32_t table = 2 * (cfi_byte(s, base, kExtendedTable) | cfi_byte(s, base, kExtendedTable + 2) << 8);
    if (table == 0 || cfi_byte(s, base, table) != 'P' || cfi_byte(s, base, table + 2) != 'R' ||
        cfi_byte(s, base, table + 4) != 'I')
        return 0;
    return table;
}

// Whether the Intel extended table lists individual block locking.
bool unlocks_each_block(FlashSession& s, uint32_t base)
{
    const uint32_t table = extended_table(s, base);
    return table != 0 && (cfi_byte(s, base, table + 2 * kPriFeatures) & kIndividualLocking) != 0;
}

// Whether the AMD extended table lists sector protection (sectors per group, 0 for none).
bool lists_protection(FlashSession& s, uint32_t base)
{
    const uint32_t table = extended_table(s, base);
    return table != 0 && cfi_byte(s, base, table + 2 * kPriSectorProtect) != 0;
}

// Back to read array, chip enable released.
void leave_query(FlashSession& s, uint32_t base)
{
    flash_write(s, base, s.model.cmd_reset);
    flash_chip_enable(s, '1');
}

// Refused, after saying why.
Outcome refuse(FlashSession& s, uint32_t base, EventKind why, uint32_t count = 0)
{
    leave_query(s, base);
    flash_report(s, {.kind = why, .count = count});
    return outcome_of(Status::refused);
}

// A failed cable reads all ones: nothing read since is printed as the flash's.
Outcome cable_stop(FlashSession& s, uint32_t base)
{
    leave_query(s, base);
    return flash_ended(s, {.address = base}, Status::cable_fault);
}

uint32_t cfi_max(FlashSession& s, uint32_t base, uint32_t offset, uint32_t typical)
{
    const uint32_t shift = cfi_byte(s, base, offset) & 0x0F;
    return typical == 0 ? 0 : typical << shift;
}

bool regions_cover_device(const FlashGeometry& g)
{
    uint64_t covered = 0;
    for (int r = 0; r < g.region_count; ++r)
        covered += uint64_t{region_blocks(g.regions[r])} * region_block_size(g.regions[r]);
    return covered == g.device_size;
}

}  // namespace

Outcome flash_query_cfi(FlashSession& s, uint32_t base)
{
    FlashGeometry& g = s.geometry;
    geometry_clear_query(g);
    flash_chip_enable(s, '0');
    flash_write(s, base + s.model.cfi_query_addr, s.model.cmd_cfi_query);

    for (uint32_t k = 0; k < 3; ++k)
        g.qry[k] = static_cast<char>(cfi_byte(s, base, kQry + 2 * k));
    if (s.bus.fault() != nullptr)
        return cable_stop(s, base);
    if (std::memcmp(g.qry, "QRY", 3) != 0) {
        return refuse(s, base, EventKind::no_cfi_table);
    }

    g.word_write_timeout_us = cfi_time(s, base, kWordWriteTime);
    g.buffer_write_timeout_us = cfi_time(s, base, kBufferWriteTime);
    g.block_erase_timeout_ms = cfi_time(s, base, kBlockEraseTime);
    g.chip_erase_timeout_ms = cfi_time(s, base, kChipEraseTime);
    if (s.bus.fault() != nullptr)
        return cable_stop(s, base);
    geometry_report_timeouts(s.host, g);
    g.word_write_max_us = cfi_max(s, base, kWordWriteMax, g.word_write_timeout_us);
    g.buffer_write_max_us = cfi_max(s, base, kBufferWriteMax, g.buffer_write_timeout_us);
    g.block_erase_max_ms = cfi_max(s, base, kBlockEraseMax, g.block_erase_timeout_ms);
    g.chip_erase_max_ms = cfi_max(s, base, kChipEraseMax, g.chip_erase_timeout_ms);

    uint32_t size_code = cfi_byte(s, base, kDeviceSize);
    if (size_code + (s.chips == 2 ? 1u : 0u) >= 32) {
        return refuse(s, base, EventKind::cfi_size_out_of_range);
    }
    // Two chips side by side double every block and the device.
    const uint32_t chips = static_cast<uint32_t>(s.chips);
    g.device_size = (1u << size_code) * chips;
    uint32_t aligned_base = geometry_aligned_base(g, base);

    g.write_buffer_code = static_cast<uint16_t>(cfi_byte(s, base, kWriteBuffer));
    if (s.descriptor.buffer_from_cfi)
        s.model.buffer_words = buffer_words_of(s, g.write_buffer_code);
    if (s.descriptor.style == CommandStyle::intel)
        g.unlocks_each_block = unlocks_each_block(s, base);
    else if (!s.descriptor.block_status)  // the model's datasheet may have said already
        g.lists_protection = lists_protection(s, base);
    g.region_count = static_cast<uint8_t>(cfi_byte(s, base, kRegionCount));
    if (g.region_count == 0) {
        return refuse(s, base, EventKind::cfi_no_regions);
    }

    uint32_t first_region = kCfiRegions;
    if (s.descriptor.geometry == GeometrySource::cfi_blocks_region) {
        g.region_count = 1;
        first_region += kRegionStride;
    }
    if (g.region_count > kMaxRegions) {
        return refuse(s, base, EventKind::cfi_too_many_regions, kMaxRegions);
    }

    for (int r = 0; r < g.region_count; ++r) {
        g.regions[r] = cfi_descriptor(s, base, first_region + kRegionStride * r);
        g.regions[r] = region_descriptor(region_blocks(g.regions[r]), region_block_size(g.regions[r]) * chips);
    }
    if (s.bus.fault() != nullptr)
        return cable_stop(s, base);
    for (int r = 0; r < g.region_count; ++r)
        geometry_report_region(s.host, r, g.regions[r]);
    if (!regions_cover_device(g)) {
        return refuse(s, base, EventKind::cfi_regions_mismatch);
    }

    leave_query(s, base);
    if (!geometry_build_blocks(s.host, g, aligned_base)) {
        flash_chip_enable(s, '1');  // already released; the refusal scans it once more
        return outcome_of(Status::refused);
    }
    return outcome_of(Status::ok);
}
