// SPDX-License-Identifier: Apache-2.0
// The whole tool against the virtual board: the IDCODE check and the port.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/interrupts.h"
#include "platform/sha256.h"
#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

struct IdcodeCase {
    const char* board_cpu;
    const char* tool_cpu;
    const char* bits;  // the ID read, most significant bit first
    bool match;
};

TEST(SimEndToEnd, IdcodeCheckOnEveryCpu)
{
    const IdcodeCase cases[] = {
        {"KTR5200", "KTR5200", "00011011010011100010000011010011", true},
        {"ULN", "ULN", "00011011010011100010000011010011", true},
        {"PAXON", "PAXON", "00000000100100111010000011000101", true},
        {"MIRTA", "MIRTA", "00001100010011010111111000101111", true},
        // Same die, same IDCODE and instruction: the name alone tells them apart.
        {"ULN", "KTR5200", "00011011010011100010000011010011", true},
        {"KTR5200", "ULN", "00011011010011100010000011010011", true},
        // KTR5200's IDCODE instruction is BYPASS on MIRTA: the test pattern comes
        // back one clock late behind the bypass cell's captured 0.
        {"MIRTA", "KTR5200", "11100001111000011110000111100000", false},
    };
    for (const IdcodeCase& c : cases) {
        SimRun run = run_sim({"--cpu", c.board_cpu}, {"-C", c.tool_cpu, "-j"});
        std::string label = std::string(c.board_cpu) + " board, -C " + c.tool_cpu;
        EXPECT_EQ(run.status, c.match ? 0 : 1) << label;
        if (c.match) {
            EXPECT_NE(run.console.find(std::string("\nOK!, JTAG ID:   ") + c.bits + "\n"), std::string::npos)
                << label << "\n"
                << run.console;
            EXPECT_EQ(run.console.find("Invalid JTAG ID"), std::string::npos) << label;
        } else {
            EXPECT_NE(run.console.find(std::string("\nYour JTAG ID:   ") + c.bits + "\n"), std::string::npos)
                << label << "\n"
                << run.console;
            EXPECT_NE(run.console.find("Invalid JTAG ID\n"), std::string::npos) << label;
        }
        EXPECT_EQ(run.stats.ir_scans, 1u) << label;
        EXPECT_EQ(run.stats.dr_scans, 1u) << label;
    }
}

TEST(SimEndToEnd, AnInterruptBeforeTheRunStopsTheIdcodeCheck)
{
    interrupt_raise(SIGINT);  // as while the caller set up: a large board takes time
    SimRun run = run_sim({}, {"-C", "KTR5200", "-j"});
    interrupts_reset();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find("\nStopped by SIGINT before the flash was changed\n"), std::string::npos) << run.console;
}

TEST(SimEndToEnd, EveryPortBaseIsFound)
{
    for (const char* base : {"0x378", "0x278", "0x3BC"}) {
        SimRun run = run_sim({"--port-base", base}, {"-C", "KTR5200", "-j"});
        EXPECT_EQ(run.status, 0) << base;
        EXPECT_NE(run.console.find("\nOK!, JTAG ID:   "), std::string::npos) << base << "\n" << run.console;
    }
}

TEST(SimEndToEnd, NoPortEndsWithStatusOne)
{
    SimRun run = run_sim({"--no-port"}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find("Cannot get LPT PORT\n"), std::string::npos) << run.console;
    // Probing only: one write and one read per candidate, nothing after.
    EXPECT_EQ(run.stats.port_writes, 3u);
    EXPECT_EQ(run.stats.port_reads, 3u);
}

TEST(SimEndToEnd, IdcodeCheckPortTraffic)
{
    SimRun run = run_sim({"--cpu", "KTR5200"}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stats.port_writes, 117u);
    EXPECT_EQ(run.stats.port_reads, 35u);
    EXPECT_EQ(run.virtual_ns, (117u + 35u) * 1000u);
}

TEST(SimEndToEnd, BadSimulatorOptionDoesNotRunTheTool)
{
    SimRun run = run_sim({"--cpu", "Z80"}, {"-C", "KTR5200", "-j"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.console.rfind("tarnflash-sim: ", 0), 0u);
    EXPECT_EQ(run.stats.port_writes, 0u);
}

// The report's schema, as the manual page gives it: every leaf and the JSON types it may take.
const std::map<std::string, std::vector<nlohmann::json::value_t>> kReportSchema = [] {
    using t = nlohmann::json::value_t;
    const std::vector<t> text{t::string}, number{t::number_unsigned, t::number_integer}, real{t::number_float};
    const std::vector<t> text_or_null{t::string, t::null}, number_or_null{t::number_unsigned, t::null};
    return std::map<std::string, std::vector<t>>{{"/schema", text},
                                                 {"/tool/name", text},
                                                 {"/tool/version", text},
                                                 {"/started", text},
                                                 {"/cable/kind", text_or_null},
                                                 {"/cable/port", number_or_null},
                                                 {"/cable/vid_pid", text_or_null},
                                                 {"/cable/serial", text_or_null},
                                                 {"/cable/description", text_or_null},
                                                 {"/target/cpu", text_or_null},
                                                 {"/target/bsdl", text_or_null},
                                                 {"/target/idcode_expected", text_or_null},
                                                 {"/target/idcode_read", text_or_null},
                                                 {"/target/chain_device", number_or_null},
                                                 {"/target/chain_devices", number_or_null},
                                                 {"/flash/model", text_or_null},
                                                 {"/flash/bus_width", number_or_null},
                                                 {"/flash/chips", number_or_null},
                                                 {"/flash/maker_id", text_or_null},
                                                 {"/flash/device_id", text_or_null},
                                                 {"/flash/size", number_or_null},
                                                 {"/job/kind", text},
                                                 {"/job/start", number},
                                                 {"/job/length", number},
                                                 {"/job/image", {t::null}},
                                                 {"/job/image/path", text},
                                                 {"/job/image/size", number_or_null},
                                                 {"/job/image/sha256", text_or_null},
                                                 {"/outcome/status", number},
                                                 {"/outcome/message", text},
                                                 {"/outcome/first_failing_address", number_or_null},
                                                 {"/stages_s", {t::null}},  // empty
                                                 {"/stages_s/*", real},
                                                 {"/counters", {t::null}},
                                                 {"/counters/*", number}};
}();

void expect_schema(const nlohmann::json& report)
{
    const nlohmann::json flat = report.flatten();
    for (const auto& [at, value] : flat.items()) {
        auto row = kReportSchema.find(at);
        if (row == kReportSchema.end())
            row = kReportSchema.find(at.substr(0, at.rfind('/')) + "/*");
        ASSERT_NE(row, kReportSchema.end()) << at << " is not in the schema";
        EXPECT_NE(std::find(row->second.begin(), row->second.end(), value.type()), row->second.end())
            << at << " has type " << value.type_name();
    }
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SimEndToEnd, ReportOfAGoodAndAFailedJobFollowsItsSchema)
{
    flash_job::ScratchDir dir;
    const flash_job::Bytes image = flash_job::pattern(0x2000, 3);
    const std::string image_path = dir.write("image.bin", image);
    const std::string good = (dir.path() / "good.json").string();
    const std::string bad = (dir.path() / "bad.json").string();
    const std::vector<std::string> job = {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f" + image_path};
    auto with = [&job](const std::string& report) {
        std::vector<std::string> args = job;
        args.insert(args.end(), {"--report", report});
        return args;
    };
    SimRun done = run_sim({}, with(good));
    SimRun failed = run_sim({"--fault", "stuck-bit:0x1000:2"}, with(bad));
    ASSERT_EQ(done.status, 0) << done.console;
    ASSERT_EQ(failed.status, 1);

    const nlohmann::json ok = nlohmann::json::parse(read_text(good));
    const nlohmann::json ko = nlohmann::json::parse(read_text(bad));
    expect_schema(ok);
    expect_schema(ko);
    EXPECT_EQ(ok["flash"]["model"], "S29AL008D");
    EXPECT_EQ(ok["flash"]["device_id"], "0x22DA");
    EXPECT_EQ(ok["job"]["image"]["sha256"], sha256_hex(image));
    EXPECT_EQ(ok["outcome"]["status"], 0);
    EXPECT_EQ(ok["outcome"]["message"], "Flash writing & verifying OK");
    EXPECT_EQ(ok["counters"]["dr_scans"], done.stats.dr_scans);
    EXPECT_EQ(ko["outcome"]["status"], 1);
    EXPECT_EQ(ko["outcome"]["first_failing_address"], 0x1000);
    EXPECT_FALSE(std::filesystem::exists(bad + ".partial"));

    // A verify that differs names the first word that does, not where its last read began.
    flash_job::Bytes changed = image;
    changed[0x1234] ^= 1;
    const std::string verify = (dir.path() / "verify.json").string();
    SimRun differs =
        run_sim({"--flash-in", dir.write("flash.bin", changed)}, {"-C", "KTR5200", "-F", "S29AL008D", "-w", "16", "-i",
                                                                  "1", "--verify", image_path, "--report", verify});
    EXPECT_EQ(differs.status, 1);
    EXPECT_EQ(nlohmann::json::parse(read_text(verify))["outcome"]["first_failing_address"], 0x1234);
}

// A job refused before its cable opens still says which board and job it was for.
TEST(SimEndToEnd, ReportOfAJobRefusedBeforeItsCable)
{
    flash_job::ScratchDir dir;
    const std::string image = dir.write("boot.bin", flash_job::pattern(0x300, 1));
    const std::string report = (dir.path() / "r.json").string();
    const std::vector<std::string> job = {"--report",  report, "-C", "KTR5200", "-F",
                                          "S29AL008D", "-w",   "16", "-i",      "1"};
    const struct {
        std::vector<std::string> sim, tool;
        std::map<std::string, nlohmann::json> fields;
    } cases[] = {
        {{"--no-port"},
         {"-f" + image, "-o0x100"},
         {{"/cable/port", nullptr},
          {"/job/kind", "program"},
          {"/job/start", 256},
          {"/job/image/size", 0x300},
          {"/outcome/message", "Cannot get LPT PORT"}}},
        {{"--no-usb"},
         {"--cable-id", "403:CFF8", "--cable-serial", "S9", "-f" + image},
         {{"/cable/kind", "ftdi"},
          {"/cable/vid_pid", "0403:cff8"},
          {"/cable/serial", "S9"},
          {"/flash/model", "S29AL008D"},
          {"/flash/bus_width", 16}}},
        {{},
         {"-x", "-eall"},
         {{"/cable/kind", "parport"},
          {"/target/cpu", "KTR5200"},
          {"/job/kind", "erase"},
          {"/outcome/message", "unknown option -x"}}},
        {{}, {"-j", "-f" + image}, {{"/job/kind", "idcode"}, {"/job/image/path", image}}},
        {{}, {"-f", image}, {{"/job/kind", "program"}, {"/job/image/size", 0x300}}},
        {{}, {"--chain-list", "-x"}, {{"/job/kind", "chain-list"}}},
        {{},
         {"--bsdl", "none.bsd", "--verify", image},
         {{"/target/cpu", nullptr}, {"/target/bsdl", "none.bsd"}, {"/job/kind", "verify"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> tool = job;
        tool.insert(tool.end(), c.tool.begin(), c.tool.end());
        EXPECT_EQ(run_sim(c.sim, tool).status, 1);
        const nlohmann::json written = nlohmann::json::parse(read_text(report));
        expect_schema(written);
        for (const auto& [at, value] : c.fields)
            EXPECT_EQ(written.at(nlohmann::json::json_pointer(at)), value) << at << " of " << c.tool[0];
    }
}

TEST(SimEndToEnd, Sha256OfKnownTexts)
{
    const std::string abc = "abc";
    const std::string two_blocks(56, 'a');  // the length no longer fits the first block
    EXPECT_EQ(sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex({reinterpret_cast<const uint8_t*>(abc.data()), abc.size()}),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex({reinterpret_cast<const uint8_t*>(two_blocks.data()), two_blocks.size()}),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

}  // namespace
