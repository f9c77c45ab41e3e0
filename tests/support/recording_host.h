// SPDX-License-Identifier: Apache-2.0
// A host that keeps every event the engine reports, for tests to check what it said instead of
// how the console words it. Keys and the clock come from the installed (fake) platform.
#pragma once

#include <algorithm>
#include <vector>

#include "jtag/host.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace test_support {

class RecordingHost final : public Host {
public:
    void report(const EngineEvent& event) override { events.push_back(event); }
    bool stop_key() override { return platform().key_available() && platform().key_read() == 27; }
    const char* interrupt_requested() override { return ::interrupt_requested(); }
    uint64_t monotonic_ns() override { return platform().monotonic_ns(); }

    // The events of one kind, in order.
    std::vector<EngineEvent> of(EventKind kind) const
    {
        std::vector<EngineEvent> found;
        std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                     [kind](const EngineEvent& e) { return e.kind == kind; });
        return found;
    }
    // The kinds of every event but progress, in order.
    std::vector<EventKind> kinds() const
    {
        std::vector<EventKind> found;
        for (const EngineEvent& e : events)
            if (e.kind != EventKind::progress)
                found.push_back(e.kind);
        return found;
    }

    std::vector<EngineEvent> events;
};

}  // namespace test_support
