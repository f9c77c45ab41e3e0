// SPDX-License-Identifier: Apache-2.0
// Virtual time of the board: advanced by every port access (and by clock reads),
// so waits and the elapsed time behave as on real hardware, deterministically.
#pragma once

#include <cstdint>

namespace sim {

struct VirtualClock {
    uint64_t ns = 0;
    void advance(uint64_t delta_ns) { ns += delta_ns; }
};

}  // namespace sim
