// The parallel-port JTAG cable: TDI, TMS, TCK and line 3 on data bits 0 to 3,
// TDO on status bit 6. Every TCK edge is one port write.
#pragma once

#include <cstdint>

// The detected port base; 0 until a port was found.
extern uint16_t g_port_base;

void cable_init();             // port base back to 0
uint16_t lpt_find_port();      // probes 0x378, 0x278, 0x3BC; the last that echoes wins
void lpt_clock(uint8_t bits);  // bit 0 = TDI, bit 1 = TMS; two writes
int lpt_read_tdo();            // status bit 6
void cable_park();             // 0x08, 0x00, 0x08
