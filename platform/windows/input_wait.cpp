// SPDX-License-Identifier: Apache-2.0
#include "platform/input_wait.h"

#include <conio.h>
#include <io.h>
#include <windows.h>

#include "platform/interrupts.h"

namespace {
// A pipe cannot be waited on: it is looked at this often.
constexpr DWORD kSliceMs = 20;
}  // namespace

bool input_wait(int fd, int timeout_ms)
{
    HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (input == INVALID_HANDLE_VALUE || input == nullptr)
        return true;  // the read will find the end
    DWORD mode = 0;
    const bool console = GetConsoleMode(input, &mode) != 0;
    if (!console && GetFileType(input) != FILE_TYPE_PIPE)
        return true;  // a file or NUL: a read returns at once
    const DWORD start = GetTickCount();
    while (interrupt_requested() == nullptr) {
        if (console && _kbhit())
            return true;
        DWORD ready = 0;
        if (!console && (!PeekNamedPipe(input, nullptr, 0, nullptr, &ready, nullptr) || ready != 0))
            return true;  // bytes, the writer gone, or a pipe that cannot be peeked: the read tells
        DWORD elapsed = GetTickCount() - start;
        if (timeout_ms >= 0 && elapsed >= static_cast<DWORD>(timeout_ms))
            return false;
        DWORD left = timeout_ms < 0 ? kSliceMs : static_cast<DWORD>(timeout_ms) - elapsed;
        Sleep(left < kSliceMs ? left : kSliceMs);
    }
    return false;
}
