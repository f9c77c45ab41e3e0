// SPDX-License-Identifier: Apache-2.0
// What an update changes, worked out from the flash's contents before anything is changed. A
// block already holding what the job wants is left alone; one where the job only clears bits
// (programming clears bits, only an erase sets them) is programmed over without an erase; any
// other block is erased and programmed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "flash/flash_geometry.h"

enum class BlockChange : uint8_t { unchanged, program_over, erase };

struct BlockPlan {
    int32_t block;     // in the block table, as -b counts
    uint32_t address;  // of its first byte
    uint32_t size;
    BlockChange change;
};

struct UpdateCounts {
    uint32_t unchanged = 0;
    uint32_t programmed_over = 0;
    uint32_t erased = 0;
};

// Bytes [begin, end) of the bus, as offsets from the range's start.
struct ByteSpan {
    uint32_t begin;
    uint32_t end;
};

// The blocks of the range that starts at `begin`, a block start, and holds `now.size()` bytes:
// `now` is what the flash holds there, `wanted` (as long) what the job leaves there. Blocks the
// range ends inside are compared on the range's bytes.
std::vector<BlockPlan> update_plan(const FlashGeometry& g, uint32_t begin, std::span<const uint8_t> now,
                                   std::span<const uint8_t> wanted);

UpdateCounts update_counts(std::span<const BlockPlan> plan);

// Where `now` and `wanted` differ within [from, to), widened to whole `unit`s (a word or a
// write buffer; `from` and `to` lie on units) and joined across gaps of two units or less,
// where one more program call would cost more than programming the equal words again.
std::vector<ByteSpan> differing_spans(std::span<const uint8_t> now, std::span<const uint8_t> wanted, uint32_t from,
                                      uint32_t to, uint32_t unit);
