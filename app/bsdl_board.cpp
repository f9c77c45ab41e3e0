// SPDX-License-Identifier: Apache-2.0
#include "app/bsdl_board.h"

#include <cstdio>

#include "app/exit.h"
#include "platform/console.h"

namespace {

std::string cell_text(int cell) { return cell < 0 ? "-" : std::to_string(cell); }

std::string hex_text(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", value);
    return text;
}

RunEnd refuse(const std::string& reason)
{
    con_printf("%s\n", reason.c_str());
    return process_end(1);
}

// -w and -i, where given, against the map's data pins, which are the whole bus: 16 pins carry
// 16x1 or 8x2, 8 pins 8x1. Values that no set-up has are refused later, by their own lines.
std::string setup_refusal(size_t data_pins, int32_t width, int32_t chips)
{
    if ((width != 0 && width != 8 && width != 16) || (chips != 0 && chips != 1 && chips != 2))
        return {};
    std::string fitting;
    bool fits = false;
    for (const auto& [w, i] : {std::pair{16, 1}, {8, 2}, {8, 1}})
        if (static_cast<size_t>(w * i) == data_pins) {
            fitting += (fitting.empty() ? "" : " or ") + std::to_string(w) + "x" + std::to_string(i);
            fits = fits || ((width == 0 || width == w) && (chips == 0 || chips == i));
        }
    if (fits)
        return {};
    const std::string pins = "The bus map has " + std::to_string(data_pins) + " data pins: ";
    if (fitting.empty())
        return pins + "a flash bus has 8 (8x1) or 16 (16x1, 8x2)";
    return pins + "its flash bus is " + fitting + ", which -w and -i must fit";
}

}  // namespace

std::string bsdl_info_text(const BsdlDevice& device)
{
    std::string text = "entity " + device.entity + "\n";
    text += "instruction_length " + std::to_string(device.instruction_length) + "\n";
    text += "boundary_length " + std::to_string(device.boundary_length) + "\n";
    text += "idcode " + (device.idcode.empty() ? std::string("none") : device.idcode);
    // A pattern with no open bit is one code, as a datasheet writes it.
    if (!device.idcode.empty() && device.idcode.find('X') == std::string::npos)
        text += " (0x" + hex_text(std::stoul(device.idcode, nullptr, 2)) + ")";
    text += "\n";
    for (const char* name : {"EXTEST", "SAMPLE", "SAMPLE/PRELOAD", "BYPASS", "IDCODE"})
        if (const BsdlInstruction* instruction = device.instruction(name)) {
            text += std::string("opcode ") + name + " ";
            for (size_t k = 0; k < instruction->opcodes.size(); ++k)
                text += (k ? "," : "") + instruction->opcodes[k];
            text += "\n";
        }
    int counts[kCellFunctions] = {};
    for (const BsdlCell& cell : device.cells)
        ++counts[static_cast<int>(cell.function)];
    text += "cells";
    for (int f = 0; f < kCellFunctions; ++f)
        text += std::string(" ") + kCellFunctionNames[f] + "=" + std::to_string(counts[f]);
    text += "\n";
    for (const std::string& warning : device.design_warnings)
        text += "design_warning " + warning + "\n";
    for (const BsdlPin& pin : device.pins)
        text += "pin " + pin.name + " out=" + cell_text(pin.output) + " ctl=" + cell_text(pin.control) +
                " dis=" + pin.disable + " in=" + cell_text(pin.input) + "\n";
    return text;
}

int bsdl_info_main(const LongOptions& options, int argc)
{
    if (options.bsdl == nullptr || argc > 1 || options.bus != nullptr || !options.holds.empty()) {
        con_printf("--bsdl-info takes --bsdl FILE and nothing else\n");
        return 1;
    }
    BsdlDevice device;
    std::string error;
    if (!bsdl_read_file(options.bsdl, device, error)) {
        con_printf("%s\n", error.c_str());
        return 1;
    }
    con_printf("%s", bsdl_info_text(device).c_str());
    // Found now rather than when a job is run on the board.
    if (device.instruction("EXTEST") == nullptr) {
        con_printf("%s\n", kNoExtest);
        return 1;
    }
    return 0;
}

Ending bsdl_board_load(const LongOptions& options, const RunOptions& classic, BsdlTarget& target)
{
    if (options.bsdl == nullptr) {
        if (options.bus != nullptr || !options.holds.empty())
            return refuse("--bus and --hold describe a BSDL board: give --bsdl FILE");
        return {};
    }
    if (classic.cpu_name[0] != '\0')
        return refuse("--bsdl and -C cannot be given together");
    if (classic.toggle_mode != 0)
        return refuse("-t drives a built-in CPU's pins: it cannot be given with --bsdl");
    if (!classic.idcode_check && options.bus == nullptr)
        return refuse("--bsdl needs --bus MAP for a flash job");
    BsdlDevice device;
    BusMap map;
    std::string error;
    if (!bsdl_read_file(options.bsdl, device, error) ||
        (options.bus != nullptr && !bus_map_parse(options.bus, map, error)))
        return refuse(error);
    for (const char* hold : options.holds)
        if (!bus_hold_parse(hold, map, error))
            return refuse(error);
    if (!target.build(device, map, error))
        return refuse(error);
    if (const std::string refusal = setup_refusal(map.data.size(), classic.bus_width, classic.interleave);
        options.bus != nullptr && !refusal.empty())
        return refuse(refusal);
    if (classic.idcode_check && target.cpu().idcode_instruction == nullptr)
        return refuse("The BSDL file gives no IDCODE to check");
    return {};
}
