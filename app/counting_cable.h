// SPDX-License-Identifier: Apache-2.0
// A cable that counts what passes through it, for a job's report: scans and the bits they shift.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

class CountingCable final : public Cable {
public:
    explicit CountingCable(Cable& inner) : inner_(inner) {}

    uint64_t ir_scans = 0;
    uint64_t dr_scans = 0;
    uint64_t dr_captures = 0;  // scans whose whole capture was read back
    uint64_t dr_samples = 0;   // scans that read back some cells
    uint64_t bits = 0;         // bits shifted through the chain
    uint64_t tap_resets = 0;

    void park() override { inner_.park(); }
    void tap_reset() override
    {
        ++tap_resets;
        inner_.tap_reset();
    }
    void scan_ir(uint32_t length, const char* b) override
    {
        ++ir_scans;
        bits += length;
        inner_.scan_ir(length, b);
    }
    void scan_ir_capture(const char* b, char* capture, uint32_t length) override
    {
        ++ir_scans;
        bits += length;
        inner_.scan_ir_capture(b, capture, length);
    }
    void scan_dr(const char* b, uint32_t length) override
    {
        ++dr_scans;
        bits += length;
        inner_.scan_dr(b, length);
    }
    void scan_dr_capture(const char* b, char* capture, uint32_t length) override
    {
        ++dr_scans;
        ++dr_captures;
        bits += length;
        inner_.scan_dr_capture(b, capture, length);
    }
    void scan_dr_sample(const char* b, uint32_t length, const uint16_t* cells, uint32_t count, char* sample) override
    {
        ++dr_scans;
        ++dr_samples;
        bits += length;
        inner_.scan_dr_sample(b, length, cells, count, sample);
    }
    void flush() override { inner_.flush(); }
    const char* fault() const override { return inner_.fault(); }

private:
    Cable& inner_;
};
