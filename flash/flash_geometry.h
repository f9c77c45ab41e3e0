// SPDX-License-Identifier: Apache-2.0
// Identification codes and erase geometry of the flash found on the bus.
#pragma once

#include <cstdint>

constexpr int kMaxBlocks = 4096;
constexpr int kMaxRegions = 8;

struct FlashGeometry {
    // Query part, cleared at the start of each geometry operation.
    char qry[3];
    uint32_t word_write_timeout_us;
    uint32_t buffer_write_timeout_us;
    uint32_t block_erase_timeout_ms;
    uint32_t chip_erase_timeout_ms;
    // The longest the chip may take, after which a poll gives up; 0 where not known.
    uint32_t word_write_max_us;
    uint32_t buffer_write_max_us;
    uint32_t block_erase_max_ms;
    uint32_t chip_erase_max_ms;
    uint32_t device_size;
    uint16_t write_buffer_code;
    uint8_t region_count;
    uint32_t regions[kMaxRegions];  // bits 0-15 = blocks - 1, bits 16-31 = block size / 256
    // Intel-style: the extended query table says blocks unlock one by one; without it an
    // unlock clears every block's lock bit.
    bool unlocks_each_block;
    // AMD-style: the extended query table lists sector protection.
    bool lists_protection;
    // Block table, written only on success.
    int32_t block_count;
    uint32_t block_start[kMaxBlocks + 1];
    uint32_t block_size[kMaxBlocks];
};

struct FlashIdentity {
    uint16_t maker_id;
    uint16_t device_id;
};
