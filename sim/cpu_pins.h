// SPDX-License-Identifier: Apache-2.0
// The CPU's pins behind its boundary-scan register: which pin each cell drives or samples.
#pragma once

#include <array>
#include <cstdint>

#include "sim/bus.h"
#include "sim/bus_signals.h"
#include "sim/scan_pins.h"
#include "sim/virtual_clock.h"
#include "targets/cpu_target.h"

namespace sim {

enum class CpuModel : uint8_t { Ktr5200, Uln, Paxon, Mirta };

// false for a name that is none of "KTR5200", "ULN", "PAXON", "MIRTA".
bool cpu_model_from_name(const char* name, CpuModel* model);

enum class CellRole : uint8_t {
    None,          // not on the external bus
    Address,       // output of address pin A<index>
    DataInOut,     // output and input of data pin D<index>
    DataOut,       // output of data pin D<index>
    DataIn,        // input of data pin D<index>
    Direction,     // drive/release of data pin D<index>
    BusDirection,  // drive/release of every data pin at once
    ReadStrobe,    // OE#
    WriteStrobe,   // WE#
    ChipSelect,    // nCS of region <index>
};

struct CellWiring {
    CellRole role = CellRole::None;
    uint8_t index = 0;
};

// A CPU's pin data: the role of every boundary-scan cell.
struct CpuPins {
    int bsr_length = 0;
    int data_pins = 0;
    uint8_t drive_level = 0;  // direction-cell value that makes a data pin drive
    uint8_t regions = 0;      // bit r: region r has a chip-select cell
    std::array<CellWiring, kMaxBsrLength> cells{};
};

const CpuPins& cpu_pins(CpuModel model);

// A built-in CPU's pins behind its register (BsdlPins does the same for a BSDL-described one).
class BuiltinPins : public ScanPins {
public:
    BuiltinPins(CpuModel model, Bus& bus, const VirtualClock& clock);

    void set_extest(bool active) override;
    void update(const uint8_t* latches) override;
    void capture(uint8_t* cells) override;

    int bsr_length() const { return wiring_.bsr_length; }
    const BusSignals& pins() const { return pins_; }
    const uint8_t* latches() const { return latches_.data(); }

private:
    void drive_pins();

    const CpuPins& wiring_;
    Bus& bus_;
    const VirtualClock& clock_;
    bool extest_ = false;
    std::array<uint8_t, kMaxBsrLength> latches_{};
    BusSignals pins_;
};

}  // namespace sim
