// SPDX-License-Identifier: Apache-2.0
// One virtual Intel/Sharp-style NOR chip (StrataFlash J3, P30): single-cycle commands, a
// status register, a write buffer with its window checks, and a lock bit per block.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/flash_chip.h"

namespace sim {

// Status register bits.
constexpr uint8_t kSrReady = 0x80;
constexpr uint8_t kSrEraseError = 0x20;    // also an unlock error
constexpr uint8_t kSrProgramError = 0x10;  // also a lock error
constexpr uint8_t kSrVoltage = 0x08;
constexpr uint8_t kSrLocked = 0x02;

struct IntelCounters {
    uint64_t word_programs = 0;
    uint64_t buffer_programs = 0;
    uint64_t block_erases = 0;
    uint64_t locked_refusals = 0;  // programs and erases on a locked block
    uint64_t sequence_errors = 0;  // wrong confirm codes, buffer counts or addresses
    uint64_t clear_status = 0;
    uint64_t ignored_while_busy = 0;
};

class IntelChip final : public FlashChip {
public:
    enum class Mode {
        read_array,
        read_status,
        read_id,
        cfi_query,
        program_setup,
        erase_setup,
        lock_setup,
        buffer_count,  // after E8: reads give the status, SR7 = a buffer is free
        buffer_load,
        buffer_confirm,
    };

    IntelChip(const NorModel& model, bool byte_mode);

    void write_cycle(uint32_t address, uint16_t data, uint64_t now_ns) override;
    void read_cycle(uint64_t) override { ++read_cycles_; }
    uint16_t read(uint32_t address, uint64_t now_ns) const override;

    // Error bits every later program (SR4, SR3) or erase (SR5, SR3) ends with, changing nothing.
    void set_status_fault(uint8_t bits) { status_fault_ = bits; }
    // Sets the lock bit of block `index`, as a last session would have left it.
    void lock(uint32_t index)
    {
        if (index < locks_.size())
            locks_[index] |= 0x01;
    }

    Mode mode() const { return mode_; }
    bool busy(uint64_t now_ns) const { return now_ns < busy_until_ns_; }
    uint8_t status(uint64_t now_ns) const;
    // Bit 0 locked, bit 1 locked down, of the block holding this pin address.
    uint8_t lock_state(uint32_t address) const;
    const IntelCounters& counters() const { return counters_; }

private:
    uint32_t block_of(uint32_t address) const { return nor_unit_index(model_, byte_address(address)); }
    uint32_t units_per_word() const { return byte_mode_ ? 1 : 2; }
    void start(uint64_t duration_ns, uint64_t now_ns);
    // The operation may run: false, with the error bits set, when the block is locked or a
    // fault says it fails.
    bool may_change(uint32_t address, uint8_t error_bit);
    void sequence_error();
    void lock_command(uint32_t address, uint8_t code, uint64_t now_ns);
    void buffer_word(uint32_t address, uint16_t data);
    void buffer_confirm(uint32_t address, uint8_t code, uint64_t now_ns);
    uint16_t id_read(uint32_t address) const;

    Mode mode_ = Mode::read_array;
    uint8_t errors_ = 0;  // SR5, SR4, SR3, SR1: kept until clear status
    uint8_t status_fault_ = 0;
    uint64_t busy_until_ns_ = 0;
    uint64_t read_cycles_ = 0;
    std::vector<uint8_t> locks_;  // per block: bit 0 locked, bit 1 locked down

    uint32_t buffer_block_ = 0;
    uint32_t buffer_window_ = 0;  // byte address of the window's start
    bool buffer_has_window_ = false;
    uint32_t buffer_left_ = 0;
    std::vector<uint16_t> buffer_data_;
    std::vector<bool> buffer_loaded_;

    IntelCounters counters_;
};

}  // namespace sim
