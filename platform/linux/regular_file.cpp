// SPDX-License-Identifier: Apache-2.0
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileRead read_regular_file(const char* path, std::string& text, size_t limit)
{
    text.clear();
    // Non-blocking: a FIFO with no writer would hold open() for ever.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return FileRead::cannot_open;
    struct stat status = {};
    FileRead result = FileRead::ok;
    if (fstat(fd, &status) != 0)
        result = FileRead::cannot_open;
    else if (S_ISDIR(status.st_mode))
        result = FileRead::folder;
    else if (!S_ISREG(status.st_mode))
        result = FileRead::not_regular;
    else if (static_cast<unsigned long long>(status.st_size) > limit)
        result = FileRead::too_large;
    // The size may grow while it is read: never past the limit.
    char buffer[65536];
    for (ssize_t n = 1; result == FileRead::ok && n > 0;) {
        n = read(fd, buffer, sizeof buffer);
        if (n < 0)
            result = FileRead::cannot_open;
        else if (text.size() + static_cast<size_t>(n) > limit)
            result = FileRead::too_large;
        else
            text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (result != FileRead::ok)
        text.clear();
    return result;
}
