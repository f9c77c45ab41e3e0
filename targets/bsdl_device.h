// SPDX-License-Identifier: Apache-2.0
// What a BSDL file says about one device's boundary scan: its instructions, its identity and
// the cells of its boundary-scan register, with the pins they drive and sample.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class CellFunction : uint8_t { input, output2, output3, control, controlr, bidir, internal, clock, observe_only };
inline constexpr int kCellFunctions = 9;
// In the order of CellFunction, as --bsdl-info prints them; a file may write them in any case.
inline constexpr const char* kCellFunctionNames[kCellFunctions] = {
    "input", "output2", "output3", "control", "controlr", "bidir", "internal", "clock", "observe_only"};

// A cell that drives its pin (when its control cell enables it), and one that samples it.
constexpr bool cell_drives(CellFunction f)
{
    return f == CellFunction::output2 || f == CellFunction::output3 || f == CellFunction::bidir;
}
constexpr bool cell_samples(CellFunction f)
{
    return f == CellFunction::input || f == CellFunction::bidir || f == CellFunction::clock ||
           f == CellFunction::observe_only;
}

struct BsdlCell {
    CellFunction function = CellFunction::internal;
    char safe = 'X';     // '0', '1' or 'X'
    int control = -1;    // the cell that enables this output, or -1
    char disable = '-';  // the control cell's value that disables the output, or '-'
    int pin = -1;        // index into BsdlDevice::pins, or -1 for an internal cell
    int line = 0;
};

struct BsdlInstruction {
    std::string name;                  // upper case
    std::vector<std::string> opcodes;  // most significant bit first, as written
};

// One pin with cells: a scalar port or one element of a vector port ("A(3)").
struct BsdlPin {
    std::string name;
    int output = -1;  // the cell that drives it (OUTPUT2, OUTPUT3 or BIDIR), or -1
    int control = -1;
    char disable = '-';
    int input = -1;  // the cell that samples it (INPUT, BIDIR, CLOCK, OBSERVE_ONLY), or -1
};

struct BsdlDevice {
    std::string entity;
    int instruction_length = 0;
    int boundary_length = 0;
    std::string idcode;  // 32 characters of 0, 1, X, most significant first; empty: none
    std::vector<BsdlInstruction> instructions;
    std::vector<BsdlCell> cells;  // cell i at index i
    std::vector<BsdlPin> pins;    // the pins that have cells, in the order of the port list
    // DESIGN_WARNING: what the file's maker says to watch out for.
    std::vector<std::string> design_warnings;

    // Case-insensitive look-ups; nullptr when the file has none.
    const BsdlInstruction* instruction(std::string_view name) const;
    const BsdlPin* pin(std::string_view name) const;
    // The safe values as a boundary-scan image; where the safe value is X a control cell takes
    // its disable value (the outputs it controls float) and any other cell 0.
    std::string safe_image() const;
};

// Reads a BSDL text; false with "FILE:LINE: what was expected" in `error`.
bool bsdl_read(std::string_view text, const std::string& file, BsdlDevice& device, std::string& error);
// The same from a file; a file that cannot be read is an error too.
bool bsdl_read_file(const char* path, BsdlDevice& device, std::string& error);

// Upper-case copy, for the case-insensitive names of BSDL.
std::string bsdl_upper(std::string_view text);
