#include "app/image_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/options.h"
#include "flash/flash_geometry.h"
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
uint64_t room_from(uint32_t start)
{
    if (g_geometry.block_count <= 0)
        return 0;
    const int last = g_geometry.block_count - 1;
    // Summed in 64 bits: a device at the top of the address space ends at 2^32.
    const uint64_t end = uint64_t{g_geometry.block_start[last]} + g_geometry.block_size[last];
    return start < end ? end - start : 0;
}
}  // namespace

int check_image_file(uint32_t* write_length)
{
    const char* path = g_options.image_path;
    std::error_code error;
    // The status comes first: opening a FIFO would block, and a directory opens on some systems
    // but cannot be read. Anything but a regular file counts as a file that cannot be opened.
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    const bool status_known = !error && std::filesystem::exists(status);
    if (status_known && !std::filesystem::is_regular_file(status)) {
        con_printf("Could not open %s for input data.\n", path);
        return -1;
    }

    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        con_printf("Could not open %s for input data.\n", path);
        return -1;
    }

    uint64_t size = 0;
    if (status_known)
        size = std::filesystem::file_size(path, error);
    if (!status_known || error) {
        con_printf("Cannot read file state\n");
        size = measure_open_file(file);
    }
    std::fclose(file);

    if (size > kTooLarge)
        size = kTooLarge;
    *write_length = static_cast<uint32_t>(size);

    // Both the device and the room left after the start address must hold the image.
    if (size > g_geometry.device_size || size > room_from(g_options.start_offset)) {
        con_printf("Cannot download, file size is bigger than flash device size\n");
        return -1;
    }
    return 0;
}
