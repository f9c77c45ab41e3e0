// SPDX-License-Identifier: Apache-2.0
#include "jtag/gpio_cable.h"

const char* GpioCable::open(const std::string& chip, const GpioPins& pins)
{
    close();
    fault_.clear();
    if (const char* reason = gpio_.open(chip, pins)) {
        fault_ = reason;
        return fault_.c_str();
    }
    opened_ = true;
    return nullptr;
}

void GpioCable::close()
{
    if (!opened_)
        return;
    park();
    gpio_.close();
    opened_ = false;
}

void GpioCable::set(uint8_t levels)
{
    if (fault_.empty() && !gpio_.set_jtag(levels))
        fault_ = gpio_.error();
}

void GpioCable::park()
{
    // TCK, TMS and TDI low, as the other cables leave them.
    if (opened_)
        set(0);
}

char GpioCable::clock(int tms, int tdi, bool read)
{
    const auto levels = static_cast<uint8_t>((tms ? GpioTransport::kTms : 0) | (tdi ? GpioTransport::kTdi : 0));
    set(levels);
    char bit = '0';
    if (read && fault_.empty()) {
        const int tdo = gpio_.tdo();
        if (tdo < 0)
            fault_ = gpio_.error();
        bit = tdo == 1 ? '1' : '0';
    }
    set(levels | GpioTransport::kTck);
    return bit;
}

void GpioCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    if (tdi >= 0)
        tdi_level_ = tdi;
    for (uint8_t k = 0; k < clocks && fault_.empty(); ++k)
        clock((path >> k) & 1, tdi_level_, false);
}

void GpioCable::idle(uint32_t clocks)
{
    for (uint32_t k = 0; k < clocks && fault_.empty(); ++k)
        clock(0, tdi_level_, false);
}

void GpioCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    uint32_t next_cell = 0;
    for (uint32_t k = 0; k < length && fault_.empty(); ++k) {
        const bool listed = next_cell < sink.count && sink.cells[next_cell] == k;
        const int tdi = bits[k] == '1';
        const char tdo = clock(exit && k + 1 == length, tdi, sink.capture != nullptr || listed);
        if (sink.capture != nullptr)
            sink.capture[k] = tdo;
        if (listed)
            sink.sample[next_cell++] = tdo;
        tdi_level_ = tdi;
    }
}
