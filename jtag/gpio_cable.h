// SPDX-License-Identifier: Apache-2.0
// The GPIO cable: the host makes every TCK edge on a GPIO chip's lines, one system call each
// (TCK, TMS and TDI together), and one more for each TDO bit wanted. Slow; it is for reach.
#pragma once

#include <cstdint>
#include <string>

#include "jtag/cable.h"
#include "platform/gpio_transport.h"

class GpioCable final : public Cable {
public:
    explicit GpioCable(GpioTransport& gpio) : gpio_(gpio) {}
    // Leaves the lines low and releases them, if open() succeeded.
    ~GpioCable() override { close(); }
    GpioCable(const GpioCable&) = delete;
    GpioCable& operator=(const GpioCable&) = delete;

    // Requests the lines; nullptr, or the one-line reason naming the chip or the line.
    const char* open(const std::string& chip, const GpioPins& pins);
    void close();

    void park() override;
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    void idle(uint32_t clocks) override;
    const char* fault() const override { return fault_.empty() ? nullptr : fault_.c_str(); }

private:
    // One clock: TCK falls with TMS and TDI set up, TDO is read when `read`, TCK rises. The
    // bit read, or 0.
    char clock(int tms, int tdi, bool read);
    void set(uint8_t levels);

    GpioTransport& gpio_;
    bool opened_ = false;
    int tdi_level_ = 0;
    std::string fault_;
};
