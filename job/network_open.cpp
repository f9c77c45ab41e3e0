// SPDX-License-Identifier: Apache-2.0
#include "job/network_open.h"

#include "jtag/bitbang_cable.h"
#include "jtag/number_text.h"
#include "jtag/xvc_cable.h"
#include "platform/net_stream.h"
#include <tarnflash/tarnflash.h>

namespace {

constexpr uint16_t kXvcPort = 2542;
constexpr int kConnectMs = 5'000;
constexpr int kAnswerMs = 10'000;

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

std::string server_name(const NetCableAddress& a)
{
    if (a.port == 0)
        return "unix:" + a.host;
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

// Connected to the server, or the line that says why not.
template <typename C>
std::unique_ptr<Connected<C>> connect_to(const NetCableAddress& address, const char* kind, std::string& why)
{
    auto cable = std::make_unique<Connected<C>>(server_name(address));
    if (const char* cause = cable->net().connect(address.host, address.port, kConnectMs)) {
        why = std::string("Cannot reach the ") + kind + " server " + cable->server() + ": " + cause;
        return nullptr;
    }
    cable->net().set_read_timeout(kAnswerMs);
    return cable;
}

}  // namespace

bool network_cable_parse(std::string_view text, NetCableAddress& address)
{
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

const char* net_cables_missing()
{
    return net_supported() ? nullptr
                           : "This build has no network cables (xvc, remote-bitbang): they are built on Linux";
}

std::unique_ptr<Cable> connect_network_cable(const NetCableAddress& address, const NetCableSettings& settings,
                                             std::string& why)
{
    if (const char* none = net_cables_missing()) {
        why = none;
        return nullptr;
    }
    if (address.xvc) {
        auto xvc = connect_to<XvcCable>(address, "XVC", why);
        if (xvc == nullptr)
            return nullptr;
        if (const char* reason = xvc->open(settings.tck_hz)) {
            why = reason;
            return nullptr;
        }
        return xvc;
    }
    auto bitbang = connect_to<BitbangCable>(address, "remote_bitbang", why);
    if (bitbang == nullptr)
        return nullptr;
    if (const char* reason = bitbang->open(settings.srst_hold, settings.srst_release)) {
        why = reason;
        return nullptr;
    }
    return bitbang;
}

std::unique_ptr<Cable> open_network_choice(const tarnflash::CableChoice& choice, std::string& why)
{
    NetCableAddress address;
    if (!network_cable_parse(choice.port, address)) {
        why = "bad network cable '" + choice.port + "' (" + kNetCableForms + ")";
        return nullptr;
    }
    NetCableSettings settings;
    if (choice.khz != 0 && !address.xvc) {
        why = "a TCK rate is for XVC: a remote_bitbang server clocks as fast as it is sent edges";
        return nullptr;
    }
    if (choice.khz != 0)
        settings.tck_hz = choice.khz * 1000;
    return connect_network_cable(address, settings, why);
}
