// SPDX-License-Identifier: Apache-2.0
// The bus cycles of a job written as a file for a player, not run: every cycle goes to the
// boundary-scan target as usual, but a read cannot learn anything. It is told what a sound chip
// shows at that moment, from a model of the AMD command set kept as the cycles go by (codes in
// autoselect, erased blocks, programmed words), and the writer turns that into a checked read.
// A chip that was given work is allowed its maximum time before the next cycle: the file cannot
// poll, so it waits as long as the slowest sound chip takes.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "flash/flash_descriptor.h"
#include "flash/flash_geometry.h"
#include "flash/flash_model.h"
#include "jtag/svf_writer.h"
#include "targets/selected_target.h"

class ExpectedBus final : public BusCycles {
public:
    ExpectedBus(SelectedTarget& target, SvfWriter& writer, const FlashDescriptor& descriptor, const FlashModel& model,
                int32_t chips);

    // The block table and the chip's maximum times, once the geometry is known.
    void set_geometry(const FlashGeometry& geometry) { geometry_ = &geometry; }

    uint32_t bus_read(uint32_t address, uint32_t data_bits) override;
    void bus_write(uint32_t address, uint32_t data, uint32_t data_bits) override;
    void bsr_set_chip_enable(char level) override { target_.bsr_set_chip_enable(level); }
    void bus_read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words) override;
    void bus_read_run_queued(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits,
                             uint32_t* words) override
    {
        bus_read_run(address, step, count, data_bits, words);
    }
    void bus_wait(uint64_t ns) override { target_.bus_wait(ns); }
    const char* fault() const override { return nullptr; }

private:
    enum class Mode { array, autoselect, bypass, query };
    // The word a sound chip shows at `address`; false when nothing is known of it.
    bool expected(uint32_t address, uint32_t& word) const;
    void command(uint32_t address, uint32_t data);
    void erase(uint64_t begin, uint64_t end);
    void programmed(uint32_t address, uint32_t data);
    void busy(uint64_t ns) { busy_ns_ = std::max(busy_ns_, ns); }
    uint32_t both_chips(uint32_t byte_value) const;

    SelectedTarget& target_;
    SvfWriter& writer_;
    const FlashModel& model_;
    int32_t chips_;
    std::span<const uint8_t> cfi_;
    uint32_t maker_ = 0;
    uint32_t device_ = 0;
    const FlashGeometry* geometry_ = nullptr;
    Mode mode_ = Mode::array;
    int step_ = 0;  // command cycles seen: 1 and 2 after the unlock cycles, 3 after erase set-up
    bool erase_armed_ = false;
    bool program_next_ = false;
    uint32_t buffer_left_ = 0;  // buffered words still to come; all ones while the count is due
    bool buffer_open_ = false;
    std::vector<std::pair<uint32_t, uint32_t>> buffer_;
    uint64_t busy_ns_ = 0;
    std::map<uint32_t, uint32_t> words_;                 // programmed since their erase
    std::vector<std::pair<uint64_t, uint64_t>> erased_;  // [begin, end) byte ranges
    std::string tdo_;
};
