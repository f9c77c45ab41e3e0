// SPDX-License-Identifier: Apache-2.0
// The supported CPUs, in the order a name is looked up.
#pragma once

#include <cstdint>
#include <span>

#include "targets/cpu_target.h"

std::span<const CpuTarget* const> cpu_table();

// The row whose name equals `name` exactly (case-sensitive), or nullptr.
const CpuTarget* cpu_select(const char* name);

// Whether a bus `data_bits` wide may be tried: a bus map's data pins are the whole bus, so it
// must use them all; a built-in CPU carries any narrower bus on its low pins.
bool cpu_setup_fits(const CpuTarget& cpu, uint32_t data_bits);

// The chip-select cell of the 512 MB region that holds `start_address`; kNoNcsCell where the
// CPU has none.
int cpu_ncs_cell(const CpuTarget& cpu, uint32_t start_address);

// Where `address` lies in its 512 MB chip-select region: the flash on that chip select sees
// this as its own address.
constexpr uint32_t cpu_region_offset(uint32_t address) { return address & 0x1FFFFFFFu; }
