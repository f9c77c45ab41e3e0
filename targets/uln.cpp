// SPDX-License-Identifier: Apache-2.0
// The ULN: 185 boundary-scan cells, 16 data pins, each with its own direction cell.
#include "targets/cell_write.h"
#include "targets/cpu_targets.h"

namespace {

// Cells 0-184, character i = cell i.
constexpr char kImage[] =
    "000000000000000000000000000000000000000101000111111101010101"  // 0-59
    "000000000000000000000000000000000001100001010101010000000001"  // 60-119
    "011101110111011101010111011111111111111111111000000000000000"  // 120-179
    "00000"                                                         // 180-184
    ;

// A0, A1-A15, A16-A24
constexpr auto kAddress = cell_list<25>({{0, 1, 1}, {2, 1, 15}, {17, 2, 9}});
// Each data pin has its own cell, followed by its direction cell.
constexpr auto kData = cell_list<16>({{63, 2, 16}});
constexpr auto kDirection = cell_list<16>({{64, 2, 16}});

// Visited in this order, neighbours taking opposite values.
constexpr CellSpan kVisited[] = {range(0, 16), every2(17, 41), range(43, 48), every2(49, 183)};
constexpr CellSpan kFixedOne[] = {every2(51, 59), every2(39, 41)};
constexpr CellSpan kFixedZero[] = {every2(18, 42), every2(50, 184)};

}  // namespace

constexpr CpuTarget kUlnCpu = {
    .name = "ULN",
    .idcode = "00011011010011100010000011010011",
    .idcode_instruction = "1011",
    .bsr_length = 185,
    .default_image = kImage,
    .ncs_cells = {46, 51, 53, 55, 57, 59, 39, 41},
    // Every write drives all 16 pins, also behind an 8-bit flash.
    .pins = {.address = kAddress,
             .data_out = kData,
             .data_in = kData,
             .direction = kDirection,
             .drive = '0',
             .write_drives = 0,
             .write_width = 16,
             .oe = 47,
             .we = 48},
    .toggle = {kVisited, kFixedOne, kFixedZero, true, 8192, nullptr},
};
static_assert(cpu_row_is_consistent(kUlnCpu));

const CpuTarget& uln_cpu = kUlnCpu;
