// SPDX-License-Identifier: Apache-2.0
// OpenOCD FTDI interface files: each syntax and each refusal from text, every file the installed
// openocd package ships, and the adapter they describe driving the virtual board.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "job/adapter_file.h"
#include "jtag/adapter_cable.h"
#include "jtag/adapter_config.h"
#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using flash_job::has;
using Args = std::vector<std::string>;

const std::map<std::string, std::string> kSourced = {
    {"interface/ftdi/base.cfg", "adapter driver ftdi\nftdi vid_pid 0x0403 0x6010\nftdi layout_init 0x0008 0x000b\n"},
    {"interface/ftdi/swd.cfg", "transport select swd\n"},
    {"target/soc.cfg",
     "if { [info exists CHIPNAME] } {\n set _CHIPNAME $CHIPNAME\n}\njtag newtap soc cpu -irlen 4\n"
     "target create soc.cpu arm -chain-position soc.cpu\nadapter speed 500\nadapter srst delay 100\n"},
};

bool find_in_table(const std::string& name, std::string& path, std::string& text)
{
    auto it = kSourced.find(name);
    if (it == kSourced.end())
        return false;
    path = it->first;
    text = it->second;
    return true;
}

struct ConfigCase {
    const char* name;
    const char* text;
    const char* expected;  // --cable-info text, or the refusal after "t.cfg:"
};

const ConfigCase kCases[] = {
    {"NewSyntax",
     "adapter driver ftdi\nftdi device_desc \"Amontec JTAGkey\"\nftdi vid_pid 0x0403 0xcff8\nftdi channel 1\n"
     "ftdi layout_init 0x0c08 0x0f1b\nftdi layout_signal nTRST -data 0x0100 -noe 0x0400\n"
     "ftdi layout_signal nSRST -ndata 0x0200 -oe 0x0800\nadapter speed 6000\ntransport select jtag\n"
     "ftdi tdo_sample_edge rising\nreset_config srst_only\n",
     "vid_pid 0403:cff8\nchannel 1\ndevice_desc Amontec JTAGkey\nlayout_init 0x0c08 0x0f1b\n"
     "signal nTRST data=0x0100 noe=0x0400\nsignal nSRST ndata=0x0200 oe=0x0800\nspeed_khz 6000\n"},
    {"OldSyntax",
     "interface ftdi\nftdi_device_desc {Dual RS232-HS}\nftdi_vid_pid 0x0403 0x6010\nftdi_channel 0\n"
     "ftdi_layout_init 0x0908 0x0b1b\nftdi_layout_signal nSRST -oe 0x0200\nftdi_serial FT1234\nadapter_khz 1000\n",
     "vid_pid 0403:6010\nchannel 0\ndevice_desc Dual RS232-HS\nserial FT1234\nlayout_init 0x0908 0x0b1b\n"
     "signal nSRST oe=0x0200\nspeed_khz 1000\n"},
    {"TclSurface",
     "# comment ; ftdi channel 1\n  echo \"two\\nlines [find interface/ftdi/base.cfg]\"\n"
     "source [find interface/ftdi/base.cfg] ; ftdi vid_pid 0x0403 0x6010 \\\n  0x0403 0x6014\n"
     "ftdi layout_signal {LED} -data 0x1000 ;# trailing comment\n",
     "vid_pid 0403:6010\nvid_pid 0403:6014\nchannel 0\nlayout_init 0x0008 0x000b\nsignal LED data=0x1000\n"},
    {"SwdOnly", "adapter driver ftdi\ntransport select swd\n",
     "2: transport select swd: the file sets the adapter up for swd only; this tool needs JTAG"},
    {"SwdInSourcedFile", "\nsource [find interface/ftdi/swd.cfg]\n",
     "interface/ftdi/swd.cfg:1: transport select swd: the file sets the adapter up for swd only; this tool needs JTAG"},
    {"OtherDriver", "adapter driver jlink\n", "1: driver jlink: this tool drives FTDI adapters only (ftdi)"},
    {"OldOtherDriver", "interface parport\n", "1: driver parport: this tool drives FTDI adapters only (ftdi)"},
    {"FallingEdge", "ftdi tdo_sample_edge falling\n",
     "1: ftdi tdo_sample_edge falling: this tool samples TDO on the rising edge only"},
    {"ResetOnJtagLine", "ftdi layout_signal nTRST -data 0x0008\n",
     "1: ftdi layout_signal nTRST: on ADBUS0-3 it would fight TCK, TDI, TDO or TMS"},
    {"ResetInputOnly", "ftdi layout_signal nSRST -input 0x0100\n",
     "1: ftdi layout_signal nSRST: no -data or -oe pin this tool could drive"},
    {"UnknownSignalOption", "ftdi layout_signal LED -blink 1\n", "1: ftdi layout_signal LED: unknown option '-blink'"},
    {"ChannelWithoutMpsse", "ftdi channel 2\n", "1: ftdi channel 2: interface C has no MPSSE engine (channel 0 or 1)"},
    {"TdoDriven", "ftdi layout_init 0x0008 0x000f\n",
     "1: ftdi layout_init: TCK, TDI and TMS (ADBUS0, 1, 3) must be outputs and TDO (ADBUS2) an input"},
    {"UnknownCommand", "\n\njtag newtap x cpu\n", "3: 'jtag newtap' is not an adapter command this tool knows"},
    {"BadNumber", "ftdi vid_pid 0x0403 0x1ffff\n", "1: ftdi vid_pid: bad number '0x1ffff'"},
    {"OpenQuote", "ftdi device_desc \"open\n\n", "3: missing close-quote"},
    {"IncludesItsTarget", "source [find interface/ftdi/base.cfg]\nscript target/soc.cfg\nscript target/gone.cfg\n",
     "vid_pid 0403:6010\nchannel 0\nlayout_init 0x0008 0x000b\nspeed_khz 500\n"},
    {"TargetCommandsInTheNamedFile", "[info exists X]\n", "1: only [find FILE] is understood, not [info exists X]"},
    {"MissingInterfaceFile", "script interface/ftdi/none.cfg\n", "1: cannot read interface/ftdi/none.cfg"},
    {"MissingFile", "source [find interface/ftdi/none.cfg]\n",
     "1: cannot find interface/ftdi/none.cfg in the OpenOCD script folders"},
};

class ConfigText : public testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigText, ReadsOrRefusesWithFileAndLine)
{
    const ConfigCase& c = GetParam();
    AdapterConfig config;
    std::string error;
    const bool ok = adapter_config_parse(c.text, "t.cfg", find_in_table, config, error);
    const std::string expected = c.expected;
    if (expected.rfind("vid_pid", 0) == 0) {
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(adapter_config_text(config), expected);
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, (expected.rfind("interface/", 0) == 0 ? "" : "t.cfg:") + expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ConfigText, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ConfigCase>& info) { return info.param.name; });

TEST(ConfigText, EveryInstalledFtdiFileReadsOrNamesItsLine)
{
    const std::filesystem::path folder = "/usr/share/openocd/scripts/interface/ftdi";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << folder << " is absent: install the openocd package for this test";
    int read = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        AdapterConfig config;
        std::string error;
        const std::string path = entry.path().string();
        if (adapter_config_load(path, config, error)) {
            ++read;
            EXPECT_FALSE(config.ids.empty()) << path;
            continue;
        }
        // "FILE:LINE: reason", the file being this one or one it sources.
        const size_t colon = error.find(".cfg:");
        ASSERT_NE(colon, std::string::npos) << error;
        EXPECT_GT(std::atoi(error.c_str() + colon + 5), 0) << error;
    }
    EXPECT_GT(read, 50);
}

// OpenOCD's set_signal '0': jtagkey's nTRST drives its buffer input low and enables it.
TEST(ConfigText, AssertedSignalsDriveTheirPinsAsOpenOcdDoes)
{
    const AdapterSignal data_noe{"nTRST", 0x0100, false, 0x0400, true};
    const AdapterSignal ndata_oe{"nSRST", 0x0200, true, 0x0800, false};
    const AdapterSignal oe_only{"nSRST", 0, false, 0x0200, false};
    const AdapterSignal same_pin{"nSRST", 0x0040, false, 0x0040, false};
    const MpssePins layout{0x0c08, 0x0f1b};
    EXPECT_EQ(adapter_assert(layout, data_noe).value, 0x0808);
    EXPECT_EQ(adapter_assert(layout, ndata_oe).value, 0x0e08);
    EXPECT_EQ(adapter_assert({0x0908, 0x0b1b}, oe_only).value, 0x0b08);
    EXPECT_EQ(adapter_assert(layout, same_pin).direction, 0x0f5b);
}

// A configuration of the virtual board's own adapter, written where the test can name it.
std::string write_config(const flash_job::ScratchDir& dir, const std::string& text, const char* name = "adapter.cfg")
{
    flash_job::Bytes bytes(text.begin(), text.end());
    return dir.write(name, bytes);
}

constexpr const char* kJtagkey =
    "adapter driver ftdi\nftdi vid_pid 0x0403 0xcff8\nftdi channel 1\nftdi layout_init 0x0c08 0x0f1b\n"
    "ftdi layout_signal nTRST -data 0x0100 -noe 0x0400\nftdi layout_signal nSRST -data 0x0200 -noe 0x0800\n";

TEST(AdapterCable, ConfigurationDrivesTheVirtualAdapter)
{
    flash_job::ScratchDir dir;
    const std::string cfg = write_config(dir, kJtagkey);
    const Args sim = {"--cable", "ftdi", "--usb-id", "0403:cff8", "--usb-serial", "A"};
    SimRun run = run_sim(sim, {"--cable-config", cfg, "--cable-serial", "A", "-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_EQ(run.stats.ntrst_pulses, 1u);
    EXPECT_EQ(run.stats.nsrst_pulses, 0u);

    SimRun held = run_sim(sim, {"--cable-config", cfg, "--srst", "hold", "-C", "KTR5200", "-j"});
    EXPECT_EQ(held.status, 0) << held.console;
    EXPECT_EQ(held.stats.nsrst_pulses, 1u);
    EXPECT_EQ(held.stats.nsrst_dr_scans, held.stats.dr_scans);

    // Several pairs: the first one plugged in is taken.
    const std::string pairs =
        write_config(dir, std::string(kJtagkey) + "ftdi vid_pid 0x0403 0x1234 0x0403 0xcff8\n", "pairs.cfg");
    EXPECT_EQ(run_sim(sim, {"--cable-config", pairs, "-C", "KTR5200", "-j"}).status, 0);

    // The interface the file names is the one wired to the header: B by --cable-interface reaches nothing.
    SimRun other = run_sim(sim, {"--cable-config", cfg, "--cable-interface", "A", "-C", "KTR5200", "-j"});
    EXPECT_EQ(other.status, 1);
    EXPECT_TRUE(has(other.console, "Invalid JTAG ID\n")) << other.console;
}

TEST(AdapterCable, RefusalsComeBeforeAnyUsbTraffic)
{
    flash_job::ScratchDir dir;
    const std::string cfg = write_config(dir, "adapter driver ftdi\nftdi layout_init 0x0008 0x000b\n");
    const struct {
        Args tool;
        std::string line;
    } refusals[] = {
        {{"--cable-config", cfg}, cfg + ": no 'ftdi vid_pid' line, so no USB IDs (or give --cable-id VID:PID)\n"},
        {{"--cable-config", cfg, "--cable-id", "0403:6010", "--srst", "hold"},
         "--srst hold: the adapter configuration has no nSRST signal\n"},
        {{"--srst", "hold"},
         "--srst hold needs --cable-config: the adapter's nSRST pin comes from its configuration\n"},
        {{"--srst", "on"}, "bad --srst 'on' (hold or release)\n"},
        {{"--cable", "parport", "--cable-serial", "A"},
         "--cable-config, --cable-serial and --srst are for a USB adapter, not --cable parport\n"},
        {{"--cable-config", "no-such-adapter"},
         "--cable-config no-such-adapter: no such file, nor interface/ftdi/no-such-adapter.cfg in the OpenOCD script "
         "folders\n"},
        {{"--cable-config", "/dev/zero"}, "--cable-config /dev/zero: not a regular file\n"},
        {{"--cable-serial", "B"},
         "no USB JTAG adapter found (looked for 0403:6010 or 0403:6014 with serial B)\n"
         "--cable-list shows the adapters plugged in\n"},
        {{"--cable-info"}, "--cable-info needs --cable-config FILE|NAME\n"},
    };
    for (const auto& r : refusals) {
        Args tool = {"-C", "KTR5200", "-j"};
        tool.insert(tool.end(), r.tool.begin(), r.tool.end());
        SimRun run = run_sim({"--usb-serial", "A"}, tool);
        EXPECT_EQ(run.status, 1) << r.line;
        EXPECT_TRUE(has(run.console, r.line)) << run.console;
        EXPECT_EQ(run.stats.usb_transfers, 0u) << r.line;
    }
}

TEST(AdapterCable, InfoAndListTouchNoJtag)
{
    flash_job::ScratchDir dir;
    const std::string cfg = write_config(dir, kJtagkey);
    SimRun info = run_sim({}, {"--cable-config", cfg, "--cable-info"});
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.console,
              "vid_pid 0403:cff8\nchannel 1\nlayout_init 0x0c08 0x0f1b\n"
              "signal nTRST data=0x0100 noe=0x0400\nsignal nSRST data=0x0200 noe=0x0800\n");
    SimRun list = run_sim({"--usb-id", "0403:cff8", "--usb-serial", "A"}, {"--cable-list", "--cable-config", cfg});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.console, "0403:cff8 A Dual RS232-HS\n");
    SimRun none = run_sim({"--no-usb"}, {"--cable-list"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.console, "no FTDI USB adapter found\n");
    EXPECT_EQ(info.stats.usb_transfers + list.stats.usb_transfers, 0u);
}

}  // namespace
