// Bus words of an image held in memory.
#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_session.h"

// The word at image offset `offset`, least significant byte first; bytes past the end of the
// image read as erased.
inline uint32_t flash_image_word(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset)
{
    constexpr uint8_t kErased = 0xFF;
    uint32_t value = 0;
    for (uint32_t k = 0; k < s.model.bytes_per_word; ++k) {
        const uint64_t at = uint64_t{offset} + k;
        const uint8_t byte = at < image.size() ? image[at] : kErased;
        value |= uint32_t{byte} << (8 * k);
    }
    return value & s.model.data_mask;
}
