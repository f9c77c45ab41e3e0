// SPDX-License-Identifier: Apache-2.0
// The x86 byte port instructions. On the NT family they fault unless the process
// was given I/O permission first, which opening the giveio driver does.
#pragma once

#include <cstdint>

inline void x86_port_out(uint16_t port, uint8_t value)
{
    __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(port));
}

inline uint8_t x86_port_in(uint16_t port)
{
    uint8_t value;
    __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}
