// SPDX-License-Identifier: Apache-2.0
// What an open tarnflash::Cable holds: the cable driver, and whatever it runs over.
#pragma once

#include <functional>
#include <memory>

#include <tarnflash/tarnflash.h>
#include "jtag/cable.h"

struct tarnflash::Cable::Inside {
    std::unique_ptr<::Cable> cable;
    // Given back when the cable closes (a port's access, a USB device), after the cable parked.
    std::function<void()> release;
};
