// SPDX-License-Identifier: Apache-2.0
// The CPUs the virtual board can carry, as their datasheets give them.
#pragma once

#include <cstdint>
#include <string_view>

namespace sim {

constexpr uint32_t kExtestInstruction = 0x0;
constexpr uint32_t kInstructionLength = 4;
constexpr uint32_t kMaxInstructionLength = 32;
constexpr uint32_t kNoInstruction = 0xFFFFFFFFu;  // a code no instruction register holds

struct CpuFacts {
    const char* name;
    uint32_t idcode;              // the 32-bit IDCODE register value
    uint32_t idcode_instruction;  // instruction register value (bit 0 shifted first)
    uint32_t bsr_length;          // boundary-scan cells
    uint32_t instruction_length = kInstructionLength;
    uint32_t extest_instruction = kExtestInstruction;
};

// nullptr for a name the board does not know (exact, case-sensitive).
const CpuFacts* find_cpu_facts(std::string_view name);

// All rows, for listing in messages and for tests.
const CpuFacts* cpu_facts_table(int* count);

}  // namespace sim
