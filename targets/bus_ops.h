// The per-CPU operations, installed by cpu_select as one table.
#pragma once

#include <cstdint>

struct BusOps {
    void (*set_address)(char* image, uint32_t address);
    void (*set_data)(char* image, uint32_t data, uint32_t width);
    uint32_t (*get_data)(const char* capture, uint32_t width);
    uint32_t (*bus_read)(char* image, uint32_t address);
    void (*bus_write)(char* image, uint32_t address, uint32_t data);
    void (*toggle_test)(char* image, int mode);
};

// One row per CPU, each defined in that CPU's file.
extern const BusOps ktr5200_bus_ops;
extern const BusOps uln_bus_ops;
extern const BusOps paxon_bus_ops;
extern const BusOps mirta_bus_ops;
