// SPDX-License-Identifier: Apache-2.0
#include "platform/new_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

std::FILE* file_create_new(const char* path)
{
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr)
        _close(fd);
    return file;
}
