// Port traffic of the cable and the TAP walks, byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "jtag/lpt_cable.h"
#include "jtag/tap.h"
#include "platform/platform.h"

namespace {

struct PortEvent {
    char kind;  // 'W' or 'R'
    uint16_t port;
    uint8_t value;
    bool operator==(const PortEvent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PortEvent& event)
{
    char text[32];
    std::snprintf(text, sizeof text, "%c %03X %02X", event.kind, event.port, event.value);
    return out << text;
}

// Records every port access. Ports in `echoing` read back their last write;
// status reads (base + 1) take their values from `status`; all else reads 0xFF.
class RecordingPlatform : public Platform {
public:
    std::vector<PortEvent> events;
    std::set<uint16_t> echoing;
    std::deque<uint8_t> status;
    uint16_t status_port = 0;

    const char* port_access() override { return nullptr; }
    void port_write(uint16_t port, uint8_t value) override
    {
        events.push_back({'W', port, value});
        last_write[port] = value;
    }
    uint8_t port_read(uint16_t port) override
    {
        uint8_t value = 0xFF;
        if (port == status_port && !status.empty()) {
            value = status.front();
            status.pop_front();
        } else if (echoing.count(port) && last_write.count(port)) {
            value = last_write[port];
        }
        events.push_back({'R', port, value});
        return value;
    }
    bool key_available() override { return false; }
    int key_read() override { return -1; }
    bool keys_ended() override { return true; }
    int64_t time_seconds() override { return 0; }
    void console_write(const char*, size_t) override {}

    std::vector<uint8_t> writes() const
    {
        std::vector<uint8_t> bytes;
        for (const PortEvent& event : events)
            if (event.kind == 'W')
                bytes.push_back(event.value);
        return bytes;
    }

private:
    std::map<uint16_t, uint8_t> last_write;
};

class CableTap : public ::testing::Test {
protected:
    static constexpr uint16_t kBase = 0x378;
    RecordingPlatform port;

    void SetUp() override
    {
        platform_install(&port);
        g_port_base = kBase;
        port.status_port = kBase + 1;
    }
    void TearDown() override { cable_init(); }

    // Status bytes whose bit 6 carries `tdo`; the other bits are noise the cable must ignore.
    void queue_tdo(const std::string& bits)
    {
        for (char bit : bits)
            port.status.push_back(bit == '1' ? 0x7F : 0xBF);
    }
};

TEST_F(CableTap, FindPortProbesEveryCandidateAndTheLastEchoWins)
{
    struct Case {
        std::set<uint16_t> echoing;
        uint16_t expected;
    };
    const Case cases[] = {
        {{0x278}, 0x278},        {{0x378, 0x3BC}, 0x3BC}, {{}, 0},
        {{0x378}, 0x378},        {{0x378, 0x278}, 0x278}, {{0x378, 0x278, 0x3BC}, 0x3BC},
        {{0x3BC, 0x2F8}, 0x3BC},
    };
    for (const Case& c : cases) {
        port.events.clear();
        port.echoing = c.echoing;
        EXPECT_EQ(lpt_find_port(), c.expected);
        auto echo = [&](uint16_t base) -> uint8_t { return c.echoing.count(base) ? 0x55 : 0xFF; };
        const std::vector<PortEvent> traffic = {
            {'W', 0x378, 0x55},        {'R', 0x378, echo(0x378)}, {'W', 0x278, 0x55},
            {'R', 0x278, echo(0x278)}, {'W', 0x3BC, 0x55},        {'R', 0x3BC, echo(0x3BC)},
        };
        EXPECT_EQ(port.events, traffic);
    }
}

TEST_F(CableTap, ClockWritesTwoBytesAtTheBase)
{
    const struct {
        uint8_t bits;
        uint8_t first;
        uint8_t second;
    } cases[] = {{0, 0x08, 0x0C}, {1, 0x09, 0x0D}, {2, 0x0A, 0x0E}, {3, 0x0B, 0x0F}};
    for (const auto& c : cases) {
        port.events.clear();
        lpt_clock(c.bits);
        const std::vector<PortEvent> traffic = {{'W', kBase, c.first}, {'W', kBase, c.second}};
        EXPECT_EQ(port.events, traffic) << "bits " << int(c.bits);
    }
}

TEST_F(CableTap, ParkWritesLineThreeLowForOneWrite)
{
    cable_park();
    const std::vector<PortEvent> traffic = {{'W', kBase, 0x08}, {'W', kBase, 0x00}, {'W', kBase, 0x08}};
    EXPECT_EQ(port.events, traffic);
}

TEST_F(CableTap, ReadTdoLooksOnlyAtStatusBitSix)
{
    const struct {
        uint8_t status;
        int tdo;
    } cases[] = {{0x40, 1}, {0xFF, 1}, {0x00, 0}, {0xBF, 0}, {0x80, 0}};
    for (const auto& c : cases) {
        port.events.clear();
        port.status = {c.status};
        EXPECT_EQ(lpt_read_tdo(), c.tdo) << std::hex << int(c.status);
        const std::vector<PortEvent> traffic = {{'R', kBase + 1, c.status}};
        EXPECT_EQ(port.events, traffic);
    }
}

TEST_F(CableTap, ResetIsFiveClocksWithTmsHigh)
{
    tap_reset();
    EXPECT_EQ(port.writes(), (std::vector<uint8_t>{0x0A, 0x0E, 0x0A, 0x0E, 0x0A, 0x0E, 0x0A, 0x0E, 0x0A, 0x0E}));
}

TEST_F(CableTap, ScansWriteExactBytes)
{
    struct Case {
        const char* name;
        void (*scan)();
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"IR 1011", [] { jtag_scan_ir(4, "1011"); }, {0x08, 0x0C, 0x0A, 0x0E, 0x0A, 0x0E, 0x08, 0x0C,
                                                      0x08, 0x0C, 0x09, 0x0D, 0x08, 0x0C, 0x09, 0x0D,
                                                      0x0B, 0x0F, 0x0B, 0x0F, 0x08, 0x0C}},
        {"DR 10110", [] { jtag_scan_dr("10110", 5); }, {0x08, 0x0C, 0x0A, 0x0E, 0x08, 0x0C, 0x08, 0x0C,
                                                        0x09, 0x0D, 0x08, 0x0C, 0x09, 0x0D, 0x09, 0x0D,
                                                        0x0A, 0x0E, 0x0A, 0x0E, 0x08, 0x0C}},
        // One bit: the clock that leaves Shift-DR carries it.
        {"DR 1",
         [] { jtag_scan_dr("1", 1); },
         {0x08, 0x0C, 0x0A, 0x0E, 0x08, 0x0C, 0x08, 0x0C, 0x0B, 0x0F, 0x0B, 0x0F, 0x08, 0x0C}},
        {"IR 0",
         [] { jtag_scan_ir(1, "0"); },
         {0x08, 0x0C, 0x0A, 0x0E, 0x0A, 0x0E, 0x08, 0x0C, 0x08, 0x0C, 0x0A, 0x0E, 0x0A, 0x0E, 0x08, 0x0C}},
    };
    for (const Case& c : cases) {
        port.events.clear();
        c.scan();
        EXPECT_EQ(port.writes(), c.bytes) << c.name;
        for (const PortEvent& event : port.events)
            EXPECT_EQ(event.port, kBase) << c.name;
    }
}

TEST_F(CableTap, ScanCostsFollowTheLength)
{
    std::string image(298, '0');
    jtag_scan_dr(image.c_str(), 298);
    EXPECT_EQ(port.writes().size(), 2u * (298 + 6));
    port.events.clear();
    jtag_scan_ir(4, "0000");
    EXPECT_EQ(port.writes().size(), 2u * (4 + 7));
}

TEST_F(CableTap, CaptureReadsAfterEachShiftClockOnly)
{
    queue_tdo("10011");
    char capture[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    jtag_scan_dr_capture("10110", capture, 5);
    EXPECT_EQ(std::string(capture, 8), "10011xxx");

    // Same writes as the plain scan, and one status read after the second
    // write of each shift clock (clocks 5 to 9).
    RecordingPlatform plain;
    platform_install(&plain);
    jtag_scan_dr("10110", 5);
    std::vector<PortEvent> expected;
    int clock = 0;
    for (size_t i = 0; i < plain.events.size(); ++i) {
        expected.push_back(plain.events[i]);
        if (i % 2 == 1) {
            ++clock;
            if (clock >= 5 && clock <= 9)
                expected.push_back({'R', kBase + 1, static_cast<uint8_t>("10011"[clock - 5] == '1' ? 0x7F : 0xBF)});
        }
    }
    EXPECT_EQ(port.events, expected);
}

TEST_F(CableTap, CaptureIntoTheShiftedBufferShiftsTheOldBits)
{
    char buffer[] = "10110";
    queue_tdo("01101");
    jtag_scan_dr_capture(buffer, buffer, 5);
    EXPECT_STREQ(buffer, "01101");

    RecordingPlatform plain;
    platform_install(&plain);
    jtag_scan_dr("10110", 5);
    EXPECT_EQ(port.writes(), plain.writes());
}

TEST_F(CableTap, OnlyTheLowBitOfACharacterIsShifted)
{
    struct Case {
        std::string odd;
        const char* plain;
    };
    const Case cases[] = {
        {std::string("3\0"
                     "21",
                     4),
         "1001"},
        {std::string("\0\0\0\0", 4), "0000"},
        {"3333", "1111"},
        {std::string("a`\0"
                     "1",
                     4),
         "1001"},
    };
    for (const Case& c : cases) {
        RecordingPlatform odd;
        platform_install(&odd);
        jtag_scan_dr(c.odd.data(), 4);
        jtag_scan_ir(4, c.odd.data());
        RecordingPlatform plain;
        platform_install(&plain);
        jtag_scan_dr(c.plain, 4);
        jtag_scan_ir(4, c.plain);
        EXPECT_EQ(odd.writes(), plain.writes()) << c.plain;
    }
}

TEST_F(CableTap, Reverse32ReversesOnlyTheFirst32Characters)
{
    char text[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    bitstring_reverse32(text);
    EXPECT_STREQ(text, "VUTSRQPONMLKJIHGFEDCBA9876543210WXYZ");
}

}  // namespace
