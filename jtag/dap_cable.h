// SPDX-License-Identifier: Apache-2.0
// The CMSIS-DAP cable: the probe clocks the TAP from DAP_JTAG_Sequence commands. Scans are
// packed into full packets and up to the probe's packet count of them is sent before the first
// answer is read, so a run waits on USB once per batch rather than once per scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jtag/cable.h"
#include "jtag/dap_packer.h"
#include "platform/dap_transport.h"

struct DapSettings {
    uint32_t tck_hz = 1'000'000;
    enum class Srst : uint8_t { untouched, hold, release } srst = Srst::untouched;
};

class DapCable final : public Cable, private DapPacker::Sink {
public:
    DapCable(DapTransport& link, const DapSettings& settings);
    // Sends what is queued, DAP_Disconnect, and closes the probe, if open() succeeded.
    ~DapCable() override;
    DapCable(const DapCable&) = delete;
    DapCable& operator=(const DapCable&) = delete;

    // Opens the probe, reads its packet size, packet count and capabilities, connects JTAG and
    // sets the clock and reset line. nullptr on success, else the one-line reason.
    const char* open(const DapChoice& choice);
    // Sends what is queued, DAP_Disconnect, and closes the probe; nothing when it is not open.
    void close();
    // The probe as the lines name it: "CMSIS-DAP probe 0d28:0204 (serial X)".
    const std::string& name() const { return name_; }
    size_t packet_size() const { return packet_size_; }
    unsigned packet_count() const { return packet_count_; }

    uint32_t tck_hz() const override { return opened_ ? settings_.tck_hz : 0; }
    void park() override { flush(); }
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    void flush() override;
    void idle(uint32_t clocks) override;
    bool answers_late() const override { return true; }
    const char* fault() const override { return fault_.empty() ? nullptr : fault_.c_str(); }

private:
    struct InFlight {
        size_t answer_length;
        size_t first_placement;
        size_t end_placement;
    };

    void packet(const DapPacket& packet) override;
    bool read_answer();
    bool command(const uint8_t* request, size_t length, size_t answer_min, const char* what);
    const char* refuse(const std::string& text);
    bool set_fault(const std::string& text);

    DapTransport& link_;
    DapSettings settings_;
    bool opened_ = false;
    std::string name_ = "CMSIS-DAP probe";
    std::string fault_;
    size_t packet_size_ = 64;
    unsigned packet_count_ = 1;
    std::vector<uint8_t> answer_;
    std::vector<DapPlacement> placements_;  // of the packets in flight, in order
    std::vector<InFlight> in_flight_;
    size_t next_answer_ = 0;           // first packet in flight whose answer is not read
    std::optional<DapPacker> packer_;  // made once the packet size is known
};
