// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/exit.h"
#include "app/options.h"
#include "app/tool_main.h"
#include "tests/support/fake_platform.h"
#include "tests/support/sim_run.h"

namespace {

// The banner and the usage carry the version the build and the package are made with.
const std::string kBanner =
    "  ***********  TARN JTAG NOR  **********\n"
    "  ***********  VERSION: " TARNFLASH_VERSION_TEXT "  **********\n";

// --version: the licence, and whether this build has the USB cable's transport.
#ifdef TARNFLASH_USB_FTDI
const std::string kUsbCable = "USB cable: built in (libftdi1)\n";
#else
const std::string kUsbCable = "USB cable: not built in (the parallel-port cable only)\n";
#endif
const std::string kVersion = "tarnflash " TARNFLASH_VERSION_TEXT "\nLicence: Apache-2.0\n" + kUsbCable;

const std::string kUsage =
    "\n"
    "JTAG NOR Flash Writer : VER " TARNFLASH_VERSION_TEXT
    "\n"
    "OPTIONS:\n"
    "  -C[CPU NAME]        : KTR5200, ULN, MIRTA, ... \n"
    "  -w[bus wibth]       : Flash's bus width (8 or 16) \n"
    "  -i[Flash Interleave]: 1 or 2 \n"
    "  -o[offset](hex/dec) : Specify start address, default 0 \n"
    "  -f[filename]        : Specify binary file\n"
    "  -e[size] / -eall    : Specify ereasing size / erase all\n"
    "  -j                  : Verify KTR5200 JTAG ID\n"
    "  -t      : Output to all pin with toggled value, without nCS pins\n"
    "\n"
    "Run 'tarnflash --help' for every option.\n";

const std::string kNoCpu =
    "Invalid Option\n"
    "Type your CPU name with '-C' option\n\n"
    "   ex: -C KTR5200, -C ULN, -C MIRTA\n\n" +
    kUsage;

const std::string kInvalid = "Invalid Option\n" + kUsage;

std::string slash_hint(const std::string& attached)
{
    return "A value that begins with '/' is read as an option: attach it (" + attached + ") or use a relative path.\n";
}

const std::string kCpuNames = "Supported CPUs: KTR5200, ULN, PAXON, MIRTA";
const std::string kHelpHint = "Run 'tarnflash --help' for the options.\n";

constexpr uint16_t kBase = 0x378;
const std::vector<uint8_t> kPark = {0x08, 0x00, 0x08};
const std::vector<uint8_t> kReset = {0x0A, 0x0E, 0x0A, 0x0E, 0x0A, 0x0E, 0x0A, 0x0E, 0x0A, 0x0E};

std::vector<uint8_t> join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The probe byte, then park and TAP reset at start.
const std::vector<uint8_t> kStartUp = join(join({0x55}, kPark), kReset);

// What the cable sees on the way out, after start-up; `untouched`: no port access at all.
enum class Way { none, park, reset_park, untouched };

std::vector<uint8_t> way_bytes(Way way)
{
    switch (way) {
    case Way::none:
    case Way::untouched:
        return {};
    case Way::park:
        return kPark;
    case Way::reset_park:
        return join(kReset, kPark);
    }
    return {};
}

int run_tool(FakePlatform& platform, std::vector<std::string> words)
{
    words.insert(words.begin(), "tarnflash");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return tool_main(static_cast<int>(words.size()), argv.data(), platform);
}

// Writes to the data register after the start-up sequence.
std::vector<uint8_t> after_start_up(const FakePlatform& platform, uint16_t base = kBase)
{
    std::vector<uint8_t> writes = platform.writes_to(base);
    if (writes.size() < kStartUp.size() || !std::equal(kStartUp.begin(), kStartUp.end(), writes.begin()))
        return {0xEE};  // marks a broken start-up
    return std::vector<uint8_t>(writes.begin() + static_cast<long>(kStartUp.size()), writes.end());
}

struct EndCase {
    const char* label;
    std::vector<std::string> args;
    std::string printed;  // after the banner
    int status;
    Way way;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.label; }

class ToolEnd : public testing::TestWithParam<EndCase> {};

TEST_P(ToolEnd, PrintsExitsAndLeavesTheCable)
{
    const EndCase& c = GetParam();
    FakePlatform platform;
    EXPECT_EQ(run_tool(platform, c.args), c.status);
    EXPECT_EQ(platform.console, kBanner + c.printed);
    if (c.way == Way::untouched)
        EXPECT_TRUE(platform.events.empty());
    else
        EXPECT_EQ(after_start_up(platform), way_bytes(c.way));
}

// The added lines: a value missing or refused, an unknown option, options of different jobs.
std::string takes(const std::string& o, const std::string& what)
{
    return kInvalid + o + " without a value: " + o + " takes " + what + "\n";
}
std::string bad(const std::string& o, const std::string& v, const std::string& what)
{
    return "** Error: invalid number '" + v + "'\n" + o + " '" + v + "': " + o + " takes " + what + "\n";
}
std::string unknown(const std::string& option) { return kInvalid + "unknown option " + option + "\n"; }
std::string apart(const std::string& a, const std::string& b)
{
    return a + " and " + b + " cannot be combined: " + a +
           (a == "-j" ? " only checks the JTAG IDCODE\n" : " only toggles the boundary-scan pins\n");
}
const std::string kAddress = "a start address, decimal or 0x hex";
const std::string kSize = "a size in bytes, decimal or 0x hex, or all";
const std::string kBlock = "an erase block number, decimal or 0x hex";
const std::string kModels =
    "a flash model (S29AL008D, S29AL004D, EN29LV040A, AM29LV040B, S29GL064M, K8D6316, "
    "S29GL128N, SST39VF6401)";
const std::string kLong(1100, 'a');

INSTANTIATE_TEST_SUITE_P(
    FailureTable, ToolEnd,
    testing::Values(
        EndCase{"NoArgument", {}, kUsage, 1, Way::reset_park},
        EndCase{
            "CpuWithoutValue", {"-C"}, takes("-C", "a CPU name (" + kCpuNames.substr(16) + ")"), 1, Way::reset_park},
        EndCase{"ModelWithoutValue", {"-C", "KTR5200", "-F"}, takes("-F", kModels), 1, Way::reset_park},
        EndCase{"WidthWithoutValue", {"-C", "KTR5200", "-w"}, takes("-w", "8 or 16"), 1, Way::reset_park},
        EndCase{"InterleaveWithoutValue", {"-i", "-C", "KTR5200"}, takes("-i", "1 or 2"), 1, Way::reset_park},
        EndCase{"OffsetWithoutValue", {"-C", "KTR5200", "-o"}, takes("-o", kAddress), 1, Way::reset_park},
        EndCase{"EraseWithoutValue", {"-C", "KTR5200", "-e"}, takes("-e", kSize), 1, Way::reset_park},
        EndCase{"FileWithoutValue", {"-C", "KTR5200", "-f"}, takes("-f", "the image file"), 1, Way::reset_park},
        EndCase{"FileValueLikeAnOption",
                {"-C", "KTR5200", "-f", "/img.bin"},
                kInvalid + slash_hint("-f/img.bin"),
                1,
                Way::untouched},
        EndCase{"SlashOptionValueLikeAnOption", {"/C", "/x"}, kInvalid + slash_hint("/C/x"), 1, Way::untouched},
        EndCase{"FileFollowedByAnOption", {"-f", "-C", "KTR5200"}, takes("-f", "the image file"), 1, Way::reset_park},
        EndCase{"BadWidth", {"-C", "KTR5200", "-w", "1x"}, bad("-w", "1x", "8 or 16"), 1, Way::reset_park},
        EndCase{"BadInterleave", {"-C", "KTR5200", "-i0x"}, bad("-i", "0x", "1 or 2"), 1, Way::reset_park},
        EndCase{"BadOffset",
                {"-C", "KTR5200", "-o", "0x100000000"},
                bad("-o", "0x100000000", kAddress),
                1,
                Way::reset_park},
        EndCase{"LongBadValueIsPrintedWhole",
                {"-C", "KTR5200", "-w", kLong},
                bad("-w", kLong, "8 or 16"),
                1,
                Way::reset_park},
        EndCase{"BadEraseSize", {"-C", "KTR5200", "-eALL"}, bad("-e", "ALL", kSize), 1, Way::reset_park},
        // A -b fault skips the checks and the mode and only parks the cable, but it is a failure.
        EndCase{"BlockWithoutValue", {"-C", "KTR5200", "-b"}, takes("-b", kBlock), 1, Way::park},
        EndCase{
            "BlockValueLikeAnOption", {"-C", "KTR5200", "-b", "/3"}, kInvalid + slash_hint("-b/3"), 1, Way::untouched},
        EndCase{"BadBlock", {"-C", "KTR5200", "-b", "4294967296"}, bad("-b", "4294967296", kBlock), 1, Way::park},
        EndCase{"BadBlockSkipsChecks", {"-b", "z"}, bad("-b", "z", kBlock), 1, Way::park},
        EndCase{"OnlyAttachedOffset", {"-o0x100"}, kInvalid, 1, Way::none},
        EndCase{"OnlySeparateOffset", {"-o", "0x100"}, kNoCpu, 1, Way::none},
        EndCase{"NoCpu", {"-j", "-w", "16"}, kNoCpu, 1, Way::none},
        // Refused before any port is touched.
        EndCase{"UnknownOption", {"-x", "-C", "KTR5200", "-j"}, unknown("-x"), 1, Way::untouched},
        // A file for a player: what only the board could say is refused, and no port is touched.
        EndCase{"SvfWithDetect",
                {"--svf", "j.svf", "-C", "KTR5200", "--detect", "-w", "16", "-i", "1", "-e", "1"},
                "--svf cannot detect the flash: the file is written without the board, give -F, -w and -i\n",
                1,
                Way::untouched},
        EndCase{"SvfWithoutModel",
                {"--svf", "j.svf", "-C", "KTR5200", "-w", "16", "-i", "1", "-e", "1"},
                "--svf needs the flash model: give -F\n",
                1,
                Way::untouched},
        EndCase{"SvfWithoutSetUp",
                {"--svf", "j.svf", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-e", "1"},
                "--svf needs the bus set-up: give -w and -i\n",
                1,
                Way::untouched},
        EndCase{"SvfGeometryOnlyTheChipKnows",
                {"--svf", "j.svf", "-C", "KTR5200", "-F", "K8D6316", "-w", "16", "-i", "1", "-e", "1"},
                "--svf needs a geometry known in advance: K8D6316 reads its blocks from the chip's CFI table\n",
                1,
                Way::untouched},
        EndCase{"SvfChainWithoutDevice",
                {"--svf", "j.svf", "--chain", "4,6", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1"},
                "--svf cannot read the chain: give --chain L0,L1,... and --device N\n",
                1,
                Way::untouched},
        EndCase{"SvfDevicePastTheChain",
                {"--svf", "j.svf", "--chain", "4,6", "--device", "2", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16",
                 "-i", "1"},
                "Bad --chain or --device: IR lengths L0,L1,... and a position among them, 0 nearest TDO\n",
                1,
                Way::untouched},
        EndCase{"SvfBadRate",
                {"--svf", "j.svf", "--tck-hz", "0", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1"},
                "Bad --tck-hz 0: the TCK rate the file's waits are counted at\n",
                1,
                Way::untouched},
        EndCase{"SvfUnwritable",
                {"--svf", "/nonexistent/j.svf", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-e", "1"},
                "Cannot write /nonexistent/j.svf\n",
                1,
                Way::untouched},
        EndCase{"SvfWithACable",
                {"--svf", "j.svf", "--cable", "xvc:localhost", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1"},
                "--svf drives no cable: leave out --cable and --cable-config\n",
                1,
                Way::untouched},
        EndCase{"SvfWithoutJob", {"--svf", "j.svf"}, "--svf needs a job: -C or --bsdl, -F, -w, -i and -f or -e\n", 1,
                Way::untouched},
        // A job that fails writes no file, and says so in a line of its own.
        EndCase{"SvfOfAFailingJob",
                {"--svf", "j.svf", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-e", "1", "-o",
                 "0x1000"},
                "\nOK!, JTAG ID:   00011011010011100010000011010011\nMaker ID = 0x0001, Device ID = 0x22DA\n"
                "Typical timeout for word write:   7[us]\nTypical timeout for buffer write: 0[us]\n"
                "Typical timeout for block erase:  1000[ms]\nTypical timeout for chip erase:   14000[ms]\n"
                "Block region #0   block numbers :  15, size: 64[KB]\n"
                "Block region #1   block numbers :   1, size: 32[KB]\n"
                "Block region #2   block numbers :   2, size: 8[KB]\n"
                "Block region #3   block numbers :   1, size: 16[KB]\nDevice size: 1024[KBytes]\n"
                "Not alignd writing address\nThe start must be on an erase block (0x10000 bytes here): the nearest are "
                "0x00000000 and 0x00010000\nNo SVF written\n",
                1,
                Way::untouched},
        EndCase{"SvfReadsNothing",
                {"--svf", "j.svf", "--read", "b.bin", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1"},
                "--svf writes an erase or programming job: --read, --verify, -j and -t need the board\n",
                1,
                Way::untouched},
        EndCase{"UnknownLong", {"-e", "1", "--raed", "b"}, unknown("--raed (did you mean --read?)"), 1, Way::untouched},
        EndCase{"UnknownWithValue",
                {"--cabel-id=1"},
                unknown("--cabel-id=1 (did you mean --cable-id?)"),
                1,
                Way::untouched},
        EndCase{"UnknownLongFarFromAll", {"-C", "KTR5200", "--frobnicate"}, unknown("--frobnicate"), 1, Way::untouched},
        EndCase{"ClassicWithTwoDashes", {"--eall"}, unknown("--eall (did you mean -eall?)"), 1, Way::untouched},
        EndCase{"DashValueMustBeAttached",
                {"-e", "-1"},
                kInvalid + "-e -1: a value that begins with '-' must be "
                           "attached, -e-1\n",
                1,
                Way::untouched},
        // The scan's own error comes before the combination refusal.
        EndCase{"BadBlockBeforeCombination",
                {"-C", "KTR5200", "-b", "x1", "-j"},
                bad("-b", "x1", kBlock),
                1,
                Way::untouched},
        EndCase{
            "BadSizeBeforeCombination", {"-eALL", "-C", "KTR5200", "-t"}, bad("-e", "ALL", kSize), 1, Way::untouched},
        EndCase{
            "NoFileBeforeCombination", {"-C", "KTR5200", "-f", "-j"}, takes("-f", "the image file"), 1, Way::untouched},
        EndCase{"IdcodeWithImage", {"-C", "KTR5200", "-f", "a.bin", "-j"}, apart("-j", "-f"), 1, Way::untouched},
        EndCase{"ToggleWithErase", {"-C", "KTR5200", "-eall", "-t"}, apart("-t", "-e"), 1, Way::untouched},
        EndCase{"IdcodeWithToggle", {"-t", "-C", "KTR5200", "-j"}, apart("-j", "-t"), 1, Way::untouched},
        EndCase{"ToggleWithBlock", {"-C", "KTR5200", "-t", "-b", "2"}, apart("-t", "-b"), 1, Way::untouched},
        EndCase{"IdcodeWithRead", {"-C", "KTR5200", "-j", "--read", "b"}, apart("-j", "--read"), 1, Way::untouched},
        EndCase{"ToggleWithVerify", {"-C", "KTR5200", "--verify=a", "-t"}, apart("-t", "--verify"), 1, Way::untouched},
        EndCase{"IdcodeWithUpdate", {"-C", "KTR5200", "--update", "-j"}, apart("-j", "--update"), 1, Way::untouched},
        // From the build folder, where the tests run.
        EndCase{"FreeFileInAnErase",
                {"-C", "KTR5200", "-e1", "../boards/uln.bsd"},
                "../boards/uln.bsd is not an option: a job that erases or programs takes no free argument (did you "
                "mean -f ../boards/uln.bsd?)\n",
                1,
                Way::untouched},
        EndCase{"UnknownCpu",
                {"-C", "ktr5200", "-j"},
                "Not or Yet support for ktr5200\n" + kCpuNames + " (case-sensitive: did you mean -C KTR5200?)\n",
                1,
                Way::none},
        EndCase{"CutCpuNameMatchesNothing",
                {"-C", "KTR5200KTR5200KTR5200", "-j"},
                "Not or Yet support for KTR5200KTR5200K\n" + kCpuNames + "\n",
                1,
                Way::none}),
    [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.label); });

// A '/' word after any option that takes a value is that value, whichever option its letter names.
TEST(ToolStartUp, SlashValueIsRefusedForEveryOptionLetter)
{
    for (const char* option : {"-C", "-F", "-w", "-i", "-o", "-e", "-f", "-b"})
        for (const char* value : {"/tmp/x.bin", "/jobs/x", "/C/x", "/home/x"}) {
            FakePlatform platform;
            EXPECT_EQ(run_tool(platform, {"-C", "KTR5200", option, value, "-F", "S29AL008D"}), 1);
            EXPECT_EQ(platform.console, kBanner + kInvalid + slash_hint(std::string(option) + value))
                << option << value;
            EXPECT_TRUE(platform.events.empty());
        }
}

// Answered, or refused, before a port is reached: nothing is written to one.
TEST(ToolStartUp, PortlessEndsTouchNoPort)
{
    const std::string refused = "Cannot access the parallel port: ioperm: Operation not permitted";
    FakePlatform help;
    EXPECT_EQ(run_tool(help, {"--help"}), 0);
    for (const char* option :
         {"-F MODEL", "-b BLOCK", "-eall", "--read FILE", "--cable ftdi", "--detect", "--unlock-all", "--version",
          "--cable jlink", "--gpio-pins"})
        EXPECT_NE(help.console.find(option), std::string::npos) << option;
    const struct {
        std::vector<std::string> args;
        std::string printed;
        int status;
    } cases[] = {
        {{"-C", "KTR5200", "-j"}, kBanner + refused + "\n", 1},
        {{"-C", "ULN", "-CKTR5200", "-w", "8", "-w16", "--device", "0", "--device=1", "-j"},
         kBanner +
             "--device 1 replaces the earlier --device 0\n-C KTR5200 replaces the earlier -C ULN\n"
             "-w 16 replaces the earlier -w 8\n" +
             refused + "\n",
         1},
        {{}, kBanner + refused + "\n" + kHelpHint, 1},
        {{"--version"}, kVersion, 0},
        {{"-h"}, help.console, 0},
        {{"-C", "KTR5200", "--help"}, help.console, 0},
        {{"--help=all"}, kBanner + "option --help takes no value\n", 1},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.access_failure = refused.c_str();
        EXPECT_EQ(run_tool(platform, c.args), c.status) << c.printed;
        EXPECT_EQ(platform.console, c.printed);
        EXPECT_TRUE(platform.events.empty());
    }
}

TEST(ToolStartUp, NoPortEndsAfterTheProbes)
{
    FakePlatform bare(std::set<uint16_t>{});
    EXPECT_EQ(run_tool(bare, {}), 1);
    EXPECT_EQ(bare.console, kBanner + "Cannot get LPT PORT\n" + kHelpHint);

    FakePlatform platform(std::set<uint16_t>{});
    EXPECT_EQ(run_tool(platform, {"-C", "KTR5200", "-j"}), 1);
    EXPECT_EQ(platform.console, kBanner + "Cannot get LPT PORT\n");
    ASSERT_EQ(platform.events.size(), 6u);
    const uint16_t probed[] = {0x378, 0x278, 0x3BC};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(platform.events[2 * i].port, probed[i]);
        EXPECT_EQ(platform.events[2 * i].kind, 'W');
        EXPECT_EQ(platform.events[2 * i + 1].port, probed[i]);
        EXPECT_EQ(platform.events[2 * i + 1].kind, 'R');
    }
}

TEST(ToolStartUp, LastEchoingPortCarriesTheCable)
{
    FakePlatform platform({0x278, 0x3BC});
    EXPECT_EQ(run_tool(platform, {}), 1);
    EXPECT_EQ(platform.writes_to(0x278), std::vector<uint8_t>{0x55});
    EXPECT_EQ(after_start_up(platform, 0x3BC), way_bytes(Way::reset_park));
}

TEST(ToolStartUp, RunsAgainFromFreshRecords)
{
    FakePlatform first;
    first.tdo = "11001011000001000111001011011000";  // the KTR5200's IDCODE, bit 0 first
    EXPECT_EQ(run_tool(first, {"-C", "KTR5200", "-w", "8", "-j"}), 0);
    FakePlatform second;
    EXPECT_EQ(run_tool(second, {"-o", "5"}), 1);
    EXPECT_EQ(second.console, kBanner + kNoCpu);
}

// The option table, seen through the RunOptions the scan fills.
struct OptionCase {
    const char* label;
    std::vector<std::string> args;
    RunOptions expected;  // image_path compared as text
    const char* image;
};

RunOptions options(const char* cpu, const char* model, int32_t width, int32_t interleave, uint32_t offset,
                   uint32_t erase_size, bool erase_all, int32_t block, bool toggle, bool offset_given)
{
    RunOptions o{};
    std::strcpy(o.cpu_name, cpu);
    std::strcpy(o.flash_model, model);
    o.bus_width = width;
    o.interleave = interleave;
    o.start_offset = offset;
    o.erase_size = erase_size;
    o.erase_all = erase_all;
    o.block_index = block;
    o.idcode_check = true;
    o.toggle_mode = toggle ? 2 : 0;
    o.offset_given = offset_given;
    return o;
}

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.label; }

class OptionTable : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionTable, FillsRunOptions)
{
    const OptionCase& c = GetParam();
    std::vector<std::string> words = c.args;
    words.insert(words.begin(), "tarnflash");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    RunOptions o;
    EXPECT_FALSE(scan_options(static_cast<int>(words.size()), argv.data(), o));
    const RunOptions& e = c.expected;
    EXPECT_STREQ(o.cpu_name, e.cpu_name);
    EXPECT_STREQ(o.flash_model, e.flash_model);
    EXPECT_EQ(o.bus_width, e.bus_width);
    EXPECT_EQ(o.interleave, e.interleave);
    EXPECT_EQ(o.start_offset, e.start_offset);
    EXPECT_EQ(o.erase_size, e.erase_size);
    EXPECT_EQ(o.erase_all, e.erase_all);
    EXPECT_EQ(o.block_index, e.block_index);
    EXPECT_EQ(o.idcode_check, e.idcode_check);
    EXPECT_EQ(o.toggle_mode, e.toggle_mode);
    EXPECT_EQ(o.offset_given, e.offset_given);
    if (c.image == nullptr) {
        EXPECT_EQ(o.image_path, nullptr);
    } else {
        EXPECT_STREQ(o.image_path, c.image);
    }
    // Whatever the options, -j runs the IDCODE check and nothing else, or, beside an option of
    // another job or an unknown one, is refused before any port is touched.
    FakePlatform platform;
    run_tool(platform, c.args);
    EXPECT_TRUE(platform.console.find("JTAG ID:") != std::string::npos || platform.events.empty());
    EXPECT_EQ(platform.console.find("Maker ID"), std::string::npos);
}

const std::string k40 = "S29AL008DS29AL008DS29AL008DS29AL008DABCD";

INSTANTIATE_TEST_SUITE_P(
    Rows, OptionTable,
    testing::Values(OptionCase{"SeparateValues",
                               {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", "0x100000", "-e",
                                "65536", "-f", "img.bin", "-b", "3", "-j"},
                               options("KTR5200", "S29AL008D", 16, 1, 0x100000, 65536, false, 3, false, true),
                               "img.bin"},
                    OptionCase{"AttachedValues",
                               {"-CULN", "-FLV040", "-w8", "-i2", "-o0x20", "-e0x8000", "-f/tmp/a.bin", "-b0x2", "-j"},
                               options("ULN", "LV040", 8, 2, 0x20, 0x8000, false, 2, false, true),
                               "/tmp/a.bin"},
                    OptionCase{"SlashOptions",
                               {"/C", "MIRTA", "/j", "/eall"},
                               options("MIRTA", "", 0, 0, 0, 0, true, 0, false, false),
                               nullptr},
                    OptionCase{"LaterValuesWin",
                               {"-C", "ULN", "-w", "8", "-eall", "-C", "KTR5200", "-w", "16", "-e", "5", "-j"},
                               options("KTR5200", "", 16, 0, 0, 5, true, 0, false, false),
                               nullptr},
                    OptionCase{"EraseAllSeparate",
                               {"-C", "KTR5200", "-e", "all", "-j"},
                               options("KTR5200", "", 0, 0, 0, 0, true, 0, false, false),
                               nullptr},
                    OptionCase{"EraseZeroIsNoErase",
                               {"-C", "KTR5200", "-e", "0", "-j"},
                               options("KTR5200", "", 0, 0, 0, 0, false, 0, false, false),
                               nullptr},
                    OptionCase{"UnknownOptionEndsScan",
                               {"-C", "KTR5200", "-j", "-x", "-F", "S29AL008D", "-b"},
                               options("KTR5200", "", 0, 0, 0, 0, false, 0, false, false),
                               nullptr},
                    OptionCase{"FreeArgumentsSkipped",
                               {"foo", "-C", "KTR5200", "bar", "-j", "16"},
                               options("KTR5200", "", 0, 0, 0, 0, false, 0, false, false),
                               nullptr},
                    OptionCase{"SecondLetterOnly",
                               {"-jt", "-C", "KTR5200"},
                               options("KTR5200", "", 0, 0, 0, 0, false, 0, false, false),
                               nullptr},
                    OptionCase{"IdcodeBeatsToggle",
                               {"-t", "-j", "-C", "KTR5200"},
                               options("KTR5200", "", 0, 0, 0, 0, false, 0, true, false),
                               nullptr},
                    OptionCase{"ValuesNotRangeChecked",
                               {"-C", "KTR5200", "-w", "32", "-i", "7", "-j"},
                               options("KTR5200", "", 32, 7, 0, 0, false, 0, false, false),
                               nullptr},
                    OptionCase{"FullUnsignedRange",
                               {"-C", "KTR5200", "-o", "4294967295", "-e", "0xFFFFFFFF", "-j"},
                               options("KTR5200", "", 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, false, 0, false, true),
                               nullptr},
                    OptionCase{"LongModelCutToField",
                               {"-C", "KTR5200", "-F", k40, "-j"},
                               options("KTR5200", k40.substr(0, 31).c_str(), 0, 0, 0, 0, false, 0, false, false),
                               nullptr}),
    [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.label); });

// TDO as the register shifts it out: bit 0 first.
std::string tdo_of(uint32_t idcode)
{
    std::string bits;
    for (int i = 0; i < 32; ++i)
        bits += (idcode >> i & 1) ? '1' : '0';
    return bits;
}

std::string msb_first(uint32_t value)
{
    std::string bits;
    for (int i = 31; i >= 0; --i)
        bits += (value >> i & 1) ? '1' : '0';
    return bits;
}

struct IdCase {
    const char* cpu;
    uint32_t chip_id;
    bool match;
    const char* cause = "";
};

void PrintTo(const IdCase& c, std::ostream* os) { *os << c.cpu << " on chip " << std::hex << c.chip_id; }

class IdcodeMode : public testing::TestWithParam<IdCase> {};

TEST_P(IdcodeMode, ReportsTheIdReadAndFailsOnAMismatch)
{
    const IdCase& c = GetParam();
    FakePlatform platform;
    platform.tdo = tdo_of(c.chip_id);
    EXPECT_EQ(run_tool(platform, {"-C", c.cpu, "-j"}), c.match ? 0 : 1);
    std::string expected = c.match
                               ? "\nOK!, JTAG ID:   " + msb_first(c.chip_id) + "\n"
                               : "\nYour JTAG ID:   " + msb_first(c.chip_id) + "\nInvalid JTAG ID\n" + c.cause + "\n";
    EXPECT_EQ(platform.console, kBanner + expected);
    EXPECT_EQ(platform.tdo_reads, 32u);
}

INSTANTIATE_TEST_SUITE_P(Chips, IdcodeMode,
                         testing::Values(IdCase{"KTR5200", 0x1B4E20D3, true}, IdCase{"ULN", 0x1B4E20D3, true},
                                         IdCase{"PAXON", 0x0093A0C5, true}, IdCase{"MIRTA", 0x0C4D7E2F, true},
                                         IdCase{"KTR5200", 0x1B4E20D2, false,  // bit 0 differs
                                                "IDCODE read 0x1B4E20D2, expected 0x1B4E20D3 for KTR5200: no "
                                                "built-in CPU has it"},
                                         IdCase{"KTR5200", 0xFFFFFFFF, false,
                                                "IDCODE read 0xFFFFFFFF, expected 0x1B4E20D3 for KTR5200: TDO stuck: "
                                                "check the cable, the target's power and its JTAG wiring"},
                                         IdCase{"MIRTA", 0x1B4E20D3, false,
                                                "IDCODE read 0x1B4E20D3, expected 0x0C4D7E2F for MIRTA: the IDCODE "
                                                "of KTR5200 (-C KTR5200)"}));

TEST(IdcodeMode, ShiftsTheInstructionAndExactly32Bits)
{
    // On the virtual board: five reset clocks, an IR scan of 4 bits (11 clocks) and a DR scan
    // of 32 bits (38 clocks); the probe's 0x55 raises TCK once more.
    const SimRun run = run_sim({}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stats.ir_scans, 1u);
    EXPECT_EQ(run.stats.dr_scans, 1u);
    EXPECT_EQ(run.stats.tck_clocks, 1u + 5 + 11 + 38);
    EXPECT_EQ(run.stats.port_reads, 3u + 32);
}

}  // namespace
