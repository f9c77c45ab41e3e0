#include "platform/platform.h"

namespace {
Platform* installed = nullptr;
}

void platform_install(Platform* platform) { installed = platform; }

Platform& platform() { return *installed; }
