#include "jtag/lpt_cable.h"

#include "platform/platform.h"

namespace {
constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
constexpr uint8_t kProbe = 0x55;
constexpr uint8_t kLine3 = 0x08;
constexpr uint8_t kTck = 0x04;
constexpr uint8_t kTdoMask = 0x40;
}  // namespace

uint16_t g_port_base = 0;

void cable_init() { g_port_base = 0; }

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

void lpt_clock(uint8_t bits)
{
    Platform& port = platform();
    port.port_write(g_port_base, bits | kLine3);
    port.port_write(g_port_base, bits | kLine3 | kTck);
}

int lpt_read_tdo() { return (platform().port_read(g_port_base + 1) & kTdoMask) ? 1 : 0; }

void cable_park()
{
    Platform& port = platform();
    port.port_write(g_port_base, kLine3);
    port.port_write(g_port_base, 0x00);
    port.port_write(g_port_base, kLine3);
}
