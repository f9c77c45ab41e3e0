// SPDX-License-Identifier: Apache-2.0
#include "job/gpio_pins.h"

#include <string_view>

#include "jtag/number_text.h"

namespace {

struct PinName {
    const char* name;
    int32_t GpioPins::*offset;
    bool needed;
};

constexpr PinName kPins[] = {
    {"tck", &GpioPins::tck, true}, {"tms", &GpioPins::tms, true},    {"tdi", &GpioPins::tdi, true},
    {"tdo", &GpioPins::tdo, true}, {"trst", &GpioPins::trst, false}, {"srst", &GpioPins::srst, false},
};

constexpr const char* kPinsForm = " (tck=N,tms=N,tdi=N,tdo=N[,trst=N][,srst=N])";

}  // namespace

std::string gpio_parse_pins(const char* text, GpioPins& pins)
{
    pins = GpioPins{};
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        const size_t equals = item.find('=');
        const PinName* pin = nullptr;
        for (const PinName& p : kPins)
            if (item.substr(0, equals) == p.name)
                pin = &p;
        uint32_t offset = 0;
        if (pin == nullptr || equals == std::string_view::npos || !parse_digits(item.substr(equals + 1), offset) ||
            offset > 0xFFFF)
            return "bad --gpio-pins item '" + std::string(item) + "'" + kPinsForm;
        if (pins.*pin->offset >= 0)
            return std::string("--gpio-pins gives ") + pin->name + " twice";
        for (const PinName& p : kPins)
            if (pins.*p.offset == static_cast<int32_t>(offset))
                return "--gpio-pins puts " + std::string(p.name) + " and " + pin->name + " on line " +
                       std::to_string(offset);
        pins.*pin->offset = static_cast<int32_t>(offset);
    }
    for (const PinName& p : kPins)
        if (p.needed && pins.*p.offset < 0)
            return std::string("--gpio-pins lacks ") + p.name + kPinsForm;
    return {};
}
