// SPDX-License-Identifier: Apache-2.0
#include "jtag/jlink_cable.h"

#include <algorithm>

JlinkCable::JlinkCable(JaylinkTransport& probe)
    : probe_(probe), tms_(kBatchBits / 8), tdi_(kBatchBits / 8), tdo_(kBatchBits / 8)
{
    placements_.reserve(kBatchBits);
}

JlinkCable::~JlinkCable() { close(); }

const char* JlinkCable::set_fault(const std::string& text)
{
    if (fault_.empty())
        fault_ = text;
    return fault_.c_str();
}

const char* JlinkCable::open(uint32_t serial, uint32_t tck_hz)
{
    close();
    fault_.clear();
    if (const char* reason = probe_.open(serial))
        return set_fault(reason);
    opened_ = true;
    serial_ = serial;
    uint32_t interfaces = 0;
    JaylinkSpeeds speeds;
    const char* reason = probe_.interfaces(interfaces);
    if (reason == nullptr && !(interfaces & JaylinkTransport::kJtagInterface))
        reason = set_fault("J-Link " + std::to_string(serial) + " offers no JTAG interface");
    if (reason == nullptr)
        reason = probe_.select_jtag();
    if (reason == nullptr)
        reason = probe_.speeds(speeds);
    if (reason == nullptr) {
        max_hz_ = speeds.base_hz / std::max<uint32_t>(speeds.min_divider, 1);
        // The speed goes in whole kHz; 0xFFFF would ask for adaptive clocking.
        const uint32_t khz = std::clamp<uint32_t>(std::min(tck_hz, max_hz_) / 1000, 1, 0xFFFE);
        reason = probe_.set_speed_khz(static_cast<uint16_t>(khz));
        tck_hz_ = khz * 1000;
    }
    if (reason != nullptr) {
        std::string text = reason;
        close();
        tck_hz_ = 0;
        max_hz_ = 0;
        return set_fault(text);
    }
    bits_ = 0;
    placements_.clear();
    return nullptr;
}

void JlinkCable::close()
{
    if (!opened_)
        return;
    send();
    probe_.close();
    opened_ = false;
}

void JlinkCable::room_for(uint32_t clocks)
{
    if (bits_ + clocks > kBatchBits)
        send();
}

void JlinkCable::clock(int tms, int tdi)
{
    const uint32_t byte = bits_ >> 3;
    const auto mask = static_cast<uint8_t>(1u << (bits_ & 7));
    if ((bits_ & 7) == 0)
        tms_[byte] = tdi_[byte] = 0;
    if (tms)
        tms_[byte] |= mask;
    if (tdi)
        tdi_[byte] |= mask;
    ++bits_;
}

void JlinkCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    if (tdi >= 0)
        tdi_level_ = tdi;
    room_for(clocks);
    for (uint8_t k = 0; k < clocks; ++k)
        clock((path >> k) & 1, tdi_level_);
}

void JlinkCable::idle(uint32_t clocks)
{
    while (clocks > 0) {
        room_for(1);
        const uint32_t now = std::min(clocks, kBatchBits - bits_);
        for (uint32_t k = 0; k < now; ++k)
            clock(0, tdi_level_);
        clocks -= now;
    }
}

void JlinkCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    uint32_t next_cell = 0;
    for (uint32_t done = 0; done < length;) {
        room_for(1);
        const uint32_t now = std::min(length - done, kBatchBits - bits_);
        if (sink.capture != nullptr)
            placements_.push_back({bits_, now, sink.capture + done});
        for (; next_cell < sink.count && sink.cells[next_cell] < done + now; ++next_cell)
            placements_.push_back({bits_ + sink.cells[next_cell] - done, 1, sink.sample + next_cell});
        for (uint32_t k = done; k < done + now; ++k)
            clock(exit && k == length - 1, bits[k] == '1');
        done += now;
    }
    if (length > 0)
        tdi_level_ = bits[length - 1] == '1';
}

void JlinkCable::send()
{
    if (bits_ == 0)
        return;
    const uint32_t count = bits_;
    bits_ = 0;
    if (!fault_.empty() || !opened_) {
        placements_.clear();
        return;
    }
    if (const char* reason = probe_.jtag_io(tms_.data(), tdi_.data(), tdo_.data(), static_cast<uint16_t>(count)))
        set_fault(reason);
    if (fault_.empty())
        for (const Placement& p : placements_)
            for (uint32_t k = 0; k < p.count; ++k) {
                const uint32_t bit = p.bit + k;
                p.dest[k] = (tdo_[bit >> 3] >> (bit & 7)) & 1 ? '1' : '0';
            }
    placements_.clear();
}
