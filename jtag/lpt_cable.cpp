// SPDX-License-Identifier: Apache-2.0
#include "jtag/lpt_cable.h"

#include "platform/platform.h"

namespace {
constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
constexpr uint8_t kProbe = 0x55;

enum class Keep : uint8_t { nothing, every_bit, cells };

// The clock loop with the wiring in locals: the port calls are virtual, so fields read through
// `this` would be loaded again at every clock.
template <Keep keep>
void clock_bits(Platform& port, uint16_t base, const LptWiring& wiring, const char* bits, uint32_t length, bool exit,
                const TdoSink& sink)
{
    // Both writes of a clock, by the TDI bit; the exit clock adds TMS.
    const uint8_t low[2] = {wiring.held, static_cast<uint8_t>(wiring.held | wiring.tdi)};
    const uint8_t high[2] = {static_cast<uint8_t>(low[0] | wiring.tck), static_cast<uint8_t>(low[1] | wiring.tck)};
    const uint8_t tdo = wiring.tdo;
    const bool inverted = wiring.tdo_inverted;
    const uint16_t status = base + 1;
    const auto read = [&] { return ((port.port_read(status) & tdo) != 0) != inverted ? '1' : '0'; };
    const auto keep_bit = [&](uint32_t i, uint32_t& next) {
        if constexpr (keep == Keep::every_bit) {
            sink.capture[i] = read();
        } else if constexpr (keep == Keep::cells) {
            if (next < sink.count && sink.cells[next] == i)
                sink.sample[next++] = read();
        }
    };
    const uint32_t body = exit ? length - 1 : length;
    uint32_t next = 0;
    for (uint32_t i = 0; i < body; ++i) {
        const int bit = bits[i] & 1;
        port.port_write(base, low[bit]);
        port.port_write(base, high[bit]);
        keep_bit(i, next);
    }
    if (exit) {
        const int bit = bits[body] & 1;
        port.port_write(base, low[bit] | wiring.tms);
        port.port_write(base, high[bit] | wiring.tms);
        keep_bit(body, next);
    }
}

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
    if (sink.capture != nullptr)
        clock_bits<Keep::every_bit>(port_, base_, wiring_, bits, length, exit, sink);
    else if (sink.count != 0)
        clock_bits<Keep::cells>(port_, base_, wiring_, bits, length, exit, sink);
    else
        clock_bits<Keep::nothing>(port_, base_, wiring_, bits, length, exit, sink);
}
