// SPDX-License-Identifier: Apache-2.0
// Where the device a job runs on sits in the chain. Position 0 is the device nearest the
// cable's TDO: its bits are shifted out first, and the bits shifted in first end up in it.
// Every other device is held in BYPASS: all ones in its IR, one bit in every DR scan.
#pragma once

#include <cstdint>

struct ChainPosition {
    uint32_t devices_before = 0;  // devices nearer TDO (positions below the selected one)
    uint32_t devices_after = 0;   // devices nearer TDI
    uint32_t ir_before = 0;       // their instruction bits, in total
    uint32_t ir_after = 0;

    bool alone() const { return devices_before == 0 && devices_after == 0; }
};
