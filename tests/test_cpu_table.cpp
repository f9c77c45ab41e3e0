// SPDX-License-Identifier: Apache-2.0
// The tool's CPU rows against the virtual board's own description of the same CPUs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/options.h"
#include "sim/cpu_facts.h"
#include "sim/cpu_pins.h"
#include "targets/cpu_table.h"

namespace {

uint32_t bits_value(const char* msb_first)
{
    uint32_t value = 0;
    for (int i = 0; i < 32; ++i)
        value = value << 1 | static_cast<uint32_t>(msb_first[i] - '0');
    return value;
}

// The instruction in shift order: character 0 is bit 0.
uint32_t instruction_value(const char* shift_order)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(shift_order[i] - '0') << i;
    return value;
}

TEST(CpuTable, EveryRowMatchesTheBoardsFactsAndWiring)
{
    int count = 0;
    const sim::CpuFacts* facts = sim::cpu_facts_table(&count);
    ASSERT_EQ(static_cast<size_t>(count), cpu_table().size());
    for (int i = 0; i < count; ++i) {
        const CpuTarget& cpu = *cpu_table()[static_cast<size_t>(i)];
        SCOPED_TRACE(cpu.name);
        // Looked up in the board's order, by the exact name.
        EXPECT_STREQ(cpu.name, facts[i].name);
        EXPECT_EQ(cpu_select(cpu.name), &cpu);
        EXPECT_EQ(bits_value(cpu.idcode), facts[i].idcode);
        EXPECT_EQ(instruction_value(cpu.idcode_instruction), facts[i].idcode_instruction);
        EXPECT_EQ(static_cast<uint32_t>(cpu.bsr_length), facts[i].bsr_length);
        EXPECT_LT(std::strlen(cpu.name), sizeof(RunOptions::cpu_name) - 1) << "a cut -C value must never match";

        sim::CpuModel model{};
        ASSERT_TRUE(sim::cpu_model_from_name(cpu.name, &model));
        const sim::CpuPins& wiring = sim::cpu_pins(model);
        for (uint32_t region = 0; region < 8; ++region) {
            int expected = kNoNcsCell;
            for (int cell = 0; cell < wiring.bsr_length; ++cell)
                if (wiring.cells[cell].role == sim::CellRole::ChipSelect && wiring.cells[cell].index == region)
                    expected = cell;
            const uint32_t first = region << 29;
            EXPECT_EQ(cpu_ncs_cell(cpu, first), expected) << "region " << region;
            EXPECT_EQ(cpu_ncs_cell(cpu, first + 0x1FFFFFFFu), expected) << "region " << region;
        }
    }
}

TEST(CpuTable, UnknownNamesAreRefused)
{
    for (const char* name : {"ktr5200", "KTR5200 ", " KTR5200", "KTR52000", "KTR520", "uln", "Mirta", "", "PAXON\t"})
        EXPECT_EQ(cpu_select(name), nullptr) << '"' << name << '"';
}

}  // namespace
