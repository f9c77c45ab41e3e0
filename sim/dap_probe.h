// SPDX-License-Identifier: Apache-2.0
// A CMSIS-DAP probe plugged into the board's JTAG header: it takes the host's command packets,
// clocks the chain from DAP_JTAG_Sequence commands and queues the answers. It stands where the
// platform's CMSIS-DAP transport would.
//
// Virtual time: the host's writes and reads go over a link that carries, for v1 (HID at full
// speed), one report per 1 ms frame each way, and for v2 (bulk at high speed) a packet's bytes at
// 480 Mbit/s plus half a round trip each way. The probe works through its packets in order, one
// TCK period at the granted rate per clock, while the host goes on writing: a read waits only
// when its answer is not back yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/dap_transport.h"
#include "platform/device_lock.h"
#include "sim/scan_chain.h"
#include "sim/stats.h"
#include "sim/virtual_clock.h"

namespace sim {

struct DapProbeConfig {
    bool present = false;  // plugged in (else open() and list() find none)
    int version = 2;
    size_t packet_size = 0;     // 0: 64 for v1, 512 for v2
    unsigned packet_count = 0;  // 0: 4 for v1, 8 for v2
    UsbId id{0x2e8a, 0x000c};
    std::vector<std::string> serials{"E6614103E7"};  // one probe per serial, every one on the header
    bool exclusive = false;                          // held with the system's device lock
    uint64_t latency_us = 125;                       // one v2 round trip
    // Made to misbehave: SWD only; the Nth DAP_JTAG_Sequence answered DAP_ERROR; gone after N.
    bool swd_only = false;
    uint64_t error_at = 0;
    uint64_t unplug_after = 0;
};

class DapProbe final : public DapTransport {
public:
    static constexpr uint32_t kMaxTckHz = 24'000'000;
    static constexpr uint64_t kTimeoutNs = 1'000'000'000;

    DapProbe(VirtualClock& clock, SimStats& stats, ScanChain& chain, const DapProbeConfig& config);

    const char* open(const DapChoice& choice) override;
    DapProbeInfo probe() const override { return info(chosen_); }
    const char* list(std::vector<DapProbeInfo>& found) override;
    size_t link_packet_size() const override { return config_.version == 1 ? 64 : 512; }
    void set_packet_size(size_t) override {}
    bool write(const uint8_t* packet, size_t length) override;
    bool read(uint8_t* packet, size_t capacity, size_t& got) override;
    const char* error() const override { return error_.c_str(); }
    void close() override;

    size_t packet_size() const { return config_.packet_size; }
    uint32_t granted_hz() const { return hz_; }
    bool connected() const { return connected_; }

private:
    struct Answer {
        std::vector<uint8_t> bytes;
        uint64_t ready_ns;
    };

    DapProbeInfo info(size_t index) const;
    uint64_t link_ns(size_t bytes) const;
    void execute(const uint8_t* in, size_t length, std::vector<uint8_t>& out);
    void info_answer(uint8_t id, std::vector<uint8_t>& out) const;
    bool sequences(const uint8_t* in, size_t length, std::vector<uint8_t>& out);
    void pins(const uint8_t* in, std::vector<uint8_t>& out);
    void tck(uint8_t tms, uint8_t tdi);
    bool fail(std::string text);

    VirtualClock& clock_;
    SimStats& stats_;
    ScanChain& chain_;
    DapProbeConfig config_;
    std::string error_;
    DeviceLock lock_;
    bool open_ = false;
    bool gone_ = false;
    size_t chosen_ = 0;
    bool connected_ = false;
    bool nreset_low_ = false;
    uint32_t hz_ = 1'000'000;
    uint64_t sequence_commands_ = 0;
    uint64_t ps_left_ = 0;  // the part of a nanosecond not yet on the clock, in picoseconds

    std::deque<Answer> answers_;
    uint64_t out_free_ns_ = 0;    // the host-to-probe link is free again
    uint64_t probe_free_ns_ = 0;  // the probe has run every packet it was given
    uint64_t in_free_ns_ = 0;     // the probe-to-host link is free again
};

}  // namespace sim
