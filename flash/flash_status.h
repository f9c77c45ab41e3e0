// SPDX-License-Identifier: Apache-2.0
// How a flash operation ended. The operation prints its own message; the front end decides
// what the run does next.
#pragma once

enum class FlashStatus {
    ok,
    refused,       // a check failed before anything changed (set-up, identity, geometry, range)
    erase_failed,  // a block or the chip did not report done in time
    mismatch,      // a word did not read back as written
    timeout,       // the chip never finished a write buffer
    image_error,   // the image could not supply its bytes
    cancelled,     // ESC
    interrupted,   // a signal asked the job to stop
    cable_fault,   // the cable's port or USB traffic failed
};
