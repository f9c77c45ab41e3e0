// SPDX-License-Identifier: Apache-2.0
// Runs the whole tool in-process against a virtual board, as tarnflash-sim would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/sim_options.h"
#include "sim/stats.h"

// The simulator's options as tarnflash-sim reads them, and the line of a refusal.
struct SimParsed {
    sim::SimOptions options;
    Status status = Status::ok;
    std::string error;
    bool ok() const { return status == Status::ok; }
};
SimParsed sim_parse(const std::vector<std::string>& args);

// The board config the options describe; a refusal fails the test.
sim::BoardConfig sim_board_config(const sim::SimOptions& options);

struct SimRun {
    int status = 0;
    std::string console;  // everything the tool printed, or the simulator's error line
    sim::SimStats stats;
    uint64_t virtual_ns = 0;
};

// A board built from simulator options, kept alive so a test can look at it
// (or run the tool again) after a run.
class SimSession {
public:
    explicit SimSession(const std::vector<std::string>& sim_options);

    // False when the simulator options were bad; run() then reports status 2.
    bool ok() const { return parse_.ok(); }
    const std::string& error() const { return parse_.error; }
    sim::VirtualBoard& board() { return *board_; }

    // tool_main with argv = "tarnflash", tool_options...
    SimRun run(const std::vector<std::string>& tool_options);

private:
    SimParsed parse_;
    std::unique_ptr<sim::VirtualBoard> board_;
};

// One run on a fresh board: run_sim({"--cpu", "MIRTA"}, {"-C", "MIRTA", "-j"}).
SimRun run_sim(const std::vector<std::string>& sim_options, const std::vector<std::string>& tool_options);

// Runs the tarnflash-sim program with `args` (shell words), standard input empty
// and standard output dropped; returns its exit status and keeps its standard error
// (its standard output instead, and the errors dropped, with `output`).
int run_sim_program(const std::string& args, std::string& errors, bool output = false);
