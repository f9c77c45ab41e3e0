// SPDX-License-Identifier: Apache-2.0
#include "targets/selected_target.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

SelectedTarget::SelectedTarget(const CpuTarget& cpu, JtagChain& chain) : cpu_(cpu), chain_(chain)
{
    std::memcpy(bsr_image_, cpu.default_image, static_cast<size_t>(cpu.bsr_length) + 1);
    std::memset(capture_, '0', sizeof capture_);
}

void SelectedTarget::set_word_bytes(uint32_t bytes)
{
    address_shift_ = 0;
    while (cpu_.flash_address_pins && (2u << address_shift_) <= bytes)
        ++address_shift_;
}

uint64_t SelectedTarget::address_reach() const
{
    // A built-in CPU's address pins are its bus: what lies above them is chip-select decoding.
    if (!cpu_.flash_address_pins)
        return UINT64_MAX;
    return uint64_t{1} << std::min<size_t>(cpu_.pins.address.size() + address_shift_, 63);
}

uint32_t SelectedTarget::bus_read(uint32_t address, uint32_t data_bits)
{
    const CpuPins& pins = cpu_.pins;
    release_data(pins, bsr_image_);
    put_address(address);
    bsr_image_[pins.oe] = '0';
    scan();
    wait_rest(1);
    // A capture holds the pins as the previous Update-DR left them, so the flash's answer to
    // the address and OE# of the scan above only shows in a second, unchanged scan.
    chain_.scan_dr_capture(bsr_image_, capture_, bsr_length());
    bsr_image_[pins.oe] = '1';
    scan();
    return get_data(pins, capture_, data_bits);
}

void SelectedTarget::bus_write(uint32_t address, uint32_t data, uint32_t data_bits)
{
    const CpuPins& pins = cpu_.pins;
    wait_rest(0);
    put_address(address);
    set_data(pins, bsr_image_, data, pins.write_width != 0 ? pins.write_width : data_bits);
    bsr_image_[pins.we] = '0';
    scan();
    bsr_image_[pins.we] = '1';
    scan();
}

void SelectedTarget::bus_read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words)
{
    bus_read_run_queued(address, step, count, data_bits, words);
    bus_collect();
}

void SelectedTarget::bus_read_run_queued(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits,
                                         uint32_t* words)
{
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(count - done, kRunWords);
        read_run(address + done * step, step, n, data_bits, words + done);
        done += n;
    }
}

void SelectedTarget::bus_collect()
{
    chain_.flush();
    for (uint32_t r = 0; r < queued_count_; ++r) {
        const QueuedRun& run = queued_[r];
        const char* sample = samples_ + run.first_sample;
        for (uint32_t k = 0; k < run.count; ++k) {
            uint32_t word = 0;
            for (uint32_t j = 0; j < run.bits; ++j)
                if (sample[k * run.bits + j] == '1')
                    word |= 1u << run.bit_of[j];
            run.words[k] = word;
        }
    }
    queued_count_ = 0;
    samples_used_ = 0;
}

void SelectedTarget::wait_rest(uint32_t lead_scans)
{
    const uint64_t hz = chain_.tck_hz();
    if (wait_ns_ != 0 && hz != 0) {
        // A DR scan from Run-Test/Idle and back is its length plus six TMS clocks.
        const uint64_t wanted = (wait_ns_ * hz + 999'999'999) / 1'000'000'000;
        const uint64_t lead = uint64_t{lead_scans} * (bsr_length() + 6);
        if (wanted > lead)
            chain_.idle(static_cast<uint32_t>(std::min<uint64_t>(wanted - lead, UINT32_MAX)));
    }
    wait_ns_ = 0;
}

void SelectedTarget::read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words)
{
    const CpuPins& pins = cpu_.pins;
    const uint32_t bits = std::min({data_bits, kMaxDataBits, static_cast<uint32_t>(pins.data_in.size())});
    if (queued_count_ == kMaxQueuedRuns || samples_used_ + count * bits > sizeof samples_)
        bus_collect();
    QueuedRun& run = queued_[queued_count_++];
    run = {words, count, samples_used_, bits, {}};
    samples_used_ += count * bits;
    // The cable samples cells in shift order; `bit_of[k]` is the data bit of the k-th cell sampled.
    uint16_t cells[kMaxDataBits];
    for (uint32_t b = 0; b < bits; ++b) {
        uint32_t k = b;
        for (; k > 0 && cells[k - 1] > pins.data_in[b]; --k) {
            cells[k] = cells[k - 1];
            run.bit_of[k] = run.bit_of[k - 1];
        }
        cells[k] = pins.data_in[b];
        run.bit_of[k] = static_cast<uint8_t>(b);
    }

    // The data lines are released a scan before OE# falls, so the CPU and the flash never
    // drive them together, not even for the width of one update.
    release_data(pins, bsr_image_);
    scan();
    put_address(address);
    bsr_image_[pins.oe] = '0';
    scan();
    wait_rest(2);
    // Reads have no latching edge: a capture sees what the flash has driven since the previous
    // update set the address, several TCK ago.
    char* sample = samples_ + run.first_sample;
    for (uint32_t k = 0; k < count; ++k) {
        if (k + 1 < count)
            put_address(address + (k + 1) * step);
        else
            bsr_image_[pins.oe] = '1';
        chain_.scan_dr_sample(bsr_image_, bsr_length(), cells, bits, sample + k * bits);
    }
}

void SelectedTarget::bsr_set_chip_enable(char level)
{
    bsr_image_[ncs_cell_] = level;
    scan();
}

void SelectedTarget::bus_release()
{
    const CpuPins& pins = cpu_.pins;
    if (ncs_cell_ != kNoNcsCell)
        bsr_image_[ncs_cell_] = '1';
    bsr_image_[pins.oe] = '1';
    bsr_image_[pins.we] = '1';
    release_data(pins, bsr_image_);
    scan();
}
