// SPDX-License-Identifier: Apache-2.0
// J-Links plugged into the host's USB and wired to the board's JTAG header, as
// libjaylink reaches them: it stands where the platform's J-Link transport would.
//
// Virtual time: one USB round trip for every call that talks to the probe, and for a scan call
// its clocks at the TCK the speed setting grants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/jaylink_transport.h"
#include "sim/scan_chain.h"
#include "sim/virtual_clock.h"

namespace sim {

struct JlinkConfig {
    std::vector<uint32_t> serials;  // the J-Links plugged in; the first is wired to the board
    bool jtag = true;               // false: a probe that offers SWD alone
    uint64_t latency_us = 125;      // one USB round trip
    // The probe's clock: 48 MHz, divided by 4 at least (12 MHz TCK at most).
    uint32_t base_hz = 48'000'000;
    uint16_t min_divider = 4;
};

struct JlinkCounters {
    uint64_t round_trips = 0;
    uint64_t jtag_io_calls = 0;
    uint64_t clocks = 0;
};

class VirtualJlink final : public JaylinkTransport {
public:
    VirtualJlink(VirtualClock& clock, ScanChain& chain, const JlinkConfig& config)
        : clock_(clock), chain_(chain), config_(config)
    {}

    const char* list(std::vector<uint32_t>& serials) override;
    const char* open(uint32_t serial) override;
    const char* interfaces(uint32_t& mask) override;
    const char* select_jtag() override;
    const char* speeds(JaylinkSpeeds& speeds) override;
    const char* set_speed_khz(uint16_t khz) override;
    const char* jtag_io(const uint8_t* tms, const uint8_t* tdi, uint8_t* tdo, uint16_t bits) override;
    void close() override { open_ = false; }

    const JlinkCounters& counters() const { return counters_; }
    // The TCK the speed setting grants.
    uint32_t tck_hz() const { return tck_hz_; }
    bool is_open() const { return open_; }

private:
    const char* talk();

    VirtualClock& clock_;
    ScanChain& chain_;
    JlinkConfig config_;
    JlinkCounters counters_;
    bool open_ = false;
    bool jtag_selected_ = false;
    uint32_t tck_hz_ = 4'000'000;
};

// "jlink_round_trips: N" and the like, one a line, for --stats; empty when no probe was used.
std::string jlink_stats_text(const VirtualJlink& jlink);

}  // namespace sim
