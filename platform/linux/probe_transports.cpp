// SPDX-License-Identifier: Apache-2.0
// The J-Link and GPIO transports of the Linux platform, each where the build has its library.
#include <memory>

#include "platform/linux/linux_platform.h"

#ifdef TARNFLASH_JLINK
#include "platform/linux/jaylink_usb.h"
#endif
#ifdef TARNFLASH_GPIOD
#include "platform/linux/gpiod_lines.h"
#endif

JaylinkTransport* LinuxPlatform::jaylink_transport()
{
#ifdef TARNFLASH_JLINK
    static auto probe = std::make_unique<JaylinkUsb>();
    return probe.get();
#else
    return nullptr;
#endif
}

GpioTransport* LinuxPlatform::gpio_transport()
{
#ifdef TARNFLASH_GPIOD
    static auto lines = std::make_unique<GpiodLines>();
    return lines.get();
#else
    return nullptr;
#endif
}
