// SPDX-License-Identifier: Apache-2.0
// JTAG on a GPIO chip's lines through libgpiod (the version 1 API).
#pragma once

#include <memory>
#include <string>

#include "platform/gpio_transport.h"

class GpiodLines final : public GpioTransport {
public:
    GpiodLines();
    GpiodLines(const GpiodLines&) = delete;
    GpiodLines& operator=(const GpiodLines&) = delete;
    ~GpiodLines() override;

    const char* open(const std::string& chip, const GpioPins& pins) override;
    bool set_jtag(uint8_t levels) override;
    int tdo() override;
    const char* error() const override { return error_.c_str(); }
    void close() override;

private:
    struct Held;  // the chip and the lines requested from it
    const char* fail(std::string text);

    std::unique_ptr<Held> held_;
    std::string error_;
};
