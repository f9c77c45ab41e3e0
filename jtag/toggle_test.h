// SPDX-License-Identifier: Apache-2.0
// Board wiring test: drives the CPU's boundary-scan outputs with a changing pattern until ESC.
// Which cells toggle and which are held is the CPU's knowledge; the loop is the same for all.
#pragma once

#include <cstdint>
#include <span>

#include "jtag/cable.h"

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

enum class ToggleEnd {
    escape,       // ESC, or no console input left: the pins keep the last pass
    banner_only,  // the CPU has no toggle loop
    interrupted,  // a stop request arrived
};

// Parks the cable, resets the TAP, loads EXTEST and toggles `image` (`length` cells) until
// ESC. Cells outside the plan keep what the image holds.
ToggleEnd toggle_test(Cable& cable, char* image, uint32_t length, const TogglePlan& plan);
