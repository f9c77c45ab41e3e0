// SPDX-License-Identifier: Apache-2.0
// The virtual board's external bus: electrical rules, cycle counts, and the plain memory.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/bus.h"
#include "sim/memory_device.h"
#include "sim/sim_options.h"
#include "tests/support/sim_run.h"

namespace {

using sim::BusSignals;

constexpr uint8_t kRegion0 = 0xFE;  // nCS of region 0 low
constexpr uint8_t kRegion1 = 0xFD;

BusSignals pins(uint32_t address, uint32_t data, uint32_t driven, bool oe_n, bool we_n, uint8_t ncs_n)
{
    BusSignals s;
    s.address = address;
    s.data = data;
    s.data_driven = driven;
    s.oe_n = oe_n;
    s.we_n = we_n;
    s.ncs_n = ncs_n;
    return s;
}

struct RuleCase {
    const char* name;
    std::vector<BusSignals> updates;
    uint64_t violations;
    uint64_t reads;
    uint64_t writes;
};

const RuleCase kRuleCases[] = {
    {"write cycle, address and data set with WE# falling",
     {pins(0x10, 0x55, 0xFFFF, true, false, kRegion0), pins(0x10, 0x55, 0xFFFF, true, true, kRegion0)},
     0,
     0,
     1},
    {"address changes while WE# stays low",
     {pins(0x10, 0x55, 0xFFFF, true, false, kRegion0), pins(0x12, 0x55, 0xFFFF, true, false, kRegion0)},
     1,
     0,
     0},
    {"data changes while WE# stays low",
     {pins(0x10, 0x55, 0xFFFF, true, false, kRegion0), pins(0x10, 0x54, 0xFFFF, true, false, kRegion0)},
     1,
     0,
     0},
    {"data released while WE# stays low",
     {pins(0x10, 0x55, 0xFFFF, true, false, kRegion0), pins(0x10, 0x55, 0x0000, true, false, kRegion0)},
     1,
     0,
     0},
    {"new address in the update that raises WE#",
     {pins(0x10, 0x55, 0xFFFF, true, false, kRegion0), pins(0x20, 0x00, 0xFFFF, true, true, kRegion0)},
     0,
     0,
     1},
    {"OE# and WE# low together", {pins(0x10, 0, 0, false, false, kRegion1)}, 1, 1, 0},
    {"CPU drives while the selected device outputs", {pins(0x10, 0x55, 0xFFFF, false, true, kRegion0)}, 1, 1, 0},
    {"CPU drives with OE# low but the device not selected", {pins(0x10, 0x55, 0xFFFF, false, true, kRegion1)}, 0, 1, 0},
    {"read right after a write",
     {pins(0x10, 0x55, 0xFFFF, true, false, kRegion0), pins(0x10, 0x55, 0xFFFF, true, true, kRegion0),
      pins(0x10, 0x55, 0x0000, false, true, kRegion0), pins(0x10, 0x55, 0x0000, true, true, kRegion0)},
     0,
     1,
     1},
    {"every OE# falling edge is a read, selected or not",
     {pins(0, 0, 0, false, true, kRegion1), pins(0, 0, 0, true, true, kRegion1), pins(0, 0, 0, false, true, kRegion0),
      pins(0, 0, 0, false, true, kRegion0)},
     0,
     2,
     0},
};

void PrintTo(const RuleCase& c, std::ostream* out) { *out << c.name; }

class BusRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(BusRules, CountsCyclesAndViolations)
{
    const RuleCase& c = GetParam();
    sim::SimStats stats;
    sim::Bus bus(stats);
    bus.attach(std::make_unique<sim::MemoryDevice>(), 0);
    uint64_t now = 0;
    for (const BusSignals& update : c.updates)
        bus.set_signals(update, now += 1000);
    EXPECT_EQ(stats.rule_violations, c.violations);
    EXPECT_EQ(bus.violation_notes().size(), c.violations);
    EXPECT_EQ(stats.bus_reads, c.reads);
    EXPECT_EQ(stats.bus_writes, c.writes);
}

INSTANTIATE_TEST_SUITE_P(Cases, BusRules, ::testing::ValuesIn(kRuleCases),
                         [](const ::testing::TestParamInfo<RuleCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(Bus, KeepsTheFirstFewViolationDescriptions)
{
    sim::SimStats stats;
    sim::Bus bus(stats);
    for (int i = 0; i < 8; ++i)
        bus.set_signals(pins(0, 0, 0, i % 2 == 0, false, 0xFF), 0);
    EXPECT_EQ(stats.rule_violations, 4u);
    for (uint32_t address = 1; address <= 4; ++address)
        bus.set_signals(pins(address, 0, 0, true, false, 0xFF), 0);
    EXPECT_EQ(stats.rule_violations, 8u);
    ASSERT_EQ(bus.violation_notes().size(), sim::Bus::kNotesKept);
    EXPECT_NE(bus.violation_notes()[0].find("OE# and WE#"), std::string::npos);
    EXPECT_NE(bus.violation_notes()[4].find("address"), std::string::npos);
}

TEST(Bus, DataLevelsComeFromTheCpuThenTheSelectedDeviceThenThePullUps)
{
    sim::SimStats stats;
    sim::Bus bus(stats);
    auto& byte_wide = static_cast<sim::MemoryDevice&>(bus.attach(std::make_unique<sim::MemoryDevice>(0xFF), 2));
    byte_wide.store(0x40, 0x3C);

    bus.set_signals(pins(0x40, 0, 0, false, true, 0xFF), 0);
    EXPECT_EQ(bus.data_levels(0), 0xFFFFFFFFu) << "nothing drives";
    bus.set_signals(pins(0x40, 0, 0, false, true, 0xFB), 0);
    EXPECT_EQ(bus.data_levels(0), 0xFFFFFF3Cu) << "the device drives its eight lines";
    bus.set_signals(pins(0x40, 0x1200, 0xFF00, true, true, 0xFB), 0);
    EXPECT_EQ(bus.data_levels(0), 0xFFFF12FFu) << "the CPU drives the upper byte";
}

TEST(MemoryDevice, StoresOnWeRisingOnlyWhenEnabled)
{
    sim::SimStats stats;
    sim::Bus bus(stats);
    auto& memory = static_cast<sim::MemoryDevice&>(bus.attach(std::make_unique<sim::MemoryDevice>(0xFF), 0));
    // Deselected: ignored.
    bus.set_signals(pins(0x01, 0x11, 0xFF, true, false, kRegion1), 0);
    bus.set_signals(pins(0x01, 0x11, 0xFF, true, true, kRegion1), 0);
    // Selected, 16 lines driven into a byte-wide part.
    bus.set_signals(pins(0x02, 0xAB22, 0xFFFF, true, false, kRegion0), 0);
    bus.set_signals(pins(0x02, 0xAB22, 0xFFFF, true, true, kRegion0), 0);
    // Selected, nothing driven: the lines float high.
    bus.set_signals(pins(0x03, 0x00, 0x00, true, false, kRegion0), 0);
    bus.set_signals(pins(0x03, 0x00, 0x00, true, true, kRegion0), 0);

    ASSERT_EQ(memory.writes().size(), 2u);
    EXPECT_EQ(memory.writes()[0].address, 0x02u);
    EXPECT_EQ(memory.writes()[0].data, 0x22u);
    EXPECT_EQ(memory.writes()[1].data, 0xFFu);
    EXPECT_EQ(memory.load(0x01), 0xFFu) << "blank";
    EXPECT_EQ(memory.load(0x02), 0x22u);
    EXPECT_EQ(stats.rule_violations, 0u);
}

}  // namespace

namespace {

TEST(SimRegionOption, PicksTheChipSelectRegionOfTheBoardsDevice)
{
    struct Case {
        std::vector<std::string> args;
        bool ok;
        int region;
    };
    const Case cases[] = {
        {{}, true, 0},
        {{"--region", "7"}, true, 7},
        {{"--region=3"}, true, 3},
        {{"--region", "8"}, false, 0},
        {{"--region", "-1"}, false, 0},
        {{"--region", "x"}, false, 0},
        {{"--region"}, false, 0},
    };
    for (const Case& c : cases) {
        SimParsed parse = sim_parse(c.args);
        EXPECT_EQ(parse.ok(), c.ok) << parse.error;
        if (!c.ok) {
            EXPECT_EQ(parse.error.find('\n'), std::string::npos);
            continue;
        }
        const sim::BoardConfig config = sim_board_config(parse.options);
        EXPECT_EQ(config.region, c.region);
        EXPECT_TRUE(config.with_bus);
    }
}

}  // namespace
