// SPDX-License-Identifier: Apache-2.0
// The one fake platform of the unit tests: records port accesses, echoes the data register
// of chosen bases, plays scripted status bytes, hands out scripted keys, captures the console
// and keeps a clock, either its own or a virtual board's.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/virtual_clock.h"

struct PortEvent {
    char kind;  // 'W' or 'R'
    uint16_t port;
    uint8_t value;
    bool operator==(const PortEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const PortEvent& e)
{
    return out << e.kind << ' ' << std::hex << e.port << ' ' << int(e.value) << std::dec;
}

class FakePlatform : public Platform {
public:
    // Ports: the data register of an echo base reads back its last write; its status register
    // (base + 1) plays `status` bytes, then `tdo` ('0'/'1' as bit 6), then `tdo_after_end`.
    std::set<uint16_t> echo_bases;
    std::deque<uint8_t> status;
    std::string tdo;
    char tdo_after_end = '0';
    const char* access_failure = nullptr;  // what port_access reports
    const char* port_failure = nullptr;    // what port_fault reports
    bool record = true;                    // keep every port access in `events`

    // Keys: `keys` in order, each available once the clock reaches its time; with
    // `idle_polls_per_key`, each is announced only after that many "no key yet" answers.
    bool input_closed = true;
    int idle_polls_per_key = 0;

    // Time: its own seconds (`now`, then + `time_step` per read), or those of `clock` when set,
    // which every port access advances by `port_ns` and every clock read by `clock_read_ns`.
    int64_t now = 0;
    int64_t time_step = 0;
    sim::VirtualClock* clock = nullptr;
    uint64_t port_ns = 1'000;
    uint64_t clock_read_ns = 50'000;

    // The console stands for a log unless a test says it is a terminal.
    bool terminal = false;

    // What happened.
    std::vector<PortEvent> events;
    std::string console;
    size_t tdo_reads = 0;
    uint64_t key_tests = 0;

    explicit FakePlatform(std::set<uint16_t> echoing = {0x378}) : echo_bases(std::move(echoing)) {}

    void press(int key, uint64_t at_ns = 0) { keys_.emplace_back(at_ns, key); }
    void type(const std::string& text)
    {
        for (char key : text)
            press(static_cast<unsigned char>(key));
    }
    size_t keys_left() const { return keys_.size(); }

    const char* port_access() override { return access_failure; }
    const char* port_fault() override { return port_failure; }

    void port_write(uint16_t port, uint8_t value) override
    {
        tick();
        if (record)
            events.push_back({'W', port, value});
        latched_[port] = value;
    }

    uint8_t port_read(uint16_t port) override
    {
        tick();
        uint8_t value = 0xFF;
        if (echo_bases.count(port)) {
            value = latched_.count(port) ? latched_[port] : 0;
        } else if (echo_bases.count(static_cast<uint16_t>(port - 1))) {
            if (!status.empty()) {
                value = status.front();
                status.pop_front();
            } else {
                char bit = tdo_reads < tdo.size() ? tdo[tdo_reads] : tdo_after_end;
                ++tdo_reads;
                value = bit == '1' ? 0x40 : 0x00;
            }
        }
        if (record)
            events.push_back({'R', port, value});
        return value;
    }

    bool key_available() override
    {
        ++key_tests;
        if (keys_.empty() || keys_.front().first > (clock ? clock->ns : 0))
            return false;
        if (idle_left_ > 0) {
            --idle_left_;
            return false;
        }
        return true;
    }
    int key_read() override
    {
        if (keys_.empty())
            return 0;
        int key = keys_.front().second;
        keys_.pop_front();
        idle_left_ = idle_polls_per_key;
        return key;
    }
    bool keys_ended() override { return input_closed && keys_.empty(); }

    int64_t time_seconds() override
    {
        if (clock) {
            clock->advance(clock_read_ns);
            return static_cast<int64_t>(clock->ns / 1'000'000'000);
        }
        int64_t t = now;
        now += time_step;
        return t;
    }
    uint64_t monotonic_ns() override
    {
        if (clock) {
            clock->advance(clock_read_ns);
            return clock->ns;
        }
        return static_cast<uint64_t>(now) * 1'000'000'000u;
    }

    void console_write(const char* text, size_t length) override { console.append(text, length); }
    bool console_is_terminal() override { return terminal; }

    // The bytes written to one port (or to any), in order.
    std::vector<uint8_t> writes_to(uint16_t port) const
    {
        std::vector<uint8_t> bytes;
        for (const PortEvent& e : events)
            if (e.kind == 'W' && e.port == port)
                bytes.push_back(e.value);
        return bytes;
    }
    std::vector<uint8_t> writes() const
    {
        std::vector<uint8_t> bytes;
        for (const PortEvent& e : events)
            if (e.kind == 'W')
                bytes.push_back(e.value);
        return bytes;
    }

private:
    void tick()
    {
        if (clock)
            clock->advance(port_ns);
    }

    std::deque<std::pair<uint64_t, int>> keys_;
    std::map<uint16_t, uint8_t> latched_;
    int idle_left_ = 0;
};
