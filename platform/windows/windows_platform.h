// SPDX-License-Identifier: Apache-2.0
// The platform of the real tool on 32-bit Windows: port instructions on the
// parallel port (through giveio on the NT family), the USB adapter through FTDI's D2XX
// library, console keys, calendar time and standard output.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/windows/console_keys.h"
#include "platform/windows/d2xx_transport.h"
#include "platform/windows/port_io.h"

class WindowsPlatform final : public Platform {
public:
    const char* port_access() override;
    void port_write(uint16_t port, uint8_t value) override { x86_port_out(port, value); }
    uint8_t port_read(uint16_t port) override { return x86_port_in(port); }

    bool key_available() override { return keys_.available(); }
    int key_read() override { return keys_.read(); }
    bool keys_ended() override { return keys_.ended(); }

    int64_t time_seconds() override;
    void console_write(const char* text, size_t length) override;
    bool console_is_terminal() override;

    // The USB adapter through FTDI's D2XX library; its calls say when the library is missing.
    UsbTransport* usb_transport() override;

private:
    ConsoleKeys keys_;
    std::unique_ptr<D2xxTransport> usb_;
};
