// SPDX-License-Identifier: Apache-2.0
// The KTR5200: 298 boundary-scan cells, one direction cell for the whole data bus.
#include "targets/cell_write.h"
#include "targets/cpu_targets.h"

namespace {

// Cells 0-297, character i = cell i.
constexpr char kImage[] =
    "000000000000000000000000000000000000000000000010100000000000"  // 0-59
    "000000000000101010000000000000000000000000000000000000001010"  // 60-119
    "101010111001010000000100000000000000000001011101100000000000"  // 120-179
    "000000000000011000010000010101100000000000000000000000000000"  // 180-239
    "0001000001000000000000000000000000000000000000000000000000"    // 240-297
    ;

// A0, A1-A15, A16-A25
constexpr auto kAddress = cell_list<26>({{78, 1, 1}, {81, 1, 15}, {96, 2, 10}});
// D0 sits below the direction cell, D1-D15 above it.
constexpr auto kData = cell_list<16>({{142, 1, 1}, {144, 1, 15}});
constexpr uint16_t kBusDirection[] = {143};

constexpr CellSpan kToggled[] = {
    range(1, 7),     every2(8, 76),    one(78),         one(79),         range(81, 95),    every2(96, 114),
    one(129),        one(133),         one(135),        range(137, 142), range(144, 158),  every2(159, 225),
    range(227, 236), every2(237, 245), range(246, 255), range(257, 265), every2(266, 296),
};
// The chip selects and OE#; WE# toggles with the rest.
constexpr CellSpan kFixedOne[] = {every2(116, 126), range(127, 128), one(131)};
constexpr CellSpan kFixedZero[] = {
    every2(9, 77),    one(80),          every2(97, 125), every2(130, 136), one(143),
    every2(160, 226), every2(238, 244), one(256),        every2(267, 297),
};

}  // namespace

constexpr CpuTarget kKtr5200Cpu = {
    .name = "KTR5200",
    .idcode = "00011011010011100010000011010011",
    .idcode_instruction = "1011",
    .bsr_length = 298,
    .default_image = kImage,
    .ncs_cells = {116, 118, 120, 122, 124, 126, 127, 128},
    .pins = {.address = kAddress,
             .data_out = kData,
             .data_in = kData,
             .direction = kBusDirection,
             .drive = '0',
             .write_drives = 1,
             .write_width = 0,
             .oe = 131,
             .we = 133},
    .toggle = {kToggled, kFixedOne, kFixedZero, false, 65536, nullptr},
};
static_assert(cpu_row_is_consistent(kKtr5200Cpu));

const CpuTarget& ktr5200_cpu = kKtr5200Cpu;
