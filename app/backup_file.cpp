#include "app/backup_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/console.h"

BackupFile::~BackupFile() { abandon(); }

bool BackupFile::create(const char* path)
{
    path_ = path;
    partial_ = path_ + ".partial";
    std::error_code error;
    if (std::filesystem::is_directory(path_, error)) {
        con_printf("Cannot write %s: %s\n", path, std::strerror(EISDIR));
        return false;
    }
    file_ = std::fopen(partial_.c_str(), "wb");
    if (file_ == nullptr) {
        con_printf("Cannot write %s: %s\n", path, std::strerror(errno));
        return false;
    }
    return true;
}

bool BackupFile::commit(std::span<const uint8_t> bytes)
{
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    std::error_code error;
    if (written && closed)
        std::filesystem::rename(partial_, path_, error);
    if (!written || !closed || error) {
        con_printf("Cannot write %s: %s\n", path_.c_str(), error ? error.message().c_str() : std::strerror(errno));
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
