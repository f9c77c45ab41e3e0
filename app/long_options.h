// SPDX-License-Identifier: Apache-2.0
// The GNU-style long options, taken out of the command line before the classic option scan,
// so that a command line without them behaves exactly as before.
#pragma once

#include <string>
#include <vector>

struct LongOptions {
    // The first --name that is none of these, kept in argv, and the one it most likely meant
    // (nullptr when none is close).
    const char* unknown = nullptr;
    const char* unknown_nearest = nullptr;
    bool help = false;
    bool version = false;
    const char* read_path = nullptr;        // --read FILE: back the flash up into FILE
    const char* verify_path = nullptr;      // --verify FILE: compare the flash with FILE
    bool verify_erase = false;              // --verify-erase: read every erased word not programmed
    bool update = false;                    // --update: change only the blocks that differ
    const char* cable = nullptr;            // --cable NAME: "ftdi" for the USB cable
    const char* cable_id = nullptr;         // --cable-id VID:PID
    const char* cable_interface = nullptr;  // --cable-interface A|B
    const char* cable_pins = nullptr;       // --cable-pins VALUE:DIRECTION
    const char* tck_hz = nullptr;           // --tck-hz N
    const char* bsdl = nullptr;             // --bsdl FILE: the device described by a BSDL file
    const char* bus = nullptr;              // --bus MAP: the flash signals on the file's pins
    std::vector<const char*> holds;         // --hold PIN=0|1|z, repeatable
    bool bsdl_info = false;                 // --bsdl-info: what the file says, no port touched
    bool detect = false;                    // --detect: the flash found from what it answers
    bool unlock = false;                    // --unlock: unlock locked blocks of the range
    bool unlock_all = false;                // --unlock-all: also where that unlocks every block
    const char* cable_config = nullptr;     // --cable-config FILE|NAME: an OpenOCD FTDI interface file
    bool cable_info = false;                // --cable-info: print what the configuration says
    const char* cable_serial = nullptr;     // --cable-serial SERIAL
    bool cable_list = false;                // --cable-list: the FTDI adapters plugged in
    const char* srst = nullptr;             // --srst hold|release
    const char* report_path = nullptr;      // --report FILE: the job's record in JSON
    bool chain_list = false;                // --chain-list: the devices on the JTAG chain
    std::vector<const char*> bsdl_dirs;     // --bsdl-dir DIR, repeatable: BSDL files that name them
    const char* device = nullptr;           // --device N: the chain position a job runs on
    const char* chain = nullptr;            // --chain L0,L1,...: every device's IR length
    const char* gpio_pins = nullptr;        // --gpio-pins tck=N,tms=N,tdi=N,tdo=N[,trst=N][,srst=N]
    std::vector<std::string> replaced;      // "--report b replaces the earlier --report a", one each
    const char* svf_path = nullptr;         // --svf FILE: the job written as SVF, no cable
};

// Removes the long options it knows from argv (--name VALUE or --name=VALUE; a separate value
// is taken whatever it begins with) and shortens argc; the other arguments keep their order,
// an unknown --name among them (noted in `unknown`). False with a one-line error (no newline)
// for a missing value or a value given to an option that takes none.
bool take_long_options(int& argc, char** argv, LongOptions& options, std::string& error);
