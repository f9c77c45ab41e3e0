// SPDX-License-Identifier: Apache-2.0
#include "platform/windows/console_keys.h"

#include <conio.h>

namespace {
constexpr int kEnter = 13;
}

ConsoleKeys::ConsoleKeys() : source_(Source::none), input_(GetStdHandle(STD_INPUT_HANDLE))
{
    DWORD mode = 0;
    if (input_ == nullptr || input_ == INVALID_HANDLE_VALUE)
        source_ = Source::none;
    else if (GetConsoleMode(input_, &mode))
        source_ = Source::console;
    else if (DWORD type = GetFileType(input_); type == FILE_TYPE_PIPE)
        source_ = Source::pipe;
    else if (type != FILE_TYPE_UNKNOWN)
        source_ = Source::file;  // a disk file or NUL: a read returns at once
    at_end_ = source_ == Source::none;
}

void ConsoleKeys::push_bytes(const unsigned char* bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        bool was_cr = after_cr_;
        after_cr_ = bytes[i] == '\r';
        int key = bytes[i];
        if (key == '\n') {
            if (was_cr)
                continue;
            key = kEnter;
        }
        queue_.push(key);
    }
}

void ConsoleKeys::fill(bool wait)
{
    DWORD room = static_cast<DWORD>(queue_.room());
    if (at_end_ || room == 0)
        return;
    DWORD wanted = room;
    if (source_ == Source::pipe) {
        DWORD ready = 0;
        if (PeekNamedPipe(input_, nullptr, 0, nullptr, &ready, nullptr)) {
            if (ready == 0 && !wait)
                return;
            if (ready != 0 && ready < wanted)
                wanted = ready;
        } else if (GetLastError() == ERROR_BROKEN_PIPE) {
            at_end_ = true;  // the writer has gone
            return;
        }
        // Else a pipe that cannot be peeked (Wine's view of a Unix pipe): read, and
        // wait if need be.
    }
    // One byte gives at most one key, so a read never overfills the queue.
    unsigned char bytes[KeyQueue::kCapacity];
    DWORD got = 0;
    if (!ReadFile(input_, bytes, wanted, &got, nullptr) || got == 0) {
        at_end_ = true;
        return;
    }
    push_bytes(bytes, got);
}

bool ConsoleKeys::available()
{
    if (source_ == Source::console)
        return _kbhit() != 0;
    if (queue_.empty())
        fill(false);
    return !queue_.empty();
}

int ConsoleKeys::read()
{
    if (source_ == Source::console)
        return _getch();
    while (queue_.empty() && !at_end_)
        fill(true);
    return queue_.empty() ? 0 : queue_.pop();
}

bool ConsoleKeys::ended()
{
    if (source_ == Source::console)
        return false;
    if (queue_.empty())
        fill(false);
    return at_end_ && queue_.empty();
}
