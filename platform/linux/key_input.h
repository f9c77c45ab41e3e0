// Keys from a console file descriptor, without waiting: a terminal is put into raw
// mode (no line editing, no echo, Ctrl-C still works) the first time keys are
// needed, and given back on every way out; a pipe or file is read as it is.
#pragma once

#include <cstddef>

#include "platform/key_queue.h"
#include "platform/linux/key_decoder.h"

class KeyInput {
public:
    explicit KeyInput(int fd);
    ~KeyInput();
    KeyInput(const KeyInput&) = delete;
    KeyInput& operator=(const KeyInput&) = delete;

    bool available();  // never waits
    int read();        // waits for a key; 0 once input has ended
    bool ended();      // end of input reached and every key read

private:
    void prepare();
    void fill(int timeout_ms);
    int fd_;
    bool prepared_ = false;
    bool at_end_ = false;
    KeyDecoder decoder_;
    KeyQueue queue_;
};
