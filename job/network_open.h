// SPDX-License-Identifier: Apache-2.0
// The network cables, named as --cable and the job API name them: xvc:HOST[:PORT] (an XVC server)
// and remote-bitbang:HOST:PORT or remote-bitbang:unix:PATH (an OpenOCD remote_bitbang server).
// Both connect here, so they connect alike.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "jtag/cable.h"

namespace tarnflash {
struct CableChoice;
}

// The forms a value takes, for the line that refuses one.
inline constexpr const char* kNetCableForms = "xvc:HOST[:PORT], remote-bitbang:HOST:PORT or remote-bitbang:unix:PATH";

// Where a value points: `host` and `port`, or the socket path in `host` with port 0.
struct NetCableAddress {
    bool xvc = false;
    std::string host;
    uint16_t port = 0;
};
// False for a value that is no network cable or lacks its host or port.
bool network_cable_parse(std::string_view value, NetCableAddress& address);

// The line of a build that has no network cables; nullptr where it has them.
const char* net_cables_missing();

struct NetCableSettings {
    uint32_t tck_hz = 6'000'000;  // XVC's TCK
    bool srst_hold = false;       // remote_bitbang's reset line held or released; neither: left alone
    bool srst_release = false;
};

// Connects to the server and opens the cable over it: the cable, or nullptr with the one line in `why`.
std::unique_ptr<Cable> connect_network_cable(const NetCableAddress& address, const NetCableSettings& settings,
                                             std::string& why);

// The cable a job API choice names (`port` as above, `khz` XVC's rate), or nullptr with the line in `why`.
std::unique_ptr<Cable> open_network_choice(const tarnflash::CableChoice& choice, std::string& why);
