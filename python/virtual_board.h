// SPDX-License-Identifier: Apache-2.0
// The virtual board as a Python object: made from the simulator's own options, kept alive by
// every job that runs on it, its flash contents loadable and readable.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/sim_options.h"

class PyVirtualBoard {
public:
    // `args` as tarnflash-sim takes them before `--`; throws std::invalid_argument with the
    // simulator's refusal line.
    PyVirtualBoard(const std::vector<std::string>& args, const std::string* flash_in);

    sim::VirtualBoard& board() { return *board_; }
    // The whole flash in CPU byte order; empty when no flash is on the bus.
    std::vector<uint8_t> contents();
    // Loads `bytes` from CPU byte 0; the rest reads erased. Throws past the flash's size.
    void load(const std::string& bytes);

private:
    sim::SimOptions options_;
    std::unique_ptr<sim::VirtualBoard> board_;
};
