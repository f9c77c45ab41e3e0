#include "jtag/tap.h"

#include "jtag/lpt_cable.h"

namespace {
constexpr uint8_t kTms = 0x02;

inline uint8_t tdi(char c) { return static_cast<uint8_t>(c) & 1; }

// Run-Test/Idle, Select-DR-Scan, Capture-DR, Shift-DR.
void enter_shift_dr()
{
    lpt_clock(0);
    lpt_clock(kTms);
    lpt_clock(0);
    lpt_clock(0);
}

// Exit1-DR was reached by the last shift: Update-DR, then Run-Test/Idle.
void leave_to_idle(uint8_t last_bit)
{
    lpt_clock(kTms | last_bit);
    lpt_clock(0);
}
}  // namespace

void tap_reset()
{
    for (int i = 0; i < 5; ++i)
        lpt_clock(kTms);
}

void jtag_scan_ir(uint8_t length, const char* bits)
{
    lpt_clock(0);     // Run-Test/Idle
    lpt_clock(kTms);  // Select-DR-Scan
    lpt_clock(kTms);  // Select-IR-Scan
    lpt_clock(0);     // Capture-IR
    lpt_clock(0);     // Shift-IR
    for (uint8_t i = 0; i + 1 < length; ++i)
        lpt_clock(tdi(bits[i]));
    uint8_t last = tdi(bits[length - 1]);
    lpt_clock(kTms | last);  // Exit1-IR, shifting the last bit
    leave_to_idle(last);
}

void jtag_scan_dr(const char* bits, uint32_t length)
{
    enter_shift_dr();
    for (uint32_t i = 0; i + 1 < length; ++i)
        lpt_clock(tdi(bits[i]));
    uint8_t last = tdi(bits[length - 1]);
    lpt_clock(kTms | last);  // Exit1-DR, shifting the last bit
    leave_to_idle(last);
}

void jtag_scan_dr_capture(const char* bits, char* capture, uint32_t length)
{
    enter_shift_dr();
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

void bitstring_reverse32(char* bits)
{
    char scratch[32];
    for (int i = 0; i < 32; ++i)
        scratch[i] = bits[31 - i];
    for (int i = 0; i < 32; ++i)
        bits[i] = scratch[i];
}
