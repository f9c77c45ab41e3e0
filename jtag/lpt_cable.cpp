// SPDX-License-Identifier: Apache-2.0
#include "jtag/lpt_cable.h"

#include "platform/platform.h"

namespace {
constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
constexpr uint8_t kProbe = 0x55;
constexpr uint8_t kLine3 = 0x08;
constexpr uint8_t kTck = 0x04;
constexpr uint8_t kTms = 0x02;
constexpr uint8_t kTdoMask = 0x40;

inline uint8_t tdi(char c) { return static_cast<uint8_t>(c) & 1; }
}  // namespace

uint16_t lpt_find_port()
{
    // Every candidate is probed; when several echo, the last one wins.
    uint16_t found = 0;
    for (uint16_t base : kCandidates) {
        platform().port_write(base, kProbe);
        if (platform().port_read(base) == kProbe)
            found = base;
    }
    return found;
}

LptCable::LptCable(uint16_t base) : port_(platform()), base_(base) {}

void LptCable::lpt_clock(uint8_t bits)
{
    port_.port_write(base_, bits | kLine3);
    port_.port_write(base_, bits | kLine3 | kTck);
}

int LptCable::lpt_read_tdo() { return (port_.port_read(base_ + 1) & kTdoMask) ? 1 : 0; }

void LptCable::park()
{
    port_.port_write(base_, kLine3);
    port_.port_write(base_, 0x00);
    port_.port_write(base_, kLine3);
}

const char* LptCable::fault() const { return port_.port_fault(); }

void LptCable::tap_reset()
{
    for (int i = 0; i < 5; ++i)
        lpt_clock(kTms);
}

// Run-Test/Idle, Select-DR-Scan, Capture-DR, Shift-DR.
void LptCable::enter_shift_dr()
{
    lpt_clock(0);
    lpt_clock(kTms);
    lpt_clock(0);
    lpt_clock(0);
}

// Exit1 was reached by the last shift: Update, then Run-Test/Idle.
void LptCable::leave_to_idle(uint8_t last_bit)
{
    lpt_clock(kTms | last_bit);
    lpt_clock(0);
}

void LptCable::enter_shift_ir()
{
    lpt_clock(0);     // Run-Test/Idle
    lpt_clock(kTms);  // Select-DR-Scan
    lpt_clock(kTms);  // Select-IR-Scan
    lpt_clock(0);     // Capture-IR
    lpt_clock(0);     // Shift-IR
}

void LptCable::scan_ir(uint32_t length, const char* bits)
{
    enter_shift_ir();
    for (uint32_t i = 0; i + 1 < length; ++i)
        lpt_clock(tdi(bits[i]));
    uint8_t last = tdi(bits[length - 1]);
    lpt_clock(kTms | last);  // Exit1-IR, shifting the last bit
    leave_to_idle(last);
}

void LptCable::scan_dr(const char* bits, uint32_t length)
{
    enter_shift_dr();
    for (uint32_t i = 0; i + 1 < length; ++i)
        lpt_clock(tdi(bits[i]));
    uint8_t last = tdi(bits[length - 1]);
    lpt_clock(kTms | last);  // Exit1-DR, shifting the last bit
    leave_to_idle(last);
}

void LptCable::scan_ir_capture(const char* bits, char* capture, uint32_t length)
{
    enter_shift_ir();
    shift_capture(bits, capture, length);
}

void LptCable::scan_dr_capture(const char* bits, char* capture, uint32_t length)
{
    enter_shift_dr();
    shift_capture(bits, capture, length);
}

// From Shift-DR or Shift-IR to Run-Test/Idle, reading TDO after every shift clock.
void LptCable::shift_capture(const char* bits, char* capture, uint32_t length)
{
    // TDI is taken from bits[i] before capture[i] is stored: the two may be one buffer.
    for (uint32_t i = 0; i + 1 < length; ++i) {
        lpt_clock(tdi(bits[i]));
        capture[i] = lpt_read_tdo() ? '1' : '0';
    }
    uint8_t last = tdi(bits[length - 1]);
    lpt_clock(kTms | last);
    capture[length - 1] = lpt_read_tdo() ? '1' : '0';
    leave_to_idle(last);
}

void LptCable::scan_dr_sample(const char* bits, uint32_t length, const uint16_t* cells, uint32_t count, char* sample)
{
    // The same clocks as a capture, but the status port is read only at the cells asked for:
    // a read costs as much as a write, and a bus word needs 8 or 16 of several hundred cells.
    enter_shift_dr();
    uint32_t next = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t bit = tdi(bits[i]);
        lpt_clock(i + 1 < length ? bit : (kTms | bit));
        if (next < count && cells[next] == i)
            sample[next++] = lpt_read_tdo() ? '1' : '0';
    }
    leave_to_idle(tdi(bits[length - 1]));
}
