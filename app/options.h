// SPDX-License-Identifier: Apache-2.0
// The command line: RunOptions, the option scanner and the number parser.
#pragma once

#include <cstdint>

#include "jtag/chain_position.h"

struct JobReport;
class SvfWriter;

struct RunOptions {
    char cpu_name[16] = {};             // -C
    char flash_model[32] = {};          // -F, or the model menu
    int32_t bus_width = 0;              // -w, or the prompt; 0 = ask
    int32_t interleave = 0;             // -i, or the prompt; 0 = ask
    uint32_t start_offset = 0;          // -o; advanced by the block offset during the run
    const char* image_path = nullptr;   // -f (refers to argv); nullptr = erase-only run
    uint32_t erase_size = 0;            // -e <number>; 0 = not given
    bool erase_all = false;             // -eall
    int32_t block_index = 0;            // -b
    bool idcode_check = false;          // -j
    int32_t toggle_mode = 0;            // -t sets 2
    bool offset_given = false;          // -o appeared with a value
    const char* read_path = nullptr;    // --read: back the flash up; erase and write nothing
    const char* verify_path = nullptr;  // --verify: compare the flash with a file
    bool detect = false;                // --detect: no menu, the flash found by its answers
    bool unlock = false;                // --unlock: unlock the range's locked blocks
    bool unlock_all = false;            // --unlock-all: also on chips where that unlocks all
    bool verify_erase = false;          // --verify-erase: read back every erased word not programmed
    bool update = false;                // --update: change only the blocks that differ from the image
    const char* bsdl_path = nullptr;    // --bsdl: the CPU from a BSDL file, the flash on its own addresses
    const char* unheld_pins = "";       // --bsdl: pins boards usually hold that the map leaves alone
    JobReport* report = nullptr;        // --report: where the run records itself
    ChainPosition chain;                // --device: where the job's device sits among the others
    uint32_t chain_ir_length = 0;       // that device's IR length as the chain was read; 0: not read
    SvfWriter* svf = nullptr;           // --svf: the job is recorded there, reads are expected
};

// Where get_option stands in the argument vector: 1 is the first argument after the
// program name.
struct OptionScan {
    int index = 1;
};

// One option per call: the option character, 1 for a free argument, 0 at the end,
// -1 for an option it does not recognise. `optarg` receives the value or nullptr.
int get_option(OptionScan& scan, int argc, char** argv, const char* optstring, const char** optarg);

// Decimal or 0x-hexadecimal after any spaces, up to 32 bits: true and the number in `value`, or
// false with `value` unchanged.
bool parse_number(const char* text, int32_t* value);

void print_usage();
