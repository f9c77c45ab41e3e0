#include "sim/board.h"

#include "sim/cpu_pins.h"
#include "sim/memory_device.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {
const CpuFacts& known_cpu(const std::string& name)
{
    const CpuFacts* cpu = find_cpu_facts(name);
    if (!cpu)
        throw std::invalid_argument("unknown CPU " + name);
    return *cpu;
}
}  // namespace

VirtualBoard::VirtualBoard(const BoardConfig& config)
    : config_(config),
      cpu_(known_cpu(config.cpu)),
      bus_(stats_),
      tap_(cpu_, stats_),
      port_(clock_, stats_, tap_, !config.no_port, config.port_base, config.port_ns)
{
    CpuModel model{};
    if (!config.with_bus || !cpu_model_from_name(config.cpu.c_str(), &model))
        return;
    attach_pins(std::make_unique<CpuPins>(model, bus_, clock_));
    bus_.attach(std::make_unique<MemoryDevice>(), config.region);
}

void VirtualBoard::attach_pins(std::unique_ptr<ScanPins> pins)
{
    tap_.attach_pins(pins.get());
    pins_ = std::move(pins);
}

std::string seconds_text(uint64_t ns)
{
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%09llu", static_cast<unsigned long long>(ns / 1'000'000'000u),
                  static_cast<unsigned long long>(ns % 1'000'000'000u));
    std::string result = text;
    size_t keep = result.find('.') + 7;
    while (result.size() > keep && result.back() == '0')
        result.pop_back();
    return result;
}

std::string stats_text(const VirtualBoard& board)
{
    const SimStats& stats = board.stats();
    const struct {
        const char* name;
        uint64_t value;
    } counters[] = {
        {"port_writes", stats.port_writes}, {"port_reads", stats.port_reads},
        {"tck_clocks", stats.tck_clocks},   {"ir_scans", stats.ir_scans},
        {"dr_scans", stats.dr_scans},       {"bus_reads", stats.bus_reads},
        {"bus_writes", stats.bus_writes},   {"rule_violations", stats.rule_violations},
    };
    std::string text;
    for (const auto& counter : counters)
        text += std::string(counter.name) + ": " + std::to_string(counter.value) + "\n";
    text += "virtual_seconds: " + seconds_text(board.now_ns()) + "\n";
    for (const std::string& note : board.bus().violation_notes())
        text += "rule_violation: " + note + "\n";
    return text;
}

}  // namespace sim
