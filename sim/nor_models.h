// SPDX-License-Identifier: Apache-2.0
// The NOR flash chips of the virtual board, as datasheet data.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sim {

// Which data-bus widths the chip's package offers.
enum class NorBusWidth { x8_x16, x8_only, x16_only };

// The chip's command set: AMD-style unlock cycles, or Intel/Sharp single-cycle commands with a
// status register.
enum class NorCommandSet { amd, intel };

// An erase region: equal sectors, in address order.
struct NorRegion {
    uint32_t count;
    uint32_t bytes;
};

// Typical operation times; 0 where the chip lacks the operation.
struct NorTimes {
    uint64_t program_ns;         // one word (or one byte on an x8 bus)
    uint64_t buffer_program_ns;  // one whole write buffer
    uint64_t sector_erase_ns;
    uint64_t block_erase_ns;  // the larger erase unit of chips that have two
    uint64_t chip_erase_ns;
};

// Addresses are in the chip's native unit: words for chips with a x16 mode, bytes
// for x8-only chips. In byte mode of an x8/x16 chip the byte address shifted right
// by one gives that word address.
struct NorModel {
    std::string_view name;  // the accepted model name, without a boot suffix
    std::string_view boot;  // "top" or "bottom" for boot-block variants, else empty
    NorBusWidth bus;
    uint32_t size_bytes;

    uint16_t maker_code;           // autoselect address 0
    uint16_t device_code_word;     // autoselect address 1, word mode
    uint8_t device_code_byte;      // autoselect address 1, byte mode or x8-only chip
    uint32_t maker_extra_address;  // a second maker code location, 0 when none
    uint8_t maker_extra_code;
    uint32_t id_address_mask;  // address bits decoded for autoselect and CFI reads

    std::span<const NorRegion> sectors;  // address order, covering size_bytes
    std::span<const uint8_t> cfi;           // query table from CFI address 0; empty: no CFI
    NorTimes times;
    uint32_t buffer_bytes;  // write buffer size (also its page size), 0 when none

    uint32_t cmd_addr1;          // first unlock and command address
    uint32_t cmd_addr2;          // second unlock address
    uint32_t cmd_address_mask;   // address bits the command decoder looks at
    uint32_t cfi_query_addr;     // single-cycle query entry address
    bool cfi_three_cycle_entry;  // also entered by unlock, unlock, 98 at cmd_addr1
    uint8_t sector_erase_cmd;
    uint8_t block_erase_cmd;  // 0 when the chip has no block erase
    uint32_t block_bytes;     // erase unit of block_erase_cmd
    // Unlock, unlock, 20 enters two-cycle programming. Only where a datasheet lists the
    // command: chips whose command table is not at hand go without it.
    bool unlock_bypass;

    NorCommandSet command_set = NorCommandSet::amd;
    // Intel-style lock bits: every block locked at power-up (P30), or non-volatile and found
    // unlocked on a new chip (J3).
    bool locked_at_power_up = false;
    // 0x60/0xD0 clears the lock bit of every block at once (J3), not only the block addressed.
    bool unlock_clears_all = false;
    // Autoselect address 2 gives a sector's protection status; where the datasheet's ID mode
    // defines only the two codes (SST), it reads the array like any other address.
    bool sector_status = true;
};

// Every chip of the board, boot variants as separate rows.
std::span<const NorModel> nor_models();

// "NAME" or "NAME:top" / "NAME:bottom" for chips with boot variants (top when no
// suffix is given); nullptr when unknown. Names are case-sensitive.
const NorModel* nor_model_find(std::string_view text);

// Sector containing `byte_address` (wrapped into the chip): its start and size in bytes.
struct NorSector {
    uint32_t start;
    uint32_t bytes;
};
NorSector nor_sector_of(const NorModel& model, uint32_t byte_address);

// The erase units a tool sees: the blocks of block_erase_cmd where the chip has them, else its
// sectors. Protection and lock bits belong to these units, counted from 0 in address order.
uint32_t nor_unit_count(const NorModel& model);
uint32_t nor_unit_index(const NorModel& model, uint32_t byte_address);
NorSector nor_unit_of(const NorModel& model, uint32_t byte_address);

}  // namespace sim
