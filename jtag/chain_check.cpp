#include "jtag/chain_check.h"

#include <cstdlib>
#include <cstring>

#include "jtag/tap.h"
#include "platform/console.h"

bool chain_check_idcode(Cable& cable, const char* idcode_instruction, const char* idcode, uint32_t* read)
{
    char id[33];
    std::memcpy(id, kChainTestPattern, sizeof id);  // also the terminator the capture leaves alone
    jtag_scan_ir(cable, 4, idcode_instruction);
    jtag_scan_dr_capture(cable, id, id, 32);
    // The register shifts out bit 0 first; the table and the printout are MSB first.
    bitstring_reverse32(id);
    if (read != nullptr)
        *read = static_cast<uint32_t>(std::strtoul(id, nullptr, 2));
    if (std::memcmp(id, idcode, 32) != 0) {
        con_printf("\nYour JTAG ID:   %s\n", id);
        return false;
    }
    con_printf("\nOK!, JTAG ID:   %s\n", id);
    return true;
}
