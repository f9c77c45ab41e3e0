// SPDX-License-Identifier: Apache-2.0
#include "sim/terminal_keys.h"

#ifdef _WIN32

namespace sim {

std::unique_ptr<TerminalKeys> TerminalKeys::open(int) { return nullptr; }

}  // namespace sim

#else

#include <unistd.h>

#include "platform/linux/key_input.h"

namespace sim {

namespace {

class LinuxTerminalKeys final : public TerminalKeys {
public:
    explicit LinuxTerminalKeys(int fd) : input_(fd) {}

    bool available() override { return input_.available(); }
    int read() override { return input_.read(); }
    bool ended() override { return input_.ended(); }
    bool wait(int timeout_ms) override { return input_.wait(timeout_ms); }

private:
    KeyInput input_;
};

}  // namespace

std::unique_ptr<TerminalKeys> TerminalKeys::open(int fd)
{
    if (!isatty(fd))
        return nullptr;
    return std::make_unique<LinuxTerminalKeys>(fd);
}

}  // namespace sim

#endif
