// SPDX-License-Identifier: Apache-2.0
// The file --read writes: created under a temporary name before the job starts, so a path that
// cannot be written is refused at once, and renamed only once the whole flash has been read,
// so a stopped job never leaves a file that looks complete. The temporary file is always a new
// one in FILE's folder, and FILE is only ever replaced when it is a regular file: a device node,
// a FIFO, a directory or a link would be written through or swapped for a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

// True when FILE is a regular file or does not exist yet; else false after printing why not
// (`option` names what writes it).
bool backup_target_usable(const char* path, const char* option = "--read");

// --report FILE is written the same way, and never onto the file another option names: false
// after printing why not.
bool report_target_usable(const char* report, const char* read, const char* verify);

class BackupFile {
public:
    BackupFile() = default;
    ~BackupFile();
    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;

    // False after printing the path and the reason.
    bool create(const char* path, const char* option = "--read");
    // Writes `bytes` and gives the file its name, with the permission bits of the file it
    // replaces; false after printing why not.
    bool commit(std::span<const uint8_t> bytes);

private:
    void abandon();

    std::string path_;
    std::string partial_;
    const char* option_ = "--read";
    std::FILE* file_ = nullptr;
};
