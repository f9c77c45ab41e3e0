// A Platform for unit tests that need no board: keeps the console text, counts port
// writes, serves keys from a script and reports the end of input when asked to.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "platform/platform.h"

namespace test_support {

class ScriptPlatform : public Platform {
public:
    std::string console;
    std::deque<int> keys;
    bool input_closed = false;
    uint64_t port_writes = 0;

    const char* port_access() override { return nullptr; }
    void port_write(uint16_t, uint8_t) override { ++port_writes; }
    uint8_t port_read(uint16_t) override { return 0xFF; }
    bool key_available() override { return !keys.empty(); }
    int key_read() override
    {
        int key = keys.front();
        keys.pop_front();
        return key;
    }
    bool keys_ended() override { return keys.empty() && input_closed; }
    int64_t time_seconds() override { return 0; }
    void console_write(const char* text, size_t length) override { console.append(text, length); }
};

}  // namespace test_support
