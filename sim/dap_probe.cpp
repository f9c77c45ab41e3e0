// SPDX-License-Identifier: Apache-2.0
#include "sim/dap_probe.h"

#include <algorithm>

namespace sim {

namespace {

// Command ids and answers as the probe protocol defines them.
constexpr uint8_t kInfo = 0x00;
constexpr uint8_t kConnect = 0x02;
constexpr uint8_t kDisconnect = 0x03;
constexpr uint8_t kPins = 0x10;
constexpr uint8_t kClock = 0x11;
constexpr uint8_t kSequence = 0x14;
constexpr uint8_t kOk = 0x00;
constexpr uint8_t kError = 0xFF;
constexpr uint64_t kFrameNs = 1'000'000;  // a full-speed frame

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

}  // namespace

DapProbe::DapProbe(VirtualClock& clock, SimStats& stats, ScanChain& chain, const DapProbeConfig& config)
    : clock_(clock), stats_(stats), chain_(chain), config_(config)
{
    if (config_.packet_size == 0)
        config_.packet_size = config_.version == 1 ? 64 : 512;
    if (config_.packet_count == 0)
        config_.packet_count = config_.version == 1 ? 4 : 8;
}

bool DapProbe::fail(std::string text)
{
    error_ = std::move(text);
    return false;
}

DapProbeInfo DapProbe::info(size_t index) const
{
    const std::string serial = index < config_.serials.size() ? config_.serials[index] : std::string();
    return {config_.id, serial, config_.version == 1 ? "Virtual CMSIS-DAP v1" : "Virtual CMSIS-DAP v2",
            config_.version};
}

const char* DapProbe::list(std::vector<DapProbeInfo>& found)
{
    for (size_t i = 0; config_.present && i < config_.serials.size(); ++i)
        found.push_back(info(i));
    return nullptr;
}

const char* DapProbe::open(const DapChoice& choice)
{
    close();
    std::vector<size_t> matching;
    for (size_t i = 0; i < config_.serials.size(); ++i) {
        const bool id_ok =
            choice.id.vendor == 0 || (choice.id.vendor == config_.id.vendor && choice.id.product == config_.id.product);
        if (config_.present && id_ok && (choice.serial.empty() || choice.serial == config_.serials[i]))
            matching.push_back(i);
    }
    if (matching.empty()) {
        fail("no CMSIS-DAP probe found");
        return error_.c_str();
    }
    if (matching.size() > 1) {
        std::string names;
        for (size_t i : matching)
            names += " " + config_.serials[i];
        fail("several CMSIS-DAP probes plugged in (serials" + names + "): choose one with --cable-serial");
        return error_.c_str();
    }
    chosen_ = matching[0];
    if (config_.exclusive) {
        const std::string what = "CMSIS-DAP probe " + usb_id_text(config_.id) + " serial " + config_.serials[chosen_];
        if (const char* busy =
                lock_.take(usb_lock_key(config_.id.vendor, config_.id.product, config_.serials[chosen_]), what)) {
            fail(busy);
            return error_.c_str();
        }
    }
    error_.clear();
    answers_.clear();
    out_free_ns_ = probe_free_ns_ = in_free_ns_ = clock_.ns;
    connected_ = false;
    open_ = true;
    return nullptr;
}

void DapProbe::close()
{
    open_ = false;
    answers_.clear();
    if (nreset_low_)
        nreset_low_ = false;
    lock_.release();
}

uint64_t DapProbe::link_ns(size_t bytes) const
{
    if (config_.version == 1)
        return kFrameNs;
    return bytes * 50 / 3 + config_.latency_us * 500;  // 480 Mbit/s, and half a round trip
}

bool DapProbe::write(const uint8_t* packet, size_t length)
{
    if (gone_)
        return fail("USB write failed: no such device (the probe was unplugged)");
    if (!open_)
        return fail("USB write: the probe is not open");
    ++stats_.dap_packets;
    // A v1 report is always the full packet size; a v2 packet only its bytes.
    const size_t carried = config_.version == 1 ? config_.packet_size : length;
    const uint64_t arrives = std::max(clock_.ns, out_free_ns_) + link_ns(carried);
    out_free_ns_ = config_.version == 1 ? arrives : arrives - config_.latency_us * 500;
    // The probe runs the packet in its own time: the chain sees the clocks when they happen.
    const uint64_t host_ns = clock_.ns;
    clock_.ns = std::max(arrives, probe_free_ns_);
    Answer answer;
    if (length > config_.packet_size) {
        ++stats_.dap_rejected;
        answer.bytes = {kError};
    } else {
        execute(packet, length, answer.bytes);
    }
    probe_free_ns_ = clock_.ns;
    clock_.ns = host_ns;
    const size_t back = config_.version == 1 ? config_.packet_size : answer.bytes.size();
    answer.ready_ns = std::max(probe_free_ns_, in_free_ns_) + link_ns(back);
    in_free_ns_ = config_.version == 1 ? answer.ready_ns : answer.ready_ns - config_.latency_us * 500;
    answers_.push_back(std::move(answer));
    if (config_.unplug_after != 0 && sequence_commands_ >= config_.unplug_after)
        gone_ = true;
    return true;
}

bool DapProbe::read(uint8_t* packet, size_t capacity, size_t& got)
{
    got = 0;
    if (gone_)
        return fail("USB read failed: no such device (the probe was unplugged)");
    if (!open_)
        return fail("USB read: the probe is not open");
    if (answers_.empty()) {
        clock_.advance(kTimeoutNs);
        return fail("USB read timed out: the probe has no answer due");
    }
    Answer& answer = answers_.front();
    if (answer.ready_ns > clock_.ns) {
        ++stats_.dap_round_trips;
        clock_.ns = answer.ready_ns;
    }
    got = std::min(capacity, answer.bytes.size());
    std::copy_n(answer.bytes.begin(), got, packet);
    answers_.pop_front();
    return true;
}

void DapProbe::execute(const uint8_t* in, size_t length, std::vector<uint8_t>& out)
{
    ++stats_.dap_commands;
    const uint8_t id = length == 0 ? kError : in[0];
    bool ok = true;
    switch (id) {
    case kInfo:
        ok = length >= 2;
        if (ok)
            info_answer(in[1], out);
        break;
    case kConnect: {
        ok = length >= 2;
        const uint8_t port = ok ? in[1] : 0;
        const bool jtag = !config_.swd_only && (port == 0 || port == 2);
        connected_ = jtag;
        out = {kConnect, static_cast<uint8_t>(jtag ? 2 : (port == 1 ? 1 : 0))};
        break;
    }
    case kDisconnect:
        connected_ = false;
        ++stats_.dap_disconnects;
        out = {kDisconnect, kOk};
        break;
    case kClock: {
        ok = length >= 5;
        const uint32_t hz = ok ? le32(in + 1) : 0;
        if (hz != 0)
            hz_ = std::min(hz, kMaxTckHz);
        out = {kClock, hz != 0 ? kOk : kError};
        if (hz == 0)
            ++stats_.dap_rejected;
        break;
    }
    case kPins:
        ok = length >= 7;
        if (ok)
            pins(in, out);
        break;
    case kSequence:
        ok = sequences(in, length, out);
        break;
    default:
        ok = false;
    }
    if (!ok) {
        ++stats_.dap_rejected;
        if (id != kSequence)
            out = {kError};
    }
}

void DapProbe::info_answer(uint8_t id, std::vector<uint8_t>& out) const
{
    out = {kInfo, 0};
    auto text = [&out](const std::string& s) {
        out[1] = static_cast<uint8_t>(s.size() + 1);
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    };
    switch (id) {
    case 0x02:
        text(info(chosen_).product);
        break;
    case 0x03:
        text(info(chosen_).serial);
        break;
    case 0x04:
        text("2.1.0");
        break;
    case 0xF0:
        out = {kInfo, 1, static_cast<uint8_t>(config_.swd_only ? 0x01 : 0x03)};
        break;
    case 0xFE:
        out = {kInfo, 1, static_cast<uint8_t>(config_.packet_count)};
        break;
    case 0xFF:
        out = {kInfo, 2, static_cast<uint8_t>(config_.packet_size), static_cast<uint8_t>(config_.packet_size >> 8)};
        break;
    default:
        break;
    }
}

void DapProbe::pins(const uint8_t* in, std::vector<uint8_t>& out)
{
    constexpr uint8_t kNReset = 0x80;
    constexpr uint8_t kNTrst = 0x20;
    const uint8_t output = in[1];
    const uint8_t select = in[2];
    if (select & kNReset) {
        const bool low = (output & kNReset) == 0;
        if (low && !nreset_low_)
            ++stats_.nsrst_pulses;
        nreset_low_ = low;
    }
    if ((select & kNTrst) && (output & kNTrst) == 0) {
        ++stats_.ntrst_pulses;
        chain_.trst();
    }
    out = {kPins, static_cast<uint8_t>((chain_.tdo() ? 0x08 : 0) | (nreset_low_ ? 0 : kNReset) | kNTrst)};
}

// `14 COUNT {INFO TDI...}`: each sequence's clocks at one TMS level, TDO kept where INFO asks.
bool DapProbe::sequences(const uint8_t* in, size_t length, std::vector<uint8_t>& out)
{
    out = {kSequence, kOk};
    ++sequence_commands_;
    if (!connected_ || length < 2 || (config_.error_at != 0 && sequence_commands_ == config_.error_at)) {
        out[1] = kError;
        return false;
    }
    // The whole command is checked before any clock runs.
    size_t pos = 2;
    size_t answer = 2;
    for (uint32_t s = 0; s < in[1]; ++s) {
        if (pos >= length)
            return (out[1] = kError, false);
        const uint32_t clocks = (in[pos] & 0x3F) == 0 ? 64 : (in[pos] & 0x3F);
        if (in[pos] & 0x80)
            answer += (clocks + 7) / 8;
        pos += 1 + (clocks + 7) / 8;
    }
    if (pos != length || answer > config_.packet_size)
        return (out[1] = kError, false);
    pos = 2;
    for (uint32_t s = 0; s < in[1]; ++s) {
        const uint8_t info = in[pos++];
        const uint32_t clocks = (info & 0x3F) == 0 ? 64 : (info & 0x3F);
        const uint8_t tms = (info & 0x40) ? 1 : 0;
        const bool capture = (info & 0x80) != 0;
        for (uint32_t k = 0; k < clocks; ++k) {
            if (capture && k % 8 == 0)
                out.push_back(0);
            const uint8_t tdo = chain_.tdo();
            tck(tms, (in[pos + k / 8] >> (k % 8)) & 1);
            if (capture && tdo)
                out.back() |= static_cast<uint8_t>(1u << (k % 8));
        }
        pos += (clocks + 7) / 8;
    }
    return true;
}

void DapProbe::tck(uint8_t tms, uint8_t tdi)
{
    chain_.tck_rising(tms, tdi);
    chain_.tck_falling();
    ps_left_ += 1'000'000'000'000ull / hz_;
    clock_.advance(ps_left_ / 1000);
    ps_left_ %= 1000;
}

}  // namespace sim
