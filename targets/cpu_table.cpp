#include "targets/cpu_table.h"

#include <cstring>

namespace {

// Default boundary-scan images: every strobe and chip select inactive, address cells 0,
// data pins driving 0.
// Cells 0-297, character i = cell i.
constexpr char kKtr5200Image[] =
    "000000000000000000000000000000000000000000000010100000000000"  // 0-59
    "000000000000101010000000000000000000000000000000000000001010"  // 60-119
    "101010111001010000000100000000000000000001011101100000000000"  // 120-179
    "000000000000011000010000010101100000000000000000000000000000"  // 180-239
    "0001000001000000000000000000000000000000000000000000000000"    // 240-297
    ;

// Cells 0-184, character i = cell i.
constexpr char kUlnImage[] =
    "000000000000000000000000000000000000000101000111111101010101"  // 0-59
    "000000000000000000000000000000000001100001010101010000000001"  // 60-119
    "011101110111011101010111011111111111111111111000000000000000"  // 120-179
    "00000"                                                         // 180-184
    ;

// Cells 0-411, character i = cell i.
constexpr char kPaxonImage[] =
    "000000000000001101101101101100000101101101101110001110000000"  // 0-59
    "010001101110010000000000010010000010000000000000000000000000"  // 60-119
    "000000000000000000000000000010010010000000001100000000000000"  // 120-179
    "000000000010010010010010010010000000000000000000000000000000"  // 180-239
    "000000000000000000000000000000000000000000000000000011000000"  // 240-299
    "000000000000010000000000000000000000000000000000000000000000"  // 300-359
    "0000000000000000000000000000000000000000000000000000"          // 360-411
    ;

// Cells 0-297, character i = cell i.
constexpr char kMirtaImage[] =
    "111011111100101010101010101010101010101010101010101010101010"  // 0-59
    "000000111111110111010111010001010101010101010101010101010101"  // 60-119
    "010101010101010101010101010101110101010101010101111111011111"  // 120-179
    "111111101010101010101010110100101010101010100000000000000000"  // 180-239
    "0101010101010101001001000010101010101010101010101010101010"    // 240-297
    ;

constexpr CpuTarget kCpus[] = {
    {"KTR5200",
     "00011011010011100010000011010011",
     "1011",
     298,
     kKtr5200Image,
     &ktr5200_bus_ops,
     {116, 118, 120, 122, 124, 126, 127, 128}},
    {"ULN", "00011011010011100010000011010011", "1011", 185, kUlnImage, &uln_bus_ops, {46, 51, 53, 55, 57, 59, 39, 41}},
    {"PAXON",
     "00000000100100111010000011000101",
     "1000",
     412,
     kPaxonImage,
     &paxon_bus_ops,
     {190, 193, 196, 199, 202, 205, 208, kNoNcsCell}},
    {"MIRTA",
     "00001100010011010111111000101111",
     "0101",
     298,
     kMirtaImage,
     &mirta_bus_ops,
     {186, 184, 182, 180, 178, 177, 261, kNoNcsCell}},
};

constexpr bool image_fits(const CpuTarget& cpu)
{
    int length = 0;
    while (cpu.default_image[length] != '\0') {
        if (cpu.default_image[length] != '0' && cpu.default_image[length] != '1')
            return false;
        ++length;
    }
    if (length != cpu.bsr_length)
        return false;
    for (int16_t cell : cpu.ncs_cells)
        if (cell != kNoNcsCell && cpu.default_image[cell] != '1')
            return false;
    return true;
}

static_assert(image_fits(kCpus[0]) && image_fits(kCpus[1]) && image_fits(kCpus[2]) && image_fits(kCpus[3]),
              "a default image must have one 0/1 character per cell and every chip select inactive");

}  // namespace

SelectedTarget g_target;

const CpuTarget* cpu_table(int* count)
{
    *count = static_cast<int>(sizeof kCpus / sizeof kCpus[0]);
    return kCpus;
}

void cpu_target_init() { g_target = SelectedTarget{}; }

int cpu_select(const char* name)
{
    for (const CpuTarget& cpu : kCpus) {
        if (std::strcmp(name, cpu.name) != 0)
            continue;
        g_target.idcode = cpu.idcode;
        std::memcpy(g_target.idcode_instruction, cpu.idcode_instruction, 5);
        g_target.bsr_length = cpu.bsr_length;
        std::memcpy(g_target.bsr_image, cpu.default_image, static_cast<size_t>(cpu.bsr_length) + 1);
        g_target.ops = *cpu.ops;
        g_target.row = &cpu;
        return 0;
    }
    return -1;
}

int cpu_ncs_cell(uint32_t start_address) { return g_target.row->ncs_cells[start_address >> 29]; }
