// SPDX-License-Identifier: Apache-2.0
#include "sim/adapter_wiring.h"

#include "job/adapter_file.h"

namespace sim {

namespace {

constexpr uint16_t kJtagLines = 0x000F;
constexpr const char kOption[] = "--cable-config";

AdapterLine line_of(const AdapterConfig& config, const char* name)
{
    AdapterLine line;
    if (const AdapterSignal* s = config.signal(name))
        line = {s->data, s->data_inverted, s->oe, s->oe_inverted};
    return line;
}

const std::string* config_name(const std::vector<std::string>& args)
{
    const std::string* name = nullptr;
    const std::string attached = std::string(kOption) + "=";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kOption && i + 1 < args.size())
            name = &args[++i];
        else if (args[i].rfind(attached, 0) == 0)
            name = &args[i];
    }
    return name;
}

}  // namespace

bool adapter_wiring_from_tool_args(const std::vector<std::string>& tool_args, AdapterWiring& wiring)
{
    const std::string* name = config_name(tool_args);
    if (name == nullptr)
        return false;
    const std::string attached = std::string(kOption) + "=";
    const std::string file = name->rfind(attached, 0) == 0 ? name->substr(attached.size()) : *name;
    AdapterConfig config;
    std::string error;
    if (!adapter_config_load(file, config, error))
        return false;
    wiring = {};
    wiring.interface = static_cast<char>('A' + config.channel);
    // Every output the layout sets that no signal names is taken for a buffer enable: the
    // header sees the JTAG lines only while those pins hold their layout levels.
    uint16_t signal_pins = kJtagLines;
    for (const AdapterSignal& s : config.signals)
        signal_pins = static_cast<uint16_t>(signal_pins | s.data | s.oe);
    wiring.enable_mask = static_cast<uint16_t>(config.layout_direction & ~signal_pins);
    wiring.enable_value = static_cast<uint16_t>(config.layout_value & wiring.enable_mask);
    wiring.ntrst = line_of(config, "nTRST");
    wiring.nsrst = line_of(config, "nSRST");
    wiring.shown = true;
    wiring.description = config.device_desc;
    return true;
}

}  // namespace sim
