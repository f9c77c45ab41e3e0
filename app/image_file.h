// SPDX-License-Identifier: Apache-2.0
// The image file given with -f: checked, sized against the flash and read once, whole.
#pragma once

#include <cstdint>
#include <vector>

#include "flash/flash_geometry.h"

// Fills `bytes` with the whole file, after checking that it is a regular file that fits the
// device and the room from `start`. False after printing why not.
bool load_image_file(const char* path, const FlashGeometry& geometry, uint32_t start, std::vector<uint8_t>& bytes);
