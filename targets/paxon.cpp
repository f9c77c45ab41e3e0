// SPDX-License-Identifier: Apache-2.0
// The PAXON: 412 boundary-scan cells, 32 data pins with three cells each.
#include "targets/cell_write.h"
#include "targets/cpu_targets.h"

namespace {

// Cells 0-411, character i = cell i.
constexpr char kImage[] =
    "000000000000001101101101101100000101101101101110001110000000"  // 0-59
    "010001101110010000000000010010000010000000000000000000000000"  // 60-119
    "000000000000000000000000000010010010000000001100000000000000"  // 120-179
    "000000000010010010010010010010000000000000000000000000000000"  // 180-239
    "000000000000000000000000000000000000000000000000000011000000"  // 240-299
    "000000000000010000000000000000000000000000000000000000000000"  // 300-359
    "0000000000000000000000000000000000000000000000000000"          // 360-411
    ;

// A0, then A1-A25 downwards in steps of three.
constexpr auto kAddress = cell_list<26>({{214, 1, 1}, {289, -3, 25}});
// 32 data pins, three cells each: output, direction, input.
constexpr auto kDataOut = cell_list<32>({{316, 3, 32}});
constexpr auto kDirection = cell_list<32>({{317, 3, 32}});
constexpr auto kDataIn = cell_list<32>({{318, 3, 32}});

}  // namespace

constexpr CpuTarget kPaxonCpu = {
    .name = "PAXON",
    .idcode = "00000000100100111010000011000101",
    .idcode_instruction = "1000",
    .bsr_length = 412,
    .default_image = kImage,
    .ncs_cells = {190, 193, 196, 199, 202, 205, 208, kNoNcsCell},
    // A write drives all 32 pins; those above the flash's width carry what their cells hold.
    .pins = {.address = kAddress,
             .data_out = kDataOut,
             .data_in = kDataIn,
             .direction = kDirection,
             .drive = '0',
             .write_drives = 32,
             .write_width = 0,
             .oe = 293,
             .we = 292},
    .toggle = {{}, {}, {}, false, 0, "PAXON BOUNDARY TEST\n"},
};
static_assert(cpu_row_is_consistent(kPaxonCpu));

const CpuTarget& paxon_cpu = kPaxonCpu;
