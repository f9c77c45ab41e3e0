// SPDX-License-Identifier: Apache-2.0
// Counters of the virtual board, printed by --stats.
#pragma once

#include <cstdint>

namespace sim {

struct SimStats {
    uint64_t port_writes = 0;
    uint64_t port_reads = 0;
    uint64_t tck_clocks = 0;  // rising edges of TCK at the configured port
    uint64_t ir_scans = 0;    // Update-IR
    uint64_t dr_scans = 0;    // Update-DR
    uint64_t bus_reads = 0;   // OE# falling edges on the bus
    uint64_t bus_writes = 0;  // WE# rising edges on the bus
    uint64_t rule_violations = 0;
    // The USB adapter's traffic: bulk transfers each way, reads that waited for a round trip.
    uint64_t usb_transfers = 0;
    uint64_t usb_round_trips = 0;
    uint64_t usb_bytes_out = 0;
    uint64_t usb_bytes_in = 0;
    // The adapter's reset lines at the target: times nTRST and nSRST went low, DR scans while
    // nSRST was low.
    uint64_t ntrst_pulses = 0;
    uint64_t nsrst_pulses = 0;
    uint64_t nsrst_dr_scans = 0;
    // Served over the network: clients, those dropped for what they sent, bytes each way, and
    // the answers sent back (each after all the input that had arrived).
    uint64_t net_clients = 0;
    uint64_t net_clients_dropped = 0;
    uint64_t net_bytes_in = 0;
    uint64_t net_bytes_out = 0;
    uint64_t net_answer_batches = 0;
    // The CMSIS-DAP probe's traffic: packets each way, reads that waited, commands run, commands
    // answered DAP_ERROR or 0xFF, DAP_Disconnect commands.
    uint64_t dap_packets = 0;
    uint64_t dap_round_trips = 0;
    uint64_t dap_commands = 0;
    uint64_t dap_rejected = 0;
    uint64_t dap_disconnects = 0;
};

}  // namespace sim
