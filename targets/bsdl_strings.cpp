// SPDX-License-Identifier: Apache-2.0
// The attribute strings of a BSDL file: "EXTEST (0000), IDCODE (1101, 0101)", the 32 bits of
// the IDCODE, and "num (cell, port, function, safe [, ccell, disval, rslt])" for every cell.
#include <map>

#include "targets/bsdl_parse.h"

namespace {

class StringReader {
public:
    StringReader(const Token& string, const BsdlErrorSink& sink) : items_(bsdl_string_items(string)), sink_(sink) {}

    const Token& next() { return items_[at_ < items_.size() - 1 ? at_++ : at_]; }
    const Token& peek() const { return items_[at_]; }
    bool at_end() const { return items_[at_].kind == TokenKind::end; }
    bool expected(const std::string& what, const Token& t) const
    {
        return sink_.fail(t.line,
                          "expected " + what + ", found " + (t.kind == TokenKind::end ? t.text : "'" + t.text + "'"));
    }
    bool symbol(const char* s)
    {
        const Token& t = next();
        return (t.kind == TokenKind::symbol && t.text == s) || expected(std::string("'") + s + "'", t);
    }
    bool take_symbol(const char* s)
    {
        if (peek().kind != TokenKind::symbol || peek().text != s)
            return false;
        next();
        return true;
    }
    bool number(int& into, const char* what)
    {
        const Token& t = next();
        if (t.kind != TokenKind::number || t.text.size() > 6 ||
            t.text.find_first_not_of("0123456789") != std::string::npos)
            return expected(what, t);
        into = std::stoi(t.text);
        return true;
    }
    // One of '0', '1' and, where `x` allows it, 'X'.
    bool level(char& into, bool x, const char* what)
    {
        const Token& t = next();
        const std::string v = bsdl_upper(t.text);
        if (v != "0" && v != "1" && !(x && v == "X"))
            return expected(what, t);
        into = v[0];
        return true;
    }

    const BsdlErrorSink& sink() const { return sink_; }

private:
    std::vector<Token> items_;
    size_t at_ = 0;
    const BsdlErrorSink& sink_;
};

bool read_opcodes(const Token& string, const BsdlErrorSink& sink, BsdlDevice& device)
{
    StringReader r(string, sink);
    while (!r.at_end()) {
        const Token& name = r.next();
        if (name.kind != TokenKind::word)
            return r.expected("an instruction name", name);
        BsdlInstruction instruction{bsdl_upper(name.text), {}};
        if (!r.symbol("("))
            return false;
        do {
            const Token& bits = r.next();
            if (bits.kind != TokenKind::number || bits.text.find_first_not_of("01") != std::string::npos)
                return r.expected("an opcode of 0 and 1", bits);
            if (static_cast<int>(bits.text.size()) != device.instruction_length)
                return sink.fail(bits.line, "opcode " + bits.text + " of " + instruction.name + " has " +
                                                std::to_string(bits.text.size()) + " bits, INSTRUCTION_LENGTH is " +
                                                std::to_string(device.instruction_length));
            instruction.opcodes.push_back(bits.text);
        } while (r.take_symbol(","));
        if (!r.symbol(")"))
            return false;
        device.instructions.push_back(std::move(instruction));
        if (!r.at_end() && !r.symbol(","))
            return false;
    }
    return true;
}

// What the instruction register captures: as many bits as it has.
bool check_capture(const Token& string, const BsdlErrorSink& sink, const BsdlDevice& device)
{
    size_t bits = 0;
    for (char c : string.text)
        bits += c != ' ' && c != '\t';
    if (static_cast<int>(bits) == device.instruction_length)
        return true;
    return sink.fail(string.line, "INSTRUCTION_CAPTURE has " + std::to_string(bits) + " bits, INSTRUCTION_LENGTH is " +
                                      std::to_string(device.instruction_length));
}

bool read_idcode(const Token& string, const BsdlErrorSink& sink, BsdlDevice& device)
{
    std::string bits;
    for (char c : string.text)
        if (c != ' ' && c != '\t')
            bits += static_cast<char>(c == 'x' ? 'X' : c);
    if (bits.find_first_not_of("01X") != std::string::npos)
        return sink.fail(string.line, "IDCODE_REGISTER holds other characters than 0, 1 and X");
    if (bits.size() != 32)
        return sink.fail(string.line, "IDCODE_REGISTER has " + std::to_string(bits.size()) + " bits, expected 32");
    device.idcode = bits;
    return true;
}

// Every element of every port with cells may become a pin; the port list gives their order.
struct PinSlots {
    std::vector<std::string> names;
    std::map<std::string, int> index;  // upper-case name -> slot
    std::map<std::string, const BsdlPort*> ports;
    explicit PinSlots(const std::vector<BsdlPort>& list)
    {
        for (const BsdlPort& port : list) {
            ports[bsdl_upper(port.name)] = &port;
            const int step = port.first <= port.last ? 1 : -1;
            for (int i = port.first; port.vector; i += step) {
                add(port.name + "(" + std::to_string(i) + ")");
                if (i == port.last)
                    break;
            }
            if (!port.vector)
                add(port.name);
        }
    }
    void add(const std::string& name)
    {
        index[bsdl_upper(name)] = static_cast<int>(names.size());
        names.push_back(name);
    }
};

// `*`, `NAME` or `NAME(i)`: the pin slot, or -1 for an internal cell.
bool read_port(StringReader& r, const PinSlots& slots, int& slot)
{
    slot = -1;
    if (r.take_symbol("*"))
        return true;
    const Token& name = r.next();
    if (name.kind != TokenKind::word)
        return r.expected("a port name or '*'", name);
    std::string key = bsdl_upper(name.text);
    const auto port = slots.ports.find(key);
    if (port == slots.ports.end())
        return r.sink().fail(name.line, "port " + name.text + " has cells but is not declared in the port list");
    if (r.take_symbol("(")) {
        int element = 0;
        const Token& index = r.peek();
        if (!r.number(element, "an element number") || !r.symbol(")"))
            return false;
        const std::string element_name = name.text + "(" + std::to_string(element) + ")";
        // A(00000): a placeholder some generators write, not an element anybody meant.
        if (index.text.size() > 1 && index.text[0] == '0')
            return r.sink().fail(name.line,
                                 name.text + "(" + index.text + ") is not an element number: write " + element_name);
        key = bsdl_upper(element_name);
        if (!port->second->vector || slots.index.count(key) == 0)
            return r.sink().fail(name.line, element_name + " is outside port " + name.text);
    } else if (port->second->vector) {
        return r.sink().fail(name.line,
                             "port " + name.text + " is a vector: expected an element, " + name.text + "(i)");
    }
    slot = slots.index.at(key);
    return true;
}

bool read_cell(StringReader& r, const PinSlots& slots, BsdlDevice& device, std::vector<int>& slot_of)
{
    int number = 0;
    const Token& first = r.peek();
    if (!r.number(number, "a cell number") || !r.symbol("("))
        return false;
    if (number >= device.boundary_length)
        return r.sink().fail(first.line, "cell " + std::to_string(number) + " is outside BOUNDARY_LENGTH " +
                                             std::to_string(device.boundary_length));
    BsdlCell& cell = device.cells[number];
    if (cell.line != 0)
        return r.sink().fail(first.line, "cell " + std::to_string(number) + " is described twice (also on line " +
                                             std::to_string(cell.line) + ")");
    cell.line = first.line;
    const Token& type = r.next();  // BC_1 ... or a vendor's: the name does not change the function
    if (type.kind == TokenKind::end || type.kind == TokenKind::symbol)
        return r.expected("a cell type", type);
    if (!r.symbol(",") || !read_port(r, slots, slot_of[number]) || !r.symbol(","))
        return false;
    const Token& function = r.next();
    bool known = false;
    for (int f = 0; f < kCellFunctions; ++f)
        if (bsdl_upper(function.text) == bsdl_upper(kCellFunctionNames[f])) {
            cell.function = static_cast<CellFunction>(f);
            known = true;
        }
    if (!known)
        return r.expected("a cell function (INPUT, OUTPUT2, OUTPUT3, CONTROL, BIDIR, ...)", function);
    if (!r.symbol(",") || !r.level(cell.safe, true, "a safe value (0, 1, X)"))
        return false;
    if (r.take_symbol(",")) {
        if (!r.number(cell.control, "a control cell number") || !r.symbol(",") ||
            !r.level(cell.disable, false, "a disable value (0, 1)") || !r.symbol(","))
            return false;
        const Token& result = r.next();
        if (result.kind != TokenKind::word)
            return r.expected("a disable result (Z, WEAK0, WEAK1, PULL0, PULL1, KEEPER)", result);
    }
    return r.symbol(")");
}

bool read_cells(const BsdlStatements& s, const BsdlErrorSink& sink, BsdlDevice& device)
{
    device.cells.assign(static_cast<size_t>(device.boundary_length), BsdlCell{});
    std::vector<int> slot_of(device.cells.size(), -1);
    const PinSlots slots(s.ports);
    StringReader r(s.boundary, sink);
    while (!r.at_end()) {
        if (!read_cell(r, slots, device, slot_of))
            return false;
        if (!r.at_end() && !r.symbol(","))
            return false;
    }
    for (size_t i = 0; i < device.cells.size(); ++i) {
        const BsdlCell& cell = device.cells[i];
        if (cell.line == 0)
            return sink.fail(s.boundary.line, "cell " + std::to_string(i) + " is missing from BOUNDARY_REGISTER");
        // An OUTPUT2 cell may be its own control: open-drain emulation, driven low or released.
        const bool self = cell.control == static_cast<int>(i) && cell.function == CellFunction::output2;
        if (cell.control >= device.boundary_length ||
            (cell.control >= 0 && cell.control == static_cast<int>(i) && !self))
            return sink.fail(cell.line, "control cell " + std::to_string(cell.control) + " of cell " +
                                            std::to_string(i) + " does not exist");
    }
    // The pins with cells, in the order of the port list.
    std::vector<int> pin_of_slot(slots.names.size(), -1);
    for (int slot : slot_of)
        if (slot >= 0)
            pin_of_slot[static_cast<size_t>(slot)] = 0;
    for (size_t slot = 0; slot < pin_of_slot.size(); ++slot)
        if (pin_of_slot[slot] == 0) {
            pin_of_slot[slot] = static_cast<int>(device.pins.size());
            device.pins.push_back({slots.names[slot], -1, -1, '-', -1});
        }
    for (size_t i = 0; i < device.cells.size(); ++i) {
        BsdlCell& cell = device.cells[i];
        if (slot_of[i] < 0)
            continue;
        cell.pin = pin_of_slot[static_cast<size_t>(slot_of[i])];
        BsdlPin& pin = device.pins[static_cast<size_t>(cell.pin)];
        if (cell_drives(cell.function) && pin.output >= 0)
            return sink.fail(cell.line, "port " + pin.name + " has a second output cell, " + std::to_string(i) +
                                            " (the first is " + std::to_string(pin.output) + ")");
        if (cell_drives(cell.function)) {
            pin.output = static_cast<int>(i);
            pin.control = cell.control;
            pin.disable = cell.disable;
        }
        if (cell_samples(cell.function) && pin.input < 0)
            pin.input = static_cast<int>(i);
    }
    return true;
}

}  // namespace

bool bsdl_read_strings(const BsdlStatements& s, const BsdlErrorSink& sink, BsdlDevice& device)
{
    if (device.instruction_length == 0)
        return sink.fail(s.end_line, "expected attribute INSTRUCTION_LENGTH before the end of the entity");
    if (device.boundary_length == 0)
        return sink.fail(s.end_line, "expected attribute BOUNDARY_LENGTH before the end of the entity");
    if (s.boundary.line == 0)
        return sink.fail(s.end_line, "expected attribute BOUNDARY_REGISTER before the end of the entity");
    if (s.opcodes.line != 0 && !read_opcodes(s.opcodes, sink, device))
        return false;
    if (s.capture.line != 0 && !check_capture(s.capture, sink, device))
        return false;
    if (s.idcode.line != 0 && !read_idcode(s.idcode, sink, device))
        return false;
    return read_cells(s, sink, device);
}

const BsdlInstruction* BsdlDevice::instruction(std::string_view name) const
{
    const std::string upper = bsdl_upper(name);
    for (const BsdlInstruction& i : instructions)
        if (i.name == upper)
            return &i;
    return nullptr;
}

const BsdlPin* BsdlDevice::pin(std::string_view name) const
{
    const std::string upper = bsdl_upper(name);
    for (const BsdlPin& p : pins)
        if (bsdl_upper(p.name) == upper)
            return &p;
    return nullptr;
}

std::string BsdlDevice::safe_image() const
{
    std::string image(cells.size(), '0');
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].safe != 'X')
            image[i] = cells[i].safe;
    // A control cell left at X disables what it controls.
    for (const BsdlCell& cell : cells)
        if (cell.control >= 0 && cells[static_cast<size_t>(cell.control)].safe == 'X')
            image[static_cast<size_t>(cell.control)] = cell.disable;
    return image;
}
