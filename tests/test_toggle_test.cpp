// The pin toggle test: how it starts, how keys end it, and the cells of its passes.
#include <gtest/gtest.h>

#include <string>

#include "app/exit.h"
#include "jtag/cable.h"
#include "targets/cpu_table.h"
#include "tests/support/recording_platform.h"

namespace {

constexpr uint64_t kStartWrites = 3 + 5 * 2 + (4 + 7) * 2;  // park, TAP reset, EXTEST
constexpr char kBanner[] = "\nOutput toggled value to all pin\n Enter ESC to EXIT\n";

uint64_t dr_scan_writes(int length) { return static_cast<uint64_t>(length + 6) * 2; }

uint64_t port_writes(const RecordingPlatform& console) { return console.writes_to(0x378).size(); }

struct Ended {
    int status = -1;
    bool returned = false;
};

Ended run_toggle(RecordingPlatform& console, const char* cpu)
{
    platform_install(&console);
    cable_init();
    g_port_base = 0x378;
    cpu_target_init();
    EXPECT_EQ(cpu_select(cpu), 0);
    Ended ended;
    try {
        g_target.ops.toggle_test(g_target.bsr_image, 2);
        ended.returned = true;
    } catch (const ExitRequest& request) {
        ended.status = request.status;
    }
    return ended;
}

struct KeyCase {
    const char* name;
    const char* cpu;
    std::string keys;
    bool input_closed;
    int passes;  // DR scans before the end
};

const KeyCase kKeyCases[] = {
    {"EscBeforeTheFirstPass", "KTR5200", "\x1b", false, 0},
    {"OtherKeyIsConsumed", "KTR5200", "a\x1b", false, 1},
    {"OneKeyPerPass", "MIRTA", "xy\x1b", false, 2},
    {"EndOfInputEndsTheTest", "ULN", "", true, 0},
    {"EndOfInputAfterAKey", "ULN", "q", true, 1},
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class ToggleKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ToggleKeys, EndsWithStatusZero)
{
    const KeyCase& c = GetParam();
    RecordingPlatform console;
    for (char key : c.keys)
        console.keys.push_back(static_cast<unsigned char>(key));
    console.input_closed = c.input_closed;
    const Ended ended = run_toggle(console, c.cpu);
    EXPECT_FALSE(ended.returned);
    EXPECT_EQ(ended.status, 0);
    EXPECT_EQ(console.console, kBanner) << "keys are read without a trace";
    EXPECT_EQ(port_writes(console), kStartWrites + static_cast<uint64_t>(c.passes) * dr_scan_writes(g_target.bsr_length));
    EXPECT_TRUE(console.keys.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ToggleKeys, ::testing::ValuesIn(kKeyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(ToggleTest, PaxonOnlyPrintsItsBanner)
{
    RecordingPlatform console;
    const std::string before = (cpu_target_init(), cpu_select("PAXON"), std::string(g_target.bsr_image));
    const Ended ended = run_toggle(console, "PAXON");
    EXPECT_TRUE(ended.returned);
    EXPECT_EQ(console.console, "PAXON BOUNDARY TEST\n");
    EXPECT_EQ(port_writes(console), 0u);
    EXPECT_EQ(std::string(g_target.bsr_image), before);
}

}  // namespace
