// SPDX-License-Identifier: Apache-2.0
#include "platform/regular_file.h"

#include <filesystem>
#include <fstream>

FileRead read_regular_file(const char* path, std::string& text, size_t limit)
{
    text.clear();
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return FileRead::cannot_open;
    if (std::filesystem::is_directory(status))
        return FileRead::folder;
    if (!std::filesystem::is_regular_file(status))
        return FileRead::not_regular;
    if (std::filesystem::file_size(path, error) > limit)
        return FileRead::too_large;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return FileRead::cannot_open;
    text.resize(limit + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > limit) {
        text.clear();
        return FileRead::too_large;
    }
    return in.bad() ? FileRead::cannot_open : FileRead::ok;
}
