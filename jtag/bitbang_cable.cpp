// SPDX-License-Identifier: Apache-2.0
#include "jtag/bitbang_cable.h"

#include <cstdio>

namespace {
// Characters are written once this many are queued; answers are read once this many 'R's wait.
constexpr size_t kSendBytes = 64 * 1024;
constexpr size_t kReadsMax = 64 * 1024;

uint8_t bit_of(char c) { return static_cast<uint8_t>(c) & 1; }
}  // namespace

BitbangCable::BitbangCable(ByteStream& link, std::string server) : NetCable(link, "remote_bitbang", std::move(server))
{}

BitbangCable::~BitbangCable() { close(); }

const char* BitbangCable::open(bool srst_hold, bool srst_release)
{
    out_.reserve(kSendBytes + 64);
    reads_.reserve(kReadsMax + 8);
    arrived_.reserve(kReadsMax + 8);
    open_ = true;
    srst_held_ = srst_hold;
    if (srst_hold || srst_release)
        out_.push_back(srst_hold ? 's' : 'r');
    // One TDO read proves the server answers before any job starts.
    out_.push_back('R');
    reads_.push_back(nullptr);
    flush();
    return fault();
}

void BitbangCable::close()
{
    if (!open_)
        return;
    flush();
    if (srst_held_)
        out_.push_back('r');
    out_.push_back('Q');
    send_queued();
    open_ = false;
}

void BitbangCable::clock(int tms, int tdi, char* dest)
{
    out_.push_back(static_cast<uint8_t>(bitbang_pins(0, tms, tdi)));
    if (dest != nullptr) {
        out_.push_back('R');
        reads_.push_back(dest);
    }
    out_.push_back(static_cast<uint8_t>(bitbang_pins(1, tms, tdi)));
    if (reads_.size() >= kReadsMax)
        flush();
    else if (out_.size() >= kSendBytes)
        send_queued();
}

void BitbangCable::send_queued()
{
    if (!out_.empty() && fault() == nullptr && send(out_.data(), out_.size()))
        out_.clear();
}

void BitbangCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    if (fault() != nullptr)
        return;
    if (tdi >= 0)
        tdi_ = tdi;
    for (uint8_t k = 0; k < clocks; ++k)
        clock((path >> k) & 1, tdi_, nullptr);
}

void BitbangCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    if (fault() != nullptr)
        return;
    uint32_t next_cell = 0;
    for (uint32_t i = 0; i < length && fault() == nullptr; ++i) {
        char* dest = nullptr;
        if (sink.capture != nullptr) {
            dest = sink.capture + i;
        } else if (next_cell < sink.count && sink.cells[next_cell] == i) {
            dest = sink.sample + next_cell;
            ++next_cell;
        }
        clock(exit && i + 1 == length, bit_of(bits[i]), dest);
    }
    if (length > 0)
        tdi_ = bit_of(bits[length - 1]);
}

void BitbangCable::idle(uint32_t clocks)
{
    for (uint32_t k = 0; k < clocks && fault() == nullptr; ++k)
        clock(0, tdi_, nullptr);
}

void BitbangCable::flush()
{
    if (fault() != nullptr)
        return;
    send_queued();
    if (reads_.empty() || fault() != nullptr)
        return;
    ++round_trips_;
    if (!receive(reads_.size()))
        return;
    for (size_t k = 0; k < reads_.size(); ++k) {
        const uint8_t answer = arrived_[k];
        if (answer != '0' && answer != '1') {
            char text[64];
            std::snprintf(text, sizeof text, "answered 'R' with byte 0x%02X, not '0' or '1'", answer);
            fail(text);
            return;
        }
        if (reads_[k] != nullptr)
            *reads_[k] = static_cast<char>(answer);
    }
    reads_.clear();
    arrived_.clear();
}
