// The supported flash models, one row per model and bus set-up.
#include <cstring>

#include "app/options.h"
#include "flash/flash_model.h"
#include "flash/flash_ops.h"

namespace {

struct ModelRow {
    const char* names[3];  // the models that share this row; unused places are null
    int32_t bus_width;
    int32_t interleave;
    FlashModel model;
};

// Two 8-bit chips side by side get every command in both bytes; one chip alone gets it in
// the low byte. The device code sits at chip word 1, so at byte offset 2 unless an
// 8-bit-only chip is driven alone. Each row, line by line:
//   names, bus width, chips,
//   maker and device code offsets, bytes per word, data bits, data mask,
//   unlock address 1, unlock address 2, unlock data 1, unlock data 2,
//   autoselect, reset, program, erase setup, block erase, chip erase,
//   CFI query address, CFI query, write buffer, buffer confirm, buffer words,
//   device codes: S29GL064M, K8D6316, S29GL128N, SST39VF6401,
//                 S29AL008D top, bottom, S29AL004D top, bottom, (EN|AM)29LV040.
constexpr ModelRow kRows[] = {
    {{"EN29LV040A"}, 8, 2, {0x200,  2,      2,      16,     0xFFFF, 0xAAA, 0x554, 0xAAAA, 0x5555, 0x9090,
                            0xF0F0, 0xA0A0, 0x8080, 0x3030, 0x1010, 0,     0,     0,      0,      0,
                            0,      0,      0,      0,      0,      0,     0,     0,      0x4F4F}},
    {{"EN29LV040A"}, 8, 1, {0x100, 1, 1, 8, 0xFF, 0x555, 0x2AA, 0xAA, 0x55, 0x90, 0xF0, 0xA0, 0x80, 0x30, 0x10,
                            0,     0, 0, 0, 0,    0,     0,     0,    0,    0,    0,    0,    0,    0x4F}},
    {{"AM29LV040B"}, 8, 2, {0,      2,      2,      16,     0xFFFF, 0xAAA, 0x554, 0xAAAA, 0x5555, 0x9090,
                            0xF0F0, 0xA0A0, 0x8080, 0x3030, 0x1010, 0,     0,     0,      0,      0,
                            0,      0,      0,      0,      0,      0,     0,     0,      0x4F4F}},
    {{"AM29LV040B"}, 8, 1, {0, 1, 1, 8, 0xFF, 0x555, 0x2AA, 0xAA, 0x55, 0x90, 0xF0, 0xA0, 0x80, 0x30, 0x10,
                            0, 0, 0, 0, 0,    0,     0,     0,    0,    0,    0,    0,    0,    0x4F}},
    {{"S29AL008D"}, 16, 1, {0, 2, 2, 16, 0xFFFF, 0xAAA, 0x554, 0xAA, 0x55, 0x90,   0xF0,   0xA0, 0x80, 0x30, 0x10,
                            0, 0, 0, 0,  0,      0,     0,     0,    0,    0x22DA, 0x225B, 0,    0,    0}},
    // Byte mode of an 8/16-bit chip: DQ15 is the extra low address bit, so the commands
    // go to byte addresses 0xAAA and 0x555.
    {{"S29AL008D"}, 8, 1, {0, 2, 1, 8, 0xFF, 0xAAA, 0x555, 0xAA, 0x55, 0x90, 0xF0, 0xA0, 0x80, 0x30, 0x10,
                           0, 0, 0, 0, 0,    0,     0,     0,    0,    0xDA, 0x5B, 0,    0,    0}},
    {{"S29AL004D"}, 16, 1, {0, 2, 2, 16, 0xFFFF, 0xAAA, 0x554, 0xAA, 0x55, 0x90, 0xF0, 0xA0,   0x80,   0x30, 0x10,
                            0, 0, 0, 0,  0,      0,     0,     0,    0,    0,    0,    0x22B9, 0x22BA, 0}},
    {{"S29AL004D"}, 8, 1, {0, 2, 1, 8, 0xFF, 0xAAA, 0x555, 0xAA, 0x55, 0x90, 0xF0, 0xA0, 0x80, 0x30, 0x10,
                           0, 0, 0, 0, 0,    0,     0,     0,    0,    0,    0,    0xB9, 0xBA, 0}},
    // One row for three chips of one command set: whichever is named, all three codes are known.
    {{"S29GL064M", "K8D6316", "S29GL128N"}, 16, 1, {0,    2,    2,    16,   0xFFFF, 0xAAA,  0x554,  0xAA,
                                                    0x55, 0x90, 0xF0, 0xA0, 0x80,   0x30,   0x10,   0xAA,
                                                    0x98, 0x25, 0x29, 16,   0x227E, 0x22E2, 0x227E, 0,
                                                    0,    0,    0,    0,    0}},
    // Commands at chip words 0x5555/0x2AAA; the chip ignores the upper data byte, and its
    // 0x50 erases a 64 KB block (0x30 would erase only a 4 KB sector).
    {{"SST39VF6401"}, 16, 1, {0,    2,    2,      16,     0xFFFF, 0xAAAA, 0x5554, 0xAAAA, 0x5555, 0x90,
                              0xF0, 0xA0, 0x8080, 0x50,   0x10,   0xAA,   0x98,   0,      0,      0,
                              0,    0,    0,      0x236B, 0,      0,      0,      0,      0}},
};

bool row_names(const ModelRow& row, const char* name)
{
    for (const char* candidate : row.names)
        if (candidate != nullptr && std::strcmp(candidate, name) == 0)
            return true;
    return false;
}

}  // namespace

int flash_setup_model()
{
    for (const ModelRow& row : kRows) {
        if (row.bus_width == g_options.bus_width && row.interleave == g_options.interleave &&
            row_names(row, g_options.flash_model)) {
            g_flash_model = row.model;
            return 0;
        }
    }
    return -1;
}
