// SPDX-License-Identifier: Apache-2.0
// The platform seam over the virtual board: port I/O reaches the board's
// parallel port, keys come from a script or standard input, and the calendar
// clock runs on virtual time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/board.h"
#include "sim/sim_options.h"
#include "sim/terminal_keys.h"

namespace sim {

struct KeySetup {
    bool scripted = false;  // keys come from `keys` and `key_after`, never from stdin
    std::string keys;
    std::vector<KeyAfter> key_after;
    int input_fd = 0;  // where unscripted keys come from (standard input)
};

// Keys from the simulator options: scripted when --keys or --key-after was given.
KeySetup key_setup(const SimOptions& options);

class SimPlatform final : public Platform {
public:
    static constexpr int64_t kEpochSeconds = 946684800;  // 2000-01-01 00:00:00 UTC
    static constexpr uint64_t kClockReadNs = 1000;

    SimPlatform(VirtualBoard& board, KeySetup keys);

    const char* port_access() override { return nullptr; }
    void port_write(uint16_t port, uint8_t value) override { port_.write(port, value); }
    uint8_t port_read(uint16_t port) override { return port_.read(port); }

    bool key_available() override;
    int key_read() override;
    bool keys_ended() override;
    // Scripted keys come with DR scans, never while the tool waits: the wait passes in virtual
    // time at once. Keys from standard input are waited for in real time.
    bool key_wait(int timeout_ms) override;

    int64_t time_seconds() override;
    uint64_t monotonic_ns() override;
    // Redraws are paced for the person watching: real time, not the board's.
    uint64_t wall_ns() override;

    // The board's USB adapter; with none plugged in its open() finds no device, as on a PC.
    UsbTransport* usb_transport() override { return &board_.mpsse(); }
    JaylinkTransport* jaylink_transport() override { return &board_.jlink(); }
    GpioTransport* gpio_transport() override { return &board_.gpio(); }
    DapTransport* dap_transport() override { return &board_.dap(); }

    void console_write(const char* text, size_t length) override;
    // Standard output's own answer; a captured console answers `captured_terminal`.
    bool console_is_terminal() override;
    // Console output goes into `sink` instead of stdout (nullptr: back to stdout). Captured text
    // counts as a log unless `terminal` says it stands for a terminal.
    void capture_console(std::string* sink, bool terminal = false)
    {
        console_sink_ = sink;
        captured_terminal_ = terminal;
    }
    // True once the tool printed an elapsed time, which is virtual time here.
    bool elapsed_time_printed() const { return elapsed_time_printed_; }

private:
    void release_due_keys();
    void read_stdin();

    VirtualBoard& board_;
    VirtualPort& port_;
    KeySetup keys_;
    std::unique_ptr<TerminalKeys> terminal_;  // unscripted keys from a terminal
    std::string queue_;
    size_t next_key_ = 0;
    size_t next_after_ = 0;  // first key_after entry not yet released
    bool stdin_ended_ = false;
    uint64_t accesses_at_last_look_ = UINT64_MAX;
    std::string* console_sink_ = nullptr;
    bool captured_terminal_ = false;
    bool elapsed_time_printed_ = false;
};

}  // namespace sim
