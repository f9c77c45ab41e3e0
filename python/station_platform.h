// SPDX-License-Identifier: Apache-2.0
// The platform a job from Python runs on: the real one (or the virtual board's) underneath, the
// console kept as the job's log instead of printed, its progress lines handed to a callback, and
// a stop request turned into the stop key, so the job ends at its next safe point.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

class StationPlatform final : public Platform {
public:
    // `progress(stage, done, total)` returns true to stop the job.
    using Progress = std::function<bool(const std::string&, uint32_t, uint32_t)>;

    StationPlatform(Platform& inner, Progress progress) : inner_(inner), progress_(std::move(progress)) {}

    const char* port_access() override { return inner_.port_access(); }
    void port_write(uint16_t port, uint8_t value) override { inner_.port_write(port, value); }
    uint8_t port_read(uint16_t port) override { return inner_.port_read(port); }
    const char* port_fault() override { return inner_.port_fault(); }
    void port_release() override { inner_.port_release(); }

    // No console input: only a stop request is a key.
    bool key_available() override { return stop_.load(); }
    int key_read() override;
    bool keys_ended() override { return !stop_.load(); }
    bool key_wait(int) override { return key_available(); }

    int64_t time_seconds() override { return inner_.time_seconds(); }
    uint64_t monotonic_ns() override { return inner_.monotonic_ns(); }
    uint64_t wall_ns() override { return inner_.wall_ns(); }

    UsbTransport* usb_transport() override { return inner_.usb_transport(); }
    JaylinkTransport* jaylink_transport() override { return inner_.jaylink_transport(); }
    GpioTransport* gpio_transport() override { return inner_.gpio_transport(); }
    DapTransport* dap_transport() override { return inner_.dap_transport(); }

    void console_write(const char* text, size_t length) override;
    // A log: a line per tenth of a long job, never a line redrawn in place.
    bool console_is_terminal() override { return false; }

    // Asks the job to stop at its next safe point; safe from any thread.
    void request_stop() { stop_.store(true); }
    bool stop_requested() const { return stop_.load(); }
    const std::string& log() const { return log_; }

private:
    void line_done();

    Platform& inner_;
    Progress progress_;
    std::atomic<bool> stop_{false};
    std::string log_;
    std::string line_;
};
