// Confirms that the CPU on the JTAG chain is the one named with -C.
#pragma once

// 0 when the chain's IDCODE equals the selected CPU's, else -1; prints the ID read.
int chain_check_idcode();

// The -j mode: the check, and "Invalid JTAG ID" on a mismatch.
void run_idcode_check();
