// SPDX-License-Identifier: Apache-2.0
// The NOR flash engine: set-up, identification, geometry, erase, program and verify. Every
// operation reports what it does to the session's host and returns how it ended: `address` is
// where it stopped (the block or word it was at; the first word that differs, with `expected`
// and `actual`, after a mismatch), `detail` the chip's own cause or the reason for a stop.
#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_descriptor.h"
#include "flash/flash_model.h"
#include "flash/flash_session.h"
#include "jtag/outcome.h"

// The record of `descriptor` on this bus set-up; refused (record untouched) when the model
// cannot be wired that way.
Status flash_setup_model(const FlashDescriptor& descriptor, int32_t bus_width, int32_t interleave, FlashModel& model);

// Reads the codes into session.identity; refused when a code reads as all data lines high.
Outcome flash_read_id(FlashSession& session, uint32_t base, uint32_t maker_offset, uint32_t device_offset);
// The built-in geometry of the device code just read, when the model knows one.
const BuiltinGeometry* flash_builtin_for(const FlashSession& session);
Outcome flash_query_cfi(FlashSession& session, uint32_t base);
Outcome flash_builtin_geometry(FlashSession& session, uint32_t base);

Outcome flash_erase_blocks(FlashSession& session, uint32_t start, uint32_t size);
// Waits the fixed time, then polls until the erase has finished.
Outcome flash_erase_chip(FlashSession& session, uint32_t base);

// Programs `image` from `start` and reads every word back. Bytes past the image's end, up to
// the last whole word or buffer, are programmed as erased. The unlock cycles go to `base`, a
// block start: the chip decodes them on the low address bits.
Outcome flash_program(FlashSession& session, uint32_t base, uint32_t start, std::span<const uint8_t> image);
Outcome flash_program_buffered(FlashSession& session, uint32_t base, uint32_t start, std::span<const uint8_t> image);
inline Outcome flash_program(FlashSession& session, uint32_t start, std::span<const uint8_t> image)
{
    return flash_program(session, start, start, image);
}
inline Outcome flash_program_buffered(FlashSession& session, uint32_t start, std::span<const uint8_t> image)
{
    return flash_program_buffered(session, start, start, image);
}

// Reads `bytes.size()` bytes from `start` into `bytes`, in pipelined runs.
Outcome flash_read_range(FlashSession& session, uint32_t start, std::span<uint8_t> bytes);
// Compares the flash from `start` with `image`: mismatch after reporting the first difference
// and the count of differing words.
Outcome flash_verify_range(FlashSession& session, uint32_t start, std::span<const uint8_t> image);
