// SPDX-License-Identifier: Apache-2.0
// Bounds of the polls that wait for a chip, and the reasons to stop a job between bus cycles.
#pragma once

#include <cstdint>

#include "flash/flash_session.h"
#include "flash/flash_status.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

// A poll gives up only when both its read count and the chip's maximum time have passed: the
// count keeps the pace of a slow port, the time keeps a fast port from giving up on a healthy
// chip. An unknown maximum (0) leaves the count alone to decide.
class PollClock {
public:
    explicit PollClock(uint64_t max_ns) : max_ns_(max_ns), start_ns_(max_ns != 0 ? platform().monotonic_ns() : 0) {}

    bool max_passed() const { return max_ns_ == 0 || platform().monotonic_ns() - start_ns_ >= max_ns_; }

private:
    uint64_t max_ns_;
    uint64_t start_ns_;
};

constexpr uint64_t us_to_ns(uint64_t us) { return us * 1'000; }
constexpr uint64_t ms_to_ns(uint64_t ms) { return ms * 1'000'000; }

// A cable failure or an interrupt ends the job at the next bus-cycle boundary.
inline FlashStatus flash_stop_check(const FlashSession& s)
{
    if (s.bus.fault() != nullptr)
        return FlashStatus::cable_fault;
    if (interrupt_requested() != nullptr)
        return FlashStatus::interrupted;
    return FlashStatus::ok;
}
