// SPDX-License-Identifier: Apache-2.0
// Geometry of the chips without a usable CFI table, built into the tool.
#include <cstdint>

#include "flash/flash_blocks.h"
#include "flash/flash_ops.h"

namespace {
// The AMD-family maxima of chips without a CFI table: a word or byte programs within 360 us,
// a sector erases within 15 s, the chip within 16 times its typical time.
constexpr uint32_t kWordMaxUs = 360;
constexpr uint32_t kSectorMaxMs = 15000;
constexpr uint32_t kChipMaxFactor = 16;
}  // namespace

const BuiltinGeometry* flash_builtin_for(const FlashSession& s)
{
    const uint32_t id = s.identity.device_id;
    // A slot the model leaves empty holds 0 and never matches: a bus that reads all zeros
    // has no geometry to invent.
    if (id == 0)
        return nullptr;
    for (const FlashDescriptor& d : flash_descriptors())
        for (const DeviceVariant& v : d.variants)
            if (v.builtin != nullptr && s.model.*v.slot == id)
                return v.builtin;
    return nullptr;
}

Outcome flash_builtin_geometry(FlashSession& s, uint32_t base)
{
    FlashGeometry& g = s.geometry;
    geometry_clear_query(g);
    const BuiltinGeometry* found = flash_builtin_for(s);
    if (found == nullptr) {
        flash_report(s, {.kind = EventKind::device_id_unknown, .actual = s.identity.device_id});
        return outcome_of(Status::refused);
    }

    // Two chips side by side double every block and the device.
    const uint32_t chips = static_cast<uint32_t>(s.chips);
    g.word_write_timeout_us = found->word_write_us;
    g.buffer_write_timeout_us = found->buffer_write_us;
    g.block_erase_timeout_ms = found->block_erase_ms;
    g.chip_erase_timeout_ms = found->chip_erase_ms;
    g.word_write_max_us = kWordMaxUs;
    g.block_erase_max_ms = kSectorMaxMs;
    g.chip_erase_max_ms = kChipMaxFactor * found->chip_erase_ms;
    g.device_size = found->device_size * chips;
    g.region_count = static_cast<uint8_t>(found->region_count);
    for (int r = 0; r < found->region_count; ++r)
        g.regions[r] = region_descriptor(found->regions[r].blocks, found->regions[r].block_size * chips);

    geometry_report_timeouts(s.host, g);
    for (int r = 0; r < g.region_count; ++r)
        geometry_report_region(s.host, r, g.regions[r]);
    return outcome_of(geometry_build_blocks(s.host, g, geometry_aligned_base(g, base)) ? Status::ok : Status::refused);
}
