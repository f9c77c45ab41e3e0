// SPDX-License-Identifier: Apache-2.0
// The engine's host on the console: its events worded as the tool has always printed them, ESC
// as the stop key, the process's interrupts and clock.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/exit.h"

#include "app/console_progress.h"
#include "jtag/host.h"

class ConsoleHost final : public Host {
public:
    // `input_end_stops`: with no console input left the stop key can never come, so that stops
    // the job too (for a job that runs until the key).
    explicit ConsoleHost(bool input_end_stops = false) : input_end_stops_(input_end_stops) {}

    void report(const EngineEvent& event) override;
    bool stop_key() override;
    const char* interrupt_requested() override;
    uint64_t monotonic_ns() override;

    // The menu and the prompts on the console; an answer that ends the run leaves its ending.
    std::string flash_model(std::span<const char* const> models) override;
    int bus_width() override;
    int interleave() override;
    const Ending& ending() const { return ending_; }

private:
    bool input_end_stops_;
    ConsoleProgress progress_{"Write"};
    Ending ending_;
};
