// SPDX-License-Identifier: Apache-2.0
// Bounds of the polls that wait for a chip, the reasons to stop a job between bus cycles, and
// how a job tells its host how far it has come and how it ended.
#pragma once

#include <cstdint>

#include "flash/flash_session.h"

// A poll gives up only when both its read count and the chip's maximum time have passed: the
// count keeps the pace of a slow port, the time keeps a fast port from giving up on a healthy
// chip. An unknown maximum (0) leaves the count alone to decide.
class PollClock {
public:
    PollClock(Host& host, uint64_t max_ns)
        : host_(host), max_ns_(max_ns), start_ns_(max_ns != 0 ? host.monotonic_ns() : 0)
    {}

    bool max_passed() const { return max_ns_ == 0 || host_.monotonic_ns() - start_ns_ >= max_ns_; }

private:
    Host& host_;
    uint64_t max_ns_;
    uint64_t start_ns_;
};

constexpr uint64_t us_to_ns(uint64_t us) { return us * 1'000; }
constexpr uint64_t ms_to_ns(uint64_t ms) { return ms * 1'000'000; }

// A cable failure or an interrupt ends the job at the next bus-cycle boundary.
inline Status flash_stop_check(FlashSession& s)
{
    if (s.bus.fault() != nullptr)
        return Status::cable_fault;
    if (s.host.interrupt_requested() != nullptr)
        return Status::interrupted;
    return Status::ok;
}

// `out` ends with `status`; a stop names its reason (the cable's fault, the interrupt).
inline Outcome flash_ended(FlashSession& s, Outcome out, Status status)
{
    out.status = status;
    if (status == Status::cable_fault)
        out.detail = s.bus.fault();
    else if (status == Status::interrupted)
        out.detail = s.host.interrupt_requested();
    return out;
}

// `done` of `total` bytes of the job `label` names ("Write", "Read", ...).
inline void flash_progress(FlashSession& s, const char* label, uint32_t done, uint32_t total, bool finished = false)
{
    flash_report(s, {.kind = EventKind::progress, .count = done, .total = total, .finished = finished, .text = label});
}
