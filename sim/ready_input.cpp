// SPDX-License-Identifier: Apache-2.0
#include "sim/ready_input.h"

#ifdef _WIN32

#include <conio.h>
#include <io.h>
#include <windows.h>

namespace sim {

namespace {

// A Windows line end is CR LF, one Enter: the LF after a CR is dropped, also when
// the two arrive in separate reads. Process-wide because there is one standard input.
bool g_input_after_cr = false;

long drop_lf_after_cr(char* buffer, DWORD count)
{
    long kept = 0;
    for (DWORD i = 0; i < count; ++i) {
        bool was_cr = g_input_after_cr;
        g_input_after_cr = buffer[i] == '\r';
        if (buffer[i] == '\n' && was_cr)
            continue;
        buffer[kept++] = buffer[i];
    }
    return kept;
}

}  // namespace

long read_ready_input(int fd, char* buffer, size_t size)
{
    HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (input == INVALID_HANDLE_VALUE || input == nullptr || size == 0)
        return -1;
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        // A console never ends; keys arrive as typed, without echo.
        long count = 0;
        while (static_cast<size_t>(count) < size && _kbhit())
            buffer[count++] = static_cast<char>(_getch());
        return count;
    }
    DWORD wanted = size > 0xFFFF ? 0xFFFF : static_cast<DWORD>(size);
    DWORD type = GetFileType(input);
    if (type == FILE_TYPE_PIPE) {
        DWORD ready = 0;
        if (PeekNamedPipe(input, nullptr, 0, nullptr, &ready, nullptr)) {
            if (ready == 0)
                return 0;
            if (ready < wanted)
                wanted = ready;
        } else if (GetLastError() == ERROR_BROKEN_PIPE) {
            return -1;  // the writer has gone
        }
        // Else a pipe that cannot be peeked (Wine's view of a Unix pipe): read, and
        // wait if need be.
    } else if (type == FILE_TYPE_UNKNOWN) {
        return -1;
    }
    DWORD got = 0;
    if (!ReadFile(input, buffer, wanted, &got, nullptr) || got == 0)
        return -1;
    return drop_lf_after_cr(buffer, got);  // 0 when only the LF of a CR LF came
}

}  // namespace sim

#else

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace sim {

long read_ready_input(int fd, char* buffer, size_t size)
{
    pollfd input{fd, POLLIN, 0};
    int ready = poll(&input, 1, 0);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (ready == 0)
        return 0;
    ssize_t count = read(fd, buffer, size);
    if (count < 0)
        return (errno == EINTR || errno == EAGAIN) ? 0 : -1;
    if (count == 0)
        return -1;
    return static_cast<long>(count);
}

}  // namespace sim

#endif
