// SPDX-License-Identifier: Apache-2.0
#include "sim/cpu_facts.h"

#include <iterator>

namespace sim {

namespace {
// KTR5200 and ULN are two packagings of one die: same IDCODE and instruction
// codes, different pin-outs and so different boundary-scan lengths.
constexpr CpuFacts kCpus[] = {
    {"KTR5200", 0x1B4E20D3, 0xD, 298},
    {"ULN", 0x1B4E20D3, 0xD, 185},
    {"PAXON", 0x0093A0C5, 0x1, 412},
    {"MIRTA", 0x0C4D7E2F, 0xA, 298},
};
}  // namespace

const CpuFacts* find_cpu_facts(std::string_view name)
{
    for (const CpuFacts& cpu : kCpus)
        if (name == cpu.name)
            return &cpu;
    return nullptr;
}

const CpuFacts* cpu_facts_table(int* count)
{
    *count = static_cast<int>(std::size(kCpus));
    return kCpus;
}

}  // namespace sim
