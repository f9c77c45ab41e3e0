// SPDX-License-Identifier: Apache-2.0
// A JTAG protocol the simulator serves its board over: the bytes a client sent go in, the
// answers come out, and the board's TAP is clocked in between. Read from the protocols' facts,
// independently of the tool's cables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

enum class Feed : uint8_t {
    more,       // every whole command done; waiting for the next bytes
    quit,       // the client said it is done
    malformed,  // the connection must end: why() says what was wrong
};

class ServedProtocol {
public:
    virtual ~ServedProtocol() = default;
    // "XVC", "remote_bitbang": for the lines on standard error.
    virtual const char* name() const = 0;
    // A new client: nothing half-received.
    virtual void reset() = 0;
    // Runs the whole commands in `data` (after what an earlier call left unfinished); appends
    // their answers to `answers`. A malformed command runs nothing of itself.
    virtual Feed feed(const uint8_t* data, size_t length, std::string& answers) = 0;
    // A command has begun and not ended: the client owes its rest.
    virtual bool mid_command() const = 0;
    virtual const std::string& why() const = 0;
};

}  // namespace sim
