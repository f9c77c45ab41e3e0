// The command line: RunOptions, the option scanner and the number parser.
#pragma once

#include <cstdint>

struct RunOptions {
    char cpu_name[16];       // -C
    char flash_model[32];    // -F, or the model menu
    int32_t bus_width;       // -w, or the prompt; 0 = ask
    int32_t interleave;      // -i, or the prompt; 0 = ask
    uint32_t start_offset;   // -o; advanced by the block offset during the run
    const char* image_path;  // -f (refers to argv); nullptr = erase-only run
    uint32_t erase_size;     // -e <number>; 0 = not given
    bool erase_all;          // -eall
    int32_t block_index;     // -b
    bool idcode_check;       // -j
    int32_t toggle_mode;     // -t sets 2
    bool offset_given;       // -o appeared with a value
};

extern RunOptions g_options;

// Gives RunOptions and the scan index their start values.
void options_init();

// One option per call: the option character, 1 for a free argument, 0 at the end,
// -1 for an option it does not recognise. `optarg` receives the value or nullptr.
int get_option(int argc, char** argv, const char* optstring, const char** optarg);

// 1 and the number in `value`, or 0 with `value` unchanged.
int parse_number(const char* text, int32_t* value);

void print_usage();
