// SPDX-License-Identifier: Apache-2.0
// The virtual board: parallel port and cable, the CPU's test access port, and
// whatever is wired to the CPU's pins.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jtag/outcome.h"
#include "sim/bus.h"
#include "sim/chain_device.h"
#include "sim/cpu_facts.h"
#include "sim/dap_probe.h"
#include "sim/flash_bank.h"
#include "sim/mpsse_engine.h"
#include "sim/scan_chain.h"
#include "sim/scan_pins.h"
#include "sim/stats.h"
#include "sim/tap_controller.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_gpio.h"
#include "sim/virtual_jlink.h"
#include "sim/virtual_port.h"
#include "targets/bsdl_device.h"

namespace sim {

struct BoardConfig {
    std::string cpu = "KTR5200";
    uint16_t port_base = 0x378;
    bool no_port = false;
    uint64_t port_ns = 1000;
    int region = 0;         // chip-select region of the device on the bus
    bool with_bus = false;  // the CPU's pins and the external bus behind the register
    // The flash on the bus (a model name as FlashBank knows it); empty: a plain memory stands in.
    std::string flash;
    bool bus_setup_given = false;  // else the model's first supported set-up
    FlashSetup bus_setup = FlashSetup::x16;
    FlashFaults faults;
    std::vector<uint8_t> flash_in;  // initial flash contents from CPU byte 0
    MpsseConfig usb;                // the USB adapter on the JTAG header, beside the parallel cable
    DapProbeConfig dap;             // the CMSIS-DAP probe on the same header
    // A CPU from a BSDL file instead of `cpu`, its pins wired to the flash by a bus map
    // ("addr=... data=... ncs=... noe=... nwe=...") and the pins the board needs held (PIN=0|1|z).
    std::string bsdl;
    std::string bus_map;
    std::vector<std::string> holds;
    // Further devices on the JTAG chain, each list from the TDI side: between the cable's TDI
    // and the CPU, and between the CPU and the cable's TDO.
    std::vector<ChainDeviceFacts> chain_before;
    std::vector<ChainDeviceFacts> chain_after;
    int tdo_stuck = -1;  // the level a broken TDO line holds, or -1
    JlinkConfig jlink;    // J-Links on the host's USB, wired to the JTAG header
    GpioChipConfig gpio;  // the host's GPIO chip, wired to the JTAG header
};

// A refused simulator command line or board: Status::refused, and its one line (no newline,
// after the program's name) in the outcome's detail, which points into `words`.
Outcome sim_refusal(std::string& words, const std::string& line);

class VirtualBoard {
public:
    // The board `config` describes into `board`; refused, with the reason in `words`, for a CPU
    // the board does not know, a BSDL file the reader refuses or a wiring that does not fit it.
    static Outcome create(const BoardConfig& config, std::unique_ptr<VirtualBoard>& board, std::string& words);
    // A board of a config that create() takes.
    explicit VirtualBoard(const BoardConfig& config);
    VirtualBoard(const VirtualBoard&) = delete;
    VirtualBoard& operator=(const VirtualBoard&) = delete;

    // The CPU's pins behind the boundary-scan register; the board owns them. With
    // `with_bus` the board starts with the CPU's own pins driving its bus.
    void attach_pins(std::unique_ptr<ScanPins> pins);
    ScanPins* pins() const { return pins_.get(); }

    const BoardConfig& config() const { return config_; }
    const CpuFacts& cpu() const { return cpu_; }
    VirtualClock& clock() { return clock_; }
    SimStats& stats() { return stats_; }
    const SimStats& stats() const { return stats_; }
    uint64_t now_ns() const { return clock_.ns; }
    TapController& tap() { return tap_; }
    const TapController& tap() const { return tap_; }
    // The whole chain the cables clock: the CPU's TAP and the further devices.
    ScanChain& chain() { return chain_; }
    const ScanChain& chain() const { return chain_; }
    // The external bus, with a plain memory on `region` until other devices are attached.
    Bus& bus() { return bus_; }
    const Bus& bus() const { return bus_; }
    VirtualPort& port() { return port_; }
    // The USB adapter's MPSSE engine; open() fails when the configuration has none plugged in.
    MpsseEngine& mpsse() { return mpsse_; }
    const MpsseEngine& mpsse() const { return mpsse_; }
    VirtualJlink& jlink() { return jlink_; }
    const VirtualJlink& jlink() const { return jlink_; }
    VirtualGpio& gpio() { return gpio_; }
    const VirtualGpio& gpio() const { return gpio_; }
    DapProbe& dap() { return dap_; }
    // The flash bank on the bus, or nullptr when a plain memory stands in.
    FlashBank* flash() { return flash_; }

private:
    BoardConfig config_;
    std::string refusal_;  // why the config describes no board; set before the part it stopped
    BsdlDevice bsdl_;  // read before the TAP is built from it
    CpuFacts cpu_;
    VirtualClock clock_;
    SimStats stats_;
    Bus bus_;
    TapController tap_;
    ScanChain chain_;
    VirtualPort port_;
    MpsseEngine mpsse_;
    VirtualJlink jlink_;
    VirtualGpio gpio_;
    DapProbe dap_;
    std::unique_ptr<ScanPins> pins_;
    FlashBank* flash_ = nullptr;
};

// The counters, one "name: value" a line, as --stats prints them.
std::string stats_text(const VirtualBoard& board);

// Nanoseconds as decimal seconds: at least 6 decimals, more only when not zero.
std::string seconds_text(uint64_t ns);

}  // namespace sim
