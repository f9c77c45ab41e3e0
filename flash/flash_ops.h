// The NOR flash engine: set-up, identification, geometry, erase, program and verify.
#pragma once

#include <cstdint>

// Every flash record back to zero (start of a run).
void flash_init();

// Fills g_flash_model from the options' model name, bus width and interleave; 0 or -1.
int flash_setup_model();

int flash_read_id(char* image, uint32_t base, uint32_t maker_offset, uint32_t device_offset);
int flash_query_cfi(char* image, uint32_t base);
int flash_builtin_geometry(uint32_t base, int32_t interleave);

int flash_erase_blocks(char* image, uint32_t start, uint32_t size);
// Waits the fixed time, then polls until the erase has finished; 0, or -1 with a message.
int flash_erase_chip(char* image, uint32_t base);
void wait_seconds(int seconds);

int flash_program(char* image, uint32_t start, uint32_t length);
int flash_program_buffered(char* image, uint32_t start, uint32_t length);
