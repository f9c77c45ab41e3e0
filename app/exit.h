// SPDX-License-Identifier: Apache-2.0
// How a run ends: its exit status and what is done to the cable first. Deep inside the front
// end, quit and fail_exit throw an ExitRequest that only tool_main catches; nothing calls
// exit(), so the tool can run many times in one process.
#pragma once

enum class CableEnd {
    none,        // leave the cable as it is
    park,        // the normal end of a run
    reset_park,  // TAP reset, then park
};

struct RunEnd {
    int status;
    CableEnd cable;
};

struct ExitRequest {
    RunEnd end;
};

// Ends the run with `status` at once, touching nothing.
[[noreturn]] void process_end(int status);

// TAP reset, cable park (both left out before a port was found), then end with `code`.
[[noreturn]] void quit(int code);

// Prints "%s\n" with the message, then quit(1).
[[noreturn]] void fail_exit(const char* message);
