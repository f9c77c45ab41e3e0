// SPDX-License-Identifier: Apache-2.0
// A host for the examples: shows nothing, never stops the job, keeps the system's clock, and
// answers no question (the set-up says everything); and the cable they run over.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <tarnflash/tarnflash.h>

class QuietHost final : public tarnflash::Host {
public:
    void report(const tarnflash::Event&) override {}
    bool stop_key() override { return false; }
    const char* interrupt_requested() override { return nullptr; }
    uint64_t monotonic_ns() override
    {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
};

// The first parallel port, or nullptr once the reason is printed.
inline std::unique_ptr<tarnflash::Cable> open_parallel_port()
{
    std::string cause;
    auto cable = tarnflash::open_cable({.kind = tarnflash::CableKind::parport}, &cause);
    if (!cable)
        std::printf("%s\n", cause.c_str());
    return cable;
}
