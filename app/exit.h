// SPDX-License-Identifier: Apache-2.0
// How a run ends: its exit status and what is done to the cable first. A step that ends the run
// returns its end, and tool_main acts on it; nothing calls exit(), so the tool can run many times
// in one process.
#pragma once

#include <optional>

enum class CableEnd {
    none,        // leave the cable as it is
    park,        // the normal end of a run
    reset_park,  // TAP reset, then park
};

struct RunEnd {
    int status;
    CableEnd cable;
};

// What a step of the run returns: no value when the run goes on.
using Ending = std::optional<RunEnd>;

// Ends the run with `status` at once, touching nothing.
constexpr RunEnd process_end(int status) { return {status, CableEnd::none}; }

// TAP reset, cable park (both left out before a port was found), then end with `code`.
constexpr RunEnd quit(int code) { return {code, CableEnd::reset_park}; }

// Prints "%s\n" with the message; the end of quit(1).
RunEnd fail_exit(const char* message);
