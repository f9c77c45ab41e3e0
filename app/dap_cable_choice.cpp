// SPDX-License-Identifier: Apache-2.0
#include "app/dap_cable_choice.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "jtag/dap_cable.h"
#include "jtag/number_text.h"
#include "platform/console.h"
#include "platform/dap_transport.h"
#include "platform/platform.h"

namespace {

RunEnd refuse(const std::string& reason)
{
    con_printf("%s\n", reason.c_str());
    return process_end(1);
}

}  // namespace

bool wants_dap_cable(const LongOptions& o, std::string& error)
{
    if (o.cable == nullptr || std::strcmp(o.cable, "cmsis-dap") != 0)
        return false;
    if (o.cable_config || o.cable_interface || o.cable_pins)
        error = "--cable-config, --cable-interface and --cable-pins are for an FTDI adapter, not --cable cmsis-dap";
    else if (o.srst != nullptr && std::strcmp(o.srst, "hold") != 0 && std::strcmp(o.srst, "release") != 0)
        error = std::string("bad --srst '") + o.srst + "' (hold or release)";
    return true;
}

Ending open_dap_cable(const LongOptions& o, std::unique_ptr<Cable>& opened)
{
    DapChoice choice;
    DapSettings settings;
    if (o.cable_id != nullptr) {
        const std::string_view id = o.cable_id;
        const size_t colon = id.find(':');
        if (colon == std::string_view::npos || !parse_hex(id.substr(0, colon), choice.id.vendor) ||
            !parse_hex(id.substr(colon + 1), choice.id.product))
            return refuse("bad --cable-id (VID:PID in hexadecimal, as 0d28:0204)");
    }
    if (o.cable_serial != nullptr)
        choice.serial = o.cable_serial;
    if (o.tck_hz != nullptr && (!parse_digits(o.tck_hz, settings.tck_hz) || settings.tck_hz == 0))
        return refuse("bad --tck-hz (a frequency in Hz, as 1000000)");
    if (o.srst != nullptr)
        settings.srst = std::strcmp(o.srst, "hold") == 0 ? DapSettings::Srst::hold : DapSettings::Srst::release;
    DapTransport* link = platform().dap_transport();
    if (link == nullptr)
        return refuse("This build has no CMSIS-DAP cable: it was built without libusb-1.0 and hidapi");
    auto cable = std::make_unique<DapCable>(*link, settings);
    if (const char* reason = cable->open(choice))
        return refuse(reason);
    // The probe picks the nearest rate it can and does not say which.
    con_printf("%s: CMSIS-DAP v%d, %u-byte packets, %u in flight; TCK %u Hz asked, the probe took it\n",
               cable->name().c_str(), link->probe().version, static_cast<unsigned>(cable->packet_size()),
               cable->packet_count(), static_cast<unsigned>(settings.tck_hz));
    opened = std::move(cable);
    return {};
}

bool note_dap_cable(const Cable* cable, JobReport& report)
{
    if (dynamic_cast<const DapCable*>(cable) == nullptr)
        return false;
    const DapProbeInfo probe = platform().dap_transport()->probe();
    report.cable_kind = "cmsis-dap";
    report.vid_pid = usb_id_text(probe.id);
    report.serial = probe.serial;
    report.description = probe.product;
    return true;
}

int list_dap_probes()
{
    DapTransport* link = platform().dap_transport();
    std::vector<DapProbeInfo> found;
    if (link == nullptr || link->list(found) != nullptr)
        return 0;
    for (const DapProbeInfo& probe : found)
        con_printf("%s %s %s (CMSIS-DAP v%d)\n", usb_id_text(probe.id).c_str(),
                   probe.serial.empty() ? "-" : probe.serial.c_str(), probe.product.c_str(), probe.version);
    return static_cast<int>(found.size());
}
