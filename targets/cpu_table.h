// The supported CPUs and the one selected for the run.
#pragma once

#include <cstdint>

#include "targets/bus_ops.h"

constexpr int kMaxBsrLength = 412;
constexpr int kNoNcsCell = -1;
constexpr const char* kExtest = "0000";

struct CpuTarget {
    const char* name;
    const char* idcode;              // 32 characters, most significant bit first
    const char* idcode_instruction;  // 4 characters, first shifted first
    int32_t bsr_length;
    const char* default_image;  // bsr_length characters
    const BusOps* ops;
    int16_t ncs_cells[8];  // per 512 MB region; kNoNcsCell where the CPU has none
};

struct SelectedTarget {
    const char* idcode;
    char idcode_instruction[5];
    int32_t bsr_length;
    char bsr_image[kMaxBsrLength + 1];  // the one working BsrImage
    BusOps ops;
    const CpuTarget* row;
    int ncs_cell;
};

extern SelectedTarget g_target;

void cpu_target_init();                    // nothing selected
int cpu_select(const char* name);          // 0, or -1 and nothing changed
int cpu_ncs_cell(uint32_t start_address);  // kNoNcsCell where the CPU has none

// The rows, in the order cpu_select compares them.
const CpuTarget* cpu_table(int* count);
