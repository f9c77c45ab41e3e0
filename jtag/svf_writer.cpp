// SPDX-License-Identifier: Apache-2.0
#include "jtag/svf_writer.h"

#include <cstdio>

namespace {

enum State : int {
    kReset,
    kIdle,
    kSelectDr,
    kCaptureDr,
    kShiftDr,
    kExit1Dr,
    kPauseDr,
    kExit2Dr,
    kUpdateDr,
    kSelectIr,
    kCaptureIr,
    kShiftIr,
    kExit1Ir,
    kPauseIr,
    kExit2Ir,
    kUpdateIr,
};

// The IEEE 1149.1 state diagram: the next state for TMS 0 and for TMS 1.
constexpr int kNext[16][2] = {
    {kIdle, kReset},       {kIdle, kSelectDr},    {kCaptureDr, kSelectIr}, {kShiftDr, kExit1Dr},
    {kShiftDr, kExit1Dr},  {kPauseDr, kUpdateDr}, {kPauseDr, kExit2Dr},    {kShiftDr, kUpdateDr},
    {kIdle, kSelectDr},    {kCaptureIr, kReset},  {kShiftIr, kExit1Ir},    {kShiftIr, kExit1Ir},
    {kPauseIr, kUpdateIr}, {kPauseIr, kExit2Ir},  {kShiftIr, kUpdateIr},   {kIdle, kSelectDr},
};

std::string ones(uint32_t count) { return std::string(count, '1'); }

}  // namespace

std::string svf_hex(std::string_view bits)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t digit = (bits.size() + 3) / 4; digit-- > 0;) {
        int value = 0;
        for (size_t b = 4; b-- > 0;)
            value = value << 1 | (digit * 4 + b < bits.size() && bits[digit * 4 + b] == '1' ? 1 : 0);
        hex += kDigits[value];
    }
    return hex;
}

SvfWriter::SvfWriter(uint32_t hz, const ChainPosition& position) : hz_(hz), position_(position)
{
    text_ = "TRST OFF;\nENDIR IDLE;\nENDDR IDLE;\n";
    char line[64];
    std::snprintf(line, sizeof line, "FREQUENCY %.2E HZ;\n", static_cast<double>(hz));
    text_ += line;
    // The devices around the one the job works on stay in BYPASS: all ones in their instruction
    // registers, one bit each in a DR scan. The header goes through the devices nearer TDO.
    const auto pad = [this](const char* name, uint32_t count) {
        text_ += std::string(name) + " " + std::to_string(count);
        text_ += count != 0 ? " TDI (" + svf_hex(ones(count)) + ");\n" : ";\n";
    };
    pad("HIR", position.ir_before);
    pad("TIR", position.ir_after);
    pad("HDR", position.devices_before);
    pad("TDR", position.devices_after);
    text_ += "STATE RESET;\n";
}

void SvfWriter::clock_tms(int tms)
{
    ++tck_;
    const int from = state_;
    state_ = kNext[state_][tms];
    if (state_ == kReset && from != kReset)
        text_ += "STATE RESET;\n";
    if (state_ == kCaptureDr || state_ == kCaptureIr) {
        tdi_.clear();
        tdo_.clear();
        reading_ = false;
    }
    if (state_ == kUpdateDr || state_ == kUpdateIr)
        scan_done();
}

void SvfWriter::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    (void)tdi;
    for (uint8_t k = 0; k < clocks; ++k)
        clock_tms((path >> k) & 1);
}

void SvfWriter::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    const bool ir = state_ == kShiftIr;
    tdi_.append(bits, length);
    if (sink.wanted()) {
        // The device's own bits: TDO as expected where told, else unchecked.
        std::string tdo = !ir && expected_.size() == length ? expected_ : std::string(length, 'x');
        expected_.clear();
        reading_ = reading_ || tdo.find_first_not_of('x') != std::string::npos;
        for (uint32_t k = 0; k < length; ++k) {
            if (sink.capture != nullptr)
                sink.capture[k] = tdo[k] == '1' ? '1' : '0';
        }
        for (uint32_t k = 0; k < sink.count; ++k)
            sink.sample[k] = tdo[sink.cells[k]] == '1' ? '1' : '0';
        tdo_ += tdo;
    } else {
        tdo_.append(length, 'x');
    }
    tck_ += length;
    // The last bit leaves Shift on its own clock.
    if (exit)
        state_ = ir ? kExit1Ir : kExit1Dr;
}

void SvfWriter::scan_done()
{
    const bool ir = state_ == kUpdateIr;
    const uint32_t before = ir ? position_.ir_before : position_.devices_before;
    const uint32_t after = ir ? position_.ir_after : position_.devices_after;
    if (tdi_.size() < before + after)
        return;
    const size_t length = tdi_.size() - before - after;
    const std::string_view tdi = std::string_view(tdi_).substr(before, length);
    const std::string_view tdo = std::string_view(tdo_).substr(before, length);
    text_ += ir ? "SIR " : "SDR ";
    text_ += std::to_string(length) + " TDI (" + svf_hex(tdi) + ")";
    if (reading_) {
        ++checked_;
        std::string mask(tdo);
        for (char& bit : mask)
            bit = bit == 'x' ? '0' : '1';
        text_ += " TDO (" + svf_hex(tdo) + ") MASK (" + svf_hex(mask) + ")";
    }
    text_ += ";\n";
}

void SvfWriter::idle(uint32_t clocks)
{
    if (clocks == 0)
        return;
    tck_ += clocks;
    text_ += "RUNTEST " + std::to_string(clocks) + " TCK;\n";
}
