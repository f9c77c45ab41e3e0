// SPDX-License-Identifier: Apache-2.0
// --report FILE: the record of one job (tool, cable, target, flash, job, outcome, the time of
// each stage, counters), filled as the run goes and written as JSON when it ends, however it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flash/flash_update.h"

struct JobReport {
    // A text left empty, a number left at 0 and an absent value are written as null: not known.
    std::string cable_kind = "parport";  // or "ftdi", "xvc", "remote-bitbang", "cmsis-dap", "jlink", "gpio", "svf"
    std::optional<uint16_t> port;        // the parallel port's base, once found
    std::string vid_pid, serial, description;
    std::string server;                      // a network cable's server
    std::optional<uint64_t> round_trips;     // the times it waited for the server's answers
    std::string cpu;
    std::string bsdl;  // the --bsdl file that describes the CPU
    std::optional<uint32_t> idcode_expected, idcode_read;
    std::optional<uint32_t> chain_device, chain_devices;  // where the CPU sits, once the chain was read
    std::string flash_model;
    int32_t bus_width = 0;
    int32_t chips = 0;
    std::optional<uint16_t> maker_id, device_id;
    std::optional<uint32_t> flash_size;
    std::string job_kind;  // program, erase, read, verify, idcode, toggle
    uint32_t start = 0;
    uint64_t length = 0;
    std::string image_path;  // the image or the file read or compared, as the command line names it
    std::optional<uint64_t> image_size;
    std::string image_sha256;
    std::optional<uint32_t> failing_address;
    std::optional<UpdateCounts> update;  // --update: the blocks left alone, programmed over, erased
    std::vector<std::pair<std::string, uint64_t>> counters;
    int64_t started = 0;  // calendar seconds
    // Only a report that will be written reads the clock: under the simulator every reading
    // costs virtual time, and a run without --report must time exactly as before.
    bool timed = false;

    // Ends the stage that runs (if any) and starts `name`; its time comes from the platform's clock.
    void stage(const char* name);
    // Ends the stage that runs.
    void stage_end();
    const std::vector<std::pair<std::string, uint64_t>>& stages() const { return stages_; }

private:
    std::vector<std::pair<std::string, uint64_t>> stages_;  // name, nanoseconds
    const char* running_ = nullptr;
    uint64_t since_ns_ = 0;
};

// The JSON text of the record with the job's exit status and final message.
std::string job_report_json(const JobReport& report, int status, const std::string& message);

// Writes the JSON under a new temporary name beside `path` and renames it over a regular file
// only, as --read writes its file; false after printing why not.
bool job_report_write(const JobReport& report, int status, const std::string& message, const std::string& path);
