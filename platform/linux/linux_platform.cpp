#include "platform/linux/linux_platform.h"

#include <cstdio>
#include <ctime>

#include <unistd.h>

LinuxPlatform::LinuxPlatform() : keys_(STDIN_FILENO) {}

int64_t LinuxPlatform::time_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

void LinuxPlatform::console_write(const char* text, size_t length)
{
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);  // progress lines end without a newline
}
