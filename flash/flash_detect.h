// SPDX-License-Identifier: Apache-2.0
// Finding the flash from what it answers: its maker and device codes, else its CFI table.
#pragma once

#include <cstdint>

#include "flash/flash_descriptor.h"
#include "jtag/host.h"
#include "jtag/outcome.h"
#include "targets/bus_cycles.h"

struct FlashDetection {
    const FlashDescriptor* descriptor = nullptr;  // a built-in model, or a generic CFI driver
    int32_t bus_width = 0;
    int32_t interleave = 0;
};

// Tries the set-ups among `setups` (FlashSetup bits) in the order 16x1, 8x2, 8x1, each probe
// followed by a reset: first every built-in model of the set-up by its codes, then a CFI query
// that names the AMD (0x0002) or Intel/Sharp (0x0001, 0x0003) command set. Chip enable is left
// released. Refused when nothing answers consistently. Nothing is reported to `host`.
Status flash_detect(BusCycles& bus, Host& host, uint32_t base, uint8_t setups, FlashDetection& found);
