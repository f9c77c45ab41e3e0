// SPDX-License-Identifier: Apache-2.0
#include "jtag/chain_scan.h"

#include <cstring>

#include "jtag/tap_walker.h"

namespace {

constexpr uint32_t kIdBits = 32;
// Every device's IDCODE, then one all-ones word: no IDCODE is all ones (bit 0 of a BYPASS
// device reads 0, and IEEE 1149.1 has no manufacturer 0x7F), so it marks the chain's end.
constexpr uint32_t kDrBits = (kMaxChainDevices + 1) * kIdBits;
// The registers filled with ones, a zero, then ones until the zero comes out at TDO.
constexpr uint32_t kIrBits = 2 * kMaxChainIrBits + 1;

uint32_t word_at(const char* bits)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < kIdBits; ++i)
        value |= static_cast<uint32_t>(bits[i] == '1') << i;
    return value;
}

ChainRead read_devices(Cable& cable, ChainScan& scan)
{
    char bits[kDrBits];
    std::memset(bits, '1', sizeof bits);
    jtag_scan_dr_capture(cable, bits, bits, kDrBits);
    if (std::memchr(bits, '1', kDrBits) == nullptr)
        return ChainRead::all_zeros;
    scan.count = 0;
    uint32_t at = 0;
    while (at + kIdBits <= kDrBits) {
        if (bits[at] == '0') {
            if (scan.count == kMaxChainDevices)
                return ChainRead::too_many;
            scan.devices[scan.count++] = ChainEntry{};
            ++at;
            continue;
        }
        const uint32_t word = word_at(bits + at);
        if (word == 0xFFFFFFFFu)
            return scan.count == 0 ? ChainRead::all_ones : ChainRead::ok;
        if (scan.count == kMaxChainDevices)
            return ChainRead::too_many;
        scan.devices[scan.count++] = ChainEntry{true, word};
        at += kIdBits;
    }
    return ChainRead::too_many;
}

ChainRead measure_ir(Cable& cable, ChainScan& scan)
{
    char bits[kIrBits];
    std::memset(bits, '1', sizeof bits);
    bits[kMaxChainIrBits] = '0';
    // Update-IR loads ones everywhere: BYPASS on every device, whatever the length turns out.
    jtag_scan_ir_capture(cable, bits, bits, kIrBits);
    const void* zero = std::memchr(bits + kMaxChainIrBits, '0', kIrBits - kMaxChainIrBits);
    if (zero == nullptr)
        return ChainRead::ir_too_long;
    scan.ir_total = static_cast<uint32_t>(static_cast<const char*>(zero) - (bits + kMaxChainIrBits));
    return scan.ir_total == 0 ? ChainRead::all_zeros : ChainRead::ok;
}

}  // namespace

ChainRead chain_read(Cable& cable, ChainScan& scan)
{
    tap_reset(cable);
    ChainRead result = read_devices(cable, scan);
    if (result == ChainRead::ok)
        result = measure_ir(cable, scan);
    tap_reset(cable);
    return result;
}
