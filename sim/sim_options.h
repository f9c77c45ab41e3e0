// SPDX-License-Identifier: Apache-2.0
// The simulator's own options, before `--` on the tarnflash-sim command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/board_server.h"
#include "sim/probe_sim_options.h"
#include "sim/dap_probe.h"

namespace sim {

// Keys that become available once `after_dr_scans` DR scans have run.
struct KeyAfter {
    uint64_t after_dr_scans = 0;
    std::string text;
};

struct SimOptions {
    std::string cpu = "KTR5200";
    bool cpu_given = false;
    std::string bsdl;                // --bsdl: the CPU from a BSDL file
    std::string bus_map;             // --bus with a wiring: the flash signals on the file's pins
    std::vector<std::string> holds;  // --hold PIN=0|1|z
    bool no_port = false;
    uint16_t port_base = 0x378;
    bool keys_given = false;  // --keys appeared (even with an empty text)
    std::string keys;         // escapes already resolved
    std::vector<KeyAfter> key_after;
    uint64_t port_ns = 1000;
    uint64_t usb_latency_us = 125;    // one round trip of the USB adapter
    bool usb_cable = false;           // --cable ftdi: the tool drives the board's USB adapter
    bool no_usb = false;              // no USB adapter plugged in
    UsbId usb_id{0x0403, 0x6010};     // --usb-id: the virtual adapter's USB IDs
    std::string usb_serial;           // --usb-serial: its serial number (none by default)
    bool dap_cable = false;           // --cable cmsis-dap: the tool drives the board's CMSIS-DAP probe
    DapProbeConfig dap;               // --dap-*: that probe
    bool dap_serial_given = false;
    int region = 0;                   // chip-select region the flash sits on
    std::string flash = "S29AL008D";  // model on the bus (":top" / ":bottom" where it has both)
    bool bus_given = false;
    FlashSetup bus = FlashSetup::x16;
    std::string flash_in;   // file with the initial flash contents
    std::string flash_out;  // file that receives the flash contents after the run
    FlashFaults faults;
    // --chain-before / --chain-after: further devices on the JTAG chain, from the TDI side on.
    std::vector<ChainDeviceFacts> chain_before;
    std::vector<ChainDeviceFacts> chain_after;
    int tdo_stuck = -1;  // --tdo-stuck 0|1: TDO broken at that level
    ProbeSimOptions probes;  // --cable jlink|gpio and the virtual J-Links' and GPIO chip's options
    bool stats = false;
    ServeChoice serve;  // --serve, --serve-once, --serve-stall-ms: the board served over the network
    bool help = false;
    bool version = false;
    std::vector<std::string> tool_args;  // everything after `--`, unchanged
};

// Reads `args` (without the program name) into `options`.
Outcome parse_sim_options(const std::vector<std::string>& args, SimOptions& options, std::string& words);

// Resolves \r \n \e \\ in a key text; false for any other escape.
bool unescape_keys(const std::string& text, std::string& keys);

// The board the options describe into `config`. Reads the --flash-in file; refused when it is
// not a regular file no larger than the flash, or cannot be read.
Outcome board_config(const SimOptions& options, BoardConfig& config, std::string& words);

// Before the run: refused when --flash-out cannot be opened for writing. Creates a missing
// file; an existing one keeps its contents.
Outcome check_flash_out(const SimOptions& options, std::string& words);

// Writes the flash contents to --flash-out, if given; refused when that fails.
Outcome write_flash_out(const SimOptions& options, VirtualBoard& board, std::string& words);

// The usage text of tarnflash-sim.
const char* sim_usage();

// The line after a run whose elapsed time the tool printed: what that time stands for.
std::string elapsed_time_note(const SimOptions& options);

}  // namespace sim
