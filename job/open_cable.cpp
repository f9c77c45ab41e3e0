// SPDX-License-Identifier: Apache-2.0
#include <cstdlib>

#include "job/cable_inside.h"
#include "jtag/lpt_cable.h"
#include "jtag/mpsse_cable.h"
#include "platform/os_platform.h"
#include "platform/platform.h"

namespace tarnflash {

namespace {

// The operating system, installed for a program that has not installed a platform of its own.
Platform& os_platform()
{
    static std::unique_ptr<Platform> os;
    if (platform_installed() == nullptr) {
        os = make_os_platform();
        platform_install(os.get());
    }
    return platform();
}

std::unique_ptr<Cable> refused(std::string* cause, const std::string& why)
{
    if (cause != nullptr)
        *cause = why;
    return nullptr;
}

std::unique_ptr<Cable> open_parport(const CableChoice& choice, std::string* cause)
{
    Platform& os = os_platform();
    if (const char* refusal = os.port_access())
        return refused(cause, refusal);
    const uint16_t base =
        choice.port.empty() ? lpt_find_port(os) : static_cast<uint16_t>(std::strtoul(choice.port.c_str(), nullptr, 0));
    if (base == 0) {
        os.port_release();
        return refused(cause, "No parallel port found");
    }
    auto inside = std::make_unique<Cable::Inside>();
    inside->cable = std::make_unique<LptCable>(os, base);
    inside->release = [&os] { os.port_release(); };
    return std::make_unique<Cable>(std::move(inside));
}

std::unique_ptr<Cable> open_ftdi(const CableChoice& choice, std::string* cause)
{
    UsbTransport* usb = os_platform().usb_transport();
    if (usb == nullptr)
        return refused(cause, "This build has no USB cable: it was built without libftdi1");
    MpsseSettings settings;
    if (choice.khz != 0)
        settings.tck_hz = choice.khz * 1000;
    UsbDeviceChoice device;
    device.serial = choice.serial;
    auto mpsse = std::make_unique<MpsseCable>(*usb, settings);
    if (const char* reason = mpsse->open(device))
        return refused(cause, reason);
    auto inside = std::make_unique<Cable::Inside>();
    inside->cable = std::move(mpsse);
    return std::make_unique<Cable>(std::move(inside));
}

}  // namespace

Cable::Cable(std::unique_ptr<Inside> inside) : inside_(std::move(inside)) {}

Cable::~Cable()
{
    if (inside_ && inside_->cable)
        inside_->cable->park();
    if (inside_ && inside_->release)
        inside_->release();
}

std::unique_ptr<Cable> open_cable(const CableChoice& choice, std::string* cause)
{
    switch (choice.kind) {
    case CableKind::parport:
        return open_parport(choice, cause);
    case CableKind::ftdi:
        if (!choice.config.empty())
            return refused(cause, "An adapter file is read by the command line's --cable-config only");
        return open_ftdi(choice, cause);
    default:
        return refused(cause, "This cable is opened by the command line only");
    }
}

}  // namespace tarnflash
