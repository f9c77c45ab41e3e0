// Confirms that the device on the JTAG chain is the CPU the run was told about.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

// Loads `idcode_instruction` (4 characters, first shifted first), reads the 32-bit
// identification register and compares it with `idcode` (32 characters, most significant
// bit first). Prints the identification read, and returns whether it matched; `read`, when
// given, receives the value read.
bool chain_check_idcode(Cable& cable, const char* idcode_instruction, const char* idcode, uint32_t* read = nullptr);

// A BitString of up to 32 characters, most significant bit first, as a number.
uint32_t bitstring_value(const char* bits);
