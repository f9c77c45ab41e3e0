// SPDX-License-Identifier: Apache-2.0
#include "sim/chain_device.h"

namespace sim {

ChainDevice::ChainDevice(const ChainDeviceFacts& facts)
    : facts_(facts), ir_mask_(facts.ir_length >= 32 ? 0xFFFFFFFFu : (1u << facts.ir_length) - 1u)
{
    trst();
}

void ChainDevice::trst()
{
    state_ = TapState::TestLogicReset;
    // IEEE 1149.1: IDCODE after Test-Logic-Reset where the device has it, else BYPASS.
    instruction_ = facts_.has_idcode ? idcode_opcode() : bypass_opcode();
}

void ChainDevice::tck_rising(uint8_t tms, uint8_t tdi)
{
    const uint32_t in = tdi & 1u;
    switch (state_) {
    case TapState::ShiftDr:
        dr_shift_ = (dr_shift_ >> 1) | (in << (dr_length_ - 1));
        break;
    case TapState::ShiftIr:
        ir_shift_ = (ir_shift_ >> 1) | (in << (facts_.ir_length - 1));
        break;
    case TapState::CaptureIr:
        ir_shift_ = 0b01;
        break;
    case TapState::CaptureDr:
        dr_length_ = idcode_selected() ? 32 : 1;
        dr_shift_ = idcode_selected() ? facts_.idcode : 0;
        break;
    default:
        break;
    }
    const TapState next = kTapNext[static_cast<uint8_t>(state_)][tms & 1];
    if (next == TapState::TestLogicReset && state_ != TapState::TestLogicReset)
        trst();
    state_ = next;
}

void ChainDevice::tck_falling()
{
    if (state_ == TapState::ShiftDr)
        tdo_ = dr_shift_ & 1u;
    else if (state_ == TapState::ShiftIr)
        tdo_ = ir_shift_ & 1u;
    else
        tdo_ = 1;  // not driven: the pull-up
    if (state_ == TapState::UpdateIr)
        update_ir();
}

void ChainDevice::update_ir()
{
    instruction_ = ir_shift_ & ir_mask_;
    for (auto& [instruction, count] : seen_)
        if (instruction == instruction_) {
            ++count;
            return;
        }
    seen_.emplace_back(instruction_, 1);
}

}  // namespace sim
