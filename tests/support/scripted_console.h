// A console-only Platform for unit tests: keys come from a script, text is captured.
// Ports read as 0xFF and ignore writes, as an unreachable port would.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "platform/platform.h"

class ScriptedConsole : public Platform {
public:
    // `keys` are delivered in order; once they are used up, input has ended when `ends` is true.
    explicit ScriptedConsole(const std::string& keys = "", bool ends = true) : ends_(ends)
    {
        for (char key : keys)
            keys_.push_back(static_cast<unsigned char>(key));
    }

    // Each key is announced only after this many "no key yet" answers.
    int idle_polls_per_key = 0;
    std::string text;
    int64_t seconds = 0;

    size_t keys_left() const { return keys_.size(); }
    int polls_seen() const { return polls_; }

    const char* port_access() override { return nullptr; }
    void port_write(uint16_t, uint8_t) override {}
    uint8_t port_read(uint16_t) override { return 0xFF; }

    bool key_available() override
    {
        ++polls_;
        if (keys_.empty())
            return false;
        if (idle_left_ > 0) {
            --idle_left_;
            return false;
        }
        return true;
    }
    int key_read() override
    {
        const int key = keys_.front();
        keys_.pop_front();
        idle_left_ = idle_polls_per_key;
        return key;
    }
    bool keys_ended() override { return keys_.empty() && ends_; }

    int64_t time_seconds() override { return seconds; }
    void console_write(const char* data, size_t length) override { text.append(data, length); }

private:
    std::deque<int> keys_;
    bool ends_;
    int idle_left_ = 0;
    int polls_ = 0;
};
