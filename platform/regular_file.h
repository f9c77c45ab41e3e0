// SPDX-License-Identifier: Apache-2.0
// A text file the user names (a BSDL file, an adapter configuration), read whole and bounded:
// anything but a regular file is refused without waiting on it (a FIFO, a device such as
// /dev/zero), and so is a file too large to be what it claims.
#pragma once

#include <cstddef>
#include <string>

// Far above any vendor BSDL file or adapter script.
constexpr size_t kTextFileLimit = size_t{16} << 20;

enum class FileRead { ok, cannot_open, folder, not_regular, too_large };

// The file at `path` into `text`.
FileRead read_regular_file(const char* path, std::string& text, size_t limit = kTextFileLimit);

// The reason a read refused the file, as the tail of a line: ": a folder, not a file",
// ": not a regular file", ": over 16 MiB",
// or nothing for a file that could not be opened (whose line names no reason, as before).
std::string file_read_reason(FileRead result);
