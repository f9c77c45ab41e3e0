// SPDX-License-Identifier: Apache-2.0
#include "jtag/lpt_cable.h"

#include "platform/platform.h"

namespace {
constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
constexpr uint8_t kProbe = 0x55;
}  // namespace

uint16_t lpt_find_port(Platform& port)
{
    // Every candidate is probed; when several echo, the last one wins.
    uint16_t found = 0;
    for (uint16_t base : kCandidates) {
        port.port_write(base, kProbe);
        if (port.port_read(base) == kProbe)
            found = base;
    }
    return found;
}

LptCable::LptCable(Platform& port, uint16_t base, const LptWiring& wiring) : port_(port), base_(base), wiring_(wiring)
{}

inline void LptCable::clock(uint8_t lines)
{
    const uint8_t low = lines | wiring_.held;
    port_.port_write(base_, low);
    port_.port_write(base_, low | wiring_.tck);
}

inline char LptCable::read_tdo()
{
    const bool high = (port_.port_read(base_ + 1) & wiring_.tdo) != 0;
    return high != wiring_.tdo_inverted ? '1' : '0';
}

void LptCable::park()
{
    for (uint8_t value : wiring_.park)
        port_.port_write(base_, value);
}

const char* LptCable::fault() const { return port_.port_fault(); }

void LptCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    const uint8_t held = tdi > 0 ? wiring_.tdi : 0;  // TDI low where nothing asks for it
    for (uint8_t k = 0; k < clocks; ++k)
        clock(static_cast<uint8_t>(held | (((path >> k) & 1) ? wiring_.tms : 0)));
}

void LptCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    // TDI is taken from bits[i] before a capture stores bit i: the two may be one buffer. The
    // status port is read only where a bit is wanted: a read costs as much as a write, and a bus
    // word needs 8 or 16 of several hundred cells.
    const uint8_t one = wiring_.tdi;
    const uint32_t last = exit ? length - 1 : length;
    uint32_t next = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t lines = (bits[i] & 1) ? one : 0;
        clock(i == last ? static_cast<uint8_t>(lines | wiring_.tms) : lines);
        if (sink.capture != nullptr)
            sink.capture[i] = read_tdo();
        else if (next < sink.count && sink.cells[next] == i)
            sink.sample[next++] = read_tdo();
    }
}
