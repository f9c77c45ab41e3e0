// SPDX-License-Identifier: Apache-2.0
#include "app/cable_choice.h"

#include <cstring>
#include <string_view>

#include "job/adapter_file.h"
#include "app/dap_cable_choice.h"
#include "app/exit.h"
#include "app/network_cable.h"
#include "app/probe_cables.h"
#include "jtag/adapter_cable.h"
#include "jtag/number_text.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

RunEnd refuse(const char* reason)
{
    con_printf("%s\n", reason);
    return process_end(1);
}

// --cable-pins over a configuration's layout: ADBUS4-7 as given, in every state of the pins.
void override_layout_gpio(MpsseSettings& s)
{
    for (MpssePins* pins : {&s.job, &s.parked, &s.trst}) {
        pins->value = static_cast<uint16_t>((pins->value & ~0x00F0) | s.gpio_value);
        pins->direction = static_cast<uint16_t>((pins->direction & ~0x00F0) | s.gpio_direction);
    }
}

}  // namespace

bool wants_usb_cable(const LongOptions& o, std::string& error)
{
    if (network_cable_wanted(o))
        return network_cable_options(o, error);
    if (probe_cable_named(o))
        return probe_cable_check(o, error);
    if (wants_dap_cable(o, error))
        return error.empty();
    if (o.cable != nullptr && std::strcmp(o.cable, "ftdi") != 0 && std::strcmp(o.cable, "parport") != 0) {
        error =
            std::string("unknown --cable '") + o.cable + "' (ftdi for a USB adapter, parport for the parallel port)" +
            "\nthe other cables: cmsis-dap, jlink, gpio:CHIP, xvc:HOST[:PORT], remote-bitbang:HOST:PORT";
        return false;
    }
    // An adapter configuration, a serial number or a reset line say USB by themselves.
    const bool adapter = o.cable_config || o.cable_serial || o.srst;
    if (adapter && o.cable != nullptr && std::strcmp(o.cable, "parport") == 0) {
        error = "--cable-config, --cable-serial and --srst are for a USB adapter, not --cable parport";
        return false;
    }
    if (o.srst != nullptr && std::strcmp(o.srst, "hold") != 0 && std::strcmp(o.srst, "release") != 0) {
        error = std::string("bad --srst '") + o.srst + "' (hold or release)";
        return false;
    }
    const bool usb = (o.cable != nullptr && std::strcmp(o.cable, "ftdi") == 0) || adapter;
    if (!usb && (o.cable_id || o.cable_interface || o.cable_pins || o.tck_hz)) {
        error = "--cable-id, --cable-interface, --cable-pins and --tck-hz need --cable ftdi";
        return false;
    }
    return usb;
}

Ending usb_cable_setup(const LongOptions& o, UsbCableSetup& setup)
{
    UsbDeviceChoice& device = setup.device;
    MpsseSettings& settings = setup.settings;
    if (o.cable_config != nullptr) {
        AdapterConfig config;
        std::string error;
        if (!adapter_config_load(o.cable_config, config, error))
            return refuse(error.c_str());
        if (config.ids.empty() && o.cable_id == nullptr)
            return refuse((config.file + ": no 'ftdi vid_pid' line, so no USB IDs (or give --cable-id VID:PID)").c_str());
        const bool hold = o.srst != nullptr && std::strcmp(o.srst, "hold") == 0;
        if (const char* reason = adapter_cable_settings(config, hold, device, settings))
            return refuse(reason);
    } else if (o.srst != nullptr && std::strcmp(o.srst, "hold") == 0) {
        return refuse("--srst hold needs --cable-config: the adapter's nSRST pin comes from its configuration");
    }
    if (o.cable_serial != nullptr)
        device.serial = o.cable_serial;
    if (o.cable_id != nullptr) {
        device.more_ids.clear();
        const std::string_view id = o.cable_id;
        const size_t colon = id.find(':');
        if (colon == std::string_view::npos || !parse_hex(id.substr(0, colon), device.vendor) ||
            !parse_hex(id.substr(colon + 1), device.product))
            return refuse("bad --cable-id (VID:PID in hexadecimal, as 0403:6010)");
    }
    if (o.cable_interface != nullptr) {
        if (std::strcmp(o.cable_interface, "A") != 0 && std::strcmp(o.cable_interface, "B") != 0)
            return refuse("bad --cable-interface (A or B)");
        device.interface = o.cable_interface[0];
    }
    if (o.cable_pins != nullptr) {
        if (const char* reason = mpsse_parse_pins(o.cable_pins, settings))
            return refuse(reason);
        override_layout_gpio(settings);
    }
    if (o.tck_hz != nullptr) {
        uint32_t hz = 0;
        if (!parse_digits(o.tck_hz, hz) || hz == 0)
            return refuse("bad --tck-hz (a frequency in Hz, as 6000000)");
        settings.tck_hz = hz;
    }
    return {};
}

Ending open_usb_cable(const LongOptions& o, std::unique_ptr<Cable>& opened, UsbDeviceChoice* chosen)
{
    if (network_cable_wanted(o))
        return open_network_cable(o, opened);
    if (probe_cable_named(o))
        return open_probe_cable(o, opened);
    if (std::string dap_error; wants_dap_cable(o, dap_error))
        return open_dap_cable(o, opened);
    UsbCableSetup setup;
    if (Ending end = usb_cable_setup(o, setup))
        return end;
    if (chosen != nullptr)
        *chosen = setup.device;
    UsbTransport* usb = platform().usb_transport();
    if (usb == nullptr)
        return refuse("This build has no USB cable: it was built without libftdi1");
    auto cable = std::make_unique<MpsseCable>(*usb, setup.settings);
    if (const char* reason = cable->open(setup.device)) {
        con_printf("%s\n", reason);
        // A serial typed from a label or a log: the list says which ones are plugged in.
        if (o.cable_serial != nullptr && std::strstr(reason, "no USB JTAG adapter found") == reason)
            con_printf("--cable-list shows the adapters plugged in\n");
        return process_end(1);
    }
    // Above the chip's maximum the clock would quietly run at the maximum instead.
    if (o.tck_hz != nullptr && setup.settings.tck_hz > cable->max_tck_hz()) {
        con_printf("--tck-hz %u is above the adapter's maximum, %u Hz\n", static_cast<unsigned>(setup.settings.tck_hz),
                   static_cast<unsigned>(cable->max_tck_hz()));
        return process_end(1);
    }
    opened = std::move(cable);
    return {};
}
