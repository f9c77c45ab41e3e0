// SPDX-License-Identifier: Apache-2.0
// Names for the devices found on a JTAG chain, by IDCODE: the job's CPU, the built-in CPUs and
// the BSDL files of --bsdl-dir (and --bsdl).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/long_options.h"
#include "targets/cpu_target.h"

struct KnownDevice {
    std::string name;
    std::string idcode;  // 32 characters of 0, 1, X, most significant first
    uint32_t ir_length = 0;
    bool job = false;  // the device the job names (-C or --bsdl)
};

// What an IDCODE matches: the names joined by '/' ("?" for none), the IR length they agree on
// (0 when unknown), and whether it is the job's device.
struct DeviceName {
    std::string name = "?";
    uint32_t ir_length = 0;
    bool job = false;
};

// The job's CPU first (when known), then the built-in CPUs, then every .bsd or .bsdl file of the
// folders; a file that cannot be read is named in one line and skipped. False with a one-line
// reason when a folder cannot be listed.
bool known_devices(const LongOptions& options, const CpuTarget* job_cpu, std::vector<KnownDevice>& known,
                   std::string& error);

// The job's device alone where it matches; else every device that matches, each name once.
DeviceName device_name(const std::vector<KnownDevice>& known, uint32_t idcode);
