// SPDX-License-Identifier: Apache-2.0
// TCK clocks into CMSIS-DAP DAP_JTAG_Sequence packets: `14 COUNT {INFO TDI...}`. A sequence
// holds up to 64 clocks at one TMS level; a change of TMS or of capturing starts the next one.
// A packet is handed on when the next clock would make its request or its answer larger than
// the packet size (or its sequences more than 255), so packets leave filled to the byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dap {

inline constexpr uint8_t kInfo = 0x00;
inline constexpr uint8_t kConnect = 0x02;
inline constexpr uint8_t kDisconnect = 0x03;
inline constexpr uint8_t kSwjPins = 0x10;
inline constexpr uint8_t kSwjClock = 0x11;
inline constexpr uint8_t kJtagSequence = 0x14;
inline constexpr uint8_t kOk = 0x00;
inline constexpr uint8_t kError = 0xFF;

}  // namespace dap

// TDO bits of an answer that go to `dest[0..count)`: bit `answer_bit` on, counted from the
// first TDO byte (after the id and the status).
struct DapPlacement {
    uint32_t answer_bit;
    uint32_t count;
    char* dest;
};

// One finished packet: the request and how long its answer must be.
struct DapPacket {
    const uint8_t* data;
    size_t length;
    size_t answer_length;
    const DapPlacement* placements;
    size_t placement_count;
};

class DapPacker {
public:
    // Receives every finished packet; the pointers last until the next clock.
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void packet(const DapPacket& packet) = 0;
    };

    DapPacker(size_t packet_size, Sink& sink);

    // One clock. `capture`: its sequence returns TDO; `dest`, when not null, gets this clock's
    // TDO ('0'/'1') once the answer is read (only with `capture`).
    void clock(bool tms, bool tdi, bool capture, char* dest = nullptr);
    // Hands on the packet being filled, if it holds a sequence.
    void finish();
    bool empty() const { return sequences_ == 0; }
    size_t packet_size() const { return size_; }

private:
    void start_packet();
    bool room(size_t request, size_t answer) const
    {
        return length_ + request <= size_ && answer_length_ + answer <= size_;
    }

    Sink& sink_;
    size_t size_;
    std::vector<uint8_t> packet_;
    std::vector<DapPlacement> placements_;
    size_t length_ = 0;
    size_t answer_length_ = 0;
    uint32_t sequences_ = 0;
    size_t info_at_ = 0;  // the open sequence's INFO byte
    uint32_t seq_clocks_ = 0;
    bool seq_tms_ = false;
    bool seq_capture_ = false;
    uint32_t seq_answer_bit_ = 0;  // where the open sequence's TDO starts in the answer
};
