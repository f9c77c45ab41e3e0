// SPDX-License-Identifier: Apache-2.0
// The board behind an OpenOCD remote_bitbang server: one character per request, as the facts
// give them. Every character costs the board one port access of virtual time.
#pragma once

#include <cstdint>
#include <string>

#include "sim/scan_chain.h"
#include "sim/served_protocol.h"
#include "sim/stats.h"
#include "sim/virtual_clock.h"

namespace sim {

class BitbangServer final : public ServedProtocol {
public:
    BitbangServer(ScanChain& chain, VirtualClock& clock, SimStats& stats, uint64_t request_ns)
        : chain_(chain), clock_(clock), stats_(stats), request_ns_(request_ns)
    {}

    const char* name() const override { return "remote_bitbang"; }
    void reset() override { why_.clear(); }
    Feed feed(const uint8_t* data, size_t length, std::string& answers) override;
    bool mid_command() const override { return false; }
    const std::string& why() const override { return why_; }

private:
    void set_resets(bool trst, bool srst);

    ScanChain& chain_;
    VirtualClock& clock_;
    SimStats& stats_;
    uint64_t request_ns_;
    bool tck_ = false;
    bool trst_ = false;
    bool srst_ = false;
    uint64_t srst_scans_at_ = 0;
    std::string why_;
};

}  // namespace sim
