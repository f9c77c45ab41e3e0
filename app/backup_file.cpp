// SPDX-License-Identifier: Apache-2.0
#include "app/backup_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/console.h"
#include "platform/new_file.h"

namespace {

// FILE.partial, then FILE.partial.1 and on: a name already taken is left alone.
constexpr int kPartialNames = 100;

}  // namespace

bool backup_target_usable(const char* path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    if (type == fs::file_type::not_found || type == fs::file_type::regular)
        return true;
    if (type == fs::file_type::directory)
        con_printf("Cannot write %s: %s\n", path, std::strerror(EISDIR));
    else if (type == fs::file_type::none || type == fs::file_type::unknown)
        con_printf("Cannot write %s: %s\n", path, error.message().c_str());
    else
        con_printf("Cannot write %s: not a regular file (--read replaces regular files only)\n", path);
    return false;
}

BackupFile::~BackupFile() { abandon(); }

bool BackupFile::create(const char* path)
{
    path_ = path;
    if (!backup_target_usable(path))
        return false;
    int reason = EEXIST;
    for (int n = 0; n < kPartialNames && file_ == nullptr && reason == EEXIST; ++n) {
        partial_ = path_ + ".partial";
        if (n > 0)
            partial_.append(".").append(std::to_string(n));
        file_ = file_create_new(partial_.c_str());
        reason = errno;
    }
    if (file_ == nullptr) {
        partial_.clear();  // not ours: never removed
        con_printf("Cannot write %s: %s\n", path, std::strerror(reason));
        return false;
    }
    return true;
}

bool BackupFile::commit(std::span<const uint8_t> bytes)
{
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        con_printf("Cannot write %s: %s\n", path_.c_str(), std::strerror(errno));
        abandon();
        return false;
    }
    // Looked at again: FILE may have changed while the flash was read.
    std::error_code error;
    if (!backup_target_usable(path_.c_str())) {
        abandon();
        return false;
    }
    std::filesystem::rename(partial_, path_, error);
    if (error) {
        con_printf("Cannot write %s: %s\n", path_.c_str(), error.message().c_str());
        abandon();
        return false;
    }
    partial_.clear();
    return true;
}

void BackupFile::abandon()
{
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    if (!partial_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(partial_, ignored);
        partial_.clear();
    }
}
