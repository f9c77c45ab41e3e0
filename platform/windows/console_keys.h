// SPDX-License-Identifier: Apache-2.0
// Keys of standard input on Windows. On a console they come from _kbhit/_getch as
// typed, an extended key as its two codes (0 or 0xE0, then the scan code). A pipe or
// file is read without waiting where the system allows it, a line end (CR, LF or
// CR LF) gives Enter as 13, and input ends at end of file.
#pragma once

#include <cstddef>

#include <windows.h>

#include "platform/key_queue.h"

class ConsoleKeys {
public:
    ConsoleKeys();
    ConsoleKeys(const ConsoleKeys&) = delete;
    ConsoleKeys& operator=(const ConsoleKeys&) = delete;

    bool available();  // never waits
    int read();        // waits for a key; 0 once input has ended
    bool ended();      // never true on a console

private:
    enum class Source { console, pipe, file, none };

    void fill(bool wait);
    void push_bytes(const unsigned char* bytes, size_t length);

    Source source_;
    HANDLE input_;
    bool at_end_ = false;
    bool after_cr_ = false;
    KeyQueue queue_;
};
