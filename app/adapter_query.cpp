// SPDX-License-Identifier: Apache-2.0
#include "app/adapter_query.h"

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "job/adapter_file.h"
#include "app/probe_cables.h"
#include "app/dap_cable_choice.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "platform/usb_transport.h"

namespace {

int cable_info(const LongOptions& o)
{
    if (o.cable_config == nullptr) {
        con_printf("--cable-info needs --cable-config FILE|NAME\n");
        return 1;
    }
    AdapterConfig config;
    std::string error;
    if (!adapter_config_load(o.cable_config, config, error)) {
        con_printf("%s\n", error.c_str());
        return 1;
    }
    con_printf("%s", adapter_config_text(config).c_str());
    return 0;
}

// The IDs an adapter configuration or --cable-id names, besides the FTDI chips' own.
std::vector<UsbId> named_ids(const LongOptions& o)
{
    std::vector<UsbId> ids;
    AdapterConfig config;
    std::string error;
    if (o.cable_config != nullptr && adapter_config_load(o.cable_config, config, error))
        ids = config.ids;
    if (o.cable_id != nullptr) {
        const std::string_view text = o.cable_id;
        const size_t colon = text.find(':');
        UsbId id;
        if (colon != std::string_view::npos &&
            std::from_chars(text.data(), text.data() + colon, id.vendor, 16).ec == std::errc{} &&
            std::from_chars(text.data() + colon + 1, text.data() + text.size(), id.product, 16).ec == std::errc{})
            ids.push_back(id);
    }
    return ids;
}

int cable_list(const LongOptions& o)
{
    // CMSIS-DAP probes first, then the FTDI adapters; either kind is an answer.
    const int probes = list_dap_probes();
    UsbTransport* usb = platform().usb_transport();
    if (usb == nullptr && probes != 0)
        return 0;
    if (usb == nullptr) {
        con_printf("This build has no USB cable: it was built without libftdi1\n");
        return 1;
    }
    std::vector<UsbDeviceInfo> found;
    if (const char* reason = usb->list(named_ids(o), found)) {
        con_printf("%s\n", reason);
        return 1;
    }
    if (found.empty() && probes != 0)
        return 0;
    if (found.empty()) {
        con_printf("no FTDI USB adapter found\n");
        return 1;
    }
    // One line each: VID:PID SERIAL DESCRIPTION, "-" for a missing serial, so `cut -d' ' -f2` gives the serials.
    // The chip and where it is plugged in, where the driver tells them, end the line.
    for (const UsbDeviceInfo& device : found) {
        con_printf("%s %s %s", usb_id_text(device.id).c_str(), device.serial.empty() ? "-" : device.serial.c_str(),
                   device.description.c_str());
        if (!device.chip.empty())
            con_printf(" (%s, location 0x%X)", device.chip.c_str(), static_cast<unsigned>(device.location));
        con_printf("\n");
    }
    return 0;
}

}  // namespace

bool adapter_query(const LongOptions& o, int& status)
{
    if (o.cable_info)
        status = cable_info(o);
    else if (o.cable_list && o.cable != nullptr && std::strcmp(o.cable, "jlink") == 0)
        status = jlink_list();
    else if (o.cable_list)
        status = cable_list(o);
    else
        return false;
    return true;
}
