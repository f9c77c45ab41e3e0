// SPDX-License-Identifier: Apache-2.0
// A file created new and exclusive: nothing that already has the name is opened or written
// through, a symbolic link (dangling or not), a device node or a FIFO included.
#pragma once

#include <cstdio>

// Opened for binary writing; nullptr with errno set (EEXIST when the name is taken).
std::FILE* file_create_new(const char* path);
