// SPDX-License-Identifier: Apache-2.0
#include "sim/board_server.h"

#include <cstdio>
#include <memory>

#include "jtag/number_text.h"
#include "platform/interrupts.h"
#include "platform/net_stream.h"
#include "sim/bitbang_server.h"
#include "sim/xvc_server.h"

namespace sim {

namespace {

enum class SessionEnd : uint8_t { closed, quit, dropped, interrupted };

// One client, from its first byte to its end; `why` says what dropped it.
SessionEnd serve_client(NetStream& client, ServedProtocol& protocol, const ServeChoice& choice, SimStats& stats,
                        std::string& why)
{
    static uint8_t input[64 * 1024];
    std::string answers;
    protocol.reset();
    for (;;) {
        const bool owed = protocol.mid_command();
        const long got = client.read_some(input, sizeof input, owed ? choice.stall_ms : -1);
        if (got == -2 && interrupt_requested() != nullptr)
            return SessionEnd::interrupted;
        if (got == -2) {
            why = "stalled in the middle of a command for " + std::to_string(choice.stall_ms) + " ms";
            return SessionEnd::dropped;
        }
        if (got < 0) {
            why = client.error();
            return SessionEnd::dropped;
        }
        if (got == 0) {
            why = "closed the connection in the middle of a command (truncated)";
            return owed ? SessionEnd::dropped : SessionEnd::closed;
        }
        stats.net_bytes_in += static_cast<uint64_t>(got);
        const Feed fed = protocol.feed(input, static_cast<size_t>(got), answers);
        if (!answers.empty()) {
            if (!client.write(reinterpret_cast<const uint8_t*>(answers.data()), answers.size())) {
                why = std::string("took no answers: ") + client.error();
                return SessionEnd::dropped;
            }
            stats.net_bytes_out += answers.size();
            ++stats.net_answer_batches;
            answers.clear();
        }
        if (fed == Feed::quit)
            return SessionEnd::quit;
        if (fed == Feed::malformed) {
            why = protocol.why();
            return SessionEnd::dropped;
        }
    }
}

}  // namespace

bool serve_parse(const std::string& value, ServeChoice& choice)
{
    const size_t colon = value.find(':');
    const std::string kind = value.substr(0, colon);
    uint32_t port = 0;
    if (colon == std::string::npos || !parse_digits(std::string_view(value).substr(colon + 1), port) || port > 0xFFFF)
        return false;
    if (kind == "xvc")
        choice.kind = ServeChoice::Kind::xvc;
    else if (kind == "remote-bitbang")
        choice.kind = ServeChoice::Kind::bitbang;
    else
        return false;
    choice.port = static_cast<uint16_t>(port);
    return true;
}

int serve_board(const ServeChoice& choice, uint64_t request_ns, VirtualBoard& board)
{
    NetListener listener;
    if (const char* reason = listener.listen_loopback(choice.port)) {
        std::fprintf(stderr, "tarnflash-sim: %s\n", reason);
        return 2;
    }
    std::printf("%u\n", static_cast<unsigned>(listener.port()));
    std::fflush(stdout);
    return serve_listener(listener, choice, request_ns, board);
}

int serve_listener(NetListener& listener, const ServeChoice& choice, uint64_t request_ns, VirtualBoard& board)
{
    std::unique_ptr<ServedProtocol> protocol;
    if (choice.kind == ServeChoice::Kind::xvc)
        protocol = std::make_unique<XvcServer>(board.chain(), board.clock());
    else
        protocol = std::make_unique<BitbangServer>(board.chain(), board.clock(), board.stats(), request_ns);
    for (;;) {
        NetStream client;
        if (!listener.accept(client)) {
            if (*listener.error() != '\0') {
                std::fprintf(stderr, "tarnflash-sim: %s\n", listener.error());
                return 1;
            }
            return 0;  // an interrupt
        }
        ++board.stats().net_clients;
        std::string why;
        const SessionEnd end = serve_client(client, *protocol, choice, board.stats(), why);
        if (end == SessionEnd::dropped) {
            ++board.stats().net_clients_dropped;
            std::fprintf(stderr, "tarnflash-sim: %s client dropped: %s\n", protocol->name(), why.c_str());
            std::fflush(stderr);
        }
        if (end == SessionEnd::interrupted || choice.once)
            return 0;
    }
}

}  // namespace sim
