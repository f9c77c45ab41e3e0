// SPDX-License-Identifier: Apache-2.0
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/adapter_file.h"
#include "job/cable_inside.h"
#include "job/gpio_pins.h"
#include "job/network_open.h"
#include "jtag/adapter_cable.h"
#include "jtag/gpio_cable.h"
#include <algorithm>
#include <vector>

#include "jtag/dap_cable.h"
#include "jtag/jlink_cable.h"
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

std::unique_ptr<Cable> opened(std::unique_ptr<::Cable> cable)
{
    auto inside = std::make_unique<Cable::Inside>();
    inside->cable = std::move(cable);
    return std::make_unique<Cable>(std::move(inside));
}

std::unique_ptr<Cable> open_parport(Platform& os, const CableChoice& choice, std::string* cause)
{
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

std::unique_ptr<Cable> open_ftdi(Platform& os, const CableChoice& choice, std::string* cause)
{
    UsbTransport* usb = os.usb_transport();
    if (usb == nullptr)
        return refused(cause, "This build has no USB cable: it was built without libftdi1");
    MpsseSettings settings;
    UsbDeviceChoice device;
    if (!choice.config.empty()) {
        AdapterConfig config;
        std::string error;
        if (!adapter_config_load(choice.config, config, error))
            return refused(cause, error);
        if (config.ids.empty())
            return refused(cause, config.file + ": no 'ftdi vid_pid' line, so no USB IDs");
        if (const char* reason = adapter_cable_settings(config, false, device, settings))
            return refused(cause, reason);
    }
    if (choice.khz != 0)
        settings.tck_hz = choice.khz * 1000;
    if (!choice.serial.empty())
        device.serial = choice.serial;
    auto mpsse = std::make_unique<MpsseCable>(*usb, settings);
    if (const char* reason = mpsse->open(device))
        return refused(cause, reason);
    return opened(std::move(mpsse));
}

// The J-Link named by its serial number, or the only one plugged in.
std::unique_ptr<Cable> open_jlink(Platform& os, const CableChoice& choice, std::string* cause)
{
    JaylinkTransport* probe = os.jaylink_transport();
    if (probe == nullptr)
        return refused(cause, "This build has no J-Link cable: it was built without libjaylink");
    std::vector<uint32_t> found;
    if (const char* reason = probe->list(found))
        return refused(cause, reason);
    const auto wanted = static_cast<uint32_t>(std::strtoul(choice.serial.c_str(), nullptr, 10));
    if (!choice.serial.empty() && std::find(found.begin(), found.end(), wanted) == found.end())
        return refused(cause, "no J-Link with serial " + choice.serial + " found");
    if (choice.serial.empty() && found.size() != 1)
        return refused(cause, found.empty() ? "no J-Link found" : "several J-Links: name one by its serial number");
    auto jlink = std::make_unique<JlinkCable>(*probe);
    if (const char* reason = jlink->open(choice.serial.empty() ? found.front() : wanted,
                                         choice.khz != 0 ? choice.khz * 1000 : 4'000'000))
        return refused(cause, reason);
    return opened(std::move(jlink));
}

std::unique_ptr<Cable> open_dap(Platform& os, const CableChoice& choice, std::string* cause)
{
    DapTransport* link = os.dap_transport();
    if (link == nullptr)
        return refused(cause, "This build has no CMSIS-DAP cable: it was built without libusb-1.0 and hidapi");
    DapSettings settings;
    if (choice.khz != 0)
        settings.tck_hz = choice.khz * 1000;
    auto dap = std::make_unique<DapCable>(*link, settings);
    if (const char* reason = dap->open({.serial = choice.serial}))
        return refused(cause, reason);
    return opened(std::move(dap));
}

// The lines `config` names ("tck=11,tms=25,tdi=10,tdo=9") on the GPIO chip `port` names.
std::unique_ptr<Cable> open_gpio(Platform& os, const CableChoice& choice, std::string* cause)
{
    GpioPins pins;
    if (std::string reason = gpio_parse_pins(choice.config.c_str(), pins); !reason.empty())
        return refused(cause, reason);
    GpioTransport* gpio = os.gpio_transport();
    if (gpio == nullptr)
        return refused(cause, "This build has no GPIO cable: it was built without libgpiod");
    auto cable = std::make_unique<GpioCable>(*gpio);
    if (const char* reason = cable->open(choice.port.c_str(), pins))
        return refused(cause, reason);
    return opened(std::move(cable));
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

std::unique_ptr<Cable> open_cable_on(Platform& os, const CableChoice& choice, std::string* cause)
{
    // Every cable takes its rate in Hz, in 32 bits.
    if (choice.khz > UINT32_MAX / 1000)
        return refused(cause, "khz " + std::to_string(choice.khz) + " is beyond any TCK rate (4294967 at most)");
    switch (choice.kind) {
    case CableKind::parport:
        return open_parport(os, choice, cause);
    case CableKind::ftdi:
        return open_ftdi(os, choice, cause);
    case CableKind::jlink:
        return open_jlink(os, choice, cause);
    case CableKind::cmsis_dap:
        return open_dap(os, choice, cause);
    case CableKind::gpio:
        return open_gpio(os, choice, cause);
    case CableKind::remote: {
        std::string why;
        auto net = open_network_choice(choice, why);
        return net != nullptr ? opened(std::move(net)) : refused(cause, why);
    }
    }
    return refused(cause, "No such cable kind: " + std::to_string(static_cast<int>(choice.kind)));
}

std::unique_ptr<Cable> open_cable(const CableChoice& choice, std::string* cause)
{
    return open_cable_on(os_platform(), choice, cause);
}

}  // namespace tarnflash
