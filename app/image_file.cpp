// SPDX-License-Identifier: Apache-2.0
#include "app/image_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/console.h"

namespace {
constexpr uint64_t kTooLarge = 0xFFFFFFFFu;

// Size of a file already open, from its end position; kTooLarge when even that fails.
uint64_t measure_open_file(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return kTooLarge;
    const long end = std::ftell(file);
    return end < 0 ? kTooLarge : static_cast<uint64_t>(end);
}

// Bytes from `start` to the end of the last block of the table (0 when past it).
uint64_t room_from(const FlashGeometry& g, uint32_t start)
{
    if (g.block_count <= 0)
        return 0;
    const int last = g.block_count - 1;
    // Summed in 64 bits: a device at the top of the address space ends at 2^32.
    const uint64_t end = uint64_t{g.block_start[last]} + g.block_size[last];
    return start < end ? end - start : 0;
}

// The whole file from its first byte; false when it cannot supply `size` bytes.
bool read_whole(std::FILE* file, uint64_t size, std::vector<uint8_t>& bytes)
{
    bytes.assign(static_cast<size_t>(size), 0);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    return size == 0 || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}
}  // namespace

bool load_image_file(const char* path, const FlashGeometry& geometry, uint32_t start, std::vector<uint8_t>& bytes)
{
    std::error_code error;
    // The status comes first: opening a FIFO would block, and a directory opens on some systems
    // but cannot be read. Anything but a regular file counts as a file that cannot be opened.
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    const bool status_known = !error && std::filesystem::exists(status);
    if (status_known && !std::filesystem::is_regular_file(status)) {
        con_printf("Could not open %s for input data.\n", path);
        con_printf("Reason: %s\n",
                   std::filesystem::is_directory(status) ? std::strerror(EISDIR) : "not a regular file");
        return false;
    }

    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        const int reason = errno;
        con_printf("Could not open %s for input data.\n", path);
        con_printf("Reason: %s\n", std::strerror(reason));
        return false;
    }

    uint64_t size = 0;
    if (status_known)
        size = std::filesystem::file_size(path, error);
    if (!status_known || error) {
        con_printf("Cannot read file state\n");
        size = measure_open_file(file);
    }

    // Both the device and the room left after the start address must hold the image.
    if (size > geometry.device_size || size > room_from(geometry, start)) {
        std::fclose(file);
        con_printf("Cannot download, file size is bigger than flash device size\n");
        const uint64_t room = room_from(geometry, start);
        con_printf("The image is %llu bytes (0x%llX); from 0x%08X the flash has %llu (0x%llX) left\n",
                   static_cast<unsigned long long>(size), static_cast<unsigned long long>(size), start,
                   static_cast<unsigned long long>(room), static_cast<unsigned long long>(room));
        return false;
    }
    // Read once, before anything is erased: a file rewritten or cut short during an
    // hour-long job can no longer change what is programmed and verified.
    const bool complete = read_whole(file, size, bytes);
    std::fclose(file);
    if (!complete) {
        con_printf("Could not read input data.\n");
        return false;
    }
    return true;
}
