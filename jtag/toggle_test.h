// SPDX-License-Identifier: Apache-2.0
// Board wiring test: drives the CPU's boundary-scan outputs with a changing pattern until ESC.
// Which cells toggle and which are held is the CPU's knowledge; the loop is the same for all.
#pragma once

#include <cstdint>
#include <span>

#include "jtag/host.h"
#include "jtag/jtag_chain.h"
#include "jtag/outcome.h"

// Cells first, first + step, ... up to last.
struct CellSpan {
    uint16_t first;
    uint16_t last;
    uint16_t step;
};

constexpr CellSpan one(uint16_t cell) { return {cell, cell, 1}; }
constexpr CellSpan range(uint16_t first, uint16_t last) { return {first, last, 1}; }
constexpr CellSpan every2(uint16_t first, uint16_t last) { return {first, last, 2}; }

struct TogglePlan {
    std::span<const CellSpan> toggled;  // in visiting order
    std::span<const CellSpan> fixed_one;
    std::span<const CellSpan> fixed_zero;
    bool alternate;           // neighbours in the visiting order take opposite values
    uint32_t wait_count;      // empty count-down between passes
    const char* banner_only;  // a CPU without the loop prints this and drives nothing
};

// Parks the cable, resets the TAP, loads EXTEST and toggles `image`
// (`length` cells) until the host's stop key: cancelled then, the pins keeping the last pass;
// interrupted (the signal's name in `detail`) when a stop request arrives; ok at once, with
// nothing driven, for a CPU without the loop. Cells outside the plan keep what the image holds.
Outcome toggle_test(JtagChain& chain, Host& host, char* image, uint32_t length, const TogglePlan& plan);
