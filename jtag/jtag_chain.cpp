// SPDX-License-Identifier: Apache-2.0
#include "jtag/jtag_chain.h"

#include <algorithm>

#include "jtag/tap_walker.h"

JtagChain::JtagChain(Cable& cable, const ChainPosition& position) : cable_(cable) { place(position); }

void JtagChain::place(const ChainPosition& position)
{
    position_ = position;
    ones_.assign(std::max({position.devices_before, position.devices_after, position.ir_before, position.ir_after}),
                 '1');
}

void JtagChain::park() { cable_park(cable_); }

void JtagChain::tap_reset()
{
    ++counts_.tap_resets;
    ::tap_reset(cable_);
}

// Bits shifted in first travel furthest: the padding of the devices nearer TDO goes first, and
// their bits come out first, so the device's own bits sit `before` bits into both streams.
void JtagChain::padded(bool ir, const char* bits, uint32_t length, const TdoSink& sink, uint32_t before, uint32_t after)
{
    counts_.bits += before + length + after;
    tap_scan(cable_, ir, bits, length, sink, {ones_.data(), before, after});
}

void JtagChain::scan_ir(uint32_t length, const char* bits)
{
    ++counts_.ir_scans;
    padded(true, bits, length, {}, position_.ir_before, position_.ir_after);
}

void JtagChain::scan_ir_capture(const char* bits, char* capture, uint32_t length)
{
    ++counts_.ir_scans;
    padded(true, bits, length, {.capture = capture}, position_.ir_before, position_.ir_after);
    cable_.flush();
}

void JtagChain::scan_dr(const char* bits, uint32_t length)
{
    ++counts_.dr_scans;
    padded(false, bits, length, {}, position_.devices_before, position_.devices_after);
}

void JtagChain::scan_dr_capture(const char* bits, char* capture, uint32_t length)
{
    ++counts_.dr_scans;
    ++counts_.dr_captures;
    padded(false, bits, length, {.capture = capture}, position_.devices_before, position_.devices_after);
    cable_.flush();
}

void JtagChain::scan_dr_sample(const char* bits, uint32_t length, const uint16_t* cells, uint32_t count, char* sample)
{
    ++counts_.dr_scans;
    ++counts_.dr_samples;
    padded(false, bits, length, {.cells = cells, .count = count, .sample = sample}, position_.devices_before,
           position_.devices_after);
}
