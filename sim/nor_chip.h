// One virtual NOR chip: its cells and its AMD-style command state machine.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/nor_models.h"

namespace sim {

// The chip's own pins. In byte mode of an x8/x16 chip the address is a byte
// address (DQ15 acting as A-1) and only kDq7..kDq0 carry data.
struct ChipPins {
    uint32_t address = 0;
    uint16_t data = 0xFFFF;
    bool ce_n = true;
    bool oe_n = true;
    bool we_n = true;
};

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
};

class NorChip {
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

    // byte_mode: an x8/x16 chip with BYTE# low, or any x8-only chip.
    NorChip(const NorModel& model, bool byte_mode);

    // Pin level: latches writes on WE#/CE# edges and counts read cycles on OE#/CE#.
    void pins_changed(const ChipPins& before, const ChipPins& after, uint64_t now_ns);
    bool drives(const ChipPins& pins) const { return !pins.ce_n && !pins.oe_n; }
    uint16_t output(const ChipPins& pins, uint64_t now_ns) const;

    // Cycle level, in the pins' address unit.
    void write_cycle(uint32_t address, uint16_t data, uint64_t now_ns);
    void read_cycle(uint64_t now_ns);  // a read starts: advances the toggle bits
    uint16_t read(uint32_t address, uint64_t now_ns) const;

    // Cells as bytes in chip order (low byte of word k at 2k).
    const std::vector<uint8_t>& cells() const { return cells_; }
    std::vector<uint8_t>& cells() { return cells_; }

    // This bit of this cell byte never programs to 0.
    void set_stuck_bit(uint32_t byte_index, int bit);
    // Every erase takes this many times its typical time.
    void set_erase_factor(uint32_t factor) { erase_factor_ = factor == 0 ? 1 : factor; }
    // These cell bytes ignore every erase: a sector or block erase over them goes busy briefly and
    // changes nothing, a chip erase leaves them as they are.
    void set_ignored_erase(NorSector cells) { ignored_erase_ = cells; }

    const NorModel& model() const { return model_; }
    bool byte_mode() const { return byte_mode_; }
    uint16_t data_mask() const { return byte_mode_ ? 0xFF : 0xFFFF; }
    Mode mode(uint64_t now_ns) const;
    bool busy(uint64_t now_ns) const;
    bool in_bypass(uint64_t now_ns) const;  // also while a bypass program runs
    const NorCounters& counters() const { return counters_; }

private:
    uint32_t word_address(uint32_t address) const;  // the command decoder's view
    uint32_t byte_address(uint32_t address) const;  // cell byte of an address, wrapped
    bool is_cmd(uint32_t address, uint32_t cmd_addr) const;
    bool same_sector(uint32_t a, uint32_t b) const;
    void settle(uint64_t now_ns);
    void command(uint32_t address, uint16_t data, uint64_t now_ns);
    void program_unit(uint32_t address, uint16_t data);
    void start_program(uint32_t address, uint16_t data, uint64_t now_ns, Mode then);
    void start_busy(Mode mode, uint64_t duration_ns, uint64_t now_ns, Mode then = Mode::read_array);
    void erase_range(uint32_t start, uint32_t bytes);
    void erase_unit(uint32_t start, uint32_t bytes, uint64_t typical_ns, uint64_t now_ns);
    void abort_buffer();
    uint16_t array_read(uint32_t address) const;
    uint16_t autoselect_read(uint32_t address) const;
    uint16_t cfi_read(uint32_t address) const;
    uint16_t status() const;

    const NorModel& model_;
    bool byte_mode_;
    std::vector<uint8_t> cells_;
    uint32_t stuck_byte_ = 0;
    uint8_t stuck_mask_ = 0;
    uint32_t erase_factor_ = 1;
    NorSector ignored_erase_{0, 0};

    Mode mode_ = Mode::read_array;
    uint64_t busy_until_ns_ = 0;
    Mode after_busy_ = Mode::read_array;  // where a program or erase ends
    bool toggle_ = false;                 // kDq6 while busy
    uint8_t status_dq7_ = 0;              // bit 7 of the status while programming or aborted

    // A write in progress on the pins.
    bool write_pending_ = false;
    uint32_t latched_address_ = 0;

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
