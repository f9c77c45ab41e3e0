// SPDX-License-Identifier: Apache-2.0
// The command cycles and word format of the chosen flash model and bus set-up: every later
// flash operation takes its cycles from this record, derived from the model's descriptor.
#pragma once

#include <cstdint>

// The most words one write buffer takes, whatever the chip offers.
constexpr uint32_t kMaxBufferWords = 32;

struct FlashModel {
    uint32_t maker_id_offset;
    uint32_t device_id_offset;
    uint32_t bytes_per_word;
    uint32_t data_bits;
    uint32_t data_mask;
    uint32_t unlock_addr1;
    uint32_t unlock_addr2;
    uint32_t unlock_data1;
    uint32_t unlock_data2;
    uint32_t cmd_autoselect;
    uint32_t cmd_reset;
    uint32_t cmd_program;
    uint32_t cmd_erase_setup;
    uint32_t cmd_block_erase;
    uint32_t cmd_chip_erase;
    uint32_t cfi_query_addr;
    uint32_t cmd_cfi_query;
    uint32_t cmd_write_buffer;
    uint32_t cmd_buffer_confirm;
    uint32_t buffer_words;
    // Unlock bypass, where the chip has it: entered with the unlock cycles and this command,
    // left with the two reset cycles. 0: the chip has no bypass.
    uint32_t cmd_unlock_bypass;
    uint32_t cmd_bypass_reset1;
    uint32_t cmd_bypass_reset2;
    // Offset from a block's start of its protection (AMD autoselect) or lock status (Intel
    // read identifier).
    uint32_t block_status_offset;
    // Device-code slots: the CFI group, then the built-in group. 0: not filled.
    uint32_t dev_s29gl064m;
    uint32_t dev_k8d6316;
    uint32_t dev_s29gl128n;
    uint32_t dev_sst39vf6401;
    uint32_t dev_s29al008d_top;
    uint32_t dev_s29al008d_bottom;
    uint32_t dev_s29al004d_top;
    uint32_t dev_s29al004d_bottom;
    uint32_t dev_lv040;
};
