// SPDX-License-Identifier: Apache-2.0
// The NOR flash engine: set-up, identification, geometry, erase, program and verify.
#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_descriptor.h"
#include "flash/flash_model.h"
#include "flash/flash_session.h"
#include "flash/flash_status.h"

// The record of `descriptor` on this bus set-up; refused (record untouched) when the model
// cannot be wired that way.
FlashStatus flash_setup_model(const FlashDescriptor& descriptor, int32_t bus_width, int32_t interleave,
                              FlashModel& model);

// Reads the codes into session.identity; refused when a code reads as all data lines high.
FlashStatus flash_read_id(FlashSession& session, uint32_t base, uint32_t maker_offset, uint32_t device_offset);
// The built-in geometry of the device code just read, when the model knows one.
const BuiltinGeometry* flash_builtin_for(const FlashSession& session);
FlashStatus flash_query_cfi(FlashSession& session, uint32_t base);
FlashStatus flash_builtin_geometry(FlashSession& session, uint32_t base);

FlashStatus flash_erase_blocks(FlashSession& session, uint32_t start, uint32_t size);
// Waits the fixed time, then polls until the erase has finished.
FlashStatus flash_erase_chip(FlashSession& session, uint32_t base);

// Programs `image` from `start` and reads every word back. Bytes past the image's end, up to
// the last whole word or buffer, are programmed as erased.
FlashStatus flash_program(FlashSession& session, uint32_t start, std::span<const uint8_t> image);
FlashStatus flash_program_buffered(FlashSession& session, uint32_t start, std::span<const uint8_t> image);

// Reads `bytes.size()` bytes from `start` into `bytes`, in pipelined runs.
FlashStatus flash_read_range(FlashSession& session, uint32_t start, std::span<uint8_t> bytes);
// Compares the flash from `start` with `image`: mismatch after printing the first difference
// and the count of differing words.
FlashStatus flash_verify_range(FlashSession& session, uint32_t start, std::span<const uint8_t> image);
