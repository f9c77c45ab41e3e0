// SPDX-License-Identifier: Apache-2.0
// A cable that records instead of clocking: every reset, scan and wait becomes a line of Serial
// Vector Format, for any SVF player to play later. Nothing comes back from a board, so a scan
// that wants TDO gets what the caller said to expect, and the file checks it: the expected bits
// go into the scan's TDO with a MASK on those bits alone. The other devices of the chain are
// written once as the header and trailer every scan carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jtag/cable.h"
#include "jtag/chain_position.h"

class SvfWriter final : public Cable {
public:
    SvfWriter(uint32_t hz, const ChainPosition& position);

    // The TDO of the next scan that reads, one character per bit of the device's own register in
    // shift order: '0' or '1' checked, 'x' not. That scan's reader gets these bits ('x' as '0').
    void expect(std::string_view tdo) { expected_.assign(tdo); }

    const std::string& text() const { return text_; }
    uint64_t tck_count() const { return tck_; }
    uint64_t checked_scans() const { return checked_; }

    void park() override {}
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    uint32_t tck_hz() const override { return hz_; }
    void idle(uint32_t clocks) override;

private:
    void clock_tms(int tms);
    void scan_done();

    uint32_t hz_;
    ChainPosition position_;
    int state_ = 0;    // the TAP state (svf_writer.cpp numbers them); Test-Logic-Reset at first
    std::string tdi_;  // the scan being shifted, whole chain
    std::string tdo_;  // its expected TDO, whole chain
    std::string expected_;
    bool reading_ = false;
    std::string text_;
    uint64_t tck_ = 0;
    uint64_t checked_ = 0;
};

// `bits` (character 0 shifted first) as SVF hex: the last bit shifted is the most significant.
std::string svf_hex(std::string_view bits);
