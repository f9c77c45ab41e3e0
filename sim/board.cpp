// SPDX-License-Identifier: Apache-2.0
#include "sim/board.h"

#include "sim/bsdl_pins.h"
#include "sim/cpu_pins.h"
#include "sim/memory_device.h"
#include "targets/bus_map.h"

#include <cstdio>
#include <span>

namespace sim {

namespace {
BsdlDevice read_bsdl(const BoardConfig& config, std::string& refusal)
{
    BsdlDevice device;
    if (!config.bsdl.empty() && !bsdl_read_file(config.bsdl.c_str(), device, refusal))
        device = {};
    return device;
}

// An instruction as the register holds it: bit 0 is the rightmost bit of the file's opcode.
uint32_t register_value(const std::string& msb_first)
{
    uint32_t value = 0;
    for (char c : msb_first)
        value = value << 1 | (c == '1' ? 1u : 0u);
    return value;
}

// A board without a CPU: what stands in while the refusal says why.
constexpr CpuFacts kNoCpu{"", 0, kNoInstruction, 0};

CpuFacts cpu_facts(const BoardConfig& config, const BsdlDevice& device, std::string& refusal)
{
    if (!refusal.empty())
        return kNoCpu;
    if (config.bsdl.empty()) {
        const CpuFacts* cpu = find_cpu_facts(config.cpu);
        if (!cpu)
            refusal = "unknown CPU " + config.cpu;
        return cpu ? *cpu : kNoCpu;
    }
    const BsdlInstruction* extest = device.instruction("EXTEST");
    const BsdlInstruction* idcode = device.instruction("IDCODE");
    if (extest == nullptr || device.instruction_length > static_cast<int>(kMaxInstructionLength)) {
        refusal = "the board's CPU needs EXTEST and at most 32 instruction bits";
        return kNoCpu;
    }
    CpuFacts cpu{device.entity.c_str(), 0, kNoInstruction, static_cast<uint32_t>(device.boundary_length)};
    // Bits the file leaves open (X) read 0 on this board.
    for (char c : device.idcode)
        cpu.idcode = cpu.idcode << 1 | (c == '1' ? 1u : 0u);
    if (idcode != nullptr && !device.idcode.empty())
        cpu.idcode_instruction = register_value(idcode->opcodes.front());
    cpu.instruction_length = static_cast<uint32_t>(device.instruction_length);
    cpu.extest_instruction = register_value(extest->opcodes.front());
    return cpu;
}

// Where the flash's A0 sits on the CPU bus: above the byte bits of a 16-bit bus word.
uint32_t address_shift(FlashSetup setup) { return setup == FlashSetup::x8 ? 0 : 1; }
const char* tap_state_name(TapState state)
{
    static constexpr const char* kNames[kTapStateCount] = {
        "Test-Logic-Reset", "Run-Test/Idle", "Select-DR-Scan", "Capture-DR",     "Shift-DR",   "Exit1-DR",
        "Pause-DR",         "Exit2-DR",      "Update-DR",      "Select-IR-Scan", "Capture-IR", "Shift-IR",
        "Exit1-IR",         "Pause-IR",      "Exit2-IR",       "Update-IR",
    };
    return kNames[static_cast<int>(state)];
}

// Whether the run left the flash selected: "active", "inactive", or "none" without a bus.
const char* chip_enable_text(const VirtualBoard& board)
{
    if (!board.config().with_bus || board.pins() == nullptr)
        return "none";
    return (board.bus().signals().ncs_n >> board.config().region) & 1u ? "inactive" : "active";
}
}  // namespace

VirtualBoard::VirtualBoard(const BoardConfig& config)
    : config_(config),
      bsdl_(read_bsdl(config, refusal_)),
      cpu_(cpu_facts(config, bsdl_, refusal_)),
      bus_(stats_),
      tap_(cpu_, stats_),
      chain_(tap_, bus_, clock_, config.chain_before, config.chain_after),
      port_(clock_, stats_, chain_, !config.no_port, config.port_base, config.port_ns),
      mpsse_(clock_, stats_, chain_, config.usb),
      jlink_(clock_, chain_, config.jlink),
      gpio_(clock_, chain_, config.gpio),
      dap_(clock_, stats_, chain_, config.dap)
{
    chain_.set_tdo_stuck(config.tdo_stuck);
    CpuModel model{};
    if (!refusal_.empty() || !config.with_bus ||
        (config.bsdl.empty() && !cpu_model_from_name(config.cpu.c_str(), &model)))
        return;
    if (config.bsdl.empty())
        attach_pins(std::make_unique<BuiltinPins>(model, bus_, clock_));
    if (config.flash.empty()) {
        bus_.attach(std::make_unique<MemoryDevice>(), config.region);
        return;
    }
    const NorModel* nor = FlashBank::find_nor_model(config.flash);
    FlashSetup setup = FlashSetup::x16;
    if (nor != nullptr)
        setup = config.bus_setup_given ? config.bus_setup : FlashBank::default_setup(*nor);
    if (nor == nullptr || !FlashBank::supports(*nor, setup)) {
        refusal_ = "flash " + config.flash + " is unknown or cannot be wired in this bus set-up";
        return;
    }
    if (!config.bsdl.empty()) {
        BusMap wiring;
        bool wired = bus_map_parse(config.bus_map.c_str(), wiring, refusal_);
        for (const std::string& hold : config.holds)
            wired = wired && bus_hold_parse(hold.c_str(), wiring, refusal_);
        if (!wired)
            return;
        auto pins = std::make_unique<BsdlPins>(bsdl_, wiring, address_shift(setup), config.region, bus_, clock_);
        if (!(refusal_ = pins->refusal()).empty())
            return;
        tap_.preset_latches(pins->latches().data());
        attach_pins(std::move(pins));
    }
    auto bank = std::make_unique<FlashBank>(*nor, setup, config.faults);
    if (config.flash_in.size() > bank->size_bytes()) {
        refusal_ = "the initial contents are larger than the flash";
        return;
    }
    bank->load(config.flash_in);
    flash_ = bank.get();
    bus_.attach(std::move(bank), config.region);
}

Outcome sim_refusal(std::string& words, const std::string& line)
{
    words = "tarnflash-sim: " + line;
    return {.status = Status::refused, .detail = words.c_str()};
}

Outcome VirtualBoard::create(const BoardConfig& config, std::unique_ptr<VirtualBoard>& board, std::string& words)
{
    auto made = std::make_unique<VirtualBoard>(config);
    if (!made->refusal_.empty())
        return sim_refusal(words, made->refusal_);
    board = std::move(made);
    return {};
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
    struct Counter {
        const char* name;
        uint64_t value;
    };
    const Counter counters[] = {
        {"port_writes", stats.port_writes}, {"port_reads", stats.port_reads},
        {"tck_clocks", stats.tck_clocks},   {"ir_scans", stats.ir_scans},
        {"dr_scans", stats.dr_scans},       {"bus_reads", stats.bus_reads},
        {"bus_writes", stats.bus_writes},   {"rule_violations", stats.rule_violations},
    };
    const Counter usb_counters[] = {
        {"usb_transfers", stats.usb_transfers},
        {"usb_round_trips", stats.usb_round_trips},
        {"usb_bytes_out", stats.usb_bytes_out},
        {"usb_bytes_in", stats.usb_bytes_in},
    };
    const Counter dap_counters[] = {
        {"dap_packets", stats.dap_packets},   {"dap_round_trips", stats.dap_round_trips},
        {"dap_commands", stats.dap_commands}, {"dap_rejected", stats.dap_rejected},
        {"dap_disconnects", stats.dap_disconnects},
    };
    const Counter reset_counters[] = {
        {"ntrst_pulses", stats.ntrst_pulses},
        {"nsrst_pulses", stats.nsrst_pulses},
        {"nsrst_dr_scans", stats.nsrst_dr_scans},
    };
    const Counter net_counters[] = {
        {"net_clients", stats.net_clients},
        {"net_clients_dropped", stats.net_clients_dropped},
        {"net_bytes_in", stats.net_bytes_in},
        {"net_bytes_out", stats.net_bytes_out},
        {"net_answer_batches", stats.net_answer_batches},
    };
    std::string text;
    auto add = [&text](std::span<const Counter> list) {
        for (const Counter& counter : list)
            text += std::string(counter.name) + ": " + std::to_string(counter.value) + "\n";
    };
    add(counters);
    // Only runs that used the USB adapter list its counters: parallel-port output stays as it was.
    if (stats.usb_transfers != 0)
        add(usb_counters);
    if (stats.dap_packets != 0)
        add(dap_counters);
    // The reset lines only where an adapter configuration wired them.
    if (board.mpsse().wiring().shown)
        add(reset_counters);
    // Only a served board lists its clients' traffic.
    if (stats.net_clients != 0)
        add(net_counters);
    text += jlink_stats_text(board.jlink()) + gpio_stats_text(board.gpio());
    text += "virtual_seconds: " + seconds_text(board.now_ns()) + "\n";
    text += chain_stats_text(board.chain());
    for (const std::string& note : board.bus().violation_notes())
        text += "rule_violation: " + note + "\n";
    // Where the run left the board: a stopped job must leave the TAP reset and the flash deselected.
    text += std::string("tap_state: ") + tap_state_name(board.tap().state()) + "\n";
    text += std::string("flash_chip_enable: ") + chip_enable_text(board) + "\n";
    return text;
}

}  // namespace sim
