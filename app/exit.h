// Ending the process early. Nothing inside the tool calls exit(): these throw an
// ExitRequest that only tool_main catches, so the tool can run many times in one process.
#pragma once

struct ExitRequest {
    int status;
};

// Ends the process with `status` at once, touching nothing.
[[noreturn]] void process_end(int status);

// TAP reset, cable park (both left out before a port was found), then end with `code`.
[[noreturn]] void quit(int code);

// Prints "%s\n" with the message, then quit(1).
[[noreturn]] void fail_exit(const char* message);
