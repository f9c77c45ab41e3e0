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

bool backup_target_usable(const char* path, const char* option)
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
        con_printf("Cannot write %s: not a regular file (%s replaces regular files only)\n", path, option);
    return false;
}

bool report_target_usable(const char* report, const char* read, const char* verify)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path own = fs::weakly_canonical(report, error);
    for (const auto& [other, option] : {std::pair{read, "--read"}, {verify, "--verify"}})
        if (other != nullptr && !error && fs::weakly_canonical(other, error) == own && !error) {
            con_printf("%s and --report name the same file, %s\n", option, report);
            return false;
        }
    return backup_target_usable(report, "--report");
}

BackupFile::~BackupFile() { abandon(); }

bool BackupFile::create(const char* path, const char* option)
{
    path_ = path;
    option_ = option;
    if (!backup_target_usable(path, option))
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
    if (!backup_target_usable(path_.c_str(), option_)) {
        abandon();
        return false;
    }
    std::error_code missing;
    if (const std::filesystem::file_status old = std::filesystem::status(path_, missing);
        !missing && std::filesystem::exists(old))
        std::filesystem::permissions(partial_, old.permissions(), error);
    if (!error)
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
