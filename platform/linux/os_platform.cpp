// SPDX-License-Identifier: Apache-2.0
#include "platform/os_platform.h"

#include "platform/linux/linux_platform.h"

std::unique_ptr<Platform> make_os_platform() { return std::make_unique<LinuxPlatform>(); }
