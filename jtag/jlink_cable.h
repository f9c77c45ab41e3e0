// SPDX-License-Identifier: Apache-2.0
// The J-Link cable: scans gather into TMS and TDI bit arrays that the probe clocks in one USB
// round trip each; the TDO bits asked for are placed when the batch comes back, by flush() at
// the latest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jtag/cable.h"
#include "platform/jaylink_transport.h"

class JlinkCable final : public Cable {
public:
    // Clocks per round trip: the probe's own scan buffer, as large as one call may be.
    static constexpr uint32_t kBatchBits = 2048 * 8;

    explicit JlinkCable(JaylinkTransport& probe);
    // Sends what is still queued and closes the probe, if open() succeeded.
    ~JlinkCable() override;
    JlinkCable(const JlinkCable&) = delete;
    JlinkCable& operator=(const JlinkCable&) = delete;

    // Opens the J-Link with `serial`, checks that it offers JTAG, selects it and sets TCK to the
    // fastest the probe allows up to `tck_hz`. nullptr, or the one-line reason (also fault()).
    const char* open(uint32_t serial, uint32_t tck_hz);
    void close();
    // The TCK the probe was set to; 0 before open().
    uint32_t tck_hz() const override { return tck_hz_; }
    // The fastest TCK the probe can run; 0 before open().
    uint32_t max_tck_hz() const { return max_hz_; }
    // The serial number of the probe open() took.
    uint32_t serial() const { return serial_; }

    void park() override { flush(); }
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    void flush() override { send(); }
    void idle(uint32_t clocks) override;
    bool answers_late() const override { return true; }
    const char* fault() const override { return fault_.empty() ? nullptr : fault_.c_str(); }

private:
    // TDO bits of the batch from `bit` on that belong in `dest[0..count)`.
    struct Placement {
        uint32_t bit;
        uint32_t count;
        char* dest;
    };

    void room_for(uint32_t clocks);
    void clock(int tms, int tdi);
    void send();
    const char* set_fault(const std::string& text);

    JaylinkTransport& probe_;
    bool opened_ = false;
    uint32_t serial_ = 0;
    uint32_t tck_hz_ = 0;
    uint32_t max_hz_ = 0;
    std::string fault_;
    std::vector<uint8_t> tms_;
    std::vector<uint8_t> tdi_;
    std::vector<uint8_t> tdo_;
    uint32_t bits_ = 0;  // clocks queued in this batch
    int tdi_level_ = 0;  // TDI where a TMS clock leaves it to the cable
    std::vector<Placement> placements_;
};
