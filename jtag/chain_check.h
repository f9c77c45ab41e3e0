// Confirms that the device on the JTAG chain is the CPU the run was told about.
#pragma once

#include "jtag/cable.h"

// Loads `idcode_instruction` (4 characters, first shifted first), reads the 32-bit
// identification register and compares it with `idcode` (32 characters, most significant
// bit first). Prints the identification read, and returns whether it matched.
bool chain_check_idcode(Cable& cable, const char* idcode_instruction, const char* idcode);
