#include "targets/bus_cycles.h"

#include "jtag/tap.h"
#include "targets/cpu_table.h"

char g_capture[kMaxBsrLength];

void bsr_set_chip_enable(char* image, char level)
{
    image[g_target.ncs_cell] = level;
    jtag_scan_dr(image, static_cast<uint32_t>(g_target.bsr_length));
}
