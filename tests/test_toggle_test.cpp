// SPDX-License-Identifier: Apache-2.0
// The pin toggle test: how it starts, how keys end it, and the cells of its passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "app/console_host.h"
#include "jtag/lpt_cable.h"
#include "sim/board.h"
#include "targets/cpu_table.h"
#include "targets/selected_target.h"
#include "tests/support/fake_platform.h"
#include "tests/support/sim_run.h"

namespace {

constexpr uint64_t kStartWrites = 3 + 5 * 2 + (4 + 7) * 2;  // park, TAP reset, EXTEST
constexpr char kBanner[] = "\nOutput toggled value to all pin\n Enter ESC to EXIT\n";

uint64_t dr_scan_writes(int length) { return static_cast<uint64_t>(length + 6) * 2; }

uint64_t port_writes(const FakePlatform& console) { return console.writes_to(0x378).size(); }

Status run_toggle(FakePlatform& console, const char* cpu)
{
    platform_install(&console);
    LptCable cable(console, 0x378);
    JtagChain chain(cable);
    SelectedTarget target(*cpu_select(cpu), chain);
    ConsoleHost host(true);
    return toggle_test(chain, host, target.bsr_image(), target.bsr_length(), target.cpu().toggle).status;
}

struct KeyCase {
    const char* name;
    const char* cpu;
    std::string keys;
    bool input_closed;
    int passes;  // DR scans before the end
};

const KeyCase kKeyCases[] = {
    {"EscBeforeTheFirstPass", "KTR5200", "\x1b", false, 0}, {"OtherKeyIsConsumed", "KTR5200", "a\x1b", false, 1},
    {"OneKeyPerPass", "MIRTA", "xy\x1b", false, 2},         {"EndOfInputEndsTheTest", "ULN", "", true, 0},
    {"EndOfInputAfterAKey", "ULN", "q", true, 1},
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class ToggleKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ToggleKeys, EndsAtEscOrAtTheEndOfInput)
{
    const KeyCase& c = GetParam();
    FakePlatform console;
    console.type(c.keys);
    console.input_closed = c.input_closed;
    EXPECT_EQ(run_toggle(console, c.cpu), Status::cancelled);
    EXPECT_EQ(console.console, kBanner) << "keys are read without a trace";
    EXPECT_EQ(port_writes(console),
              kStartWrites + static_cast<uint64_t>(c.passes) * dr_scan_writes(cpu_select(c.cpu)->bsr_length));
    EXPECT_EQ(console.keys_left(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ToggleKeys, ::testing::ValuesIn(kKeyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

}  // namespace

// ---- The toggle test on the virtual board, against the cell groups of each CPU. ----

namespace {

// Cell lists written as "1-7 8-76/2 78": single cells, ranges, and ranges with a step.
std::vector<int> cells(const std::string& text)
{
    std::vector<int> list;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        int first = 0, last = 0, step = 1;
        char dash = 0, slash = 0;
        std::istringstream item(word);
        item >> first;
        last = first;
        if (item >> dash)
            item >> last;
        if (item >> slash)
            item >> step;
        for (int cell = first; cell <= last; cell += step)
            list.push_back(cell);
    }
    return list;
}

struct Groups {
    const char* cpu;
    int length;
    const char* toggled;  // in visiting order
    const char* fixed_one;
    const char* fixed_zero;
    const char* untouched;
    bool alternate;
};

void PrintTo(const Groups& g, std::ostream* out) { *out << g.cpu; }

const Groups kGroups[] = {
    {"KTR5200", 298,
     "1-7 8-76/2 78 79 81-95 96-114/2 129 133 135 137-142 144-158 159-225/2 227-236 237-245/2 246-255 257-265 "
     "266-296/2",
     "116 118 120 122 124 126 127 128 131", "9-77/2 80 97-125/2 130-136/2 143 160-226/2 238-244/2 256 267-297/2", "0",
     false},
    {"MIRTA", 298,
     "1 2 4 6 8 10 11-57 59 60 62 63 64-80/2 84-148/2 152-168/2 170 171 173 175 176 187-221/2 223-239 240-254/2 "
     "256-260 262-264 265-295/2",
     "3 5 7 9 58 61 65-169/2 82 150 172 174 177-185 188-222/2 241-255/2 261 266-296/2", "", "0 186 297", false},
    {"ULN", 185, "0-16 17-41/2 43-48 49-183/2", "39 41 51 53 55 57 59", "18-42/2 50-184/2", "", true},
};

struct ToggleRun {
    SimRun run;
    std::vector<std::string> scans;  // the boundary-scan cells of each Update-DR
    std::string image;               // the default image of the CPU
};

ToggleRun run_toggle_on_board(const std::vector<std::string>& sim_options, const char* cpu)
{
    ToggleRun result;
    SimSession session(sim_options);
    session.board().tap().on_update_dr = [&result](sim::DataRegister reg, const uint8_t* latched, uint32_t length) {
        std::string scan(length, '?');
        for (uint32_t i = 0; i < length; ++i)
            scan[i] = latched[i] ? '1' : '0';
        result.scans.push_back(reg == sim::DataRegister::Boundary ? scan : "not the boundary register");
    };
    result.run = session.run({"-C", cpu, "-t"});
    result.image = cpu_select(cpu)->default_image;
    return result;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class ToggleGroups : public ::testing::TestWithParam<Groups> {};

TEST_P(ToggleGroups, ListsCoverEveryCellOnce)
{
    const Groups& g = GetParam();
    std::vector<int> seen(static_cast<size_t>(g.length), 0);
    for (const char* list : {g.toggled, g.fixed_zero, g.untouched})
        for (int cell : cells(list))
            ++seen[static_cast<size_t>(cell)];
    if (!g.alternate)  // ULN visits its fixed '1' cells among the toggled ones
        for (int cell : cells(g.fixed_one))
            ++seen[static_cast<size_t>(cell)];
    for (int cell = 0; cell < g.length; ++cell)
        EXPECT_EQ(seen[static_cast<size_t>(cell)], 1) << g.cpu << " cell " << cell;
}

TEST_P(ToggleGroups, TwoPassesCarryTheGroupsAndEscEnds)
{
    const Groups& g = GetParam();
    ToggleRun t = run_toggle_on_board({"--cpu", g.cpu, "--key-after", "2:\\e"}, g.cpu);
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(ends_with(t.run.console, kBanner)) << t.run.console;
    EXPECT_EQ(t.run.stats.ir_scans, 1u);
    ASSERT_EQ(t.scans.size(), 2u);
    ASSERT_EQ(t.scans[0].size(), static_cast<size_t>(g.length));

    const std::vector<int> fixed_one = cells(g.fixed_one);
    auto is_fixed_one = [&fixed_one](int cell) {
        return std::find(fixed_one.begin(), fixed_one.end(), cell) != fixed_one.end();
    };
    for (int pass = 0; pass < 2; ++pass) {
        const std::string& scan = t.scans[static_cast<size_t>(pass)];
        const char value = pass == 0 ? '0' : '1';
        int visited = 0;
        for (int cell : cells(g.toggled)) {
            const char expected = g.alternate && visited++ % 2 ? (value == '0' ? '1' : '0') : value;
            if (!is_fixed_one(cell)) {
                EXPECT_EQ(scan[static_cast<size_t>(cell)], expected) << g.cpu << " pass " << pass << " cell " << cell;
            }
        }
        for (int cell : fixed_one)
            EXPECT_EQ(scan[static_cast<size_t>(cell)], '1') << g.cpu << " pass " << pass << " cell " << cell;
        for (int cell : cells(g.fixed_zero))
            EXPECT_EQ(scan[static_cast<size_t>(cell)], '0') << g.cpu << " pass " << pass << " cell " << cell;
        for (int cell : cells(g.untouched))
            EXPECT_EQ(scan[static_cast<size_t>(cell)], t.image[static_cast<size_t>(cell)]) << g.cpu << " cell " << cell;
    }
    // Exactly the toggled cells differ between the passes.
    std::vector<int> toggled;
    for (int cell : cells(g.toggled))
        if (!is_fixed_one(cell))
            toggled.push_back(cell);
    for (int cell = 0; cell < g.length; ++cell) {
        const bool flips = std::find(toggled.begin(), toggled.end(), cell) != toggled.end();
        EXPECT_EQ(t.scans[0][static_cast<size_t>(cell)] != t.scans[1][static_cast<size_t>(cell)], flips)
            << g.cpu << " cell " << cell;
    }
}

INSTANTIATE_TEST_SUITE_P(Cpus, ToggleGroups, ::testing::ValuesIn(kGroups),
                         [](const ::testing::TestParamInfo<Groups>& info) { return std::string(info.param.cpu); });

TEST(ToggleOnBoard, UlnAlternatesFromCellZero)
{
    ToggleRun t = run_toggle_on_board({"--cpu", "ULN", "--key-after", "2:\\e"}, "ULN");
    ASSERT_EQ(t.scans.size(), 2u);
    EXPECT_EQ(t.scans[0].substr(0, 20), "01010101010101010100");
    EXPECT_EQ(t.scans[1].substr(0, 20), "10101010101010101001");
}

TEST(ToggleOnBoard, EscBeforeTheFirstPassScansNothing)
{
    ToggleRun t = run_toggle_on_board({"--cpu", "MIRTA", "--keys", "\\e"}, "MIRTA");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(ends_with(t.run.console, kBanner));
    EXPECT_EQ(t.run.stats.ir_scans, 1u);
    EXPECT_TRUE(t.scans.empty());
}

TEST(ToggleOnBoard, OtherKeyIsConsumedSilently)
{
    ToggleRun t = run_toggle_on_board({"--cpu", "KTR5200", "--keys", "a", "--key-after", "1:\\e"}, "KTR5200");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(ends_with(t.run.console, kBanner)) << t.run.console;
    EXPECT_EQ(t.scans.size(), 1u);
}

TEST(ToggleOnBoard, PaxonPrintsItsBannerAndDrivesNoPin)
{
    ToggleRun t = run_toggle_on_board({"--cpu", "PAXON", "--keys", ""}, "PAXON");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(ends_with(t.run.console, "PAXON BOUNDARY TEST\n")) << t.run.console;
    EXPECT_EQ(t.run.stats.ir_scans, 0u);
    EXPECT_TRUE(t.scans.empty());
    EXPECT_EQ(t.run.stats.bus_reads + t.run.stats.bus_writes + t.run.stats.rule_violations, 0u);
}

}  // namespace
