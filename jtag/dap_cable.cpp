// SPDX-License-Identifier: Apache-2.0
#include "jtag/dap_cable.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {

constexpr uint8_t kInfoCapabilities = 0xF0;
constexpr uint8_t kInfoPacketCount = 0xFE;
constexpr uint8_t kInfoPacketSize = 0xFF;
constexpr uint8_t kCapabilityJtag = 0x02;
constexpr uint8_t kPortJtag = 2;
constexpr uint8_t kPinReset = 0x80;  // nRESET

// A gap of untouched clocks this long between wanted TDO bits is cheaper left uncaptured.
constexpr uint32_t kCaptureGap = 64;

std::string hex_byte(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

DapCable::DapCable(DapTransport& link, const DapSettings& settings) : link_(link), settings_(settings) {}

DapCable::~DapCable() { close(); }

bool DapCable::set_fault(const std::string& text)
{
    if (fault_.empty())
        fault_ = name_ + ": " + text;
    return false;
}

const char* DapCable::refuse(const std::string& text)
{
    set_fault(text);
    link_.close();
    return fault_.c_str();
}

// One command and its answer, outside the scan stream: the answer must carry the same id and
// at least `answer_min` bytes.
bool DapCable::command(const uint8_t* request, size_t length, size_t answer_min, const char* what)
{
    size_t got = 0;
    if (!link_.write(request, length) || !link_.read(answer_.data(), answer_.size(), got))
        return set_fault(link_.error());
    if (got >= 1 && answer_[0] == dap::kError && request[0] != dap::kError)
        return set_fault(std::string(what) + " is not a command this probe knows (answered 0xFF)");
    if (got < answer_min || answer_[0] != request[0])
        return set_fault(std::string(what) + ": short or foreign answer (" + std::to_string(got) + " bytes)");
    return true;
}

const char* DapCable::open(const DapChoice& choice)
{
    if (const char* reason = link_.open(choice))
        return reason;
    const DapProbeInfo probe = link_.probe();
    name_ = "CMSIS-DAP probe " + usb_id_text(probe.id);
    if (!probe.serial.empty())
        name_ += " (serial " + probe.serial + ")";
    answer_.assign(std::max<size_t>(link_.link_packet_size(), 64), 0);

    const uint8_t caps[] = {dap::kInfo, kInfoCapabilities};
    if (!command(caps, sizeof caps, 3, "DAP_Info"))
        return refuse("");
    if (answer_[1] < 1 || (answer_[2] & kCapabilityJtag) == 0)
        return refuse("no JTAG (DAP_Info capabilities " + hex_byte(answer_[1] < 1 ? 0 : answer_[2]) +
                      "); this tool needs JTAG, not SWD");
    const uint8_t size[] = {dap::kInfo, kInfoPacketSize};
    if (!command(size, sizeof size, 2, "DAP_Info"))
        return refuse("");
    if (answer_[1] == 2)
        packet_size_ = static_cast<size_t>(answer_[2] | answer_[3] << 8);
    const uint8_t count[] = {dap::kInfo, kInfoPacketCount};
    if (!command(count, sizeof count, 2, "DAP_Info"))
        return refuse("");
    if (answer_[1] == 1 && answer_[2] != 0)
        packet_count_ = answer_[2];
    if (packet_size_ < 8 || packet_size_ > 4096)
        return refuse("packet size " + std::to_string(packet_size_) + " is not one this tool can use");
    link_.set_packet_size(packet_size_);
    answer_.assign(std::max(packet_size_, answer_.size()), 0);

    const uint8_t connect[] = {dap::kConnect, kPortJtag};
    if (!command(connect, sizeof connect, 2, "DAP_Connect"))
        return refuse("");
    if (answer_[1] != kPortJtag)
        return refuse("DAP_Connect JTAG failed (answered port " + std::to_string(answer_[1]) + ")");
    opened_ = true;
    const uint32_t hz = settings_.tck_hz;
    const uint8_t clock[] = {dap::kSwjClock, static_cast<uint8_t>(hz), static_cast<uint8_t>(hz >> 8),
                             static_cast<uint8_t>(hz >> 16), static_cast<uint8_t>(hz >> 24)};
    if (!command(clock, sizeof clock, 2, "DAP_SWJ_Clock") ||
        (answer_[1] != dap::kOk && !set_fault("DAP_SWJ_Clock " + std::to_string(hz) + " Hz answered DAP_ERROR"))) {
        close();
        return fault_.c_str();
    }
    if (settings_.srst != DapSettings::Srst::untouched) {
        const uint8_t level = settings_.srst == DapSettings::Srst::hold ? 0 : kPinReset;
        const uint8_t pins[] = {dap::kSwjPins, level, kPinReset, 0, 0, 0, 0};
        if (!command(pins, sizeof pins, 2, "DAP_SWJ_Pins")) {
            close();
            return fault_.c_str();
        }
    }
    packer_.emplace(packet_size_, static_cast<DapPacker::Sink&>(*this));
    in_flight_.reserve(packet_count_ + 1);
    placements_.reserve(packet_size_ * 8 * (packet_count_ + 1));
    return nullptr;
}

void DapCable::close()
{
    if (!opened_)
        return;
    flush();
    // After a failure the answers still due are read and dropped, so that the next answer is the
    // one to the commands below.
    for (size_t got = 0; next_answer_ < in_flight_.size(); ++next_answer_)
        if (!link_.read(answer_.data(), answer_.size(), got))
            break;
    // nSRST back to the target's pull-up, then the probe's pins back to itself; both tried
    // after a fault too, in case the link still works.
    if (settings_.srst == DapSettings::Srst::hold) {
        const uint8_t pins[] = {dap::kSwjPins, kPinReset, kPinReset, 0, 0, 0, 0};
        command(pins, sizeof pins, 2, "DAP_SWJ_Pins");
    }
    const uint8_t disconnect[] = {dap::kDisconnect};
    command(disconnect, sizeof disconnect, 2, "DAP_Disconnect");
    opened_ = false;
    link_.close();
}

void DapCable::packet(const DapPacket& packet)
{
    if (!fault_.empty())
        return;
    if (in_flight_.size() - next_answer_ >= packet_count_ && !read_answer())
        return;
    // The answered packets' records go, so that the queues stay within the reserved room.
    if (next_answer_ == in_flight_.size() || next_answer_ >= packet_count_) {
        const size_t done =
            next_answer_ == in_flight_.size() ? placements_.size() : in_flight_[next_answer_].first_placement;
        placements_.erase(placements_.begin(), placements_.begin() + static_cast<std::ptrdiff_t>(done));
        in_flight_.erase(in_flight_.begin(), in_flight_.begin() + static_cast<std::ptrdiff_t>(next_answer_));
        for (InFlight& f : in_flight_) {
            f.first_placement -= done;
            f.end_placement -= done;
        }
        next_answer_ = 0;
    }
    if (!link_.write(packet.data, packet.length)) {
        set_fault(link_.error());
        return;
    }
    const size_t first = placements_.size();
    placements_.insert(placements_.end(), packet.placements, packet.placements + packet.placement_count);
    in_flight_.push_back({packet.answer_length, first, placements_.size()});
}

bool DapCable::read_answer()
{
    const InFlight& due = in_flight_[next_answer_++];
    size_t got = 0;
    if (!link_.read(answer_.data(), answer_.size(), got))
        return set_fault(link_.error());
    if (got >= 2 && answer_[0] == dap::kJtagSequence && answer_[1] != dap::kOk)
        return set_fault("DAP_JTAG_Sequence answered DAP_ERROR");
    if (got < due.answer_length || answer_[0] != dap::kJtagSequence)
        return set_fault("short answer to DAP_JTAG_Sequence (" + std::to_string(got) + " bytes, " +
                         std::to_string(due.answer_length) + " due)");
    const uint8_t* tdo = answer_.data() + 2;
    for (size_t i = due.first_placement; i < due.end_placement; ++i) {
        const DapPlacement& p = placements_[i];
        for (uint32_t k = 0; k < p.count; ++k) {
            const uint32_t bit = p.answer_bit + k;
            p.dest[k] = (tdo[bit / 8] >> (bit % 8) & 1) != 0 ? '1' : '0';
        }
    }
    return true;
}

void DapCable::flush()
{
    if (!packer_ || !fault_.empty())
        return;
    packer_->finish();
    while (fault_.empty() && next_answer_ < in_flight_.size())
        read_answer();
    in_flight_.clear();
    placements_.clear();
    next_answer_ = 0;
}

void DapCable::tms_path(uint8_t path, uint8_t clocks, int tdi)
{
    if (!packer_ || !fault_.empty())
        return;
    for (uint8_t k = 0; k < clocks; ++k)
        packer_->clock((path >> k & 1) != 0, tdi == 1, false);
}

void DapCable::idle(uint32_t clocks)
{
    if (!packer_ || !fault_.empty())
        return;
    for (uint32_t k = 0; k < clocks; ++k)
        packer_->clock(false, false, false);
}

void DapCable::shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink)
{
    if (!packer_ || !fault_.empty())
        return;
    uint32_t cell = 0;  // next listed cell
    for (uint32_t i = 0; i < length; ++i) {
        const bool tms = exit && i + 1 == length;
        const bool tdi = bits[i] == '1';
        char* dest = nullptr;
        bool capture = sink.capture != nullptr;
        if (sink.capture != nullptr) {
            dest = sink.capture + i;
        } else if (cell < sink.count) {
            // Captured from a little before a wanted cell on, so that close cells share a sequence.
            capture = sink.cells[cell] < i + kCaptureGap;
            if (sink.cells[cell] == i)
                dest = sink.sample + cell++;
        }
        packer_->clock(tms, tdi, capture, dest);
    }
}
