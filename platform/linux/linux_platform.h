// SPDX-License-Identifier: Apache-2.0
// The platform of the real tool on Linux: the parallel port, the USB adapter, the console
// keys of standard input, calendar and monotonic time, and standard output.
#pragma once

#include <memory>

#include "platform/device_lock.h"
#include "platform/linux/key_input.h"
#include "platform/linux/parallel_ports.h"
#include "platform/platform.h"
#include "platform/dap_transport.h"
#include "platform/usb_transport.h"

class LinuxPlatform final : public Platform {
public:
    LinuxPlatform();

    const char* port_access() override;
    void port_write(uint16_t port, uint8_t value) override { ports_.write(port, value); }
    uint8_t port_read(uint16_t port) override { return ports_.read(port); }
    const char* port_fault() override { return ports_.fault(); }
    void port_release() override
    {
        ports_.release();
        for (DeviceLock& lock : port_locks_)
            lock.release();
    }

    bool key_available() override { return keys_.available(); }
    int key_read() override { return keys_.read(); }
    bool keys_ended() override { return keys_.ended(); }
    bool key_wait(int timeout_ms) override { return keys_.wait(timeout_ms); }

    int64_t time_seconds() override;
    uint64_t monotonic_ns() override;
    void console_write(const char* text, size_t length) override;
    bool console_is_terminal() override;

    // The libftdi1 transport, made on first use; nullptr in a build without libftdi1.
    UsbTransport* usb_transport() override;
    // libjaylink's and libgpiod's transports; nullptr in a build without the library.
    JaylinkTransport* jaylink_transport() override;
    GpioTransport* gpio_transport() override;
    // The CMSIS-DAP probes, made on first use; nullptr in a build with neither v1 nor v2.
    DapTransport* dap_transport() override;

private:
    ParallelPorts ports_;
    DeviceLock port_locks_[3];  // the candidates, held from before the probe to the release
    KeyInput keys_;
    std::unique_ptr<UsbTransport> usb_;
    std::unique_ptr<DapTransport> dap_;
};
