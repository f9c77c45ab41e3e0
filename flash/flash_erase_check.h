// SPDX-License-Identifier: Apache-2.0
// Erased blocks read back. An erase that reports done is not taken at its word: a protected
// sector or a failing chip goes busy and back without erasing anything.
#pragma once

#include <cstdint>

#include "flash/flash_session.h"

// A block whose erase has just reported done.
struct ErasedBlock {
    int32_t index;        // in the block table, as -b counts
    uint32_t first_word;  // the word read at the block's start when the poll ended
    uint64_t erase_ns;    // from the erase command to done; 0 when not measured (chip erase)
};

// One read run over a spread sample of the block's words (64 of them, its last word included;
// its first word is the one the poll ended on). When a sampled word is not erased, or the erase
// took under a tenth of the chip's typical block-erase time, the whole block is read. Chip
// enable is the caller's. erase_failed after reporting the block and the first word not erased,
// which the outcome holds.
Outcome flash_check_erased_block(FlashSession& session, const ErasedBlock& block);

// Reads every word of [start, start + length) with progress and ESC: erase_failed after reporting
// the first word that is not erased and how many are not.
Outcome flash_check_blank(FlashSession& session, uint32_t start, uint32_t length);
