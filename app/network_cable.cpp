// SPDX-License-Identifier: Apache-2.0
#include "app/network_cable.h"

#include <cstring>

#include "job/network_open.h"
#include "jtag/number_text.h"
#include "jtag/xvc_cable.h"
#include "platform/console.h"

namespace {

RunEnd refuse(const std::string& line)
{
    con_printf("%s\n", line.c_str());
    return process_end(1);
}

}  // namespace

bool network_cable_wanted(const LongOptions& o)
{
    return o.cable != nullptr &&
           (std::strncmp(o.cable, "xvc:", 4) == 0 || std::strncmp(o.cable, "remote-bitbang:", 15) == 0);
}

bool network_cable_options(const LongOptions& o, std::string& error)
{
    NetCableAddress address;
    if (!network_cable_parse(o.cable, address)) {
        error = std::string("bad --cable '") + o.cable + "' (" + kNetCableForms + ")";
        return false;
    }
    if (o.cable_config || o.cable_serial || o.cable_id || o.cable_interface || o.cable_pins) {
        error =
            "--cable-config, --cable-serial, --cable-id, --cable-interface and --cable-pins are for a USB "
            "adapter, not a network cable";
        return false;
    }
    if (address.xvc ? o.srst != nullptr : o.tck_hz != nullptr) {
        error = address.xvc ? "--srst needs a cable with a reset line: XVC has none"
                            : "--tck-hz is for XVC: a remote_bitbang server clocks as fast as it is sent edges";
        return false;
    }
    if (o.srst != nullptr && std::strcmp(o.srst, "hold") != 0 && std::strcmp(o.srst, "release") != 0) {
        error = std::string("bad --srst '") + o.srst + "' (hold or release)";
        return false;
    }
    return true;
}

Ending open_network_cable(const LongOptions& o, std::unique_ptr<Cable>& cable)
{
    NetCableAddress address;
    network_cable_parse(o.cable, address);
    if (const char* none = net_cables_missing())
        return refuse(none);
    NetCableSettings settings;
    if (o.tck_hz != nullptr && (!parse_digits(o.tck_hz, settings.tck_hz) || settings.tck_hz == 0))
        return refuse("bad --tck-hz (a frequency in Hz, as 6000000)");
    settings.srst_hold = o.srst != nullptr && std::strcmp(o.srst, "hold") == 0;
    settings.srst_release = o.srst != nullptr && !settings.srst_hold;
    std::string why;
    cable = connect_network_cable(address, settings, why);
    if (cable == nullptr)
        return refuse(why);
    const auto* xvc = dynamic_cast<const XvcCable*>(cable.get());
    const uint32_t asked_ns = (1'000'000'000u + settings.tck_hz / 2) / settings.tck_hz;
    if (xvc != nullptr && xvc->period_ns() != asked_ns)
        con_printf("XVC server %s runs TCK at %u Hz (a %u ns period), not the %u Hz asked\n", xvc->server().c_str(),
                   static_cast<unsigned>(xvc->tck_hz()), static_cast<unsigned>(xvc->period_ns()),
                   static_cast<unsigned>(settings.tck_hz));
    return {};
}

bool note_network_cable(JobReport& report, const Cable* cable)
{
    const auto* net = dynamic_cast<const NetCable*>(cable);
    if (net == nullptr)
        return false;
    report.cable_kind = dynamic_cast<const XvcCable*>(net) != nullptr ? "xvc" : "remote-bitbang";
    report.server = net->server();
    report.round_trips = net->round_trips();
    return true;
}
