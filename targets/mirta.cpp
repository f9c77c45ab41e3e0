// SPDX-License-Identifier: Apache-2.0
// The MIRTA: 298 boundary-scan cells, 32 data pins, direction cells active high.
#include "targets/cell_write.h"
#include "targets/cpu_targets.h"

namespace {

// Cells 0-297, character i = cell i.
constexpr char kImage[] =
    "111011111100101010101010101010101010101010101010101010101010"  // 0-59
    "000000111111110111010111010001010101010101010101010101010101"  // 60-119
    "010101010101010101010101010101110101010101010101111111011111"  // 120-179
    "111111101010101010101010110100101010101010100000000000000000"  // 180-239
    "0101010101010101001001000010101010101010101010101010101010"    // 240-297
    ;

// A0-A16 downwards one by one, A17-A23 downwards in steps of two; nothing above A23.
constexpr auto kAddress = cell_list<24>({{239, -1, 17}, {203, -2, 7}});
// D0-D15, D16-D23, D24-D31; each pin's direction cell sits just above its data cell.
constexpr auto kData = cell_list<32>({{295, -2, 16}, {240, 2, 8}, {221, -2, 8}});
constexpr auto kDirection = cell_list<32>({{296, -2, 16}, {241, 2, 8}, {222, -2, 8}});

constexpr CellSpan kToggled[] = {
    range(1, 2),     every2(4, 10),    range(11, 57),   range(59, 60),   range(62, 63),    every2(64, 80),
    every2(84, 148), every2(152, 168), range(170, 171), one(173),        range(175, 176),  every2(187, 221),
    range(223, 239), every2(240, 254), range(256, 260), range(262, 264), every2(265, 295),
};
// Cells 0, 186 (the region-0 chip select) and 297 are left as the image holds them.
constexpr CellSpan kFixedOne[] = {
    every2(3, 9), one(58),         one(61),          every2(65, 169),  one(82),  one(150),         one(172),
    one(174),     range(177, 185), every2(188, 222), every2(241, 255), one(261), every2(266, 296),
};

}  // namespace

constexpr CpuTarget kMirtaCpu = {
    .name = "MIRTA",
    .idcode = "00001100010011010111111000101111",
    .idcode_instruction = "0101",
    .bsr_length = 298,
    .default_image = kImage,
    .ncs_cells = {186, 184, 182, 180, 178, 177, 261, kNoNcsCell},
    // MIRTA's direction cells are active high: '1' drives a pin and '0' releases it, the
    // opposite of the other CPUs. A write drives D0-D15 whatever the width.
    .pins = {.address = kAddress,
             .data_out = kData,
             .data_in = kData,
             .direction = kDirection,
             .drive = '1',
             .write_drives = 16,
             .write_width = 0,
             .oe = 176,
             .we = 175},
    .toggle = {kToggled, kFixedOne, {}, false, 65536, nullptr},
};
static_assert(cpu_row_is_consistent(kMirtaCpu));

const CpuTarget& mirta_cpu = kMirtaCpu;
