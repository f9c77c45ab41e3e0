// SPDX-License-Identifier: Apache-2.0
// A USB JTAG adapter in MPSSE mode (FTDI FT2232H, or an FT2232D) plugged into the board's JTAG
// header: it takes the host's command bytes, clocks the CPU's TAP edge by edge on ADBUS0-3 and
// queues the answers the host reads back. It stands where the platform's USB transport would.
//
// Virtual time adds up, with no overlap: every TCK period at the frequency the clock commands
// set; every byte moved over USB (25 ns at high speed, 1 us at the FT2232D's full speed); one
// round trip for a read that waits on answers to commands written since the last read; and the
// 2 ms latency timer when the answers read were not pushed by a 0x87.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_lock.h"
#include "platform/usb_transport.h"
#include "sim/scan_chain.h"
#include "sim/stats.h"
#include "sim/virtual_clock.h"

namespace sim {

// A reset line of the adapter board, through its buffer: the data pin sets the level (an
// inverting buffer when `data_inverted`), the enable pin lets the buffer drive (active low when
// `oe_inverted`); with no enable pin it always drives, with the data pin as the enable pin it
// drives while that pin is an output. Undriven, the target's pull-up keeps the line high.
struct AdapterLine {
    uint16_t data = 0;
    bool data_inverted = false;
    uint16_t oe = 0;
    bool oe_inverted = false;
};

// How the adapter board connects the chip to the JTAG header.
struct AdapterWiring {
    char interface = 'A';  // the interface whose ADBUS reaches the header
    // Buffer enables: TCK, TDI and TMS reach the target only while these pins are outputs at
    // these levels.
    uint16_t enable_mask = 0;
    uint16_t enable_value = 0;
    AdapterLine ntrst;  // all masks 0: not wired
    AdapterLine nsrst;
    bool shown = false;         // --stats lists the reset lines
    std::string description{};  // the product string the adapter's maker gave it, if any
};

struct MpsseConfig {
    bool present = true;        // an adapter is plugged in (else open() finds no device)
    bool ft2232d = false;       // the older chip: 12 MHz clock base, 384-byte buffers, full-speed USB
    uint64_t latency_us = 125;  // one USB round trip
    UsbId id{0x0403, 0x6010};
    std::string serial{};  // empty: the chip has none
    std::string description = "Dual RS232-HS";
    bool exclusive = false;  // held with the system's device lock, as a real adapter is
    AdapterWiring wiring{};
};

class MpsseEngine final : public UsbTransport {
public:
    // ADBUS lines.
    static constexpr uint8_t kTck = 0x01;
    static constexpr uint8_t kTdi = 0x02;
    static constexpr uint8_t kTdo = 0x04;
    static constexpr uint8_t kTms = 0x08;
    static constexpr uint16_t kVendor = 0x0403;
    static constexpr uint16_t kProduct = 0x6010;
    // Every open sets the latency timer to 2 ms: answers that no 0x87 pushed wait that long.
    static constexpr uint64_t kLatencyTimerNs = 2'000'000;
    // What a USB transfer that never completes costs before the host gives up.
    static constexpr uint64_t kTimeoutNs = 1'000'000'000;

    MpsseEngine(VirtualClock& clock, SimStats& stats, ScanChain& chain, const MpsseConfig& config);

    const char* open(const UsbDeviceChoice& choice, uint8_t direction) override;
    UsbChip chip() const override;
    UsbDeviceInfo device() const override
    {
        const std::string& own = config_.wiring.description;
        return {config_.id, config_.serial, own.empty() ? config_.description : own};
    }
    const char* list(const std::vector<UsbId>& ids, std::vector<UsbDeviceInfo>& found) override;
    // The adapter board as an adapter configuration describes it.
    void wire(const AdapterWiring& wiring) { config_.wiring = wiring; }
    void set_exclusive(bool exclusive) { config_.exclusive = exclusive; }
    const AdapterWiring& wiring() const { return config_.wiring; }
    bool write(const uint8_t* data, size_t length) override;
    bool read(uint8_t* data, size_t length) override;
    // As read(), but the answers that came count too: how many were read into `data`, fewer
    // than `length` after the host's timeout. Only while open.
    size_t read_some(uint8_t* data, size_t length);
    const char* error() const override { return error_.c_str(); }
    void close() override;

    // The ADBUS levels: outputs as driven, TDO as the target drives it, other inputs pulled up.
    uint8_t low_pins() const;
    uint8_t low_direction() const { return low_dir_; }
    // The TCK frequency the divisor and the divide-by-5 setting give.
    double tck_hz() const;
    // Answer bytes queued in the chip that the host has not read yet.
    size_t answers_waiting() const { return answers_.size() - answer_pos_; }
    // How often the engine found its answer buffer full and waited (a host that reads too late).
    uint64_t answer_stalls() const { return answer_stalls_; }

private:
    enum class Step : uint8_t { Opcode, Params, Data };

    int param_count(uint8_t op) const;
    bool start_command();
    bool simple_command(uint8_t op);
    void finish_params();
    bool shift_unit();
    uint8_t shift_data(uint8_t out, int count);
    uint8_t shift_tms(uint8_t out, int count);
    uint8_t clock(uint8_t line, int bit);
    void tck_edge(bool rising);
    void set_line(uint8_t line, int bit);
    int level_at_target(uint8_t line) const;
    uint8_t tdo_level() const;
    void set_low_byte(uint8_t value, uint8_t direction);
    bool chosen_by(const UsbDeviceChoice& choice) const;
    bool header_connected() const;
    bool line_low(const AdapterLine& line) const;
    void reset_lines();
    void answer(uint8_t byte);
    bool room_for(size_t bytes);
    void run();
    const char* fail(std::string text);

    VirtualClock& clock_;
    SimStats& stats_;
    ScanChain& chain_;
    MpsseConfig config_;
    std::string error_;
    bool open_ = false;
    char interface_ = 'A';
    DeviceLock lock_;
    bool ntrst_low_ = false;
    bool nsrst_low_ = false;
    uint64_t nsrst_scans_at_ = 0;  // DR scans when nSRST went low

    std::vector<uint8_t> input_;  // command bytes received, from input_pos_ on not yet executed
    size_t input_pos_ = 0;
    std::vector<uint8_t> answers_;  // answers queued in the chip, from answer_pos_ on unread
    size_t answer_pos_ = 0;
    uint64_t answers_made_ = 0;   // every answer byte since open
    uint64_t answers_taken_ = 0;  // every answer byte the host has read
    uint64_t pushed_upto_ = 0;    // answers_made_ at the last 0x87
    bool written_since_read_ = false;
    uint64_t answer_stalls_ = 0;

    Step step_ = Step::Opcode;
    uint8_t op_ = 0;
    uint8_t params_[2] = {};
    uint8_t params_need_ = 0;
    uint8_t params_got_ = 0;
    uint32_t units_left_ = 0;  // bytes still to shift in the running command
    uint8_t bits_ = 8;         // bits per unit of the running command

    uint8_t low_value_ = 0;
    uint8_t low_dir_ = 0;
    uint8_t high_value_ = 0;
    uint8_t high_dir_ = 0;
    uint16_t divisor_ = 0;
    bool divide_by_5_ = true;
    bool loopback_ = false;
    uint64_t tick_thirds_ = 0;  // the fraction of a nanosecond not yet on the clock, in 1/3 ns
};

}  // namespace sim
