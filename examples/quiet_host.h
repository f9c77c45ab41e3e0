// SPDX-License-Identifier: Apache-2.0
// A host for the examples: shows nothing, never stops the job, keeps the system's clock, and
// answers no question (the set-up says everything).
#pragma once

#include <chrono>
#include <tarnflash/tarnflash.h>

class QuietHost final : public tarnflash::Host {
public:
    void report(const tarnflash::Event&) override {}
    bool stop_key() override { return false; }
    const char* interrupt_requested() override { return nullptr; }
    uint64_t monotonic_ns() override
    {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};
