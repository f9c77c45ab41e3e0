// SPDX-License-Identifier: Apache-2.0
// The Intel/Sharp command set (CFI primary command sets 0x0001 and 0x0003): single-cycle
// commands, a status register read after every operation, and read array on every way out.
#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_session.h"
#include "jtag/outcome.h"

// Status register bits.
constexpr uint32_t kSrReady = 0x80;
constexpr uint32_t kSrEraseError = 0x20;
constexpr uint32_t kSrProgramError = 0x10;
constexpr uint32_t kSrVoltage = 0x08;
constexpr uint32_t kSrLocked = 0x02;
constexpr uint32_t kSrErrors = kSrEraseError | kSrProgramError | kSrVoltage | kSrLocked;

// What the error bits of `status` (one chip's byte) say went wrong; SR5 after an unlock is an
// unlock error.
const char* flash_intel_cause(uint32_t status, bool unlocking = false);

// Erases one block; erase_failed after reporting the error and the status register, whose
// cause the outcome's detail holds.
Outcome flash_intel_erase_block(FlashSession& session, uint32_t address);
// Programs `image` from `start` a write buffer (or a word) at a time, then reads it back in runs.
Outcome flash_intel_program(FlashSession& session, uint32_t start, std::span<const uint8_t> image);
// Clears the lock bit of the block at `address` (on some chips: of every block).
Outcome flash_intel_unlock(FlashSession& session, uint32_t address);
// Lock status of the block at `address` from the read-identifier mode: bit 0 locked, bit 1
// locked down, of either chip.
uint32_t flash_intel_lock_status(FlashSession& session, uint32_t address);
