// SPDX-License-Identifier: Apache-2.0
// Steps shared by the two geometry sources (CFI query and built-in tables).
#pragma once

#include <cstdint>

#include "flash/flash_geometry.h"
#include "jtag/host.h"

// Region descriptors in CFI form: bits 0-15 = blocks - 1, bits 16-31 = block size / 256.
constexpr uint32_t region_blocks(uint32_t descriptor) { return (descriptor & 0xFFFF) + 1; }
constexpr uint32_t region_block_size(uint32_t descriptor) { return (descriptor >> 16) * 256; }
constexpr uint32_t region_descriptor(uint32_t blocks, uint32_t block_size)
{
    return (blocks - 1) | ((block_size / 256) << 16);
}

// Clears the query part.
void geometry_clear_query(FlashGeometry& g);
// The four typical times.
void geometry_report_timeouts(Host& host, const FlashGeometry& g);
// Region `index`: its blocks and their size.
void geometry_report_region(Host& host, int index, uint32_t descriptor);
// Base rounded down to a multiple of the device size.
uint32_t geometry_aligned_base(const FlashGeometry& g, uint32_t base);
// Counts the blocks, reports the device size and fills the block table from `aligned_base`;
// false, reported, when the table would overflow (the table is then left as it was).
bool geometry_build_blocks(Host& host, FlashGeometry& g, uint32_t aligned_base);
