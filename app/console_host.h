// SPDX-License-Identifier: Apache-2.0
// The engine's host on the console: events become the tool's lines, ESC and the interrupts stop a
// job, and the clock is the platform's.
#pragma once

#include <cstdint>

#include "app/console_progress.h"
#include "jtag/host.h"

class ConsoleHost : public Host {
public:
    void report(const EngineEvent& event) override;
    bool stop_key() override;
    const char* interrupt_requested() override;
    uint64_t monotonic_ns() override;

private:
    ConsoleProgress progress_{"Write"};
};
