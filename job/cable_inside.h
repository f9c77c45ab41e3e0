// SPDX-License-Identifier: Apache-2.0
// What an open tarnflash::Cable holds: the cable driver, and whatever it runs over.
#pragma once

#include <functional>
#include <memory>

#include "jtag/cable.h"
#include "platform/platform.h"
#include <tarnflash/tarnflash.h>

struct tarnflash::Cable::Inside {
    std::unique_ptr<::Cable> cable;
    // Given back when the cable closes (a port's access, a USB device), after the cable parked.
    std::function<void()> release;
};

namespace tarnflash {
// As open_cable, over `platform`'s port and transports rather than the operating system's: a
// virtual board's, for one.
std::unique_ptr<Cable> open_cable_on(Platform& platform, const CableChoice& choice, std::string* cause = nullptr);
}  // namespace tarnflash
