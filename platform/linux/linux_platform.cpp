// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/linux_platform.h"

#include <cstdio>
#include <ctime>
#include <iterator>

#include <unistd.h>

#include "platform/output_terminal.h"

#include "platform/linux/dap_probes.h"

#ifdef TARNFLASH_USB_FTDI
#include "platform/linux/ftdi_transport.h"
#endif

LinuxPlatform::LinuxPlatform() : keys_(STDIN_FILENO) {}

const char* LinuxPlatform::port_access()
{
    // One job per port: a second tool is refused at once, before it claims a port or its probe
    // writes to a data register.
    constexpr uint16_t kCandidates[] = {0x378, 0x278, 0x3BC};
    for (size_t i = 0; i < std::size(kCandidates); ++i) {
        char key[16];
        char what[32];
        std::snprintf(key, sizeof key, "lpt-0x%x", kCandidates[i]);
        std::snprintf(what, sizeof what, "parallel port 0x%X", kCandidates[i]);
        if (const char* busy = port_locks_[i].take(key, what))
            return busy;
    }
    return ports_.open();
}

UsbTransport* LinuxPlatform::usb_transport()
{
#ifdef TARNFLASH_USB_FTDI
    if (!usb_)
        usb_ = std::make_unique<FtdiTransport>();
#endif
    return usb_.get();
}

int64_t LinuxPlatform::time_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

uint64_t LinuxPlatform::monotonic_ns()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

void LinuxPlatform::console_write(const char* text, size_t length)
{
    // A closed or broken output (EPIPE; SIGPIPE is ignored) loses the text, never the job.
    if (std::fwrite(text, 1, length, stdout) != length ||
        std::fflush(stdout) != 0)  // progress lines end without a newline
        std::clearerr(stdout);
}

bool LinuxPlatform::console_is_terminal() { return stdout_is_terminal(); }

DapTransport* LinuxPlatform::dap_transport()
{
    if (!dap_) {
        std::unique_ptr<DapLink> bulk = dap_bulk_link();
        std::unique_ptr<DapLink> hid = dap_hid_link();
        if (bulk || hid)
            dap_ = std::make_unique<DapProbes>(std::move(bulk), std::move(hid));
    }
    return dap_.get();
}
