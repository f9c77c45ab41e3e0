// TAP walks and scans of BitStrings ('0'/'1' characters, character 0 shifted first).
#pragma once

#include <cstdint>

void tap_reset();
void jtag_scan_ir(uint8_t length, const char* bits);
void jtag_scan_dr(const char* bits, uint32_t length);
// `capture` may be `bits` itself; it receives `length` characters and no terminator.
void jtag_scan_dr_capture(const char* bits, char* capture, uint32_t length);
void bitstring_reverse32(char* bits);
