// SPDX-License-Identifier: Apache-2.0
#include "platform/windows/windows_platform.h"

#include <cstdio>
#include <ctime>

#include <windows.h>

#include "platform/output_terminal.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record GetVersionExA expects");

const char* WindowsPlatform::port_access()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);  // on failure the record stays zero, which reads as not NT
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return nullptr;  // Windows 9x lets every process use the port instructions
    // Opening the driver grants this process port I/O for the rest of its life;
    // the handle itself is not needed.
    HANDLE giveio =
        CreateFileA("\\\\.\\giveio", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (giveio == INVALID_HANDLE_VALUE)
        return "Couldn't access giveio device";
    CloseHandle(giveio);
    return nullptr;
}

UsbTransport* WindowsPlatform::usb_transport()
{
    if (!usb_)
        usb_ = std::make_unique<D2xxTransport>();
    return usb_.get();
}

int64_t WindowsPlatform::time_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

void WindowsPlatform::console_write(const char* text, size_t length)
{
    // A closed output loses the text, never the job.
    if (std::fwrite(text, 1, length, stdout) != length ||
        std::fflush(stdout) != 0)  // progress lines end without a newline
        std::clearerr(stdout);
}

bool WindowsPlatform::console_is_terminal() { return stdout_is_terminal(); }
