// SPDX-License-Identifier: Apache-2.0
#include "jtag/net_cable.h"

void NetCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    if (fault() != nullptr)
        return;
    if (tdi >= 0)
        tdi_ = tdi;
    for (uint8_t k = 0; k < clocks; ++k)
        clock((path >> k) & 1, tdi_, nullptr);
}

void NetCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    uint32_t next_cell = 0;
    for (uint32_t i = 0; i < length && fault() == nullptr; ++i) {
        char* dest = nullptr;
        if (sink.capture != nullptr) {
            dest = sink.capture + i;
        } else if (next_cell < sink.count && sink.cells[next_cell] == i) {
            dest = sink.sample + next_cell;
            ++next_cell;
        }
        clock(exit && i + 1 == length, bits[i] & 1, dest);
    }
    if (length > 0)
        tdi_ = bits[length - 1] & 1;
}

void NetCable::idle(uint32_t clocks)
{
    for (uint32_t k = 0; k < clocks && fault() == nullptr; ++k)
        clock(0, tdi_, nullptr);
}
