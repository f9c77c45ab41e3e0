// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/key_input.h"

#include <cerrno>
#include <ctime>

#include <poll.h>
#include <unistd.h>

#include "platform/input_wait.h"
#include "platform/linux/terminal.h"

KeyInput::KeyInput(int fd, int escape_gap_ms) : fd_(fd), escape_gap_ms_(escape_gap_ms) {}

KeyInput::~KeyInput() { terminal_restore(fd_); }

void KeyInput::prepare()
{
    if (prepared_)
        return;
    prepared_ = true;
    terminal_make_raw(fd_);
}

void KeyInput::take_held_escape()
{
    int key;
    if (decoder_.flush(&key))
        queue_.push(key);
}

void KeyInput::fill(int timeout_ms)
{
    size_t room = queue_.room();
    if (decoder_.holds_escape() && room > 0)
        --room;  // the held ESC may still become a key
    if (at_end_ || room == 0)
        return;
    pollfd request = {fd_, POLLIN, 0};
    int ready = poll(&request, 1, timeout_ms);
    if (ready < 0 && errno != EINTR) {
        at_end_ = true;
        take_held_escape();
        return;
    }
    if (ready <= 0)
        return;
    if (request.revents & POLLNVAL) {
        at_end_ = true;
        take_held_escape();
        return;
    }
    // One byte gives at most one key, so a read never overfills the queue.
    unsigned char bytes[KeyQueue::kCapacity];
    ssize_t got = ::read(fd_, bytes, room);
    if (got < 0) {
        if (errno != EINTR && errno != EAGAIN) {
            at_end_ = true;  // a broken input must not keep the tool waiting
            take_held_escape();
        }
        return;
    }
    if (got == 0) {
        at_end_ = true;
        take_held_escape();
        return;
    }
    int keys[KeyQueue::kCapacity];
    size_t decoded = decoder_.decode(bytes, static_cast<size_t>(got), keys);
    for (size_t i = 0; i < decoded; ++i)
        queue_.push(keys[i]);
    if (decoder_.holds_escape()) {
        // Nothing more within the gap: the ESC was pressed on its own.
        pollfd more = {fd_, POLLIN, 0};
        if (poll(&more, 1, escape_gap_ms_) <= 0 || !(more.revents & POLLIN))
            take_held_escape();
    }
}

bool KeyInput::available()
{
    prepare();
    if (queue_.empty())
        fill(0);
    return !queue_.empty();
}

bool KeyInput::wait(int timeout_ms)
{
    // Bytes that make no key (an arrow's sequence) end a wait early: the deadline stays.
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (!available() && !at_end_) {
        int left_ms = timeout_ms;
        if (timeout_ms >= 0) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long elapsed_ms = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1'000'000;
            if (elapsed_ms >= timeout_ms)
                break;
            left_ms = timeout_ms - static_cast<int>(elapsed_ms);
        }
        if (!input_wait(fd_, left_ms))
            break;
    }
    return !queue_.empty();
}

int KeyInput::read()
{
    prepare();
    while (queue_.empty() && !at_end_)
        fill(-1);
    return queue_.empty() ? 0 : queue_.pop();
}

bool KeyInput::ended()
{
    if (queue_.empty())
        fill(0);
    return at_end_ && queue_.empty();
}
