// SPDX-License-Identifier: Apache-2.0
#include "jtag/adapter_cable.h"

MpssePins adapter_assert(MpssePins pins, const AdapterSignal& s)
{
    // The data pin drives the line low (through an inverting buffer: high); the output enable
    // lets the buffer drive. When both masks are the same pin, it switches between output and input.
    pins.value = static_cast<uint16_t>(s.data_inverted ? pins.value | s.data : pins.value & ~s.data);
    const bool enable_level = !s.oe_inverted;
    if (s.oe == s.data)
        pins.direction = static_cast<uint16_t>(enable_level ? pins.direction | s.oe : pins.direction & ~s.oe);
    else
        pins.value = static_cast<uint16_t>(enable_level ? pins.value | s.oe : pins.value & ~s.oe);
    return pins;
}

const char* adapter_cable_settings(const AdapterConfig& config, bool srst_hold, UsbDeviceChoice& device,
                                   MpsseSettings& settings)
{
    if (!config.ids.empty()) {
        device.vendor = config.ids[0].vendor;
        device.product = config.ids[0].product;
        device.more_ids.assign(config.ids.begin() + 1, config.ids.end());
    }
    device.interface = static_cast<char>('A' + config.channel);
    device.serial = config.serial;
    device.description = config.device_desc;
    if (config.speed_khz != 0)
        settings.tck_hz = config.speed_khz * 1000u;

    const AdapterSignal* nsrst = config.signal("nSRST");
    if (srst_hold && nsrst == nullptr)
        return "--srst hold: the adapter configuration has no nSRST signal";
    if (!config.layout_given)
        return nullptr;
    settings.layout = true;
    settings.parked = {config.layout_value, config.layout_direction};
    settings.job = srst_hold ? adapter_assert(settings.parked, *nsrst) : settings.parked;
    if (const AdapterSignal* ntrst = config.signal("nTRST")) {
        settings.trst_pulse = true;
        settings.trst = adapter_assert(settings.job, *ntrst);
    }
    return nullptr;
}
