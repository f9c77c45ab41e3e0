// SPDX-License-Identifier: Apache-2.0
#include "flash/expected_cfi.h"

#include <cstring>

namespace {

// S29GL064M, bottom boot: 8 x 8 KB then 127 x 64 KB, a 32-byte write buffer.
constexpr uint8_t kGl064m[0x35] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0,  // 0x00
    'Q',  'R',  'Y',  0x02, 0x00, 0x40, 0x00, 0,    0,    0,    0,    0x27, 0x36, 0, 0,     // 0x10
    0x07, 0x07, 0x0A, 0x00, 0x03, 0x05, 0x04, 0x00, 0x17, 0x02,                             // 0x1F: times, size
    0x00, 0x05, 0x00, 0x02, 0x07, 0x00, 0x20, 0x00, 0x7E, 0x00, 0x00, 0x01,                 // 0x29: buffer, regions
};

}  // namespace

std::span<const uint8_t> expected_cfi_table(const char* model_name)
{
    if (std::strcmp(model_name, "S29GL064M") == 0)
        return kGl064m;
    return {};
}
