// SPDX-License-Identifier: Apache-2.0
// A CPU row made from a BSDL file and a bus map: the same kind of target as the built-in rows,
// read by the same generic bus cycle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "targets/bsdl_device.h"
#include "targets/bus_map.h"
#include "targets/cpu_target.h"

inline constexpr const char* kNoExtest = "The BSDL file has no EXTEST instruction: its pins cannot be driven";

class BsdlTarget {
public:
    BsdlTarget() = default;
    BsdlTarget(const BsdlTarget&) = delete;
    BsdlTarget& operator=(const BsdlTarget&) = delete;

    // False with a one-line reason naming the pin when the map does not fit the device: a pin
    // the file does not have, one named twice, an output without an output cell, a data pin
    // without an input cell or a control cell, two pins that need one control cell differently.
    bool build(const BsdlDevice& device, const BusMap& map, std::string& error);

    // The row: its IDCODE has X for the bits that do not count, and idcode_instruction is
    // nullptr when the file gives no IDCODE.
    const CpuTarget& cpu() const { return row_; }

    // Output pins that boards usually hold (a reset, a write-protect, another chip select) and
    // that the map neither uses nor holds, in the file's order: "nRST, nWP", or empty.
    const std::string& unheld_pins() const { return unheld_; }

private:
    bool map_pins(const BsdlDevice& device, const BusMap& map, std::string& error);
    bool claim_control(const BsdlPin& pin, char level, std::string& error);

    std::string name_;
    std::string idcode_;
    std::string idcode_instruction_;
    std::string extest_;
    std::string image_;
    std::vector<uint16_t> address_;
    std::vector<uint16_t> data_out_;
    std::vector<uint16_t> data_in_;
    std::vector<uint16_t> direction_;
    struct ControlClaim {
        int cell;
        char level;  // '0', '1', or 't' where the bus cycles switch it (the data pins)
        std::string pin;
    };
    std::vector<ControlClaim> controls_;
    std::string unheld_;
    CpuTarget row_{};
};

// The opcode of a BSDL instruction as the cable shifts it: the file writes the most significant
// bit first, and the rightmost bit is shifted first.
std::string bsdl_shift_order(const std::string& opcode);
