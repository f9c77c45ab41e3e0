// SPDX-License-Identifier: Apache-2.0
// The USB JTAG cable: an FTDI chip's MPSSE engine clocks the TAP, the host only queues command
// bytes. TCK on ADBUS0, TDI 1, TDO 2, TMS 3; ADBUS4-7 are free for an adapter's own lines.
// Scans are queued and sent in large transfers; answers are read back only where needed. Nothing
// queued reaches the TAP before flush(), a capture, or a batch large enough to send by itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jtag/cable.h"
#include "platform/usb_transport.h"

// Levels and directions (1 = output) of ADBUS in bits 0-7 and ACBUS in bits 8-15; the cable
// keeps ADBUS0-3 (TCK, TDI, TDO, TMS) its own.
struct MpssePins {
    uint16_t value = 0;
    uint16_t direction = 0;
};

struct MpsseSettings {
    uint32_t tck_hz = 6'000'000;  // capped by the chip: 30 MHz H series, 6 MHz FT2232D
    uint8_t gpio_value = 0;       // ADBUS4-7 levels (bits 4-7)
    uint8_t gpio_direction = 0;   // ADBUS4-7 outputs (bits 4-7, 1 = output)
    // An adapter's layout (instead of gpio_value and gpio_direction): the pins while the cable
    // is open (nSRST asserted when it is held), as close() leaves them (every signal released),
    // and, when `trst_pulse`, during the nTRST pulse sent once at open().
    bool layout = false;
    MpssePins job;
    MpssePins parked;
    bool trst_pulse = false;
    MpssePins trst;
};

// "VALUE:DIRECTION", two hex bytes for ADBUS4-7 ("0x10:0x30" or "10:30"). nullptr on success,
// else a one-line reason.
const char* mpsse_parse_pins(const char* text, MpsseSettings& settings);

class MpsseCable final : public Cable {
public:
    MpsseCable(UsbTransport& usb, const MpsseSettings& settings);
    // Sends what is still queued and closes the adapter, if open() succeeded.
    ~MpsseCable() override;
    MpsseCable(const MpsseCable&) = delete;
    MpsseCable& operator=(const MpsseCable&) = delete;

    // Opens the adapter, checks that its MPSSE engine answers, and sets clock and pins.
    // nullptr on success, else the one-line reason (also kept as fault()).
    const char* open(const UsbDeviceChoice& device);
    // Sends what is queued and closes the adapter; nothing when it is not open.
    void close();
    // The TCK frequency the chip was set to (at most the one asked for); 0 before open().
    uint32_t tck_hz() const override { return tck_hz_; }
    // The fastest TCK the chip can run, half its base clock; 0 before open().
    uint32_t max_tck_hz() const { return opened_ ? base_hz(chip_) / 2 : 0; }
    static constexpr uint32_t base_hz(const UsbChip& chip) { return chip.h_series ? 60'000'000u : 12'000'000u; }

    void park() override;
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    void flush() override;
    void idle(uint32_t clocks) override;
    bool answers_late() const override { return true; }
    const char* fault() const override { return fault_.empty() ? nullptr : fault_.c_str(); }

private:
    // Where the TDO bits of a shift go, and how far the listed cells have been placed.
    struct ReadTarget : TdoSink {
        uint32_t next = 0;  // first listed cell not yet placed
    };
    // Bits of the answer stream that belong in `dest[0..count)`.
    struct Placement {
        uint32_t answer_bit;
        uint32_t count;
        char* dest;
    };

    void append_layout(std::vector<uint8_t>& setup) const;
    void tms_clock(int tms, int tdi = -1, char* dest = nullptr);
    void emit_tms();
    void shift_range(const char* bits, uint32_t from, uint32_t to, ReadTarget* target);
    void shift_sampled(const char* bits, uint32_t end, ReadTarget& target);
    void place(ReadTarget& target, uint32_t first, uint32_t count, uint32_t answer_bit);
    void exit_clock(const char* bits, uint32_t length, ReadTarget* target);
    bool reserve_answers(uint32_t bytes);
    void send();
    void drain();
    bool expect_echo(const std::vector<uint8_t>& commands, uint8_t echo);
    void discard_queue();
    bool set_fault(const std::string& text);

    UsbTransport& usb_;
    MpsseSettings settings_;
    UsbChip chip_;
    uint32_t tck_hz_ = 0;
    bool opened_ = false;
    std::string fault_;

    std::vector<uint8_t> out_;  // commands not yet sent
    std::vector<uint8_t> in_;   // answers of one drain
    std::vector<Placement> placements_;
    uint32_t answers_due_ = 0;  // answer bytes the chip holds or will hold for us

    // TMS clocks not yet sent: they gather into one 0x4B/0x6B of up to 7 clocks.
    uint8_t tms_bits_ = 0;
    uint8_t tms_count_ = 0;
    int tms_tdi_ = -1;          // the TDI the command must hold, -1 while no clock cares
    char* tms_dest_ = nullptr;  // where the one clock whose TDO is wanted puts it
    uint8_t tms_read_at_ = 0;   // which clock that is
};
