// SPDX-License-Identifier: Apache-2.0
// tarnflash-sim --serve xvc:PORT|remote-bitbang:PORT: the virtual board served on 127.0.0.1 to
// one client at a time, until --serve-once's client is done or an interrupt.
#pragma once

#include <cstdint>
#include <string>

#include "sim/board.h"

class NetListener;

namespace sim {

struct ServeChoice {
    enum class Kind : uint8_t { none, xvc, bitbang } kind = Kind::none;
    uint16_t port = 0;     // 0: a free port, printed
    bool once = false;     // end when the first client is done
    int stall_ms = 5'000;  // how long a client may leave a command unfinished
};

// "xvc:PORT" or "remote-bitbang:PORT"; false for anything else.
bool serve_parse(const std::string& value, ServeChoice& choice);

// Serves `board` as `choice` says (a remote_bitbang request costs `request_ns` of virtual time): the port on the first line of standard output, a line on
// standard error for every client dropped for what it sent. The exit status: 0, or 2 when the
// port cannot be listened on (with its line).
int serve_board(const ServeChoice& choice, uint64_t request_ns, VirtualBoard& board);
// The same on a listener already listening (choice.port unused, nothing printed): one in the
// same process as its client, which knows the port before the server runs.
int serve_listener(NetListener& listener, const ServeChoice& choice, uint64_t request_ns, VirtualBoard& board);

}  // namespace sim
