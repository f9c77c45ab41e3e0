// SPDX-License-Identifier: Apache-2.0
#include "app/network_cable.h"

#include <cstring>
#include <string_view>

#include "jtag/bitbang_cable.h"
#include "jtag/number_text.h"
#include "jtag/xvc_cable.h"
#include "platform/console.h"
#include "platform/net_stream.h"

namespace {

constexpr uint16_t kXvcPort = 2542;
constexpr uint32_t kXvcTckHz = 6'000'000;
constexpr int kConnectMs = 5'000;
constexpr int kAnswerMs = 10'000;
constexpr const char* kForms = "xvc:HOST[:PORT], remote-bitbang:HOST:PORT or remote-bitbang:unix:PATH";

// The stream lives as long as the cable over it, and is made before it.
struct StreamHolder {
    NetStream stream;
};

template <typename C>
class Connected final : private StreamHolder, public C {
public:
    explicit Connected(std::string server) : C(stream, std::move(server)) {}
    NetStream& net() { return stream; }
};

RunEnd refuse(const std::string& line)
{
    con_printf("%s\n", line.c_str());
    return process_end(1);
}

std::string server_name(const NetCableAddress& a)
{
    if (a.port == 0)
        return "unix:" + a.host;
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

}  // namespace

bool network_cable_parse(const char* value, NetCableAddress& address)
{
    std::string_view text = value != nullptr ? value : "";
    address.xvc = text.rfind("xvc:", 0) == 0;
    if (!address.xvc && text.rfind("remote-bitbang:", 0) != 0)
        return false;
    text.remove_prefix(address.xvc ? 4 : 15);
    if (!address.xvc && text.rfind("unix:", 0) == 0) {
        address.host = text.substr(5);
        address.port = 0;
        return !address.host.empty();
    }
    // HOST, HOST:PORT, [V6ADDRESS]:PORT
    std::string_view port;
    if (text.rfind('[', 0) == 0) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        address.host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || rest.size() == 1))
            return false;
        port = rest.empty() ? rest : rest.substr(1);
    } else {
        const size_t colon = text.rfind(':');
        address.host = text.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
        if (colon != std::string_view::npos && port.empty())
            return false;
    }
    if (address.host.empty() || (port.empty() && !address.xvc))
        return false;
    uint32_t number = kXvcPort;
    if (!port.empty() && (!parse_digits(port, number) || number == 0 || number > 0xFFFF))
        return false;
    address.port = static_cast<uint16_t>(number);
    return true;
}

bool network_cable_wanted(const LongOptions& o)
{
    return o.cable != nullptr &&
           (std::strncmp(o.cable, "xvc:", 4) == 0 || std::strncmp(o.cable, "remote-bitbang:", 15) == 0);
}

bool network_cable_options(const LongOptions& o, std::string& error)
{
    NetCableAddress address;
    if (!network_cable_parse(o.cable, address)) {
        error = std::string("bad --cable '") + o.cable + "' (" + kForms + ")";
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
    const std::string server = server_name(address);
    const char* kind = address.xvc ? "XVC" : "remote_bitbang";
    if (!net_supported())
        return refuse("This build has no network cables (xvc, remote-bitbang): they are built on Linux");
    uint32_t tck_hz = kXvcTckHz;
    if (o.tck_hz != nullptr && (!parse_digits(o.tck_hz, tck_hz) || tck_hz == 0))
        return refuse("bad --tck-hz (a frequency in Hz, as 6000000)");
    if (address.xvc) {
        auto xvc = std::make_unique<Connected<XvcCable>>(server);
        NetStream& stream = xvc->net();
        if (const char* cause = stream.connect(address.host, address.port, kConnectMs))
            return refuse(std::string("Cannot reach the XVC server ") + server + ": " + cause);
        stream.set_read_timeout(kAnswerMs);
        if (const char* reason = xvc->open(tck_hz))
            return refuse(reason);
        const uint32_t asked_ns = (1'000'000'000u + tck_hz / 2) / tck_hz;
        if (xvc->period_ns() != asked_ns)
            con_printf("XVC server %s runs TCK at %u Hz (a %u ns period), not the %u Hz asked\n", server.c_str(),
                       static_cast<unsigned>(xvc->tck_hz()), static_cast<unsigned>(xvc->period_ns()),
                       static_cast<unsigned>(tck_hz));
        cable = std::move(xvc);
        return {};
    }
    auto bitbang = std::make_unique<Connected<BitbangCable>>(server);
    NetStream& stream = bitbang->net();
    if (const char* cause = stream.connect(address.host, address.port, kConnectMs))
        return refuse(std::string("Cannot reach the ") + kind + " server " + server + ": " + cause);
    stream.set_read_timeout(kAnswerMs);
    const bool hold = o.srst != nullptr && std::strcmp(o.srst, "hold") == 0;
    if (const char* reason = bitbang->open(hold, o.srst != nullptr && !hold))
        return refuse(reason);
    cable = std::move(bitbang);
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
