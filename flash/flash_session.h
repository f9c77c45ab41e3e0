// SPDX-License-Identifier: Apache-2.0
// Everything a flash operation works with: the bus cycles, the chosen model's record and
// descriptor, what identification and geometry found, and the host it reports to. Owned by
// the run.
#pragma once

#include <cstdint>

#include "flash/flash_descriptor.h"
#include "flash/flash_geometry.h"
#include "flash/flash_model.h"
#include "jtag/host.h"
#include "jtag/outcome.h"
#include "targets/bus_cycles.h"

struct FlashSession {
    FlashSession(BusCycles& bus_cycles, Host& job_host, const FlashDescriptor& chosen, const FlashModel& record,
                 int32_t chip_count)
        : bus(bus_cycles), host(job_host), descriptor(chosen), model(record), chips(chip_count)
    {}

    BusCycles& bus;
    Host& host;
    const FlashDescriptor& descriptor;
    FlashModel model;
    int32_t chips;  // chips side by side on the data bus
    FlashIdentity identity{};
    FlashGeometry geometry{};
};

inline void flash_report(FlashSession& s, const EngineEvent& event) { s.host.report(event); }

inline void flash_write(FlashSession& s, uint32_t address, uint32_t data)
{
    s.bus.bus_write(address, data, s.model.data_bits);
}

inline uint32_t flash_read(FlashSession& s, uint32_t address) { return s.bus.bus_read(address, s.model.data_bits); }

inline void flash_chip_enable(FlashSession& s, char level) { s.bus.bsr_set_chip_enable(level); }

// The two unlock cycles that open every command sequence, relative to `base`.
inline void flash_unlock(FlashSession& s, uint32_t base)
{
    flash_write(s, base + s.model.unlock_addr1, s.model.unlock_data1);
    flash_write(s, base + s.model.unlock_addr2, s.model.unlock_data2);
}

// Back to read array, framed by its own chip enable.
inline void flash_reset_cycle(FlashSession& s, uint32_t address)
{
    flash_chip_enable(s, '0');
    flash_write(s, address, s.model.cmd_reset);
    flash_chip_enable(s, '1');
}

// DQ7 reads 1 once an erase has finished. Two chips side by side each report on their own
// byte, and both must be done.
inline uint32_t flash_done_mask(const FlashSession& s)
{
    return (s.model.data_bits == 16 && s.chips == 2) ? 0x8080u : 0x80u;
}
