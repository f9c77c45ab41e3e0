// SPDX-License-Identifier: Apache-2.0
#include "sim/virtual_gpio.h"

namespace sim {

const char* VirtualGpio::fail(std::string text)
{
    error_ = std::move(text);
    return error_.c_str();
}

void VirtualGpio::call()
{
    clock_.advance(config_.call_ns);
    ++counters_.calls;
}

const char* VirtualGpio::open(const std::string& chip, const GpioPins& pins)
{
    close();
    // As the library's lookup: a name, a number or a path.
    const bool ours = chip == kName || chip == "0" || chip == std::string("/dev/") + kName;
    if (!config_.present || !ours)
        return fail(gpio_no_chip_text(chip, "No such file or directory"));
    call();
    const struct {
        const char* role;
        int32_t offset;
    } lines[] = {{"tck", pins.tck}, {"tms", pins.tms},   {"tdi", pins.tdi},
                 {"tdo", pins.tdo}, {"trst", pins.trst}, {"srst", pins.srst}};
    for (const auto& line : lines) {
        if (line.offset < 0)
            continue;
        call();
        if (static_cast<uint32_t>(line.offset) >= config_.lines)
            return fail(gpio_no_line_text(chip, line.role, line.offset, config_.lines));
        for (const GpioHeld& held : config_.held)
            if (held.offset == line.offset)
                return fail(gpio_busy_text(chip, line.role, line.offset, held.consumer));
    }
    open_ = true;
    levels_ = 0;
    return nullptr;
}

bool VirtualGpio::set_jtag(uint8_t levels)
{
    if (!open_) {
        fail("GPIO: the lines are not requested");
        return false;
    }
    call();
    const bool rising = (levels & kTck) && !(levels_ & kTck);
    const bool falling = !(levels & kTck) && (levels_ & kTck);
    levels_ = levels;
    if (rising) {
        ++counters_.clocks;
        chain_.tck_rising((levels & kTms) != 0, (levels & kTdi) != 0);
    } else if (falling) {
        chain_.tck_falling();
    }
    return true;
}

int VirtualGpio::tdo()
{
    if (!open_) {
        fail("GPIO: the lines are not requested");
        return -1;
    }
    call();
    return chain_.tdo();
}

void VirtualGpio::close()
{
    if (open_)
        call();
    open_ = false;
}

std::string gpio_stats_text(const VirtualGpio& gpio)
{
    const GpioCounters& c = gpio.counters();
    if (c.calls == 0)
        return {};
    return "gpio_calls: " + std::to_string(c.calls) + "\ngpio_clocks: " + std::to_string(c.clocks) + "\n";
}

}  // namespace sim
