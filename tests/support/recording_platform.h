// A fake platform for unit tests: records every port access, echoes the data
// register of chosen bases, plays a scripted TDO stream on their status register,
// hands out scripted keys, captures the console and keeps a settable clock.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

struct PortEvent {
    uint16_t port;
    uint8_t value;
    bool is_read;
};

class RecordingPlatform : public Platform {
public:
    // Configuration.
    std::set<uint16_t> echo_bases;         // data registers that read back the last byte written
    std::string tdo;                       // '0'/'1' per read of an echo base's status register
    char tdo_after_end = '0';              // TDO once the script is used up
    const char* access_failure = nullptr;  // what port_access reports (nullptr = granted)
    std::deque<int> keys;                  // scripted keys, in order
    bool input_closed = true;              // keys_ended() once the keys are used up
    int64_t now = 0;                       // time_seconds() returns now, then adds time_step
    int64_t time_step = 0;

    // What happened.
    std::vector<PortEvent> events;
    std::string console;
    size_t tdo_reads = 0;

    explicit RecordingPlatform(std::set<uint16_t> echoing = {0x378}) : echo_bases(std::move(echoing)) {}

    const char* port_access() override { return access_failure; }

    void port_write(uint16_t port, uint8_t value) override
    {
        events.push_back({port, value, false});
        if (echo_bases.count(port))
            latched_[port] = value;
    }

    uint8_t port_read(uint16_t port) override
    {
        uint8_t value = 0xFF;
        if (echo_bases.count(port)) {
            value = latched_.count(port) ? latched_[port] : 0;
        } else if (echo_bases.count(static_cast<uint16_t>(port - 1))) {
            char bit = tdo_reads < tdo.size() ? tdo[tdo_reads] : tdo_after_end;
            ++tdo_reads;
            value = bit == '1' ? 0x40 : 0x00;
        }
        events.push_back({port, value, true});
        return value;
    }

    bool key_available() override { return !keys.empty(); }
    int key_read() override
    {
        if (keys.empty())
            return 0;
        int key = keys.front();
        keys.pop_front();
        return key;
    }
    bool keys_ended() override { return input_closed && keys.empty(); }

    int64_t time_seconds() override
    {
        int64_t t = now;
        now += time_step;
        return t;
    }

    void console_write(const char* text, size_t length) override { console.append(text, length); }

    // The bytes written to one port, in order.
    std::vector<uint8_t> writes_to(uint16_t port) const
    {
        std::vector<uint8_t> bytes;
        for (const PortEvent& e : events)
            if (!e.is_read && e.port == port)
                bytes.push_back(e.value);
        return bytes;
    }

private:
    std::map<uint16_t, uint8_t> latched_;
};
