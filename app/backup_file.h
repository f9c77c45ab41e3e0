// The file --read writes: created under a temporary name before the job starts, so a path that
// cannot be written is refused at once, and renamed only once the whole flash has been read,
// so a stopped job never leaves a file that looks complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

class BackupFile {
public:
    BackupFile() = default;
    ~BackupFile();
    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;

    // False after printing the path and the reason.
    bool create(const char* path);
    // Writes `bytes` and gives the file its name; false after printing why not.
    bool commit(std::span<const uint8_t> bytes);

private:
    void abandon();

    std::string path_;
    std::string partial_;
    std::FILE* file_ = nullptr;
};
