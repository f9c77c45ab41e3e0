// SPDX-License-Identifier: Apache-2.0
// The real tarnflash program, and LinuxPlatform's port alone (ppdev_probe), against the virtual
// board through ppdev_shim; every run is guarded (tests/support/guarded_run.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/guarded_run.h"

namespace {

using Strings = std::vector<std::string>;

// A KTR5200 board with one S29AL008D in 16-bit mode; the flash is written to flash.bin.
const std::string kBoard = "TARNFLASH_SHIM_BOARD=--cpu KTR5200 --flash S29AL008D --flash-out flash.bin";
const Strings kJob = {TARNFLASH_PATH, "-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f", "img.bin"};
constexpr const char* kWritten = "Flash writing & verifying OK";
const std::string kFault = " on /dev/parport0: Input/output error";

std::string write_image(const GuardedRun& run, size_t size)
{
    std::mt19937 bytes(static_cast<unsigned>(size));
    std::string image(size, '\0');
    for (char& byte : image)
        byte = static_cast<char>(bytes());
    std::ofstream(run.path("img.bin"), std::ios::binary) << image;
    return image;
}

bool flash_holds(const GuardedRun& run, const std::string& image)
{
    return read_file(run.path("flash.bin")).substr(0, image.size()) == image;
}

// The end of a run's output, a progress line a line: enough to see what went wrong.
std::string tail(std::string output)
{
    std::replace(output.begin(), output.end(), '\r', '\n');
    return output.size() > 600 ? "..." + output.substr(output.size() - 600) : output;
}

TEST(ToolUnderShim, ProgramsAndVerifiesTheFlashAndChecksTheChain)
{
    GuardedRun run;
    std::string image = write_image(run, 4096);
    RunResult job = run.run(kJob, {kBoard});
    EXPECT_EQ(job.status, 0) << tail(job.output);
    EXPECT_NE(job.output.find(kWritten), std::string::npos) << tail(job.output);
    EXPECT_TRUE(flash_holds(run, image));
    EXPECT_NE(job.stats.find("rule_violations: 0\n"), std::string::npos) << job.stats;

    RunResult chain = run.run({TARNFLASH_PATH, "-C", "KTR5200", "-j"}, {kBoard});
    EXPECT_EQ(chain.status, 0) << tail(chain.output);
    EXPECT_NE(chain.output.find("OK!, JTAG ID:"), std::string::npos) << tail(chain.output);
}

// The example program on the installed engine's libraries, with its own host, finds the same flash.
TEST(ToolUnderShim, TheExampleProgramIdentifiesTheFlash)
{
    GuardedRun run;
    RunResult found = run.run({IDENTIFY_PATH, "KTR5200"}, {kBoard});
    EXPECT_EQ(found.status, 0) << tail(found.output);
    for (const char* line : {"maker 0x0001, device 0x22DA\n", "\nsize 1024 KB in 19 blocks\n"})
        EXPECT_NE(found.output.find(line), std::string::npos) << tail(found.output);
}

// The other example programs and verifies an image through the job API: the flash holds it.
TEST(ToolUnderShim, TheExampleProgramProgramsAndVerifiesAnImage)
{
    GuardedRun run;
    const std::string image = write_image(run, 64 * 1024);
    RunResult done = run.run({PROGRAM_EXAMPLE_PATH, "KTR5200", "S29AL008D", "img.bin"}, {kBoard});
    EXPECT_EQ(done.status, 0) << tail(done.output);
    EXPECT_NE(done.output.find("65536 bytes programmed and verified from 0x00000000\n"), std::string::npos);
    EXPECT_TRUE(flash_holds(run, image));
}

// The port fails at the first status read after the chain check: the cable's fault, not the flash's.
TEST(ToolUnderShim, APortFaultDuringIdentificationIsNamedAndTheFlashIsNotBlamed)
{
    GuardedRun run;
    write_image(run, 4096);
    const std::string chain = run.run({TARNFLASH_PATH, "-C", "KTR5200", "-j"}, {kBoard}).stats;
    const uint64_t reads = std::strtoull(chain.c_str() + chain.find("call PPRSTATUS: ") + 16, nullptr, 10);
    RunResult job = run.run(kJob, {kBoard, "TARNFLASH_SHIM_FAIL=PPRSTATUS:" + std::to_string(reads + 1)});
    EXPECT_EQ(job.status, 1);
    const std::string stop = "\nStopped by a cable error (ppdev PPRSTATUS" + kFault + ") before the flash was changed\n";
    EXPECT_TRUE(job.output.find(stop) != std::string::npos && job.output.find("Maker ID") == std::string::npos)
        << tail(job.output);
}

// TARNFLASH_SHIM_FAIL makes the call fail from the first time, or from the middle of a whole
// job's calls of it (halfway).
class ToolPortFault : public testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(ToolPortFault, OneLineNamesTheCallAndTheRunFails)
{
    const auto& [call, halfway] = GetParam();
    GuardedRun run;
    write_image(run, 4096);
    uint64_t from = 1;
    if (halfway) {
        std::string stats = run.run(kJob, {kBoard}).stats;
        from = std::strtoull(stats.c_str() + stats.find("call " + call + ": ") + call.size() + 7, nullptr, 10) / 2;
    }
    RunResult job = run.run(kJob, {kBoard, "TARNFLASH_SHIM_FAIL=" + call + ":" + std::to_string(from)});
    std::string line = "ppdev " + call + " on /dev/parport0: Input/output error";
    size_t at = job.output.find(line);
    EXPECT_TRUE(at != std::string::npos && job.output.find(line, at + 1) == std::string::npos) << tail(job.output);
    // A port that fails only when it is given back has already carried a verified job.
    if (halfway) {
        EXPECT_EQ(job.output.find(kWritten), std::string::npos) << tail(job.output);
    }
    EXPECT_EQ(job.status, 1);
}

std::string call_name(const testing::TestParamInfo<std::pair<std::string, bool>>& info) { return info.param.first; }

INSTANTIATE_TEST_SUITE_P(AtOpen, ToolPortFault,
                         testing::Values(std::pair{"open", false}, std::pair{"PPCLAIM", false},
                                         std::pair{"PPDATADIR", false}),
                         call_name);
INSTANTIATE_TEST_SUITE_P(InTheJob, ToolPortFault,
                         testing::Values(std::pair{"PPWDATA", true}, std::pair{"PPRSTATUS", true},
                                         std::pair{"PPRELEASE", false}),
                         call_name);

// Started as a setuid-root install run by nobody, on either cable (the USB one also through the
// simulator's adapter: no real one is reachable here), the tool writes only where that user may.
TEST(SetuidStart, ABackupIntoARootOnlyFolderIsRefusedOnBothCables)
{
    const Strings read = {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "--read", "root-only/out.bin"};
    for (Strings args : {Strings{TARNFLASH_PATH}, Strings{TARNFLASH_PATH, "--cable", "ftdi"},
                         Strings{TARNFLASH_SIM_PATH, "--cable", "ftdi", "--"}}) {
        GuardedRun run;
        ASSERT_EQ(mkdir(run.path("root-only").c_str(), 0700), 0);
        args.insert(args.end(), read.begin(), read.end());
        RunResult job = run.run(args, {kBoard}, {.setuid_user = "65534:65534"});
        EXPECT_EQ(job.status, 1) << args[0] << " " << args.size();
        EXPECT_NE(job.output.find("Cannot write root-only/out.bin: Permission denied\n"), std::string::npos) << job.output;
        EXPECT_TRUE(std::filesystem::is_empty(run.path("root-only")));
    }
}

// Every other file the user names, on both cables: a root-only one is refused, its text unsaid.
TEST(SetuidStart, EveryFileNamedIsOpenedAsTheUser)
{
    const std::pair<Strings, std::string> cases[] = {
        {{"--bsdl", "root-only/s.bsd", "--bsdl-info"}, "Cannot read the BSDL file root-only/s.bsd\n"},
        {{"--bsdl", "root-only/s.bsd", "-j"}, "Cannot read the BSDL file root-only/s.bsd\n"},
        {{"--cable", "ftdi", "--bsdl", "root-only/s.bsd", "-j"}, "Cannot read the BSDL file root-only/s.bsd\n"},
        {{"-C", "KTR5200", "--bsdl-dir", "root-only", "--chain-list"},
         "Cannot list --bsdl-dir root-only: Permission denied\n"},
        {{"--cable-config", "root-only/s.bsd", "--cable-info"}, "--cable-config root-only/s.bsd: no such file"},
        {{"-C", "KTR5200", "--detect", "-f", "root-only/s.bsd"}, "Reason: Permission denied\n"},
        {{"-C", "KTR5200", "--detect", "--verify", "root-only/s.bsd"}, "Reason: Permission denied\n"},
        {{"-C", "KTR5200", "-j", "--report", "root-only/r.json"}, "Cannot write root-only/r.json: Permission denied\n"},
    };
    for (const auto& c : cases) {
        GuardedRun run;
        ASSERT_EQ(mkdir(run.path("root-only").c_str(), 0700), 0);
        std::ofstream(run.path("root-only/s.bsd"))
            << "entity E is\nattribute INSTRUCTION_LENGTH of E : entity is hunter2secret;\n";
        Strings args = {TARNFLASH_PATH};
        args.insert(args.end(), c.first.begin(), c.first.end());
        RunResult result = run.run(args, {kBoard}, {.setuid_user = "65534:65534"});
        EXPECT_EQ(result.status, 1) << c.second;
        EXPECT_NE(result.output.find(c.second), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("hunter2secret"), std::string::npos) << result.output;
    }
}

const std::string kNoAccess = "access: Cannot access the parallel port: ioperm: Operation not permitted; ";
const std::string kNoAccessEnd = ". Run as root, or as a member of the lp group with /dev/parportN present";

struct ProbeCase {
    const char* label;
    const char* args;  // separated by spaces
    const char* env;   // besides the board
    int status;
    std::string lines;  // each must be in the output
    int drop = -1;
};

class PlatformPort : public testing::TestWithParam<ProbeCase> {};

TEST_P(PlatformPort, ReportsWhatHappenedToThePort)
{
    const ProbeCase& c = GetParam();
    Strings args = {PPDEV_PROBE_PATH};
    std::istringstream words(c.args);
    for (std::string word; words >> word;)
        args.push_back(word);
    GuardedRun run;
    RunResult probe = run.run(args, {kBoard, c.env}, {.drop = c.drop});
    EXPECT_EQ(probe.status, c.status) << probe.output;
    std::istringstream lines(c.lines);
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(probe.output.find(line + "\n"), std::string::npos) << line << "\nin:\n" << probe.output;
}

INSTANTIATE_TEST_SUITE_P(
    Probe, PlatformPort,
    testing::Values(
        ProbeCase{"AllWell", "", "", 0, "access: granted\necho: 0x55\nfault: none\nafter release: none"},
        ProbeCase{"WriteFails", "", "TARNFLASH_SHIM_FAIL=PPWDATA:50", 0,
                  "fault: ppdev PPWDATA" + kFault + "\nstatus read: 0xff\nafter release: ppdev PPWDATA" + kFault},
        ProbeCase{"StatusReadFails", "", "TARNFLASH_SHIM_FAIL=PPRSTATUS:50", 0,
                  "fault: ppdev PPRSTATUS" + kFault + "\nstatus read: 0xff"},
        ProbeCase{"DataReadFails", "", "TARNFLASH_SHIM_FAIL=PPRDATA:1", 0, "echo: 0xff\nfault: ppdev PPRDATA" + kFault},
        ProbeCase{"ReleaseFails", "", "TARNFLASH_SHIM_FAIL=PPRELEASE:1", 0,
                  "fault: none\nafter release: ppdev PPRELEASE" + kFault},
        ProbeCase{"CloseFails", "", "TARNFLASH_SHIM_FAIL=close:1", 0, "after release: ppdev close" + kFault},
        ProbeCase{"ClaimFails", "", "TARNFLASH_SHIM_FAIL=PPCLAIM:1", 1,
                  kNoAccess + "ppdev PPCLAIM" + kFault + kNoAccessEnd},
        ProbeCase{"BusyPort", "", "TARNFLASH_SHIM_BUSY=1", 1,
                  kNoAccess +
                      "ppdev PPCLAIM on /dev/parport0: busy for 2 s (another program or driver holds the port)" +
                      kNoAccessEnd},
        ProbeCase{"SetuidRootBecomesTheUser", "--setuid-user 65534:65534", "", 0,
                  "access: granted\nuids: 65534 65534 65534\necho: 0x55\nfault: none"},
        ProbeCase{"SetuidRootThatCannotDropStops", "--setuid-user 65534:0 0", "", 1,
                  "access: Cannot drop root privileges: setgroups: Operation not permitted", CAP_SETGID}),
    [](const testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.label); });

// The guard alone, with no shim to refuse ioperm: the kernel refuses it (EPERM without the
// capability; ENOSYS where it has no port I/O at all). The probe asks for the port and stops
// there, so it would write nothing even if the guard failed.
TEST(Guard, WithoutTheShimNoPortIsReachable)
{
    GuardedRun run;
    RunResult probe = run.run({PPDEV_PROBE_PATH, "0"}, {}, {.shim = false});
    EXPECT_EQ(probe.status, 1);
    EXPECT_EQ(probe.output.rfind("access: Cannot access the parallel port: ioperm: ", 0), 0u) << probe.output;
    EXPECT_NE(probe.output.find("; no /dev/parportN found" + kNoAccessEnd), std::string::npos) << probe.output;
}

// A job of a few seconds with its keys on a pseudo-terminal, sent an interrupt while it
// programs with the terminal in raw mode.
class InterruptedJob : public testing::TestWithParam<int> {
protected:
    RunResult interrupt()
    {
        int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return {};
        int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        write_image(run_, 64 * 1024);
        run_.start(kJob, {kBoard}, {.input = terminal});
        for (int i = 0; i < 2000 && read_file(run_.path("output")).find("Write:") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        termios mode;
        EXPECT_TRUE(tcgetattr(terminal, &mode) == 0 && !(mode.c_lflag & ICANON)) << "never raw: this proves nothing";
        run_.send(GetParam());
        RunResult job = run_.finish();
        line_mode_ = tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
        close(terminal);
        close(master);
        return job;
    }

    GuardedRun run_;
    bool line_mode_ = false;
};

TEST_P(InterruptedJob, GivesTheTerminalBackAndFails)
{
    RunResult job = interrupt();
    EXPECT_TRUE(line_mode_);
    EXPECT_NE(job.status, 0);
    EXPECT_EQ(job.output.find(kWritten), std::string::npos) << tail(job.output);
}

TEST_P(InterruptedJob, StopsAtASafePointWithTheBoardLeftIdle)
{
    RunResult job = interrupt();
    EXPECT_TRUE(line_mode_);
    EXPECT_EQ(job.status, 1);
    EXPECT_NE(tail(job.output).find(std::string("SIG") + sigabbrev_np(GetParam())), std::string::npos)
        << tail(job.output);
    EXPECT_EQ(job.output.find(kWritten), std::string::npos) << tail(job.output);
    EXPECT_NE(job.stats.find("tap_state: Test-Logic-Reset\nflash_chip_enable: inactive\n"), std::string::npos)
        << job.stats;
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedJob, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) { return sigabbrev_np(info.param); });

// On a terminal the simulator reads keys as the tool does, in raw mode: a bare ESC, without
// Enter, stops the job (with its stop line) or the toggle test, and the terminal is given back in
// line mode.
struct EscCase {
    Strings tool;
    const char* ready;  // printed once the job is under way
    int status;
    const char* stop;
};

class SimOnATerminal : public testing::TestWithParam<EscCase> {};

TEST_P(SimOnATerminal, BareEscStops)
{
    const EscCase& c = GetParam();
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    GuardedRun run;
    write_image(run, 64 * 1024);
    Strings sim = {TARNFLASH_SIM_PATH, "--flash-out", "flash.bin", "--"};
    sim.insert(sim.end(), c.tool.begin(), c.tool.end());
    run.start(sim, {}, {.shim = false, .input = terminal});
    for (int i = 0; i < 2000 && read_file(run.path("output")).find(c.ready) == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(write(master, "\x1b", 1), 1);
    RunResult job = run.finish();
    termios mode;
    EXPECT_TRUE(tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO));
    close(terminal);
    close(master);
    EXPECT_EQ(job.status, c.status);
    EXPECT_NE(job.output.find(c.stop), std::string::npos) << tail(job.output);
    EXPECT_EQ(job.output.find(kWritten), std::string::npos) << tail(job.output);
}

INSTANTIATE_TEST_SUITE_P(Jobs, SimOnATerminal,
                         testing::Values(EscCase{Strings(kJob.begin() + 1, kJob.end()), "Write:", 1,
                                                 "\nStopped by ESC at 0x"},
                                         EscCase{{"-C", "KTR5200", "-t"}, "Enter ESC to EXIT", 0, "Enter ESC"}));

// Output into a pipe nobody reads any more: the text is lost, the job is not.
class BrokenOutputPipe : public testing::TestWithParam<bool> {};

TEST_P(BrokenOutputPipe, TheJobGoesOn)
{
    const bool tool = GetParam();
    GuardedRun run;
    std::string image = write_image(run, 4096);
    Strings sim = {TARNFLASH_SIM_PATH, "--flash-out", "flash.bin", "--"};
    sim.insert(sim.end(), kJob.begin() + 1, kJob.end());
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    RunResult job = run.run(tool ? kJob : sim, {kBoard}, {.shim = tool, .output = fds[1]});
    close(fds[1]);
    EXPECT_EQ(job.status, 0) << tail(job.output);
    EXPECT_TRUE(flash_holds(run, image));
}

INSTANTIATE_TEST_SUITE_P(Programs, BrokenOutputPipe, testing::Values(false, true));

// An interrupted job through a CMSIS-DAP probe lets the probe go (DAP_Disconnect) on its way out.
TEST_P(InterruptedJob, LetsTheCmsisDapProbeGo)
{
    write_image(run_, 64 * 1024);
    Strings job = {TARNFLASH_SIM_PATH, "--cable", "cmsis-dap", "--dap-version", "1", "--stats", "--"};
    job.insert(job.end(), kJob.begin() + 1, kJob.end());
    run_.start(job, {}, {.shim = false});
    for (int i = 0; i < 2000 && read_file(run_.path("output")).find("Write:") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    run_.send(GetParam());
    RunResult stopped = run_.finish();
    EXPECT_EQ(stopped.status, 1) << tail(stopped.output);
    EXPECT_NE(stopped.output.find("dap_disconnects: 1\n"), std::string::npos) << tail(stopped.output);
}

// A job holds its cable: a second one on the same adapter or port is refused at once with a line
// that names it, one on another adapter runs. The first waits at the model menu on a pipe.
TEST(DeviceLock, SecondJobOnTheSameCableIsRefused)
{
    const std::string serial = "S" + std::to_string(getpid());
    auto sim = [](const std::string& usb_serial, const Strings& tool) {
        Strings args = {TARNFLASH_SIM_PATH, "--cable",  "ftdi", "--usb-id",   "0403:cff8",
                        "--usb-serial",     usb_serial, "--",   "--cable-id", "0403:cff8"};
        args.insert(args.end(), tool.begin(), tool.end());
        return args;
    };
    const Strings menu = {"-C", "KTR5200"};
    const Strings chain = {"-C", "KTR5200", "-j"};
    const struct {
        Strings holder;
        Strings second;
        int status;
        std::string line;  // before " is in use by another job", or empty when the second runs
    } cases[] = {
        {{TARNFLASH_PATH, "-C", "KTR5200"}, {TARNFLASH_PATH, "-C", "KTR5200", "-j"}, 1, "parallel port 0x378"},
        {sim(serial, menu), sim(serial, chain), 1, "USB adapter 0403:cff8 serial " + serial},
        {sim(serial, menu), sim(serial + "B", chain), 0, ""},
        {{TARNFLASH_SIM_PATH, "--cable", "cmsis-dap", "--dap-serial", serial, "--", "-C", "KTR5200"},
         {TARNFLASH_SIM_PATH, "--cable", "cmsis-dap", "--dap-serial", serial, "--", "-C", "KTR5200", "-j"},
         1,
         "CMSIS-DAP probe 2e8a:000c serial " + serial},
    };
    for (const auto& c : cases) {
        GuardedRun holder;
        GuardedRun second;
        const std::string folder = holder.path("").substr(0, holder.path("").size() - 1);
        const std::string locks = "TARNFLASH_LOCK_DIR=" + folder;
        int keys[2];
        ASSERT_EQ(pipe2(keys, O_CLOEXEC), 0);  // the holder's input ends when this end closes
        const bool holder_shim = c.holder[0] == TARNFLASH_PATH;
        holder.start(c.holder, {kBoard, locks}, {.shim = holder_shim, .input = keys[0]});
        for (int i = 0; i < 2000 && read_file(holder.path("output")).find("To exit, Enter 'q'") == std::string::npos;
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        RunResult refused = second.run(c.second, {kBoard, locks}, {.shim = holder_shim});
        close(keys[1]);
        close(keys[0]);
        RunResult first = holder.finish();
        EXPECT_NE(first.output.find("To exit, Enter 'q'"), std::string::npos) << tail(first.output);
        EXPECT_EQ(refused.status, c.status) << tail(refused.output);
        const std::string line = c.line + " is in use by another job (" + folder + "/tarnflash-";
        EXPECT_EQ(refused.output.find(line) != std::string::npos, !c.line.empty()) << tail(refused.output);
    }
}

}  // namespace
