// SPDX-License-Identifier: Apache-2.0
// Runs a program of this build as a separate process, for the tests that need a real process:
// the tarnflash program under ppdev_shim, whose /dev/parport0 is a virtual board's port.
//
// Real I/O ports stay unreachable even if the shim failed to load: CAP_SYS_RAWIO leaves the
// bounding set before exec (so the kernel refuses ioperm, iopl and /dev/port), the program is not
// started where a parallel-port device exists, and a run in which the shim did not announce itself
// fails the test. Never start tarnflash any other way.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

struct RunResult {
    int status = -1;     // the exit status, or 128 + the signal that ended the process
    std::string output;  // standard output and error (standard error alone when output was given)
    std::string stats;   // the board's --stats text and the shim's call counts
};

struct RunSetup {
    bool shim = true;  // tarnflash-sim needs no port and runs without it
    int input = -1;    // standard input; -1: /dev/null
    int output = -1;   // standard output; -1: the output file
    int drop = -1;     // a capability to leave out of the bounding set besides CAP_SYS_RAWIO
    const char* setuid_user = nullptr;  // "UID:GID": as a setuid-root install run by that user (the shim's)
};

// Programs run in a folder of their own; file arguments are relative to it.
class GuardedRun {
public:
    GuardedRun();
    ~GuardedRun();
    GuardedRun(const GuardedRun&) = delete;
    GuardedRun& operator=(const GuardedRun&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // `args`: the program first. `env`: NAME=value for the shim (TARNFLASH_SHIM_BOARD, _FAIL, _BUSY);
    // the preload, marker and statistics file are added here.
    void start(const std::vector<std::string>& args, std::vector<std::string> env, const RunSetup& setup = {});
    void send(int signal_number) const;
    // Waits a minute at most.
    RunResult finish();
    RunResult run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const RunSetup& setup = {});

private:
    std::string dir_;
    pid_t pid_ = -1;
    bool shim_ = true;
};

std::string read_file(const std::string& path);
