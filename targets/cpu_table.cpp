// SPDX-License-Identifier: Apache-2.0
#include "targets/cpu_table.h"

#include <cstring>

#include "targets/cpu_targets.h"

std::span<const CpuTarget* const> cpu_table()
{
    static const CpuTarget* const kCpus[] = {&ktr5200_cpu, &uln_cpu, &paxon_cpu, &mirta_cpu};
    return kCpus;
}

const CpuTarget* cpu_select(const char* name)
{
    for (const CpuTarget* cpu : cpu_table())
        if (std::strcmp(name, cpu->name) == 0)
            return cpu;
    return nullptr;
}

int cpu_ncs_cell(const CpuTarget& cpu, uint32_t start_address) { return cpu.ncs_cells[start_address >> 29]; }

bool cpu_setup_fits(const CpuTarget& cpu, uint32_t data_bits)
{
    return cpu.flash_address_pins ? data_bits == cpu.pins.data_in.size() : data_bits <= cpu.pins.data_in.size();
}
