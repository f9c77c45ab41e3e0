// SPDX-License-Identifier: Apache-2.0
#include "jtag/bitbang_cable.h"

#include <cstdio>

namespace {
// Characters are written once this many are queued; answers are read once this many 'R's wait.
constexpr size_t kSendBytes = 64 * 1024;
constexpr size_t kReadsMax = 64 * 1024;

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
