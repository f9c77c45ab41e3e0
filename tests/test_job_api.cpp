// SPDX-License-Identifier: Apache-2.0
// The job API on the virtual board: each job kind in one call, and the causes it ends with.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <tarnflash/tarnflash.h>
#include <thread>
#include <vector>

#include "platform/net_stream.h"
#include "platform/os_platform.h"
#include "platform/platform.h"
#include "sim/board_server.h"
#include "sim/sim_platform.h"
#include "tests/support/sim_run.h"

namespace {

// Answers what it is given; a 0 or an empty model means it cannot.
class StationHost final : public tarnflash::Host {
public:
    std::string model;
    int width = 0;
    int chips = 0;
    std::vector<tarnflash::EventKind> seen;
    void report(const tarnflash::Event& e) override { seen.push_back(e.kind); }
    bool stop_key() override { return false; }
    const char* interrupt_requested() override { return nullptr; }
    uint64_t monotonic_ns() override { return platform().monotonic_ns(); }
    std::string flash_model(std::span<const char* const>) override { return model; }
    int bus_width() override { return width; }
    int interleave() override { return chips; }
};

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return bytes;
}

struct JobCase {
    const char* what;
    std::vector<std::string> board;  // simulator options
    tarnflash::Setup setup;
    std::function<tarnflash::Outcome(tarnflash::Job&, sim::VirtualBoard&)> job;
    tarnflash::Status status;
    const char* cause;  // the start of the report's cause line
    tarnflash::CableKind cable = tarnflash::CableKind::parport;
    sim::ServeChoice::Kind serve = sim::ServeChoice::Kind::none;  // the board served on 127.0.0.1
};

// The board served to one client in a thread; the server ends when its client (or, if none came, a
// connection made here) closes.
struct ServedBoard {
    NetListener listener;
    std::thread thread;
    std::string cable;  // the value that names it
    ServedBoard(sim::ServeChoice::Kind kind, sim::VirtualBoard& board)
    {
        EXPECT_EQ(listener.listen_loopback(0), nullptr);
        thread = std::thread(
            [this, kind, &board] { sim::serve_listener(listener, {.kind = kind, .once = true}, 1000, board); });
        cable = (kind == sim::ServeChoice::Kind::xvc ? "xvc:" : "remote-bitbang:") + std::string("127.0.0.1:") +
                std::to_string(listener.port());
    }
    ~ServedBoard()
    {
        NetStream().connect("127.0.0.1", listener.port(), 1000);
        thread.join();
    }
};

const std::vector<uint8_t> kImage = pattern(0x10000);

tarnflash::Outcome program_and_compare(tarnflash::Job& job, sim::VirtualBoard& board)
{
    const tarnflash::Outcome done = job.program(kImage, {.start = 0x10000});
    const std::vector<uint8_t> flash = board.flash()->contents();
    EXPECT_TRUE(std::equal(kImage.begin(), kImage.end(), flash.begin() + 0x10000));
    return done;
}

tarnflash::Outcome read_back(tarnflash::Job& job, sim::VirtualBoard& board)
{
    std::vector<uint8_t> in(0x800000, 0xFF);
    std::copy(kImage.begin(), kImage.end(), in.begin() + 0x20000);
    board.flash()->load(in);
    const tarnflash::ReadResult read = job.read(0x20000, 0x10000);
    EXPECT_EQ(read.bytes, kImage);
    return read.outcome;
}

tarnflash::Outcome verify_one_off(tarnflash::Job& job, sim::VirtualBoard& board)
{
    std::vector<uint8_t> in(0x800000, 0xFF);
    std::copy(kImage.begin(), kImage.end(), in.begin());
    in[0x1234] ^= 0x10;
    board.flash()->load(in);
    const tarnflash::Outcome verified = job.verify(kImage, 0);
    EXPECT_EQ(verified.address, 0x1234u);
    return verified;
}

tarnflash::Outcome erase_block(tarnflash::Job& job, sim::VirtualBoard& board)
{
    board.flash()->load(std::vector<uint8_t>(0x30000, 0x00));
    const tarnflash::Outcome erased = job.erase(0x10000, 0x10000);
    const std::vector<uint8_t> flash = board.flash()->contents();
    EXPECT_EQ(flash[0xFFFF], 0x00);
    EXPECT_EQ(std::count(flash.begin() + 0x10000, flash.begin() + 0x20000, 0xFF), 0x10000);
    EXPECT_EQ(flash[0x20000], 0x00);
    return erased;
}

const tarnflash::Setup kKtr{.cpu = "KTR5200", .flash = "S29GL064M", .bus_width = 16, .interleave = 1};
const std::vector<std::string> kBoard{"--cpu", "KTR5200", "--flash", "S29GL064M"};

TEST(JobApi, EachJobKindOnTheVirtualBoard)
{
    const JobCase cases[] = {
        {"program", kBoard, kKtr, program_and_compare, tarnflash::Status::ok, ""},
        {"read", kBoard, kKtr, read_back, tarnflash::Status::ok, ""},
        {"program over USB",
         {"--cpu", "KTR5200", "--flash", "S29GL064M", "--cable", "ftdi"},
         kKtr,
         program_and_compare,
         tarnflash::Status::ok,
         "",
         tarnflash::CableKind::ftdi},
        {"read over a J-Link",
         {"--cpu", "KTR5200", "--flash", "S29GL064M", "--cable", "jlink"},
         kKtr,
         read_back,
         tarnflash::Status::ok,
         "",
         tarnflash::CableKind::jlink},
        {"erase over GPIO lines",
         {"--cpu", "KTR5200", "--flash", "S29GL064M", "--cable", "gpio"},
         kKtr,
         erase_block,
         tarnflash::Status::ok,
         "",
         tarnflash::CableKind::gpio},
        {"verify over CMSIS-DAP",
         {"--cpu", "KTR5200", "--flash", "S29GL064M", "--cable", "cmsis-dap"},
         kKtr,
         verify_one_off,
         tarnflash::Status::mismatch,
         "0x00001234 reads ",
         tarnflash::CableKind::cmsis_dap},
        {"program over XVC", kBoard, kKtr, program_and_compare, tarnflash::Status::ok, "",
         tarnflash::CableKind::remote, sim::ServeChoice::Kind::xvc},
        {"read over remote_bitbang", kBoard, kKtr, read_back, tarnflash::Status::ok, "",
         tarnflash::CableKind::remote, sim::ServeChoice::Kind::bitbang},
        {"verify", kBoard, kKtr, verify_one_off, tarnflash::Status::mismatch, "0x00001234 reads "},
        {"erase", kBoard, kKtr, erase_block, tarnflash::Status::ok, ""},
        {"update",
         kBoard,
         kKtr,
         [](tarnflash::Job& job, sim::VirtualBoard& board) {
             std::vector<uint8_t> in(0x800000, 0xFF);
             std::copy(kImage.begin(), kImage.end(), in.begin() + 0x10000);
             in[0x10010] = 0xFF;  // one word to program over; the next block already holds its part
             board.flash()->load(in);
             const tarnflash::Outcome done = job.program(kImage, {.start = 0x10000, .update = true});
             const tarnflash::Report::Blocks blocks = job.report().blocks;
             EXPECT_EQ((std::array{blocks.unchanged, blocks.programmed_over, blocks.erased}), (std::array{0u, 1u, 0u}));
             EXPECT_EQ(board.flash()->contents()[0x10010], kImage[0x10]);
             return done;
         },
         tarnflash::Status::ok,
         ""},
        {"protected block",
         {"--cpu", "KTR5200", "--protect", "3"},
         {.cpu = "KTR5200", .flash = "S29AL008D", .bus_width = 16, .interleave = 1},
         [](tarnflash::Job& job, sim::VirtualBoard&) { return job.program(kImage, {.start = 0x30000}); },
         tarnflash::Status::refused,
         "Block 3 at 0x00030000 is protected"},
        {"misaligned", kBoard, kKtr,
         [](tarnflash::Job& job, sim::VirtualBoard&) { return job.program(kImage, {.start = 0x10100}); },
         tarnflash::Status::refused, "Not alignd writing address: 0x00010100"},
        {"no model",
         kBoard,
         {.cpu = "KTR5200"},
         [](tarnflash::Job& job, sim::VirtualBoard&) { return job.erase(0, 0x10000); },
         tarnflash::Status::refused,
         "No flash model: "},
        {"detect",
         kBoard,
         {.cpu = "KTR5200", .detect = true},
         [](tarnflash::Job& job, sim::VirtualBoard&) {
             const tarnflash::FlashFound found = job.detect();
             EXPECT_EQ(found.model, "S29GL064M");
             EXPECT_EQ(found.size, 0x800000u);
             return found.outcome;
         },
         tarnflash::Status::ok,
         ""},
        {"wrong CPU",
         kBoard,
         {.cpu = "MIRTA", .flash = "S29GL064M", .bus_width = 16, .interleave = 1},
         [](tarnflash::Job& job, sim::VirtualBoard&) { return job.detect().outcome; },
         tarnflash::Status::refused,
         "Fail, Read JTAG ID: "},
    };
    Platform* before = platform_installed();
    for (const JobCase& c : cases) {
        SimSession session(c.board);
        ASSERT_TRUE(session.ok()) << session.error();
        sim::SimPlatform sim_platform(session.board(), {});
        // A served board's clock is its server's: the job runs on the operating system's.
        const std::unique_ptr<Platform> os = make_os_platform();
        const bool served = c.serve != sim::ServeChoice::Kind::none;
        platform_install(served ? os.get() : &sim_platform);
        std::optional<ServedBoard> server;
        if (served)
            server.emplace(c.serve, session.board());
        std::string cause;
        // The virtual GPIO chip's lines, as the command line's tests name them.
        const bool gpio = c.cable == tarnflash::CableKind::gpio;
        auto cable = tarnflash::open_cable({.kind = c.cable,
                                            .port = served ? server->cable : (gpio ? "gpiochip0" : ""),
                                            .config = gpio ? "tck=11,tms=25,tdi=10,tdo=9" : ""},
                                           &cause);
        ASSERT_TRUE(cable) << c.what << ": " << cause;
        StationHost host;
        tarnflash::Job job(*cable, c.setup, host);
        const tarnflash::Outcome outcome = c.job(job, session.board());
        EXPECT_EQ(outcome.status, c.status) << c.what << ": " << job.report().cause;
        EXPECT_EQ(job.report().cause.rfind(c.cause, 0), 0u) << c.what << ": " << job.report().cause;
        cable.reset();
        platform_install(before);
    }
}

}  // namespace

namespace {

// A cable that cannot be opened: no cable, and the reason.
TEST(JobApi, CablesThatCannotOpenSayWhy)
{
    // A port listened on a moment ago and no longer.
    const std::string gone = [] {
        NetListener listener;
        EXPECT_EQ(listener.listen_loopback(0), nullptr);
        return "127.0.0.1:" + std::to_string(listener.port());
    }();
    const struct {
        tarnflash::CableChoice choice;
        std::string cause;
    } cases[] = {
        {{.kind = tarnflash::CableKind::ftdi, .config = "/nonexistent/adapter.cfg"}, "/nonexistent/adapter.cfg"},
        {{.kind = tarnflash::CableKind::jlink, .serial = "42"}, "no J-Link with serial 42 found"},
        {{.kind = tarnflash::CableKind::gpio, .port = "gpiochip0", .config = "tck=11"}, "--gpio-pins lacks tms"},
        {{.kind = tarnflash::CableKind::remote, .port = "xvc:" + gone},
         "Cannot reach the XVC server " + gone + ": Connection refused"},
        {{.kind = tarnflash::CableKind::remote, .port = "remote-bitbang:unix:/nonexistent/socket"},
         "Cannot reach the remote_bitbang server unix:/nonexistent/socket: No such file or directory"},
        {{.kind = tarnflash::CableKind::remote, .port = "127.0.0.1:1"},
         "bad network cable '127.0.0.1:1' (xvc:HOST[:PORT], remote-bitbang:HOST:PORT or remote-bitbang:unix:PATH)"},
        {{.kind = tarnflash::CableKind::remote, .port = "remote-bitbang:127.0.0.1"}, "bad network cable "},
        {{.kind = tarnflash::CableKind::remote, .port = "remote-bitbang:h:1", .khz = 1000}, "a TCK rate is for XVC"},
        {{.kind = tarnflash::CableKind::ftdi, .khz = 5'000'000}, "khz 5000000 is beyond any TCK rate"},
    };
    SimSession session({"--cpu", "KTR5200", "--cable", "jlink"});
    sim::SimPlatform sim_platform(session.board(), {});
    Platform* before = platform_installed();
    platform_install(&sim_platform);
    for (const auto& c : cases) {
        std::string cause;
        EXPECT_EQ(tarnflash::open_cable(c.choice, &cause), nullptr) << c.cause;
        EXPECT_NE(cause.find(c.cause), std::string::npos) << cause;
    }
    platform_install(before);
}

}  // namespace
