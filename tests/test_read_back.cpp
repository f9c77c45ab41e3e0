// SPDX-License-Identifier: Apache-2.0
// Reading the flash back: --read into a file and --verify against one, for every model and
// set-up on the virtual board, and the ways they refuse bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

using namespace flash_job;
using Args = std::vector<std::string>;

// Each wiring on a CPU of its own, so every CPU's read runs are seen.
const char* cpu_of(const FlashWiring& w) { return kCpuNames[static_cast<size_t>(&w - kFlashWirings) % 4]; }

TEST(ReadBack, EveryModelAndSetUpRoundTrips)
{
    constexpr uint32_t kStart = 0x40000;
    constexpr uint32_t kLength = 0x3001;  // odd: the last word is read whole and cut
    for (const FlashWiring& w : kFlashWirings) {
        const char* cpu = cpu_of(w);
        SCOPED_TRACE(std::string(w.sim_flash) + " " + w.bus + " on " + cpu);
        ScratchDir dir;
        SimSession probe({"--flash", w.sim_flash, "--bus", w.bus});
        const Bytes flash = pattern(probe.board().flash()->size_bytes(), 7);
        const std::string in = dir.write("flash.bin", flash);
        const Args sim = {"--cpu", cpu, "--flash", w.sim_flash, "--bus", w.bus, "--flash-in", in, "--keys", ""};
        const Args tool = {"-C", cpu, "-F", w.model, "-w", w.width, "-i", w.chips, "-o", std::to_string(kStart)};
        auto with = [&tool](std::initializer_list<std::string> more) {
            Args args = tool;
            args.insert(args.end(), more);
            return args;
        };

        const std::string out = (dir.path() / "out.bin").string();
        SimRun read = run_sim(sim, with({"-e", std::to_string(kLength), "--read", out}));
        EXPECT_EQ(read.status, 0) << read.console;
        EXPECT_EQ(dir.read("out.bin"), Bytes(flash.begin() + kStart, flash.begin() + kStart + kLength));
        EXPECT_TRUE(has(read.console, "\nFlash reading OK: 12289 bytes from 0x00040000 into " + out + "\n"));
        EXPECT_EQ(read.stats.rule_violations, 0u);
        EXPECT_LE(read.stats.bus_writes, 6u) << "identification's cycles only: nothing erased or written";

        SimRun same = run_sim(sim, with({"--verify=" + out}));
        EXPECT_EQ(same.status, 0) << same.console;
        EXPECT_TRUE(has(same.console, "\nFlash verifying OK: 12289 bytes from 0x00040000 match "));
        EXPECT_EQ(same.stats.rule_violations, 0u);

        Bytes flipped = dir.read("out.bin");
        flipped[0x1235] ^= 0x10;
        const std::string changed = dir.write("changed.bin", flipped);
        SimRun differ = run_sim(sim, with({"--verify", changed}));
        EXPECT_EQ(differ.status, 1);
        const uint32_t word = std::string(w.width) == "16" || std::string(w.chips) == "2" ? 0x1234 : 0x1235;
        char at[64];
        std::snprintf(at, sizeof at, "\nVerify error at 0x%08X: flash 0x", kStart + word);
        EXPECT_TRUE(in_order(differ.console, {at, "1 of ", "\nAt " + std::string(at + 17, 10) + " in block "}))
            << differ.console;
        EXPECT_FALSE(has(differ.console, "verifying OK"));
    }
}

TEST(ReadBack, PastTheEndStopsThereAndSaysSo)
{
    ScratchDir dir;
    const std::string out = (dir.path() / "end.bin").string();
    SimRun read = run_sim({"--keys", ""}, {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", "0xFC000",
                                           "-e", "0x8000", "--read", out});
    EXPECT_EQ(read.status, 0) << read.console;
    EXPECT_TRUE(in_order(read.console, {"The read stops at the end of the flash, 0x000FFFFF: 0x4000 of the 0x8000 "
                                        "bytes asked for from 0x000FC000\n",
                                        "\nFlash reading OK: 16384 bytes from 0x000FC000"}));
}

TEST(ReadBack, BadInputIsRefusedAndNothingIsLeftBehind)
{
    ScratchDir dir;
    const std::string image = dir.write("image.bin", pattern(0x100, 3));
    const std::string big = dir.write("big.bin", pattern(0x10001, 3));
    const std::string empty = dir.write("empty.bin", {});
    const std::string folder = dir.path().string();
    const std::string nowhere = (dir.path() / "missing" / "out.bin").string();
    const std::string out = (dir.path() / "out.bin").string();
    const std::string fifo = (dir.path() / "fifo").string();
    const std::string node = (dir.path() / "null").string();
    const std::string link = (dir.path() / "link.bin").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    std::filesystem::create_symlink(image, link);
    // A device node of our own: a regression would replace it, never the system's /dev/null.
    const std::string device = mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? node : fifo;
    const std::string not_regular = ": not a regular file (--read replaces regular files only)\n";
    const std::string not_report = ": not a regular file (--report replaces regular files only)\n";
    const Args tool = {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1"};
    const struct {
        const char* what;
        Args sim;
        Args more;
        std::string line;
        bool touches_cable;
    } cases[] = {
        {"both jobs", {}, {"--read", out, "--verify", image}, "--read and --verify cannot be given together\n", false},
        {"read with an image", {}, {"--read", out, "-f" + image}, "--read does not program: leave out -f\n", false},
        {"update and verify",
         {},
         {"--update", "--verify", image},
         "--update changes the flash and --verify only compares: give one of them\n",
         false},
        {"ESC while reading for an update",
         {"--keys", "\\e"},
         {"--update", "--read", out, "-f" + image},
         "\nStopped by ESC before the flash was changed\n",
         true},
        {"verify with an image",
         {},
         {"--verify", image, "-f" + image},
         "--verify does not program: leave out -f\n",
         false},
        {"read into a missing folder",
         {},
         {"--read", nowhere},
         "Cannot write " + nowhere + ": No such file or directory\n",
         true},
        {"read onto a folder", {}, {"--read", folder}, "Cannot write " + folder + ": Is a directory\n", false},
        {"read onto a FIFO", {}, {"--read", fifo}, "Cannot write " + fifo + not_regular, false},
        {"read onto a link", {}, {"--read", link}, "Cannot write " + link + not_regular, false},
        {"read onto a device node", {}, {"--read", device}, "Cannot write " + device + not_regular, false},
        {"report: FIFO", {}, {"--read", out, "--report", fifo}, "Cannot write " + fifo + not_report, false},
        {"report: device", {}, {"--read", out, "--report", device}, "Cannot write " + device + not_report, false},
        {"report: link", {}, {"--read", out, "--report", link}, "Cannot write " + link + not_report, false},
        {"report: folder",
         {},
         {"--read", out, "--report", folder},
         "Cannot write " + folder + ": Is a directory\n",
         false},
        {"same file",
         {},
         {"--read", out, "--report", out},
         "--read and --report name the same file, " + out + "\n",
         false},
        {"verify more than the room",
         {},
         {"-o", "0xF0000", "--verify", big},
         "Cannot download, file size is bigger than flash device size\n",
         true},
        {"verify an empty file", {}, {"--verify", empty}, "Nothing to compare: " + empty + " is empty\n", true},
        {"ESC while reading", {"--keys", "\\e"}, {"--read", out}, "\nReading address: 0x0\n", true},
        {"value missing", {}, {"--read"}, "option --read needs a value\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Args args = tool;
        args.insert(args.end(), c.more.begin(), c.more.end());
        SimRun run = run_sim(c.sim.empty() ? Args{"--keys", ""} : c.sim, args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(has(run.console, c.line)) << run.console;
        EXPECT_EQ(run.stats.port_writes != 0, c.touches_cable);
        EXPECT_FALSE(has(run.console, "Flash erasing"));
        EXPECT_FALSE(std::filesystem::exists(out)) << "no file that looks complete";
        EXPECT_FALSE(std::filesystem::exists(out + ".partial"));
        EXPECT_FALSE(std::filesystem::exists(folder + ".partial"));
    }
    EXPECT_FALSE(std::filesystem::is_regular_file(device)) << "replaced by a file";
}

// A name taken beside FILE is never written through, whether the job ends well or is stopped.
TEST(ReadBack, APlantedPartialLinkIsLeftAlone)
{
    ScratchDir dir;
    const Bytes victim = pattern(0x40, 5);
    const std::string target = dir.write("victim.bin", victim);
    const std::string out = (dir.path() / "out.bin").string();
    const std::string report = (dir.path() / "r.json").string();
    for (const std::string& file : {out, report})
        std::filesystem::create_symlink(target, file + ".partial");
    // A file replaced keeps its permission bits.
    const auto owner = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    std::filesystem::permissions(dir.write("out.bin", {}), owner);
    const Args tool = {"-C", "KTR5200", "-F",    "S29AL008D", "-w", "16",       "-i",
                       "1",  "-e",      "0x100", "--read",    out,  "--report", report};
    EXPECT_EQ(run_sim({"--keys", "\\e"}, tool).status, 1);  // stopped: the name stays as it was
    EXPECT_EQ(run_sim({"--keys", ""}, tool).status, 0);
    EXPECT_EQ(dir.read("victim.bin"), victim);
    EXPECT_EQ(dir.read("out.bin"), Bytes(0x100, 0xFF));
    EXPECT_EQ(std::filesystem::status(out).permissions(), owner);
    EXPECT_TRUE(std::filesystem::is_symlink(out + ".partial") && std::filesystem::is_symlink(report + ".partial"));
    EXPECT_TRUE(std::filesystem::is_regular_file(report));
}

}  // namespace

namespace {

TEST(UsbCable, EveryModelAndSetUpProgramsAndVerifies)
{
    constexpr uint32_t kStart = 0x40000;
    for (const Args& cable : {Args{"ftdi"}, Args{"cmsis-dap", "--dap-version", "1"}, Args{"cmsis-dap"}})
    for (const FlashWiring& w : kFlashWirings) {
        const char* cpu = cpu_of(w);
        SCOPED_TRACE(std::string(w.sim_flash) + " " + w.bus + " on " + cpu + " " + cable.back());
        ScratchDir dir;
        const Bytes image = pattern(0x301, 11);
        Args sim = {"--cpu", cpu, "--flash", w.sim_flash, "--bus", w.bus, "--keys", "", "--cable"};
        sim.insert(sim.end(), cable.begin(), cable.end());
        SimSession session(sim);
        SimRun run = session.run({"-C", cpu, "-F", w.model, "-w", w.width, "-i", w.chips, "-o", std::to_string(kStart),
                                  "-f" + dir.write("i.bin", image)});
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_TRUE(has(run.console, "\nFlash writing & verifying OK\n"));
        EXPECT_EQ(run.stats.port_writes, 0u) << "the parallel port is never touched";
        EXPECT_GT(run.stats.usb_round_trips + run.stats.dap_round_trips, 0u);
        EXPECT_EQ(run.stats.dap_rejected, 0u);
        EXPECT_EQ(run.stats.rule_violations, 0u);
        const Bytes flash = session.board().flash()->contents();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + kStart));
    }
}

TEST(UsbCable, ChainCheckToggleTestAndRefusals)
{
    SimRun chain = run_sim({"--cable", "ftdi", "--cpu", "MIRTA"}, {"-C", "MIRTA", "-j"});
    EXPECT_EQ(chain.status, 0);
    EXPECT_TRUE(has(chain.console, "\nOK!, JTAG ID:   00001100010011010111111000101111\n"));
    SimRun toggle = run_sim({"--cable", "ftdi", "--key-after", "3:\\e"}, {"-C", "KTR5200", "-t"});
    EXPECT_EQ(toggle.status, 0);
    EXPECT_EQ(toggle.stats.dr_scans, 3u);

    const struct {
        Args sim;
        Args tool;
        const char* line;
    } refusals[] = {
        {{"--cable", "ftdi", "--no-usb"}, {}, "no USB JTAG adapter found (looked for 0403:6010 or 0403:6014)\n"},
        {{"--cable", "ftdi"}, {"--cable-id", "0403:60xz"}, "bad --cable-id (VID:PID in hexadecimal, as 0403:6010)\n"},
        {{"--cable", "ftdi"}, {"--cable-interface", "C"}, "bad --cable-interface (A or B)\n"},
        {{"--cable", "ftdi"}, {"--tck-hz", "fast"}, "bad --tck-hz (a frequency in Hz, as 6000000)\n"},
        {{"--cable", "ftdi"},
         {"--tck-hz", "30000001"},
         "--tck-hz 30000001 is above the adapter's maximum, 30000000 Hz\n"},
        {{}, {"--tck-hz", "1000000"}, "--cable-id, --cable-interface, --cable-pins and --tck-hz need --cable ftdi\n"},
        {{}, {"--cable", "usb"}, "unknown --cable 'usb' (ftdi for a USB adapter, parport for the parallel port)\nthe other "
                                  "cables: cmsis-dap, jlink, gpio:CHIP, xvc:HOST[:PORT], remote-bitbang:HOST:PORT\n"},
        {{"--cable", "cmsis-dap", "--no-usb"}, {}, "no CMSIS-DAP probe found\n"},
        {{"--cable", "cmsis-dap", "--dap-fault", "no-jtag"},
         {},
         "CMSIS-DAP probe 2e8a:000c (serial E6614103E7): no JTAG (DAP_Info capabilities 0x01); this tool needs JTAG, "
         "not SWD\n"},
        {{"--cable", "cmsis-dap", "--dap-serial", "A", "--dap-serial", "B"},
         {},
         "several CMSIS-DAP probes plugged in (serials A B): choose one with --cable-serial\n"},
        {{"--cable", "cmsis-dap", "--dap-serial", "A"}, {"--cable-serial", "C"}, "no CMSIS-DAP probe found\n"},
        {{"--cable", "cmsis-dap"}, {"--cable-id", "2e8a"}, "bad --cable-id (VID:PID in hexadecimal, as 0d28:0204)\n"},
        {{"--cable", "cmsis-dap"},
         {"--cable-pins", "10:30"},
         "--cable-config, --cable-interface and --cable-pins are for an FTDI adapter, not --cable cmsis-dap\n"},
    };
    for (const auto& r : refusals) {
        Args tool = {"-C", "KTR5200", "-j"};
        tool.insert(tool.end(), r.tool.begin(), r.tool.end());
        SimRun run = run_sim(r.sim, tool);
        EXPECT_EQ(run.status, 1) << r.line;
        EXPECT_TRUE(has(run.console, r.line)) << run.console;
        EXPECT_EQ(run.stats.tck_clocks, 0u) << r.line;
    }
}

}  // namespace
