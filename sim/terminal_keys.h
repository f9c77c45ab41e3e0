// SPDX-License-Identifier: Apache-2.0
// Keys typed on a terminal, read as the real tool reads them: in raw mode, so that a bare ESC
// arrives at once (without Enter), with an arrow key's sequence swallowed, and the terminal given
// back in line mode on every way out.
#pragma once

#include <memory>

namespace sim {

class TerminalKeys {
public:
    // nullptr when `fd` is no terminal, and on Windows, whose console gives keys at once anyway.
    static std::unique_ptr<TerminalKeys> open(int fd);
    virtual ~TerminalKeys() = default;

    virtual bool available() = 0;
    virtual int read() = 0;
    virtual bool ended() = 0;
    virtual bool wait(int timeout_ms) = 0;
};

}  // namespace sim
