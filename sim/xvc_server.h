// SPDX-License-Identifier: Apache-2.0
// The board behind an XVC 1.0 server: getinfo:, settck: and shift: as the facts give them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/scan_chain.h"
#include "sim/served_protocol.h"
#include "sim/virtual_clock.h"

namespace sim {

class XvcServer final : public ServedProtocol {
public:
    // The largest vector taken, in bytes (each of TMS and TDI), and the fastest TCK.
    static constexpr uint32_t kMaxVectorBytes = 16 * 1024;
    static constexpr uint32_t kMinPeriodNs = 40;

    XvcServer(ScanChain& chain, VirtualClock& clock) : chain_(chain), clock_(clock) {}

    const char* name() const override { return "XVC"; }
    void reset() override;
    Feed feed(const uint8_t* data, size_t length, std::string& answers) override;
    bool mid_command() const override { return pos_ < pending_.size(); }
    const std::string& why() const override { return why_; }
    uint32_t period_ns() const { return period_ns_; }

private:
    // 0: `pending_` from pos_ holds no whole command yet; else the command's length.
    size_t whole_command(Feed& verdict);
    void run_command(const uint8_t* command, std::string& answers);

    ScanChain& chain_;
    VirtualClock& clock_;
    uint32_t period_ns_ = 100;
    std::vector<uint8_t> pending_;
    size_t pos_ = 0;
    std::string why_;
};

}  // namespace sim
