// SPDX-License-Identifier: Apache-2.0
// The CPU's IEEE 1149.1 test access port: state machine, instruction register,
// and the IDCODE, BYPASS and boundary-scan data registers.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sim/cpu_facts.h"
#include "sim/scan_pins.h"
#include "sim/stats.h"

namespace sim {

enum class TapState : uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};
constexpr int kTapStateCount = 16;

// next state = kTapNext[state][tms]
inline constexpr TapState kTapNext[kTapStateCount][2] = {
    {TapState::RunTestIdle, TapState::TestLogicReset},  // Test-Logic-Reset
    {TapState::RunTestIdle, TapState::SelectDrScan},    // Run-Test/Idle
    {TapState::CaptureDr, TapState::SelectIrScan},      // Select-DR-Scan
    {TapState::ShiftDr, TapState::Exit1Dr},             // Capture-DR
    {TapState::ShiftDr, TapState::Exit1Dr},             // Shift-DR
    {TapState::PauseDr, TapState::UpdateDr},            // Exit1-DR
    {TapState::PauseDr, TapState::Exit2Dr},             // Pause-DR
    {TapState::ShiftDr, TapState::UpdateDr},            // Exit2-DR
    {TapState::RunTestIdle, TapState::SelectDrScan},    // Update-DR
    {TapState::CaptureIr, TapState::TestLogicReset},    // Select-IR-Scan
    {TapState::ShiftIr, TapState::Exit1Ir},             // Capture-IR
    {TapState::ShiftIr, TapState::Exit1Ir},             // Shift-IR
    {TapState::PauseIr, TapState::UpdateIr},            // Exit1-IR
    {TapState::PauseIr, TapState::Exit2Ir},             // Pause-IR
    {TapState::ShiftIr, TapState::UpdateIr},            // Exit2-IR
    {TapState::RunTestIdle, TapState::SelectDrScan},    // Update-IR
};

enum class DataRegister : uint8_t { Bypass, Idcode, Boundary };

// A shift register kept as a ring: `head` is the cell nearest TDO, so a shift
// is one store and one index step whatever the length.
struct ShiftRing {
    uint8_t* cells = nullptr;
    uint32_t length = 0;
    uint32_t head = 0;

    uint8_t out() const { return cells[head]; }
    void shift(uint8_t tdi)
    {
        cells[head] = tdi;
        head = (head + 1 == length) ? 0 : head + 1;
    }
    // Cell i (0 = nearest TDO) after a shift has moved the head.
    uint8_t cell(uint32_t i) const
    {
        uint32_t at = head + i;
        return cells[at >= length ? at - length : at];
    }
    void copy_out(uint8_t* to) const;
};

class TapController {
public:
    // The instruction register is `cpu.instruction_length` bits, at most kMaxInstructionLength.
    TapController(const CpuFacts& cpu, SimStats& stats);
    TapController(const TapController&) = delete;
    TapController& operator=(const TapController&) = delete;

    // TCK rising edge: the action of the present state, then the step.
    void tck_rising(uint8_t tms, uint8_t tdi)
    {
        ++stats_.tck_clocks;
        if (state_ == TapState::ShiftDr) [[likely]]
            dr_->shift(tdi);
        else if (state_ == TapState::ShiftIr)
            ir_.shift(tdi);
        else if (state_ == TapState::CaptureDr || state_ == TapState::CaptureIr)
            capture();
        TapState next = kTapNext[static_cast<uint8_t>(state_)][tms & 1];
        if (next == TapState::TestLogicReset && state_ != TapState::TestLogicReset)
            reset_instruction();
        state_ = next;
    }

    // TCK falling edge: TDO changes, and the update stages latch.
    void tck_falling()
    {
        if (state_ == TapState::ShiftDr) [[likely]]
            tdo_ = dr_->out();
        else if (state_ == TapState::ShiftIr)
            tdo_ = ir_.out();
        else
            falling_outside_shift();
    }

    // TRST* low (IEEE 1149.1): Test-Logic-Reset at once, without a clock.
    void trst()
    {
        state_ = TapState::TestLogicReset;
        reset_instruction();
    }

    uint8_t tdo() const { return tdo_; }
    TapState state() const { return state_; }
    uint32_t instruction() const { return instruction_; }
    DataRegister selected() const { return selected_; }
    const CpuFacts& cpu() const { return cpu_; }

    // The CPU's pins behind the boundary-scan cells; without them a capture
    // returns what the update latches hold.
    void attach_pins(ScanPins* pins);
    // The update latches as they power up (defaults to all 0).
    void preset_latches(const uint8_t* cells);
    const std::vector<uint8_t>& latches() const { return latches_; }

    // For tests: called at every Update-DR with the register's cells in cell
    // order (the latches for the boundary-scan register).
    std::function<void(DataRegister, const uint8_t* cells, uint32_t length)> on_update_dr;

private:
    void capture();
    void falling_outside_shift();
    void update_dr();
    void update_ir();
    void reset_instruction();
    void select(uint32_t instruction);

    const CpuFacts& cpu_;
    SimStats& stats_;
    TapState state_ = TapState::TestLogicReset;
    uint8_t tdo_ = 1;
    uint32_t instruction_ = 0;
    DataRegister selected_ = DataRegister::Idcode;
    ScanPins* pins_ = nullptr;

    uint8_t ir_cells_[kMaxInstructionLength] = {};
    uint8_t idcode_cells_[32] = {};
    uint8_t bypass_cell_[1] = {};
    std::vector<uint8_t> bsr_cells_;
    std::vector<uint8_t> latches_;
    std::vector<uint8_t> scratch_;  // linear copy for the test observer

    ShiftRing ir_;
    ShiftRing idcode_;
    ShiftRing bypass_;
    ShiftRing bsr_;
    ShiftRing* dr_ = nullptr;
};

}  // namespace sim
