// SPDX-License-Identifier: Apache-2.0
// Keys from a console file descriptor, without waiting: a terminal is put into raw
// mode (no line editing, no echo, Ctrl-C still works) the first time keys are
// needed, and given back on every way out; a pipe or file is read as it is.
#pragma once

#include <cstddef>

#include "platform/key_queue.h"
#include "platform/linux/key_decoder.h"

class KeyInput {
public:
    // `escape_gap_ms`: how long after a lone ESC the rest of an arrow key's sequence
    // may still arrive.
    explicit KeyInput(int fd, int escape_gap_ms = 100);
    ~KeyInput();
    KeyInput(const KeyInput&) = delete;
    KeyInput& operator=(const KeyInput&) = delete;

    bool available();  // never waits
    // Waits, without spinning, for a key, the end of input, an interrupt or `timeout_ms`
    // (-1: no limit); true when a key is waiting.
    bool wait(int timeout_ms);
    int read();    // waits for a key; 0 once input has ended
    bool ended();  // end of input reached and every key read

private:
    void prepare();
    void fill(int timeout_ms);
    void take_held_escape();
    int fd_;
    int escape_gap_ms_;
    bool prepared_ = false;
    bool at_end_ = false;
    KeyDecoder decoder_;
    KeyQueue queue_;
};
