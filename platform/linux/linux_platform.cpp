#include "platform/linux/linux_platform.h"

#include <cstdio>
#include <ctime>

#include <unistd.h>

#include "platform/output_terminal.h"

#ifdef TARNFLASH_USB_FTDI
#include "platform/linux/ftdi_transport.h"
#endif

LinuxPlatform::LinuxPlatform() : keys_(STDIN_FILENO) {}

const char* LinuxPlatform::port_access()
{
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
