// SPDX-License-Identifier: Apache-2.0
#include "targets/bsdl_target.h"

#include <algorithm>

namespace {

char opposite(char level) { return level == '0' ? '1' : '0'; }

// A reset, a write-protect or a chip select by its name; the TAP's own reset is not a board's.
bool usually_held(const std::string& name)
{
    const std::string upper = bsdl_upper(name);
    if (upper.find("TRST") != std::string::npos)
        return false;
    for (const char* part : {"RST", "RESET", "WP", "CS"})
        if (upper.find(part) != std::string::npos)
            return true;
    return false;
}

}  // namespace

std::string bsdl_shift_order(const std::string& opcode) { return std::string(opcode.rbegin(), opcode.rend()); }

// Every pin's control cell is wanted at one level: enabled for a pin that drives, disabled for
// one released, and switched by the bus cycles for the data pins ('t').
bool BsdlTarget::claim_control(const BsdlPin& pin, char level, std::string& error)
{
    for (const ControlClaim& claim : controls_)
        if (claim.cell == pin.control && claim.level != level) {
            error = "--bus: pins " + claim.pin + " and " + pin.name + " share control cell " +
                    std::to_string(claim.cell) + " but need it at different levels";
            return false;
        }
    controls_.push_back({pin.control, level, pin.name});
    // The data pins start released.
    image_[static_cast<size_t>(pin.control)] = level == 't' ? pin.disable : level;
    return true;
}

bool BsdlTarget::build(const BsdlDevice& device, const BusMap& map, std::string& error)
{
    if (device.boundary_length > kMaxBsrLength) {
        error = "The boundary-scan register has " + std::to_string(device.boundary_length) + " cells; at most " +
                std::to_string(kMaxBsrLength) + " are supported";
        return false;
    }
    const BsdlInstruction* extest = device.instruction("EXTEST");
    if (extest == nullptr) {
        error = kNoExtest;
        return false;
    }
    name_ = device.entity;
    extest_ = bsdl_shift_order(extest->opcodes.front());
    const BsdlInstruction* idcode = device.instruction("IDCODE");
    idcode_ = idcode != nullptr ? device.idcode : "";
    idcode_instruction_ = idcode_.empty() ? "" : bsdl_shift_order(idcode->opcodes.front());
    image_ = device.safe_image();

    row_ = CpuTarget{};
    row_.name = name_.c_str();
    row_.idcode = idcode_.c_str();
    row_.idcode_instruction = idcode_instruction_.empty() ? nullptr : idcode_instruction_.c_str();
    row_.bsr_length = device.boundary_length;
    row_.instruction_length = static_cast<uint8_t>(device.instruction_length);
    row_.extest_instruction = extest_.c_str();
    row_.flash_address_pins = true;
    row_.default_image = image_.c_str();
    // Without a map the target only identifies the device.
    return map.ncs.empty() || map_pins(device, map, error);
}

bool BsdlTarget::map_pins(const BsdlDevice& device, const BusMap& map, std::string& error)
{
    std::vector<const BsdlPin*> named;
    // The pin behind a name of the map, checked for the cells its role needs.
    auto find = [&](const std::string& name, bool drives, bool reads, const BsdlPin*& pin,
                    const char* option = "--bus") {
        pin = device.pin(name);
        if (pin == nullptr)
            error = std::string(option) + ": the BSDL file has no pin " + name;
        else if (std::find(named.begin(), named.end(), pin) != named.end())
            error = std::string(option) + ": pin " + name + " is named twice";
        else if (drives && pin->output < 0)
            error = std::string(option) + ": pin " + name + " has no output cell";
        else if (reads && pin->input < 0)
            error = "--bus: data pin " + name + " has no input cell";
        else if (reads && pin->control < 0)
            error = "--bus: data pin " + name + " has no control cell to release it";
        else if (reads && pin->control == pin->output)
            error =
                "--bus: data pin " + name + " can only be driven low or released (its output cell is its own control)";
        else
            named.push_back(pin);
        return error.empty();
    };
    // An output that the job drives: enabled, at `level` until a bus cycle changes it. A cell
    // that is its own control drives its enabling level and releases at the other.
    auto drive = [&](const BsdlPin& pin, char level) {
        image_[static_cast<size_t>(pin.output)] = level;
        return pin.control < 0 || pin.control == pin.output || claim_control(pin, opposite(pin.disable), error);
    };

    const BsdlPin* pin = nullptr;
    char released = '-';
    for (const std::string& name : map.data) {
        if (!find(name, true, true, pin) || !claim_control(*pin, 't', error))
            return false;
        if (released == '-')
            released = pin->disable;
        if (released != pin->disable) {
            error = "--bus: data pins " + map.data.front() + " and " + name + " are released at different levels";
            return false;
        }
        data_out_.push_back(static_cast<uint16_t>(pin->output));
        data_in_.push_back(static_cast<uint16_t>(pin->input));
        if (std::find(direction_.begin(), direction_.end(), pin->control) == direction_.end())
            direction_.push_back(static_cast<uint16_t>(pin->control));
    }
    for (const std::string& name : map.address) {
        if (!find(name, true, false, pin) || !drive(*pin, '0'))
            return false;
        address_.push_back(static_cast<uint16_t>(pin->output));
    }
    uint16_t strobes[3] = {};
    const std::string* strobe_names[3] = {&map.ncs, &map.noe, &map.nwe};
    for (int k = 0; k < 3; ++k) {
        if (!find(*strobe_names[k], true, false, pin) || !drive(*pin, '1'))
            return false;
        strobes[k] = static_cast<uint16_t>(pin->output);
    }
    for (const PinHold& hold : map.holds) {
        if (!find(hold.pin, hold.level != 'z', false, pin, "--hold"))
            return false;
        if (hold.level != 'z' ? !drive(*pin, hold.level) : pin->control < 0) {
            if (error.empty())
                error = "--hold: pin " + hold.pin + " cannot be released: it has no control cell";
            return false;
        }
        if (hold.level == 'z' && !claim_control(*pin, pin->disable, error))
            return false;
    }

    for (const BsdlPin& p : device.pins)
        if (p.output >= 0 && usually_held(p.name) && std::find(named.begin(), named.end(), &p) == named.end())
            unheld_ += (unheld_.empty() ? "" : ", ") + p.name;
    row_.default_image = image_.c_str();
    // No chip-select regions: the flash's own addresses, with its one chip select.
    std::fill(std::begin(row_.ncs_cells), std::end(row_.ncs_cells), static_cast<int16_t>(strobes[0]));
    row_.pins = {.address = address_,
                 .data_out = data_out_,
                 .data_in = data_in_,
                 .direction = direction_,
                 .drive = opposite(released),
                 .write_drives = 0,
                 .write_width = 0,
                 .oe = strobes[1],
                 .we = strobes[2]};
    return true;
}
