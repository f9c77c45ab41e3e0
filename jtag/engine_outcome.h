// SPDX-License-Identifier: Apache-2.0
// How an engine operation ended: one record for every layer, so the front end has one thing to
// word and one place to decide how the run ends.
#pragma once

#include <cstdint>

namespace tarnflash {

enum class Status : uint8_t {
    ok,
    refused,       // a check failed before anything changed (set-up, identity, geometry, range)
    erase_failed,  // a block or the chip did not erase, or not in time
    mismatch,      // a word did not read back as written
    timeout,       // the chip never finished a write
    image_error,   // the image could not supply its bytes
    cancelled,     // the stop key (ESC)
    interrupted,   // a signal asked the job to stop
    cable_fault,   // the cable's port or USB traffic failed
};

struct Outcome {
    Status status = Status::ok;
    uint32_t address = 0;   // where it stopped: the word or block start
    uint32_t expected = 0;  // written, or wanted
    uint32_t actual = 0;    // read
    int32_t block = -1;     // the block concerned, -1 when none
    // What a cause line needs beyond the numbers (a reason, a signal name); static or owned
    // by the session that returned the outcome.
    const char* detail = nullptr;

    bool ok() const { return status == Status::ok; }
};

inline Outcome outcome_of(Status status) { return Outcome{.status = status}; }

}  // namespace tarnflash
