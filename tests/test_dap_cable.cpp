// SPDX-License-Identifier: Apache-2.0
// The CMSIS-DAP cable: its packets against sequences worked out by hand from the protocol, and
// the virtual probe's failures as the tool reports them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jtag/dap_packer.h"
#include "support/flash_job.h"
#include "support/sim_run.h"

namespace {

using Args = std::vector<std::string>;

struct Recorder : DapPacker::Sink {
    std::string hex;
    void packet(const DapPacket& p) override
    {
        char byte[4];
        for (size_t i = 0; i < p.length; ++i) {
            std::snprintf(byte, sizeof byte, "%02X ", p.data[i]);
            hex += byte;
        }
        hex += "| ";
    }
};

TEST(DapPacker, PacketsAsWorkedOutByHand)
{
    // A clock: T/t TMS high/low, then 1/0 TDI; '+' captures; a step of 64 idle clocks as 'I'.
    const struct {
        size_t size;
        const char* clocks;
        const char* packets;
    } cases[] = {
        {64, "T0T0T0T0T0", "14 01 45 00 | "},                        // five clocks to Test-Logic-Reset
        {64, "t1t0t1t1", "14 01 04 0D | "},                          // TDI least significant bit first
        {64, "t1+t0+t1+T1+", "14 02 83 05 C1 01 | "},                // exit on the last clock, all captured
        {64, "t0t0t1+t0+", "14 02 02 00 82 01 | "},                  // capturing starts a sequence
        {64, "I", "14 01 00 00 00 00 00 00 00 00 00 | "},            // 64 clocks are written as 0
        {64, "It1", "14 02 00 00 00 00 00 00 00 00 00 01 01 | "},    // the 65th starts the next
        {8, "IIIIIt0", "14 01 28 00 00 00 00 00 | 14 01 01 00 | "},  // 40 clocks fill 8 bytes
        {8, "T0t0T0t0T0t0T0", "14 03 41 00 01 00 41 00 | 14 03 01 00 41 00 01 00 | 14 01 41 00 | "},
    };
    for (const auto& c : cases) {
        Recorder out;
        DapPacker packer(c.size, out);
        const std::string text = c.clocks;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == 'I') {
                for (int k = 0; k < (c.size == 8 ? 8 : 64); ++k)
                    packer.clock(false, false, false);
                continue;
            }
            const bool capture = i + 2 < text.size() && text[i + 2] == '+';
            packer.clock(text[i] == 'T', text[i + 1] == '1', capture);
            i += capture ? 2 : 1;
        }
        packer.finish();
        EXPECT_EQ(out.hex, c.packets) << c.clocks;
    }
}

TEST(DapCable, FailuresMidJobStopTheJobAndDisconnect)
{
    flash_job::ScratchDir dir;
    const std::string image = dir.write("i.bin", flash_job::pattern(0x2000, 5));
    const std::string report = (dir.path() / "r.json").string();
    const struct {
        const char* fault;
        const char* line;
        bool disconnected;
    } cases[] = {
        {"error:40",
         "Stopped by a cable error (CMSIS-DAP probe 2e8a:000c (serial E6614103E7): DAP_JTAG_Sequence "
         "answered DAP_ERROR) at 0x",
         true},
        {"unplug:40",
         "Stopped by a cable error (CMSIS-DAP probe 2e8a:000c (serial E6614103E7): USB read failed: "
         "no such device (the probe was unplugged)) at 0x",
         false},
        {nullptr, "Flash writing & verifying OK", true},
    };
    for (const auto& c : cases) {
        Args sim = {"--cable", "cmsis-dap", "--dap-version", "1"};
        if (c.fault != nullptr)
            sim.insert(sim.end(), {"--dap-fault", c.fault});
        SimSession session(sim);
        SimRun run =
            session.run({"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f" + image, "--report", report});
        EXPECT_EQ(run.status, c.fault != nullptr ? 1 : 0) << run.console;
        EXPECT_TRUE(flash_job::has(run.console, c.line)) << run.console;
        EXPECT_TRUE(std::filesystem::exists(report));
        std::filesystem::remove(report);
        // An unplugged probe hears nothing more; one that is still there is let go.
        EXPECT_EQ(run.stats.dap_disconnects, c.disconnected ? 1u : 0u) << run.console;
        EXPECT_FALSE(session.board().dap().connected() && c.disconnected);
        EXPECT_EQ(run.stats.dap_rejected, c.fault != nullptr && c.disconnected ? 1u : 0u);
    }
}

TEST(DapCable, ListNamesEveryProbeBesideTheAdapters)
{
    SimRun list = run_sim({"--dap-serial", "A", "--dap-serial", "B", "--dap-version", "1"}, {"--cable-list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.console,
              "2e8a:000c A Virtual CMSIS-DAP v1 (CMSIS-DAP v1)\n"
              "2e8a:000c B Virtual CMSIS-DAP v1 (CMSIS-DAP v1)\n0403:6010 - Dual RS232-HS\n");
    SimRun alone = run_sim({"--dap-serial", "A", "--no-usb"}, {"--cable-list"});
    EXPECT_EQ(alone.console, "no FTDI USB adapter found\n");
    EXPECT_EQ(list.stats.dap_packets + alone.stats.dap_packets, 0u);
}

}  // namespace
