// SPDX-License-Identifier: Apache-2.0
#include "targets/bus_cycles.h"

#include <algorithm>

#include "targets/cell_write.h"

namespace {
char released(const CpuPins& pins) { return pins.drive == '0' ? '1' : '0'; }
}  // namespace

void set_address(const CpuPins& pins, char* image, uint32_t address)
{
    cells_write_bits(image, pins.address, static_cast<uint32_t>(pins.address.size()), address);
}

void set_data(const CpuPins& pins, char* image, uint32_t data, uint32_t width)
{
    const size_t drives = std::min<size_t>(pins.write_drives != 0 ? pins.write_drives : width, pins.direction.size());
    cells_fill(image, pins.direction.first(drives), pins.drive);
    cells_write_bits(image, pins.data_out, width, data);
}

uint32_t get_data(const CpuPins& pins, const char* capture, uint32_t width)
{
    return cells_read_bits(capture, pins.data_in, width) & data_mask_of(width);
}

void release_data(const CpuPins& pins, char* image) { cells_fill(image, pins.direction, released(pins)); }
