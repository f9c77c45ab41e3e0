// SPDX-License-Identifier: Apache-2.0
// Cell lists of the CPUs' pin maps, and the edits shared by them: a value's bits into a
// list of cells, and back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

// `count` cells from `first`, `step` apart (step may be negative).
struct CellRun {
    int first;
    int step;
    int count;
};

// Not constexpr: reaching it while a cell list is built at compile time stops the build.
inline void cell_list_count_is_wrong() {}

// The cells of the runs, one after the other; a wrong total does not compile.
template <std::size_t N>
constexpr std::array<uint16_t, N> cell_list(std::initializer_list<CellRun> runs)
{
    std::array<uint16_t, N> cells{};
    std::size_t next = 0;
    for (const CellRun& run : runs)
        for (int i = 0; i < run.count; ++i) {
            if (next == N) {
                cell_list_count_is_wrong();  // more cells than declared
                return cells;
            }
            cells[next++] = static_cast<uint16_t>(run.first + i * run.step);
        }
    if (next != N)
        cell_list_count_is_wrong();  // fewer cells than declared
    return cells;
}

// Cell cells[k] becomes '1' or '0' after bit k of `value`, for the first `count` cells.
void cells_write_bits(char* image, std::span<const uint16_t> cells, uint32_t count, uint32_t value);

// Every listed cell becomes `level`.
void cells_fill(char* image, std::span<const uint16_t> cells, char level);

// Bit k is set where the captured character at cells[k] is '1'; any other character reads 0.
uint32_t cells_read_bits(const char* capture, std::span<const uint16_t> cells, uint32_t count);
