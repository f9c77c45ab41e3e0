#include "jtag/chain_check.h"

#include <cstring>

#include "jtag/tap.h"
#include "platform/console.h"
#include "targets/cpu_table.h"

namespace {
// Shifted in while the identification register comes out.
constexpr char kTestPattern[] = "00001111000011110000111100001111";
}  // namespace

int chain_check_idcode()
{
    char id[33];
    std::memcpy(id, kTestPattern, sizeof id);  // also the terminator the capture leaves alone
    jtag_scan_ir(4, g_target.idcode_instruction);
    jtag_scan_dr_capture(id, id, 32);
    // The register shifts out bit 0 first; the table and the printout are MSB first.
    bitstring_reverse32(id);
    if (std::memcmp(id, g_target.idcode, 32) != 0) {
        con_printf("\nYour JTAG ID:   %s\n", id);
        return -1;
    }
    con_printf("\nOK!, JTAG ID:   %s\n", id);
    return 0;
}

void run_idcode_check()
{
    if (chain_check_idcode() != 0)
        con_printf("Invalid JTAG ID\n");
}
