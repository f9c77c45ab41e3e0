// SPDX-License-Identifier: Apache-2.0
// The CPU the run works with: its row, the one working BsrImage and the chip-enable cell,
// and the flash bus cycles built on them over the run's chain.
#pragma once

#include <cstdint>

#include "jtag/jtag_chain.h"
#include "targets/bus_cycles.h"
#include "targets/cpu_target.h"

class SelectedTarget final : public BusCycles {
public:
    // The BsrImage starts as the CPU's default image.
    SelectedTarget(const CpuTarget& cpu, JtagChain& chain);
    SelectedTarget(const SelectedTarget&) = delete;
    SelectedTarget& operator=(const SelectedTarget&) = delete;

    const CpuTarget& cpu() const { return cpu_; }
    JtagChain& chain() { return chain_; }
    Cable& cable() { return chain_.cable(); }
    char* bsr_image() { return bsr_image_; }
    uint32_t bsr_length() const { return static_cast<uint32_t>(cpu_.bsr_length); }

    int ncs_cell() const { return ncs_cell_; }
    // Bytes in one bus word: where the address cells carry the flash's own address, the byte
    // bits below the word drop off.
    void set_word_bytes(uint32_t bytes);
    // The bytes the address cells reach from 0; beyond it addresses would wrap onto lower ones.
    uint64_t address_reach() const;
    void set_ncs_cell(int cell) { ncs_cell_ = cell; }

    // Three scans: address with the data pins released and OE# low; an unchanged scan whose
    // capture shows what the flash drives; OE# high.
    uint32_t bus_read(uint32_t address, uint32_t data_bits) override;
    // Two scans: address, data and WE# low in one update; WE# high.
    void bus_write(uint32_t address, uint32_t data, uint32_t data_bits) override;
    void bsr_set_chip_enable(char level) override;
    // N reads in N + 2 scans: the data lines released in a scan of their own, OE# low with the
    // first address, then each scan samples the data cells for the previous address while it
    // sets the next, and the last one raises OE#.
    void bus_read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words) override;
    void bus_read_run_queued(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits,
                             uint32_t* words) override;
    void bus_collect() override;
    // Idle clocks on a cable that times itself; nothing on the parallel port, whose scans outlast
    // the waits a flash chip asks for.
    void bus_wait(uint64_t ns) override { wait_ns_ = ns; }
    bool answers_late() const override { return chain_.answers_late(); }
    const char* fault() const override { return chain_.fault(); }
    void flush() override { chain_.flush(); }

    // One scan that leaves the flash alone: chip enable and both strobes inactive, the data
    // pins released.
    void bus_release();

private:
    void scan() { chain_.scan_dr(bsr_image_, bsr_length()); }
    void put_address(uint32_t address) { set_address(cpu_.pins, bsr_image_, address >> address_shift_); }

    // Reads per pipelined run: the samples of the queued runs wait in `samples_` until the
    // cable has them.
    static constexpr uint32_t kRunWords = 256;
    static constexpr uint32_t kMaxDataBits = 16;
    static constexpr uint32_t kMaxQueuedRuns = 64;

    // A run whose samples are due: where they are, and which data bit each sampled cell is.
    struct QueuedRun {
        uint32_t* words;
        uint32_t count;
        uint32_t first_sample;
        uint32_t bits;
        uint8_t bit_of[kMaxDataBits];
    };

    void read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words);
    // The rest of a bus_wait(), once `lead_scans` scans have been queued since it.
    void wait_rest(uint32_t lead_scans);

    const CpuTarget& cpu_;
    JtagChain& chain_;
    int ncs_cell_ = kNoNcsCell;
    uint32_t address_shift_ = 0;
    char bsr_image_[kMaxBsrLength + 1];
    char capture_[kMaxBsrLength];
    char samples_[kRunWords * kMaxDataBits];
    QueuedRun queued_[kMaxQueuedRuns];
    uint32_t queued_count_ = 0;
    uint32_t samples_used_ = 0;
    uint64_t wait_ns_ = 0;
};
