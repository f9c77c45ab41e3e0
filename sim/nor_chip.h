// SPDX-License-Identifier: Apache-2.0
// One virtual NOR chip with the AMD-style command state machine.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/flash_chip.h"
#include "sim/nor_models.h"

namespace sim {

struct NorCounters {
    uint64_t read_cycles = 0;
    uint64_t write_cycles = 0;
    uint64_t programs = 0;         // single-word programs started
    uint64_t bypass_programs = 0;  // two-cycle programs started in unlock bypass
    uint64_t buffer_programs = 0;  // buffers confirmed
    uint64_t buffer_aborts = 0;
    uint64_t sector_erases = 0;  // sector or block erases started
    uint64_t chip_erases = 0;
    uint64_t ignored_while_busy = 0;
    uint64_t cfi_single_entries = 0;
    uint64_t cfi_three_cycle_entries = 0;
    uint64_t protected_refusals = 0;  // programs and erases aimed at a protected sector
};

class NorChip final : public FlashChip {
public:
    enum class Mode {
        read_array,
        unlock1,
        unlock2,
        autoselect,
        cfi_query,
        program_setup,
        erase_setup,
        erase_unlock1,
        erase_unlock2,
        buffer_count,
        buffer_load,
        buffer_confirm,
        buffer_abort,
        abort_unlock1,
        abort_unlock2,
        programming,
        erasing,
        // Unlock bypass: the array reads as in read_array, but only A0 (then the
        // address and data) and 90 then 00 are taken; every other write is ignored.
        bypass,
        bypass_program_setup,
        bypass_reset_setup,
    };

    NorChip(const NorModel& model, bool byte_mode);

    void write_cycle(uint32_t address, uint16_t data, uint64_t now_ns) override;
    void read_cycle(uint64_t now_ns) override;  // advances the toggle bits
    uint16_t read(uint32_t address, uint64_t now_ns) const override;

    Mode mode(uint64_t now_ns) const;
    bool busy(uint64_t now_ns) const;
    bool in_bypass(uint64_t now_ns) const;  // also while a bypass program runs
    const NorCounters& counters() const { return counters_; }

private:
    bool is_cmd(uint32_t address, uint32_t cmd_addr) const;
    bool same_sector(uint32_t a, uint32_t b) const;
    void settle(uint64_t now_ns);
    void command(uint32_t address, uint16_t data, uint64_t now_ns);
    void start_program(uint32_t address, uint16_t data, uint64_t now_ns, Mode then);
    void start_busy(Mode mode, uint64_t duration_ns, uint64_t now_ns, Mode then = Mode::read_array);
    void erase_chip(uint64_t now_ns);
    void erase_unit(uint32_t start, uint32_t bytes, uint64_t typical_ns, uint64_t now_ns);
    void abort_buffer();
    uint16_t array_read(uint32_t address) const;
    uint16_t autoselect_read(uint32_t address) const;
    uint16_t cfi_read(uint32_t address) const;
    uint16_t status() const;

    Mode mode_ = Mode::read_array;
    uint64_t busy_until_ns_ = 0;
    Mode after_busy_ = Mode::read_array;  // where a program or erase ends
    bool toggle_ = false;                 // kDq6 while busy
    uint8_t status_dq7_ = 0;              // bit 7 of the status while programming or aborted

    // Write-buffer load.
    uint32_t buffer_sector_ = 0;  // byte address of the sector's start
    uint32_t buffer_page_ = 0;    // byte address of the page's start
    uint32_t buffer_left_ = 0;    // pairs still to come
    bool buffer_has_page_ = false;
    std::vector<uint16_t> buffer_data_;
    std::vector<bool> buffer_loaded_;

    NorCounters counters_;
};

}  // namespace sim
