// SPDX-License-Identifier: Apache-2.0
// One descriptor per supported flash model: what the chip is, from which the FlashModel
// record of each bus set-up is derived. Behaviour is chosen by these fields, never by name.
#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_model.h"

// The bus set-ups: bus width x chips side by side.
enum FlashSetup : uint8_t {
    kSetup16x1 = 1,  // one chip in 16-bit mode
    kSetup8x1 = 2,   // one chip 8 bits wide (an 8-bit chip, or an 8/16-bit chip in byte mode)
    kSetup8x2 = 4,   // two 8-bit chips side by side, one on each byte of the bus
};

enum class ChipBus : uint8_t { x8_x16, x8_only, x16_only };

// How the chip is commanded: AMD-style unlock cycles with DQ7 polling, or Intel/Sharp single
// cycles with a status register (CFI primary command sets 0x0002, and 0x0001 or 0x0003).
enum class CommandStyle : uint8_t { amd, intel };

// The chip's own command set: command addresses in the chip's address unit (words in
// 16-bit mode, bytes for an 8-bit-only chip) and 8-bit command codes.
struct CommandSet {
    uint32_t unlock_addr1;
    uint32_t unlock_addr2;
    uint32_t cfi_query_addr;  // 0: the tool does not query this command set
    uint8_t block_erase;
    // The chip ignores the upper data byte, and the unlock and erase-setup data are written
    // in both bytes anyway (0xAAAA, 0x5555, 0x8080).
    bool unlock_data_both_bytes;
    uint32_t buffer_words;  // write-buffer commands known, this many words; 0: none
};

// Where the erase geometry comes from.
enum class GeometrySource : uint8_t {
    cfi,
    // The CFI table lists the sectors and the blocks as two regions over the same memory; the
    // block erase command works on the blocks, the second region.
    cfi_blocks_region,
    builtin,
};

struct BuiltinRegion {
    uint32_t blocks;
    uint32_t block_size;
};

// Typical times and organisation of a chip without a usable CFI table (one chip; two side
// by side double every size).
struct BuiltinGeometry {
    uint32_t word_write_us;
    uint32_t buffer_write_us;
    uint32_t block_erase_ms;
    uint32_t chip_erase_ms;
    uint32_t device_size;
    int region_count;
    BuiltinRegion regions[4];  // in address order
};

// A device code the model knows, and the record slot it fills.
struct DeviceVariant {
    uint32_t FlashModel::*slot;
    uint16_t word_code;              // 16-bit mode
    uint8_t byte_code;               // 8-bit mode, or an 8-bit-only chip
    const BuiltinGeometry* builtin;  // nullptr: geometry from CFI
    uint8_t maker;                   // the manufacturer code, as read at the model's maker address
    // Where two models share their codes: the CFI device-size code (2^n bytes) that tells them
    // apart; 0 where the codes alone are enough.
    uint8_t cfi_size_code = 0;
};

struct FlashDescriptor {
    const char* name;
    ChipBus chip_bus;
    uint8_t setups;  // FlashSetup bits
    const CommandSet* commands;
    // Models of one group know each other's device codes: naming one fills all their slots.
    uint8_t code_group;
    std::span<const DeviceVariant> variants;
    uint32_t maker_code_address = 0;  // chip address of the manufacturer code in autoselect
    GeometrySource geometry = GeometrySource::cfi;
    bool write_buffer = false;  // programmed through the write buffer
    // Two-cycle programs once in unlock-bypass mode (AA/55/20 in, 90/00 out).
    bool unlock_bypass = false;
    CommandStyle style = CommandStyle::amd;
    // The write buffer's size comes from the chip's CFI table (the generic drivers).
    bool buffer_from_cfi = false;
    // Autoselect gives each block's protection status at block + 2 (the AMD-family datasheets);
    // for the generic AMD driver the CFI extended table says whether it does.
    bool block_status = true;
};

// Every model, in the order of the model menu.
std::span<const FlashDescriptor> flash_descriptors();
// The descriptor named exactly `name` (case-sensitive), or nullptr.
const FlashDescriptor* flash_descriptor_find(const char* name);
// The drivers of a chip found by its CFI table alone, not in the model menu.
const FlashDescriptor& flash_generic_descriptor(CommandStyle style);
// The set-up of a bus width and chip count, or 0 when there is none.
uint8_t flash_setup_of(int32_t bus_width, int32_t interleave);
