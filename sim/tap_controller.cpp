// SPDX-License-Identifier: Apache-2.0
#include "sim/tap_controller.h"

#include <algorithm>

namespace sim {

namespace {
// Capture-IR loads ...01 into the instruction register, as IEEE 1149.1 requires.
constexpr uint8_t kIrCapture = 0b0001;
}  // namespace

void ShiftRing::copy_out(uint8_t* to) const
{
    std::copy(cells + head, cells + length, to);
    std::copy(cells, cells + head, to + (length - head));
}

TapController::TapController(const CpuFacts& cpu, SimStats& stats)
    : cpu_(cpu),
      stats_(stats),
      bsr_cells_(cpu.bsr_length, 0),
      latches_(cpu.bsr_length, 0),
      scratch_(std::max<uint32_t>(cpu.bsr_length, 32), 0)
{
    ir_ = ShiftRing{ir_cells_, std::min(cpu.instruction_length, kMaxInstructionLength), 0};
    idcode_ = ShiftRing{idcode_cells_, 32, 0};
    bypass_ = ShiftRing{bypass_cell_, 1, 0};
    bsr_ = ShiftRing{bsr_cells_.data(), cpu.bsr_length, 0};
    reset_instruction();
}

void TapController::attach_pins(ScanPins* pins)
{
    pins_ = pins;
    if (pins_)
        pins_->set_extest(instruction_ == cpu_.extest_instruction);
}

void TapController::preset_latches(const uint8_t* cells)
{
    std::copy(cells, cells + cpu_.bsr_length, latches_.begin());
}

void TapController::capture()
{
    if (state_ == TapState::CaptureIr) {
        for (uint32_t i = 0; i < ir_.length; ++i)
            ir_cells_[i] = i < 4 ? (kIrCapture >> i) & 1 : 0;
        ir_.head = 0;
        return;
    }
    dr_->head = 0;
    switch (selected_) {
    case DataRegister::Bypass:
        bypass_cell_[0] = 0;
        break;
    case DataRegister::Idcode:
        for (uint32_t i = 0; i < 32; ++i)
            idcode_cells_[i] = (cpu_.idcode >> i) & 1;
        break;
    case DataRegister::Boundary:
        if (pins_)
            pins_->capture(bsr_cells_.data());
        else
            std::copy(latches_.begin(), latches_.end(), bsr_cells_.begin());
        break;
    }
}

void TapController::falling_outside_shift()
{
    // Outside the shift states TDO is not driven; the cable's pull-up reads 1.
    tdo_ = 1;
    if (state_ == TapState::UpdateDr)
        update_dr();
    else if (state_ == TapState::UpdateIr)
        update_ir();
}

void TapController::update_dr()
{
    ++stats_.dr_scans;
    if (selected_ == DataRegister::Boundary) {
        bsr_.copy_out(latches_.data());
        if (pins_)
            pins_->update(latches_.data());
        if (on_update_dr)
            on_update_dr(selected_, latches_.data(), bsr_.length);
        return;
    }
    if (on_update_dr) {
        dr_->copy_out(scratch_.data());
        on_update_dr(selected_, scratch_.data(), dr_->length);
    }
}

void TapController::update_ir()
{
    ++stats_.ir_scans;
    uint32_t instruction = 0;
    for (uint32_t i = 0; i < ir_.length; ++i)
        instruction |= static_cast<uint32_t>(ir_.cell(i)) << i;
    select(instruction);
}

void TapController::reset_instruction()
{
    // With an IDCODE register present, Test-Logic-Reset selects it.
    select(cpu_.idcode_instruction);
}

void TapController::select(uint32_t instruction)
{
    instruction_ = instruction;
    if (instruction == cpu_.extest_instruction) {
        selected_ = DataRegister::Boundary;
        dr_ = &bsr_;
    } else if (instruction == cpu_.idcode_instruction) {
        selected_ = DataRegister::Idcode;
        dr_ = &idcode_;
    } else {
        selected_ = DataRegister::Bypass;
        dr_ = &bypass_;
    }
    if (pins_)
        pins_->set_extest(instruction == cpu_.extest_instruction);
}

}  // namespace sim
