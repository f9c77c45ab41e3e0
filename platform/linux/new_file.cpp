// SPDX-License-Identifier: Apache-2.0
#include "platform/new_file.h"

#include <fcntl.h>
#include <unistd.h>

std::FILE* file_create_new(const char* path)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr)
        close(fd);
    return file;
}
