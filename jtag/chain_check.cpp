// SPDX-License-Identifier: Apache-2.0
#include "jtag/chain_check.h"

#include <cstring>

#include "jtag/tap.h"
#include "platform/console.h"

uint32_t bitstring_value(const char* bits)
{
    uint32_t value = 0;
    for (int i = 0; i < 32 && bits[i] != '\0'; ++i)
        value = (value << 1) | (bits[i] == '1' ? 1u : 0u);
    return value;
}

bool chain_check_idcode(Cable& cable, const char* idcode_instruction, const char* idcode, uint32_t* read,
                        uint8_t length)
{
    char id[33];
    std::memcpy(id, kChainTestPattern, sizeof id);  // also the terminator the capture leaves alone
    jtag_scan_ir(cable, length, idcode_instruction);
    jtag_scan_dr_capture(cable, id, id, 32);
    // The register shifts out bit 0 first; the table and the printout are MSB first.
    bitstring_reverse32(id);
    if (read != nullptr)
        *read = bitstring_value(id);
    bool matched = true;
    for (int i = 0; i < 32; ++i)
        matched = matched && (idcode[i] == 'X' || idcode[i] == id[i]);
    if (!matched) {
        con_printf("\nYour JTAG ID:   %s\n", id);
        return false;
    }
    con_printf("\nOK!, JTAG ID:   %s\n", id);
    return true;
}
