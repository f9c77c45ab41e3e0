// SPDX-License-Identifier: Apache-2.0
// What the engine (jtag/, targets/, flash/) needs from whoever drives it: somewhere to report
// what happens, whether to stop, and the clock. The engine never prints and never reads keys;
// the front end turns events into words, and a production station or a test can do otherwise.
#pragma once

#include <cstdint>

// Every layer of the engine adds its own kinds here; the front end words them.
enum class EventKind : uint16_t {
    // A long job's progress: `count` of `total` bytes (`finished` once the job is done).
    progress,
    // jtag
    idcode_matched,     // the identification register read (`actual`) is the one expected
    idcode_mismatched,  // it is not (`actual`, `expected` with the don't-care bits as 0)
    toggle_banner,      // a CPU without a toggle loop: `text` says so
    toggle_started,     // the toggle loop runs until the stop key
};

// One thing the engine tells its host. Which fields mean something depends on the kind; `text`
// (a name or a reason) is valid only during the call.
struct EngineEvent {
    EventKind kind;
    uint32_t address = 0;
    uint32_t expected = 0;  // what was written or wanted
    uint32_t actual = 0;    // what was read
    uint32_t count = 0;
    uint32_t total = 0;
    int32_t block = -1;
    bool finished = false;
    const char* text = nullptr;
};

class Host {
public:
    virtual ~Host() = default;
    virtual void report(const EngineEvent& event) = 0;
    // Consumes a waiting key, if any; true when it was the key that stops a job (ESC).
    virtual bool stop_key() = 0;
    // The name of an interrupt that asks the job to stop ("SIGINT", ...), or nullptr.
    virtual const char* interrupt_requested() = 0;
    // Time for bounds and rates: never jumps (virtual time under the simulator).
    virtual uint64_t monotonic_ns() = 0;
};
