// SPDX-License-Identifier: Apache-2.0
// JTAG on a GPIO chip's lines through the Linux character device: TCK, TMS and TDI set together
// in one call, TDO read in another; every call is a system call.
#pragma once

#include <cstdint>
#include <string>

// Line offsets on the chip; -1 where nTRST or nSRST is not wired.
struct GpioPins {
    int32_t tck = -1;
    int32_t tms = -1;
    int32_t tdi = -1;
    int32_t tdo = -1;
    int32_t trst = -1;
    int32_t srst = -1;
};

class GpioTransport {
public:
    // Levels for set_jtag().
    static constexpr uint8_t kTck = 1;
    static constexpr uint8_t kTms = 2;
    static constexpr uint8_t kTdi = 4;
    // What the lines are requested as, for whoever looks at the chip.
    static constexpr const char* kConsumer = "tarnflash";

    virtual ~GpioTransport() = default;

    // Opens `chip` (a name as gpiochip0, a number or a path) and requests the lines: TCK, TMS and
    // TDI as outputs, low; TDO as input; nTRST and nSRST as outputs, released (high). nullptr,
    // or a one-line reason naming the chip or the line.
    virtual const char* open(const std::string& chip, const GpioPins& pins) = 0;
    // TCK, TMS and TDI at once, from kTck | kTms | kTdi.
    virtual bool set_jtag(uint8_t levels) = 0;
    // TDO: 0 or 1, -1 on failure.
    virtual int tdo() = 0;
    // The last failure, one line.
    virtual const char* error() const = 0;
    // Releases the lines and closes the chip; nothing when not open.
    virtual void close() = 0;
};

// The refusals, worded alike by every transport.
std::string gpio_no_chip_text(const std::string& chip, const std::string& why);
std::string gpio_no_line_text(const std::string& chip, const char* role, int32_t offset, uint32_t lines);
std::string gpio_busy_text(const std::string& chip, const char* role, int32_t offset, const std::string& holder);
