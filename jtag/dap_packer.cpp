// SPDX-License-Identifier: Apache-2.0
#include "jtag/dap_packer.h"

namespace {
constexpr size_t kHeader = 2;  // id and sequence count; in the answer, id and status
constexpr uint32_t kMaxClocks = 64;
constexpr uint32_t kMaxSequences = 255;
}  // namespace

DapPacker::DapPacker(size_t packet_size, Sink& sink) : sink_(sink), size_(packet_size), packet_(packet_size)
{
    placements_.reserve(packet_size * 8);
    start_packet();
}

void DapPacker::start_packet()
{
    packet_[0] = dap::kJtagSequence;
    length_ = kHeader;
    answer_length_ = kHeader;
    sequences_ = 0;
    seq_clocks_ = 0;
    placements_.clear();
}

void DapPacker::finish()
{
    if (sequences_ == 0)
        return;
    packet_[1] = static_cast<uint8_t>(sequences_);
    sink_.packet({packet_.data(), length_, answer_length_, placements_.data(), placements_.size()});
    start_packet();
}

void DapPacker::clock(bool tms, bool tdi, bool capture, char* dest)
{
    const bool same = seq_clocks_ != 0 && seq_clocks_ < kMaxClocks && tms == seq_tms_ && capture == seq_capture_;
    if (same && seq_clocks_ % 8 == 0 && !room(1, capture ? 1 : 0)) {
        finish();
    } else if (!same && (sequences_ == kMaxSequences || !room(2, capture ? 1 : 0))) {
        finish();
    }
    if (seq_clocks_ == 0 || seq_clocks_ == kMaxClocks || tms != seq_tms_ || capture != seq_capture_) {
        info_at_ = length_;
        packet_[length_++] = 0;
        seq_clocks_ = 0;
        seq_tms_ = tms;
        seq_capture_ = capture;
        seq_answer_bit_ = static_cast<uint32_t>((answer_length_ - kHeader) * 8);
        ++sequences_;
    }
    if (seq_clocks_ % 8 == 0) {
        packet_[length_++] = 0;
        if (capture)
            ++answer_length_;
    }
    const uint32_t bit = seq_clocks_++;
    if (tdi)
        packet_[length_ - 1] |= static_cast<uint8_t>(1u << (bit % 8));
    // Bits 0-5 the clocks (64 written as 0), bit 6 TMS, bit 7 capture.
    packet_[info_at_] = static_cast<uint8_t>((seq_clocks_ & 0x3F) | (tms ? 0x40 : 0) | (capture ? 0x80 : 0));
    if (dest == nullptr)
        return;
    const uint32_t answer_bit = seq_answer_bit_ + bit;
    if (!placements_.empty()) {
        DapPlacement& last = placements_.back();
        if (last.answer_bit + last.count == answer_bit && last.dest + last.count == dest) {
            ++last.count;
            return;
        }
    }
    placements_.push_back({answer_bit, 1, dest});
}
