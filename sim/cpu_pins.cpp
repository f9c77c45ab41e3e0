// SPDX-License-Identifier: Apache-2.0
#include "sim/cpu_pins.h"

#include <cstring>

namespace sim {

namespace {

// Wiring is built at compile time; a cell given two roles does not compile.
struct WiringBuilder {
    CpuPins wiring;

    constexpr WiringBuilder(int length, int data_pins, uint8_t drive_level)
    {
        wiring.bsr_length = length;
        wiring.data_pins = data_pins;
        wiring.drive_level = drive_level;
    }
    constexpr void set(int cell, CellRole role, int index)
    {
        if (cell < 0 || cell >= wiring.bsr_length || wiring.cells[cell].role != CellRole::None)
            throw "cell outside the register or wired twice";
        wiring.cells[cell] = {role, static_cast<uint8_t>(index)};
    }
    constexpr void chip_selects(const int (&cells)[8])
    {
        for (int region = 0; region < 8; ++region)
            if (cells[region] >= 0) {
                set(cells[region], CellRole::ChipSelect, region);
                wiring.regions = static_cast<uint8_t>(wiring.regions | (1u << region));
            }
    }
};

constexpr CpuPins ktr5200()
{
    WiringBuilder b(298, 16, 0);
    b.set(78, CellRole::Address, 0);
    for (int k = 1; k <= 15; ++k)
        b.set(80 + k, CellRole::Address, k);
    for (int k = 16; k <= 25; ++k)
        b.set(96 + 2 * (k - 16), CellRole::Address, k);
    b.set(142, CellRole::DataInOut, 0);
    for (int k = 1; k <= 15; ++k)
        b.set(143 + k, CellRole::DataInOut, k);
    b.set(143, CellRole::BusDirection, 0);
    b.set(131, CellRole::ReadStrobe, 0);
    b.set(133, CellRole::WriteStrobe, 0);
    b.chip_selects({116, 118, 120, 122, 124, 126, 127, 128});
    return b.wiring;
}

constexpr CpuPins uln()
{
    WiringBuilder b(185, 16, 0);
    b.set(0, CellRole::Address, 0);
    for (int k = 1; k <= 15; ++k)
        b.set(k + 1, CellRole::Address, k);
    for (int k = 16; k <= 24; ++k)
        b.set(17 + 2 * (k - 16), CellRole::Address, k);
    for (int k = 0; k <= 15; ++k) {
        b.set(63 + 2 * k, CellRole::DataInOut, k);
        b.set(64 + 2 * k, CellRole::Direction, k);
    }
    b.set(47, CellRole::ReadStrobe, 0);
    b.set(48, CellRole::WriteStrobe, 0);
    b.chip_selects({46, 51, 53, 55, 57, 59, 39, 41});
    return b.wiring;
}

constexpr CpuPins paxon()
{
    WiringBuilder b(412, 32, 0);
    b.set(214, CellRole::Address, 0);
    for (int k = 1; k <= 25; ++k)
        b.set(292 - 3 * k, CellRole::Address, k);
    for (int k = 0; k <= 31; ++k) {
        b.set(316 + 3 * k, CellRole::DataOut, k);
        b.set(317 + 3 * k, CellRole::Direction, k);
        b.set(318 + 3 * k, CellRole::DataIn, k);
    }
    b.set(293, CellRole::ReadStrobe, 0);
    b.set(292, CellRole::WriteStrobe, 0);
    b.chip_selects({190, 193, 196, 199, 202, 205, 208, -1});
    return b.wiring;
}

constexpr int mirta_data_cell(int k)
{
    if (k < 16)
        return 295 - 2 * k;
    if (k < 24)
        return 240 + 2 * (k - 16);
    return 221 - 2 * (k - 24);
}

constexpr CpuPins mirta()
{
    WiringBuilder b(298, 32, 1);  // direction cells drive at '1'
    for (int k = 0; k <= 16; ++k)
        b.set(239 - k, CellRole::Address, k);
    for (int k = 17; k <= 23; ++k)
        b.set(203 - 2 * (k - 17), CellRole::Address, k);
    for (int k = 0; k <= 31; ++k) {
        b.set(mirta_data_cell(k), CellRole::DataInOut, k);
        b.set(mirta_data_cell(k) + 1, CellRole::Direction, k);
    }
    b.set(176, CellRole::ReadStrobe, 0);
    b.set(175, CellRole::WriteStrobe, 0);
    b.chip_selects({186, 184, 182, 180, 178, 177, 261, -1});
    return b.wiring;
}

constexpr CpuPins kWirings[] = {ktr5200(), uln(), paxon(), mirta()};

constexpr const char* kNames[] = {"KTR5200", "ULN", "PAXON", "MIRTA"};

// Safe state after power-up: strobes and chip selects inactive, data released, the rest 0.
void power_up(const CpuPins& wiring, uint8_t* latches)
{
    for (int cell = 0; cell < wiring.bsr_length; ++cell) {
        switch (wiring.cells[cell].role) {
        case CellRole::ReadStrobe:
        case CellRole::WriteStrobe:
        case CellRole::ChipSelect:
            latches[cell] = 1;
            break;
        case CellRole::Direction:
        case CellRole::BusDirection:
            latches[cell] = wiring.drive_level ^ 1u;
            break;
        default:
            latches[cell] = 0;
            break;
        }
    }
}

}  // namespace

bool cpu_model_from_name(const char* name, CpuModel* model)
{
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(name, kNames[i]) == 0) {
            *model = static_cast<CpuModel>(i);
            return true;
        }
    return false;
}

const CpuPins& cpu_pins(CpuModel model) { return kWirings[static_cast<int>(model)]; }

BuiltinPins::BuiltinPins(CpuModel model, Bus& bus, const VirtualClock& clock)
    : wiring_(cpu_pins(model)), bus_(bus), clock_(clock)
{
    power_up(wiring_, latches_.data());
}

void BuiltinPins::set_extest(bool active)
{
    if (active == extest_)
        return;
    extest_ = active;
    drive_pins();
}

void BuiltinPins::update(const uint8_t* latches)
{
    std::memcpy(latches_.data(), latches, static_cast<size_t>(wiring_.bsr_length));
    if (extest_)
        drive_pins();
}

void BuiltinPins::drive_pins()
{
    BusSignals next;
    next.address = pins_.address;  // outside EXTEST the address pins keep their levels
    if (extest_) {
        next.address = 0;
        next.ncs_n = static_cast<uint8_t>(~wiring_.regions);  // regions without a cell stay inactive
        uint32_t out = 0;
        uint32_t drive = 0;
        uint32_t bus_drive = 0;
        for (int cell = 0; cell < wiring_.bsr_length; ++cell) {
            const uint32_t level = latches_[cell] & 1u;
            const CellWiring w = wiring_.cells[cell];
            const uint32_t bit = 1u << w.index;
            switch (w.role) {
            case CellRole::Address:
                next.address |= level ? bit : 0;
                break;
            case CellRole::DataInOut:
            case CellRole::DataOut:
                out |= level ? bit : 0;
                break;
            case CellRole::Direction:
                drive |= level == wiring_.drive_level ? bit : 0;
                break;
            case CellRole::BusDirection:
                bus_drive = level == wiring_.drive_level ? 0xFFFFFFFFu : 0;
                break;
            case CellRole::ReadStrobe:
                next.oe_n = level != 0;
                break;
            case CellRole::WriteStrobe:
                next.we_n = level != 0;
                break;
            case CellRole::ChipSelect:
                next.ncs_n = static_cast<uint8_t>(next.ncs_n | (level << w.index));
                break;
            case CellRole::DataIn:
            case CellRole::None:
                break;
            }
        }
        const uint32_t pins_mask = wiring_.data_pins == 32 ? 0xFFFFFFFFu : (1u << wiring_.data_pins) - 1u;
        next.data_driven = (drive | bus_drive) & pins_mask;
        next.data = out & next.data_driven;
    }
    pins_ = next;
    bus_.set_signals(pins_, clock_.ns);
}

void BuiltinPins::capture(uint8_t* cells)
{
    const uint32_t lines = bus_.data_levels(clock_.ns);
    for (int cell = 0; cell < wiring_.bsr_length; ++cell) {
        const CellWiring w = wiring_.cells[cell];
        uint8_t level = latches_[cell];
        switch (w.role) {
        case CellRole::DataInOut:
        case CellRole::DataIn:
            level = static_cast<uint8_t>((lines >> w.index) & 1u);
            break;
        case CellRole::Address:
            level = static_cast<uint8_t>((pins_.address >> w.index) & 1u);
            break;
        case CellRole::ReadStrobe:
            level = pins_.oe_n ? 1 : 0;
            break;
        case CellRole::WriteStrobe:
            level = pins_.we_n ? 1 : 0;
            break;
        case CellRole::ChipSelect:
            level = static_cast<uint8_t>((pins_.ncs_n >> w.index) & 1u);
            break;
        default:
            break;
        }
        cells[cell] = level;
    }
}

}  // namespace sim
