// SPDX-License-Identifier: Apache-2.0
#include "sim/virtual_jlink.h"

#include <algorithm>

namespace sim {

const char* VirtualJlink::talk()
{
    if (!open_)
        return "J-Link: the device is not open";
    clock_.advance(config_.latency_us * 1000);
    ++counters_.round_trips;
    return nullptr;
}

const char* VirtualJlink::list(std::vector<uint32_t>& serials)
{
    serials = config_.serials;
    return nullptr;
}

const char* VirtualJlink::open(uint32_t serial)
{
    const auto found = std::find(config_.serials.begin(), config_.serials.end(), serial);
    if (found == config_.serials.end())
        return "J-Link: no such device";
    open_ = true;
    jtag_selected_ = false;
    return talk();
}

const char* VirtualJlink::interfaces(uint32_t& mask)
{
    mask = (config_.jtag ? kJtagInterface : 0) | (1u << 1);  // SWD on every probe
    return talk();
}

const char* VirtualJlink::select_jtag()
{
    if (!config_.jtag)
        return "J-Link: the target interface is not available";
    jtag_selected_ = true;
    return talk();
}

const char* VirtualJlink::speeds(JaylinkSpeeds& speeds)
{
    speeds = {config_.base_hz, config_.min_divider};
    return talk();
}

const char* VirtualJlink::set_speed_khz(uint16_t khz)
{
    if (khz == 0 || khz == 0xFFFF)
        return "J-Link: invalid argument";
    tck_hz_ = std::min<uint32_t>(khz * 1000u, config_.base_hz / config_.min_divider);
    return talk();
}

const char* VirtualJlink::jtag_io(const uint8_t* tms, const uint8_t* tdi, uint8_t* tdo, uint16_t bits)
{
    if (const char* reason = talk())
        return reason;
    if (!jtag_selected_)
        return "J-Link: JTAG is not the selected target interface";
    ++counters_.jtag_io_calls;
    counters_.clocks += bits;
    std::fill(tdo, tdo + (bits + 7) / 8, uint8_t{0});
    const uint64_t start = clock_.ns;
    for (uint32_t k = 0; k < bits; ++k) {
        const auto mask = static_cast<uint8_t>(1u << (k & 7));
        // TDO sampled at the rising edge, as the target drives it since the last falling one.
        if (chain_.tdo())
            tdo[k >> 3] |= mask;
        chain_.tck_rising((tms[k >> 3] & mask) != 0, (tdi[k >> 3] & mask) != 0);
        chain_.tck_falling();
        // The board sees time pass clock by clock, as a chip's busy timer does.
        clock_.ns = start + uint64_t{k + 1} * 1'000'000'000u / tck_hz_;
    }
    return nullptr;
}

std::string jlink_stats_text(const VirtualJlink& jlink)
{
    const JlinkCounters& c = jlink.counters();
    if (c.round_trips == 0)
        return {};
    return "jlink_round_trips: " + std::to_string(c.round_trips) +
           "\njlink_jtag_io_calls: " + std::to_string(c.jtag_io_calls) + "\njlink_clocks: " + std::to_string(c.clocks) +
           "\njlink_tck_hz: " + std::to_string(jlink.tck_hz()) + "\n";
}

}  // namespace sim
