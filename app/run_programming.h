// The programming run: menu and prompts, identification, geometry, erase, program, verify.
#pragma once

#include <cstdint>

// The run status: 0 only after the image was written and verified, else -1.
int run_programming();

// Distance in bytes from the first erase block to block `index`; 0 outside 0..block_count.
uint32_t block_offset(int32_t index);

// The mode: the run, then the elapsed time when it succeeded.
void programming_mode();
