#include "platform/linux/linux_platform.h"

#include <cstdio>
#include <ctime>

#include <unistd.h>

#ifdef TARNFLASH_USB_FTDI
#include "platform/linux/ftdi_transport.h"
#endif

LinuxPlatform::LinuxPlatform() : keys_(STDIN_FILENO) {}

UsbTransport* LinuxPlatform::usb_transport()
{
#ifdef TARNFLASH_USB_FTDI
    if (!usb_)
        usb_ = std::make_unique<FtdiTransport>();
#endif
    return usb_.get();
}

int64_t LinuxPlatform::time_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

void LinuxPlatform::console_write(const char* text, size_t length)
{
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);  // progress lines end without a newline
}
