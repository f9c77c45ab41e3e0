// SPDX-License-Identifier: Apache-2.0
// Protected and locked blocks, checked before anything is erased.
#pragma once

#include <cstdint>

#include "flash/flash_session.h"
#include "jtag/outcome.h"

// What the user allows to be unlocked: nothing, the locked blocks of the range, or (where an
// unlock clears every block at once) the whole device.
enum class UnlockRequest { none, range, all };

// Blocks `first` to `last` - 1 of the block table are about to be erased; checked only where the
// chip defines a block status (its datasheet or CFI table; every Intel-style chip). Refused, after
// an event that names the first block a program or erase could not change, when a block is protected
// (AMD-style), locked down, or locked and unlocking was not asked for; Intel-style locked blocks
// are unlocked, with an event that says so, when it was. `whole_device`: the range is the device.
Outcome flash_check_blocks(FlashSession& session, uint32_t base, int32_t first, int32_t last, UnlockRequest unlock,
                           bool whole_device);
