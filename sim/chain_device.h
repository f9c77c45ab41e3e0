// SPDX-License-Identifier: Apache-2.0
// A further device on the JTAG chain (an FPGA, a CPLD, a second processor), seen only through
// its test access port: an instruction register that captures ...01, the 1-bit BYPASS register
// and, where the device has one, the 32-bit IDCODE register. Nothing behind it matters here.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "sim/tap_controller.h"

namespace sim {

struct ChainDeviceFacts {
    bool has_idcode = false;
    uint32_t idcode = 0;
    uint32_t ir_length = 0;  // 2 to 32
};

class ChainDevice {
public:
    static constexpr uint32_t kMinIrLength = 2;  // room for the captured 01

    explicit ChainDevice(const ChainDeviceFacts& facts);

    void tck_rising(uint8_t tms, uint8_t tdi);
    void tck_falling();
    void trst();

    uint8_t tdo() const { return tdo_; }
    TapState state() const { return state_; }
    uint32_t instruction() const { return instruction_; }
    const ChainDeviceFacts& facts() const { return facts_; }
    // All ones is BYPASS; the IDCODE opcode is all ones but the bit shifted first. Any other
    // opcode also shifts through the BYPASS bit, but a real part would do something with it.
    uint32_t bypass_opcode() const { return ir_mask_; }
    uint32_t idcode_opcode() const { return ir_mask_ & ~1u; }
    bool harmless() const
    {
        return instruction_ == bypass_opcode() || (facts_.has_idcode && instruction_ == idcode_opcode());
    }
    // Every instruction Update-IR made active, in the order first seen, with how often.
    const std::vector<std::pair<uint32_t, uint64_t>>& instructions_seen() const { return seen_; }

private:
    bool idcode_selected() const { return facts_.has_idcode && instruction_ == idcode_opcode(); }
    void update_ir();

    ChainDeviceFacts facts_;
    uint32_t ir_mask_;
    TapState state_ = TapState::TestLogicReset;
    uint32_t instruction_ = 0;
    uint32_t ir_shift_ = 0;  // bit 0 nearest TDO
    uint32_t dr_shift_ = 0;
    uint32_t dr_length_ = 1;
    uint8_t tdo_ = 1;
    std::vector<std::pair<uint32_t, uint64_t>> seen_;
};

}  // namespace sim
