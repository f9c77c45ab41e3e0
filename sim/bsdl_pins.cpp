// SPDX-License-Identifier: Apache-2.0
#include "sim/bsdl_pins.h"

namespace sim {

BsdlPins::BsdlPins(const BsdlDevice& device, const BusMap& wiring, uint32_t address_shift, int region, Bus& bus,
                   const VirtualClock& clock)
    : device_(device),
      wires_(device.pins.size()),
      drivers_(device.pins.size()),
      region_(region),
      bus_(bus),
      clock_(clock)
{
    auto wire = [&](const std::string& name, Role role, uint32_t bit) {
        for (size_t p = 0; p < device.pins.size(); ++p)
            if (bsdl_upper(device.pins[p].name) == bsdl_upper(name)) {
                wires_[p] = {role, bit};
                wired_.push_back(static_cast<int>(p));
                return;
            }
        if (refusal_.empty())
            refusal_ = "the wiring names " + name + ", a pin without cells in the BSDL file";
    };
    for (size_t k = 0; k < wiring.address.size(); ++k)
        wire(wiring.address[k], Role::address, static_cast<uint32_t>(k) + address_shift);
    for (size_t k = 0; k < wiring.data.size(); ++k)
        wire(wiring.data[k], Role::data, static_cast<uint32_t>(k));
    wire(wiring.ncs, Role::ncs, 0);
    wire(wiring.noe, Role::oe, 0);
    wire(wiring.nwe, Role::we, 0);
    for (const PinHold& hold : wiring.holds)
        wire(hold.pin, Role::hold, static_cast<uint32_t>(hold.level));
    // Every output cell of a pin counts: one the file gives twice drives from both.
    for (size_t c = 0; c < device.cells.size(); ++c)
        if (device.cells[c].pin >= 0 && cell_drives(device.cells[c].function))
            drivers_[static_cast<size_t>(device.cells[c].pin)].push_back(static_cast<int>(c));
    const std::string safe = device.safe_image();
    latches_.assign(safe.begin(), safe.end());
    for (uint8_t& latch : latches_)
        latch = latch == '1' ? 1 : 0;
}

BsdlPins::Level BsdlPins::pin_level(int pin) const
{
    Level level;
    if (!extest_)
        return level;
    for (int c : drivers_[static_cast<size_t>(pin)]) {
        const BsdlCell& cell = device_.cells[static_cast<size_t>(c)];
        const bool enabled = cell.control < 0 || latches_[static_cast<size_t>(cell.control)] != (cell.disable == '1');
        if (enabled)
            level = {true, latches_[static_cast<size_t>(c)]};
        else if (cell.control == c)
            level = {true, 1};  // open-drain emulation: released, the pin's pull-up holds it high
    }
    return level;
}

void BsdlPins::set_extest(bool active)
{
    if (active == extest_)
        return;
    extest_ = active;
    drive_pins();
}

void BsdlPins::update(const uint8_t* latches)
{
    latches_.assign(latches, latches + latches_.size());
    if (extest_)
        drive_pins();
}

void BsdlPins::drive_pins()
{
    BusSignals next;
    next.address = bus_.signals().address;  // outside EXTEST the address pins keep their levels
    if (extest_)
        next.address = 0;
    bool held = true;
    for (int p : wired_) {
        const Wire w = wires_[static_cast<size_t>(p)];
        const Level l = pin_level(p);
        switch (w.role) {
        case Role::address:
            next.address |= extest_ && l.level ? 1u << w.bit : 0;
            break;
        case Role::data:
            next.data_driven |= l.driven ? 1u << w.bit : 0;
            next.data |= l.driven && l.level ? 1u << w.bit : 0;
            break;
        case Role::oe:
            next.oe_n = l.level != 0;
            break;
        case Role::we:
            next.we_n = l.level != 0;
            break;
        case Role::ncs:
            next.ncs_n = static_cast<uint8_t>(0xFFu & ~((l.level ? 0u : 1u) << region_));
            break;
        case Role::hold:
            held = held && (w.bit == 'z' ? !l.driven : l.driven && l.level == (w.bit == '1'));
            break;
        case Role::none:
            break;
        }
    }
    // A pin the board needs held (a write-protect) is not where it should be: the write is lost.
    if (extest_ && !held && !next.we_n) {
        bus_.violation(clock_.ns, "write while a held pin is wrong", 0, 0);
        next.we_n = true;
    }
    bus_.set_signals(next, clock_.ns);
}

void BsdlPins::capture(uint8_t* cells)
{
    const uint32_t lines = bus_.data_levels(clock_.ns);
    for (size_t c = 0; c < device_.cells.size(); ++c) {
        const BsdlCell& cell = device_.cells[c];
        uint8_t level = latches_[c];
        if (cell.pin >= 0 && cell_samples(cell.function)) {
            const Wire w = wires_[static_cast<size_t>(cell.pin)];
            level = w.role == Role::data ? static_cast<uint8_t>((lines >> w.bit) & 1u) : pin_level(cell.pin).level;
        }
        cells[c] = level;
    }
}

}  // namespace sim
