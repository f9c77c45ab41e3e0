// SPDX-License-Identifier: Apache-2.0
// The network cables end to end: tarnflash-sim serving its board on 127.0.0.1, the real tarnflash
// (guarded) or OpenOCD driving it, and the server's answer to malformed input.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "jtag/bitbang_cable.h"
#include "jtag/xvc_cable.h"
#include "tests/support/guarded_run.h"

namespace {

using Strings = std::vector<std::string>;

// A server in the background: its port is the first line it prints.
struct Server {
    GuardedRun run;
    uint16_t port = 0;

    explicit Server(Strings args)
    {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        args.insert(args.begin(), TARNFLASH_SIM_PATH);
        run.start(args, {}, {.shim = false, .output = fds[1]});
        close(fds[1]);
        std::string line;
        for (char c = 0; line.find('\n') == std::string::npos && read(fds[0], &c, 1) == 1;)
            line += c;
        close(fds[0]);
        port = static_cast<uint16_t>(std::atoi(line.c_str()));
        EXPECT_NE(port, 0) << line;
    }
    std::string where() const { return "127.0.0.1:" + std::to_string(port); }
    std::string errors() const { return read_file(run.path("output")); }
};

std::string random_image(const std::string& path, size_t bytes)
{
    std::mt19937 random(static_cast<unsigned>(bytes));
    std::string image(bytes, '\0');
    for (char& c : image)
        c = static_cast<char>(random());
    std::ofstream(path, std::ios::binary) << image;
    return image;
}

int connect_to(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// A socket listening on 127.0.0.1 that nobody serves; its port into `port`.
int loopback_listener(uint16_t& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    listen(fd, 1);
    port = ntohs(address.sin_port);
    return fd;
}

// Sends `bytes` (then half-closes when `end`) and reads until the server closes: what it answered.
std::string exchange(uint16_t port, const std::string& bytes, bool end)
{
    const int fd = connect_to(port);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    if (end)
        shutdown(fd, SHUT_WR);
    std::string answer;
    char chunk[256];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        answer.append(chunk, static_cast<size_t>(got));
    close(fd);
    return answer;
}

std::string le32(uint32_t value)
{
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

struct JobCase {
    const char* serve;
    Strings board;
    Strings tool;
    size_t bytes;
    std::string line = {};  // one more line the tool prints
};

std::string boards(const std::string& name) { return std::string(TARNFLASH_BOARDS_DIR) + "/" + name; }

class NetworkJob : public ::testing::TestWithParam<JobCase> {};

TEST_P(NetworkJob, ProgramsAndVerifiesThroughTheServer)
{
    const JobCase& c = GetParam();
    GuardedRun client;
    Strings board = {"--serve",     std::string(c.serve) + ":0", "--serve-once", "--stats",
                     "--flash-out", client.path("flash.bin")};
    board.insert(board.end(), c.board.begin(), c.board.end());
    Server server(board);
    const std::string image = random_image(client.path("img.bin"), c.bytes);
    Strings tool = {TARNFLASH_PATH, "--cable", std::string(c.serve) + ":" + server.where(), "--report", "r.json"};
    tool.insert(tool.end(), c.tool.begin(), c.tool.end());
    tool.insert(tool.end(), {"-i", "1", "-f", "img.bin"});
    const RunResult job = client.run(tool, {});
    EXPECT_EQ(job.status, 0) << job.output;
    EXPECT_NE(job.output.find("Flash writing & verifying OK"), std::string::npos) << job.output;
    EXPECT_NE(job.output.find(c.line), std::string::npos) << job.output;
    const RunResult served = server.run.finish();
    EXPECT_EQ(served.status, 0);
    EXPECT_NE(served.output.find("rule_violations: 0\n"), std::string::npos) << served.output;
    EXPECT_NE(served.output.find("net_clients_dropped: 0\n"), std::string::npos) << served.output;
    const std::string report = read_file(client.path("r.json"));
    EXPECT_NE(report.find("\"server\": \"" + server.where() + "\""), std::string::npos) << report;
    EXPECT_NE(report.find("\"round_trips\": "), std::string::npos);
    EXPECT_EQ(read_file(client.path("flash.bin")).substr(0, image.size()), image);
}

const std::string kMirtaMap = "addr=A(1..23) data=D(0..15) ncs=nCS0 noe=nOE nwe=nWE";

INSTANTIATE_TEST_SUITE_P(
    Cases, NetworkJob,
    ::testing::Values(JobCase{"xvc", {"--flash", "S29GL064M"}, {"-C", "KTR5200", "-F", "S29GL064M", "-w", "16"}, 16384},
                      JobCase{"xvc",
                              {"--cpu", "PAXON", "--flash", "S29AL008D"},
                              {"--tck-hz", "30000000", "-C", "PAXON", "-F", "S29AL008D", "-w", "16"},
                              4096,
                              "runs TCK at 25000000 Hz (a 40 ns period), not the 30000000 Hz asked\n"},
                      JobCase{"xvc",
                              {"--chain-before", "0x0362D093:6", "--chain-after", "none:8", "--flash", "S29AL008D"},
                              {"--chain", "8,4,6", "--device", "1", "-C", "KTR5200", "-F", "S29AL008D", "-w", "16"},
                              4096},
                      JobCase{"remote-bitbang",
                              {"--bsdl", boards("mirta.bsd"), "--bus", kMirtaMap, "--flash", "S29GL064M"},
                              {"--bsdl", boards("mirta.bsd"), "--bus", kMirtaMap, "-F", "S29GL064M", "-w", "16"},
                              8192},
                      JobCase{"remote-bitbang",
                              {"--cpu", "MIRTA", "--flash", "SST39VF6401"},
                              {"-C", "MIRTA", "-F", "SST39VF6401", "-w", "16"},
                              4096}));

// OpenOCD's own player plays the file the tool wrote without the board; the flash must then hold
// the image, and a board that reads otherwise must fail a TDO check.
struct SvfCase {
    const char* label;
    Strings board;
    Strings tool;
    uint32_t start;  // of an 8 KB block: its erase check stays short
    bool mismatch = false;
};

void PrintTo(const SvfCase& c, std::ostream* os) { *os << c.label; }

class SvfPlay : public ::testing::TestWithParam<SvfCase> {};

TEST_P(SvfPlay, OpenOcdPlaysTheJobIntoTheFlash)
{
    const char* openocd = "/usr/bin/openocd";
    if (!std::filesystem::exists(openocd))
        GTEST_SKIP() << "no openocd";
    const SvfCase& c = GetParam();
    GuardedRun client;
    const std::string image = random_image(client.path("img.bin"), 4096);
    Strings tool = {TARNFLASH_PATH, "--svf", "job.svf", "--tck-hz", "100000", "-C",
                    "KTR5200",      "-w",    "16",      "-i",       "1",      "-f",
                    "img.bin",      "-o",    std::to_string(c.start)};
    tool.insert(tool.end(), c.tool.begin(), c.tool.end());
    const RunResult written = client.run(tool, {}, {.shim = false});
    ASSERT_EQ(written.status, 0) << written.output;
    EXPECT_NE(written.output.find("SVF written to job.svf: "), std::string::npos) << written.output;

    Strings board = {"--serve", "remote-bitbang:0", "--serve-once", "--stats", "--flash-out", client.path("flash.bin")};
    board.insert(board.end(), c.board.begin(), c.board.end());
    // The stuck bit holds a 1 that the image programs to 0.
    size_t low = 0;
    while (c.mismatch && (image[low] & 1) != 0)
        low += 2;
    if (c.mismatch)
        board.insert(board.end(), {"--fault", "stuck-bit:" + std::to_string(c.start + low) + ":0"});
    Server server(board);
    Strings args = {openocd};
    Strings commands = {"gdb_port disabled", "telnet_port disabled", "tcl_port disabled",
                        "adapter driver remote_bitbang", "remote_bitbang host 127.0.0.1",
                        "remote_bitbang port " + std::to_string(server.port), "transport select jtag"};
    // The chain row's further devices are declared too, so that OpenOCD's own start-up finds them.
    const bool chain = c.board.size() > 2;
    for (const char* tap : {"after -irlen 8", "cpu -irlen 4", "before -irlen 6"})
        if (std::string(tap) == "cpu -irlen 4" || chain)
            commands.push_back(std::string("jtag newtap board ") + tap);
    commands.insert(commands.end(), {"init", "svf " + client.path("job.svf") + " quiet", "shutdown"});
    for (const std::string& command : commands)
        args.insert(args.end(), {"-c", command});
    const RunResult played = client.run(args, {}, {.shim = false});
    const RunResult served = server.run.finish();
    EXPECT_EQ(played.output.find("tdo check error") != std::string::npos, c.mismatch) << played.output;
    EXPECT_EQ(played.output.find("svf file programmed successfully") != std::string::npos, !c.mismatch)
        << played.output;
    EXPECT_NE(served.output.find("rule_violations: 0\n"), std::string::npos) << served.output;
    const std::string flash = read_file(client.path("flash.bin"));
    EXPECT_EQ(flash.substr(c.start, image.size()) == image, !c.mismatch);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SvfPlay,
    ::testing::Values(SvfCase{"SingleWordsInBypass", {"--flash", "S29AL008D"}, {"-F", "S29AL008D"}, 0xF8000},
                      SvfCase{"Buffered", {"--flash", "S29GL064M"}, {"-F", "S29GL064M"}, 0x2000},
                      SvfCase{"AmongOtherDevices",
                              {"--flash", "S29AL008D", "--chain-before", "0x0362D093:6", "--chain-after", "none:8"},
                              {"-F", "S29AL008D", "--chain", "8,4,6", "--device", "1"},
                              0xF8000},
                      SvfCase{"StuckBitFailsACheck", {"--flash", "S29AL008D"}, {"-F", "S29AL008D"}, 0xF8000, true}),
    [](const auto& info) { return std::string(info.param.label); });

// Each row is one connection (an idle TAP's TDO reads 1); the server drops it with its line and serves the next.
struct Malformed {
    const char* serve;
    std::string bytes;
    bool end;
    const char* line;
    std::string answer;
};

TEST(NetworkServer, DropsMalformedClientsAndKeepsServing)
{
    const Malformed rows[] = {
        {"xvc", "getinfo:bogus:", false, "XVC client dropped: unknown command 'bogus:'", "xvcServer_v1.0:16384\n"},
        {"xvc", "shift:" + le32(16385 * 8 + 1), false, "shift: of 131081 bits is past the largest vector, 16384 bytes",
         ""},
        {"xvc", "shift:" + le32(16) + "\x01\x02\x03", true, "in the middle of a command (truncated)", ""},
        {"xvc", "getinf", false, "stalled in the middle of a command for 100 ms", ""},
        {"xvc", "settck:" + le32(10) + "GETINFO:", false, "unknown command 'GETINFO:'", le32(40)},
        {"remote-bitbang", "0R4R\n", false, "remote_bitbang client dropped: unknown request 0x0A", "11"},
        {"remote-bitbang", "Bbrstux", false, "unknown request 'x'", ""},
        {"remote-bitbang", "R0Q", false, nullptr, "1"},
    };
    for (const char* kind : {"xvc", "remote-bitbang"}) {
        Server server({"--serve", std::string(kind) + ":0", "--serve-stall-ms", "100"});
        size_t dropped = 0;
        for (const Malformed& row : rows) {
            if (std::string(row.serve) != kind)
                continue;
            EXPECT_EQ(exchange(server.port, row.bytes, row.end), row.answer) << row.line;
            if (row.line != nullptr) {
                EXPECT_NE(server.errors().find(row.line), std::string::npos) << server.errors();
            }
            dropped += row.line != nullptr;
        }
        // Random bytes: each connection is answered or dropped, and the server lives on.
        std::mt19937 random(7);
        for (int k = 0; k < 40; ++k) {
            std::string noise(1 + random() % 40, '\0');
            for (char& c : noise)
                c = static_cast<char>(random());
            exchange(server.port, noise, true);
        }
        if (std::string(kind) == "xvc")
            EXPECT_EQ(exchange(server.port, "getinfo:", true), "xvcServer_v1.0:16384\n");
        else
            EXPECT_EQ(exchange(server.port, "0R4RQ", true), "11");
        server.run.send(SIGTERM);
        const RunResult ended = server.run.finish();
        EXPECT_EQ(ended.status, 0) << ended.output;
        EXPECT_GE(std::count(ended.output.begin(), ended.output.end(), '\n'), static_cast<long>(dropped));
    }
}

TEST(NetworkServer, KilledMidJobStopsTheToolWithItsName)
{
    Server server({"--serve", "xvc:0", "--flash", "S29GL064M"});
    GuardedRun client;
    random_image(client.path("img.bin"), 256 * 1024);
    client.start({TARNFLASH_PATH, "--cable", "xvc:" + server.where(), "--report", "r.json", "-C", "KTR5200", "-F",
                  "S29GL064M", "-w", "16", "-i", "1", "-f", "img.bin"},
                 {});
    // Once programming has begun, the server goes away without a word.
    while (read_file(client.path("output")).find("Write") == std::string::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server.run.send(SIGKILL);
    server.run.finish();
    const RunResult job = client.finish();
    EXPECT_EQ(job.status, 1);
    const std::string stop =
        "Stopped by a cable error (XVC server " + server.where() + ": closed the connection) at 0x";
    EXPECT_NE(job.output.find(stop), std::string::npos) << job.output;
    EXPECT_NE(job.output.find("may be half-written"), std::string::npos);
    const std::string report = read_file(client.path("r.json"));
    EXPECT_NE(report.find("\"status\": 1"), std::string::npos) << report;
    EXPECT_NE(report.find(stop), std::string::npos) << report;
}

// One line, status 1, naming the server and the cause; nothing is left running.
TEST(NetworkCable, RefusesWhatItCannotUse)
{
    uint16_t number = 0;
    const int listener = loopback_listener(number);
    const std::string port = std::to_string(number);
    // A server that is no XVC server: it answers getinfo: with a greeting of its own.
    std::thread impostor([listener] {
        const int fd = accept(listener, nullptr, nullptr);
        char request[8];
        EXPECT_EQ(read(fd, request, sizeof request), 8);
        EXPECT_EQ(write(fd, "hello\n", 6), 6);
        close(fd);
    });
    const struct {
        Strings args;
        std::string line;
    } rows[] = {
        {{"--cable", "xvc:127.0.0.1:" + port},
         "XVC server 127.0.0.1:" + port + ": answers 'hello' to getinfo:, not xvcServer_v1.0:N"},
        {{"--cable", "xvc:127.0.0.1:" + port},
         "Cannot reach the XVC server 127.0.0.1:" + port + ": Connection refused"},
        {{"--cable", "remote-bitbang:unix:/nonexistent/socket"},
         "Cannot reach the remote_bitbang server unix:/nonexistent/socket: No such file or directory"},
        {{"--cable", "remote-bitbang:127.0.0.1"},
         "bad --cable 'remote-bitbang:127.0.0.1' (xvc:HOST[:PORT], remote-bitbang:HOST:PORT or "
         "remote-bitbang:unix:PATH)"},
        {{"--cable", "xvc:[::1:5"}, "bad --cable 'xvc:[::1:5'"},
        {{"--cable", "xvc:h:70000"}, "bad --cable 'xvc:h:70000'"},
        {{"--cable", "xvc:h", "--srst", "hold"}, "--srst needs a cable with a reset line: XVC has none"},
        {{"--cable", "remote-bitbang:h:1", "--tck-hz", "1000"}, "--tck-hz is for XVC"},
        {{"--cable", "xvc:h", "--cable-serial", "A"}, "are for a USB adapter, not a network cable"},
    };
    GuardedRun run;
    for (size_t k = 0; k < std::size(rows); ++k) {
        Strings args = {TARNFLASH_PATH};
        args.insert(args.end(), rows[k].args.begin(), rows[k].args.end());
        args.insert(args.end(), {"-C", "KTR5200", "-j"});
        if (k == 1) {
            impostor.join();
            close(listener);
        }
        const RunResult refused = run.run(args, {});
        EXPECT_EQ(refused.status, 1) << rows[k].line;
        EXPECT_NE(refused.output.find(rows[k].line), std::string::npos) << refused.output;
    }
}

TEST(NetworkServer, APortInUseIsRefused)
{
    uint16_t port = 0;
    const int listener = loopback_listener(port);
    GuardedRun run;
    const RunResult refused =
        run.run({TARNFLASH_SIM_PATH, "--serve", "xvc:" + std::to_string(port)}, {}, {.shim = false});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.output,
              "tarnflash-sim: cannot listen on 127.0.0.1:" + std::to_string(port) + ": Address already in use\n");
    close(listener);
}

// Connected, and the server never answers: the read ends at its bound.
TEST(NetworkCable, ASilentServerTimesOut)
{
    uint16_t port = 0;
    const int listener = loopback_listener(port);
    NetStream stream;
    ASSERT_EQ(stream.connect("127.0.0.1", port, 1000), nullptr);
    stream.set_read_timeout(50);
    uint8_t byte = 0;
    EXPECT_FALSE(stream.read(&byte, 1));
    EXPECT_STREQ(stream.error(), "gave no answer for 1 s");
    close(listener);
}

// A program nobody here wrote reads the served board's IDCODE.
TEST(NetworkServer, OpenOcdReadsTheCpuIdcode)
{
    const char* openocd = "/usr/bin/openocd";
    if (!std::filesystem::exists(openocd))
        GTEST_SKIP() << "no openocd";
    Server server({"--serve", "remote-bitbang:0", "--serve-once", "--stats"});
    GuardedRun run;
    Strings args = {openocd};
    for (const std::string& command :
         Strings{"gdb_port disabled", "telnet_port disabled", "tcl_port disabled", "adapter driver remote_bitbang",
                 "remote_bitbang host 127.0.0.1", "remote_bitbang port " + std::to_string(server.port),
                 "transport select jtag", "jtag newtap ktr cpu -irlen 4 -expected-id 0x1b4e20d3", "init", "scan_chain",
                 "shutdown"})
        args.insert(args.end(), {"-c", command});
    const RunResult scanned = run.run(args, {}, {.shim = false});
    EXPECT_NE(scanned.output.find("ktr.cpu                Y     0x1b4e20d3 0x1b4e20d3     4"), std::string::npos)
        << scanned.output;
    const RunResult served = server.run.finish();
    EXPECT_NE(served.output.find("net_clients_dropped: 0\n"), std::string::npos) << served.output;
}

// A server that answers from a script, and for a shift its TDI vector back as TDO.
struct LoopbackLink : ByteStream {
    std::string sent;
    std::string script;  // answers before any shift
    bool bitbang = false;
    bool write(const uint8_t* data, size_t length, std::vector<uint8_t>&) override
    {
        const std::string bytes(reinterpret_cast<const char*>(data), length);
        for (size_t at = 0; !bitbang && (at = bytes.find("shift:", at)) != std::string::npos; at += 6) {
            const uint32_t bits = static_cast<uint8_t>(bytes[at + 6]) | static_cast<uint8_t>(bytes[at + 7]) << 8;
            const size_t vector = (bits + 7) / 8;
            script += bytes.substr(at + 10 + vector, vector);
        }
        for (char c : bitbang ? bytes : "")
            if (c == 'R')
                script += sent.empty() ? '0' : sent.back() & 1 ? '1' : '0';  // the TDI just set
        sent += bytes;
        return true;
    }
    bool read(uint8_t* data, size_t length) override
    {
        if (script.size() < length)
            return false;
        std::copy_n(script.begin(), length, data);
        script.erase(0, length);
        return true;
    }
    const char* error() const override { return "closed the connection"; }
};

TEST(NetworkCable, XvcSplitsAtTheServersVectorAndPlacesTdo)
{
    EXPECT_EQ(xvc_parse_info("xvcServer_v1.0:2048\n"), 2048u);
    for (const char* bad : {"xvcServer_v1.1:2048\n", "xvcServer_v1.0:\n", "xvcServer_v1.0:12x\n", "hello\n"})
        EXPECT_EQ(xvc_parse_info(bad), 0u) << bad;
    LoopbackLink link;
    link.script = "xvcServer_v1.0:4\n" + le32(167);
    XvcCable cable(link, "h:1");
    ASSERT_EQ(cable.open(6'000'000), nullptr);
    EXPECT_EQ(link.sent, "getinfo:settck:" + le32(167));
    // Two bytes a vector: 5 TMS clocks and a 20-bit shift make 16 + 9 clocks.
    const std::string bits = "10110011100011110000";
    std::string captured(bits.size(), '?');
    cable.tms_path(0b00110, 5, 1);
    cable.shift(bits.c_str(), 20, true, {.capture = captured.data()});
    EXPECT_EQ(captured, std::string(20, '?')) << "nothing is read before flush()";
    cable.flush();
    EXPECT_EQ(captured, bits);
    const std::string shifts = link.sent.substr(19);
    EXPECT_EQ(shifts, "shift:" + le32(16) + std::string("\x06\x00\xBF\x39", 4) + "shift:" + le32(9) +
                          std::string("\x00\x01\x1E\x00", 4));
    EXPECT_EQ(cable.round_trips(), 2u);
}

TEST(NetworkCable, RemoteBitbangSendsTwoEdgesAClockAndReadsBetween)
{
    LoopbackLink link;
    link.bitbang = true;
    BitbangCable cable(link, "h:1");
    ASSERT_EQ(cable.open(true, false), nullptr);
    char sampled[1] = {'?'};
    const uint16_t cells[] = {1};
    cable.shift("10", 2, true, {.cells = cells, .count = 1, .sample = sampled});
    cable.close();
    EXPECT_EQ(link.sent,
              "sR"
              "15"
              "2R6"
              "rQ");
    EXPECT_EQ(sampled[0], '0');
}

}  // namespace
