// SPDX-License-Identifier: Apache-2.0
// The one seam between the tool and the operating system (or the virtual board).
// Nothing else in the tool includes an OS header.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class UsbTransport;
class JaylinkTransport;
class GpioTransport;
class DapTransport;

class Platform {
public:
    virtual ~Platform() = default;

    // Obtains permission for byte I/O on the parallel-port candidates.
    // Returns nullptr on success, else a one-line reason (no newline) that
    // stays valid until the next call.
    virtual const char* port_access() = 0;

    // Byte port I/O. Ports the platform cannot reach read as 0xFF and ignore writes.
    virtual void port_write(uint16_t port, uint8_t value) = 0;
    virtual uint8_t port_read(uint16_t port) = 0;

    // Console keys: a test that never waits, and a read without echo that does
    // not wait for Enter (call it only after key_available() said yes).
    virtual bool key_available() = 0;
    virtual int key_read() = 0;
    // True once no key can ever arrive again (input closed), so waits can end.
    virtual bool keys_ended() = 0;

    // Waits, without spinning, until a key is waiting, input has ended, an interrupt is requested
    // (platform/interrupts.h) or `timeout_ms` has passed (-1: no limit); true when a key is waiting.
    virtual bool key_wait(int timeout_ms)
    {
        (void)timeout_ms;
        return key_available();
    }

    // Calendar time in whole seconds.
    virtual int64_t time_seconds() = 0;
    // Time for bounds and rates: never jumps (virtual time under the simulator).
    virtual uint64_t monotonic_ns()
    {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }

    // Time for pacing what a person watches (progress redraws): the real time that passes, which
    // under the simulator is not the board's virtual time.
    virtual uint64_t wall_ns() { return monotonic_ns(); }

    // The first port access that failed (the call and the error, one line, e.g. "ppdev PPRSTATUS
    // on /dev/parport0: Input/output error"), or nullptr while none did; once set it stays set.
    // From then on every read gives 0xFF, which must not be taken for data: check at every
    // bus-cycle boundary and stop. Writes are still tried, so the safe ending (TAP reset, cable
    // park) reaches a port whose writes still work.
    virtual const char* port_fault() { return nullptr; }
    // Gives the port back at the end of a run (ppdev: PPRELEASE and close); a failure shows in
    // port_fault(). Reads give 0xFF and writes are ignored afterwards.
    virtual void port_release() {}

    // The USB adapter's byte stream, or nullptr where this build has none.
    virtual UsbTransport* usb_transport() { return nullptr; }
    // The J-Link and GPIO transports, or nullptr where this build has none.
    virtual JaylinkTransport* jaylink_transport() { return nullptr; }
    virtual GpioTransport* gpio_transport() { return nullptr; }
    // The CMSIS-DAP probes' packets, or nullptr where this build has neither v1 nor v2.
    virtual DapTransport* dap_transport() { return nullptr; }

    // Console output, already formatted.
    virtual void console_write(const char* text, size_t length) = 0;
    // True when console output reaches a terminal, where a line may be redrawn in place; false
    // for a file or a pipe, which keeps every line it is given.
    virtual bool console_is_terminal() = 0;

    // The last complete, non-blank line written to the console (without its newline, and of a
    // line redrawn with '\r' only its last form): the final message of a job's record.
    const std::string& console_last_line() const { return last_line_; }
    // The one before it.
    const std::string& console_line_before() const { return line_before_; }
    // con_printf hands every text written here.
    void console_note(const char* text, size_t length);

private:
    std::string line_;
    std::string last_line_;
    std::string line_before_;
};

// Installed once by main, the simulator or a test; every module reaches the OS through it.
void platform_install(Platform* platform);
Platform& platform();
// The installed one, or nullptr before any was.
Platform* platform_installed();
