// SPDX-License-Identifier: Apache-2.0
#include "sim/dap_options.h"

#include <string_view>

#include "jtag/number_text.h"

namespace sim {

std::string dap_set_version(DapProbeConfig& dap, const std::string& value)
{
    if (value != "1" && value != "2")
        return "bad --dap-version '" + value + "' (1 for HID, 2 for USB bulk)";
    dap.version = value[0] - '0';
    return {};
}

std::string dap_set_packet_size(DapProbeConfig& dap, const std::string& value)
{
    uint32_t size = 0;
    if (!parse_digits(value, size) || size < 64 || size > 1024)
        return "bad --dap-packet-size '" + value + "' (64 to 1024 bytes)";
    dap.packet_size = size;
    return {};
}

std::string dap_set_packet_count(DapProbeConfig& dap, const std::string& value)
{
    uint32_t count = 0;
    if (!parse_digits(value, count) || count < 1 || count > 255)
        return "bad --dap-packet-count '" + value + "' (1 to 255 packets)";
    dap.packet_count = count;
    return {};
}

std::string dap_add_serial(DapProbeConfig& dap, bool& serial_given, const std::string& value)
{
    if (value.empty())
        return "bad --dap-serial '' (a serial number)";
    if (!serial_given)
        dap.serials.clear();
    serial_given = true;
    dap.serials.push_back(value);
    dap.exclusive = true;
    return {};
}

std::string dap_set_fault(DapProbeConfig& dap, const std::string& value)
{
    const std::string_view text = value;
    const size_t colon = text.find(':');
    uint64_t n = 0;
    const bool counted = colon != std::string_view::npos && parse_digits(text.substr(colon + 1), n) && n != 0;
    if (text == "no-jtag")
        dap.swd_only = true;
    else if (counted && text.substr(0, colon) == "error")
        dap.error_at = n;
    else if (counted && text.substr(0, colon) == "unplug")
        dap.unplug_after = n;
    else
        return "bad --dap-fault '" + value + "' (no-jtag, error:N or unplug:N)";
    return {};
}

}  // namespace sim
