// SPDX-License-Identifier: Apache-2.0
#include "targets/cell_write.h"

void cells_write_bits(char* image, std::span<const uint16_t> cells, uint32_t count, uint32_t value)
{
    for (uint32_t k = 0; k < count && k < cells.size(); ++k)
        image[cells[k]] = ((value >> k) & 1u) ? '1' : '0';
}

void cells_fill(char* image, std::span<const uint16_t> cells, char level)
{
    for (uint16_t cell : cells)
        image[cell] = level;
}

uint32_t cells_read_bits(const char* capture, std::span<const uint16_t> cells, uint32_t count)
{
    uint32_t value = 0;
    for (uint32_t k = 0; k < count && k < cells.size(); ++k)
        if (capture[cells[k]] == '1')
            value |= 1u << k;
    return value;
}
