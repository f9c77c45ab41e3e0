// SPDX-License-Identifier: Apache-2.0
// Confirms that the device on the JTAG chain is the CPU the run was told about.
#pragma once

#include <cstdint>

#include "jtag/host.h"
#include "jtag/jtag_chain.h"
#include "jtag/outcome.h"

// Shifted in while the identification register comes out, first character first.
inline constexpr char kChainTestPattern[] = "00001111000011110000111100001111";

// What the check reads when the instruction selected a 1-bit BYPASS register instead: its
// captured 0, then the pattern a bit late.
constexpr uint32_t chain_bypass_read()
{
    uint32_t value = 0;
    for (int i = 1; i < 32; ++i)
        value |= static_cast<uint32_t>(kChainTestPattern[i - 1] == '1') << i;
    return value;
}

// Loads `idcode_instruction` (`length` characters, first shifted first), reads the 32-bit
// identification register and compares it with `idcode` (32 characters, most significant bit
// first; an X matches either bit). Reports the identification read; ok or mismatch, with the
// value read in `actual`.
Outcome chain_check_idcode(JtagChain& chain, Host& host, const char* idcode_instruction, const char* idcode,
                           uint32_t length = 4);

// A BitString of up to 32 characters, most significant bit first, as a number.
uint32_t bitstring_value(const char* bits);
