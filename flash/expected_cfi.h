// SPDX-License-Identifier: Apache-2.0
// The CFI query tables of the models whose geometry is read from the chip, as their datasheets
// give them: a job written without the board takes its geometry from here, and the file checks
// that the chip answers the same.
#pragma once

#include <cstdint>
#include <span>

// Bytes 0 to 0x34 of the table (unlisted ones read 0); empty for a model not known here.
std::span<const uint8_t> expected_cfi_table(const char* model_name);
