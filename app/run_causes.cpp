// SPDX-License-Identifier: Apache-2.0
#include "app/run_causes.h"

#include <string>

#include "flash/flash_descriptor.h"
#include "flash/flash_ops.h"
#include "jtag/chain_check.h"
#include "jtag/chain_scan.h"
#include "platform/console.h"
#include "targets/cpu_table.h"

namespace {

uint64_t device_end(const FlashGeometry& g) { return uint64_t{g.block_start[0]} + g.device_size; }

// The block that holds `address`, or -1.
int block_of(const FlashGeometry& g, uint32_t address)
{
    for (int b = 0; b < g.block_count; ++b)
        if (address - g.block_start[b] < g.block_size[b])
            return b;
    return -1;
}

// "bit 3", "bits 0, 1, 7"
std::string bits_text(uint32_t bits)
{
    std::string text;
    int count = 0;
    for (int bit = 0; bit < 32; ++bit)
        if (bits >> bit & 1u)
            text += (count++ == 0 ? "" : ", ") + std::to_string(bit);
    return (count == 1 ? "bit " : "bits ") + text;
}

}  // namespace

void print_idcode_line(uint32_t read, const CpuTarget& cpu)
{
    const char* owner = nullptr;
    for (const CpuTarget* row : cpu_table())
        if (bitstring_value(row->idcode) == read && owner == nullptr)
            owner = row->name;
    std::string whose = owner != nullptr ? std::string("the IDCODE of ") + owner + " (-C " + owner + ")"
                                         : std::string("no built-in CPU has it");
    if (read == 0 || read == 0xFFFFFFFFu)
        whose = "TDO stuck: check the cable, the target's power and its JTAG wiring";
    else if (read == chain_bypass_read())
        whose = std::string("a 1-bit BYPASS register answered: the CPU there does not know ") + cpu.name +
                "'s IDCODE instruction (another CPU?)";
    con_printf("IDCODE read 0x%08X, expected 0x%08X for %s: %s\n", read, bitstring_value(cpu.idcode), cpu.name,
               whose.c_str());
}

void print_chain_devices_line(JtagChain& chain, uint32_t read)
{
    const ChainPosition& placed = chain.position();
    uint32_t devices = placed.devices_before + placed.devices_after + 1;
    // The test pattern came back behind two or more BYPASS bits: several devices lie between
    // TDI and TDO. Only then is the chain read, so a lone device's mismatch costs no scan more.
    const uint32_t pattern = chain_bypass_read() >> 1;
    bool behind_bypasses = false;
    for (uint32_t k = 2; k < 8 && !behind_bypasses; ++k)
        behind_bypasses = (read >> k) == (pattern & (0xFFFFFFFFu >> k));
    ChainScan scan;
    if (placed.alone() && behind_bypasses && chain_read(chain.cable(), scan) == ChainRead::ok &&
        chain.fault() == nullptr)
        devices = scan.count;
    if (devices > 1)
        con_printf("the chain holds %u devices: see --chain-list\n", devices);
}

void print_no_flash_line(int ncs_cell, uint32_t start, const char* unheld)
{
    if (unheld != nullptr) {
        con_printf("Nothing answered at 0x%08X: the --bus map, -o or the wiring may be wrong\n", start);
        if (unheld[0] != '\0')
            con_printf("pins the file has that the map does not hold: %s (--hold PIN=0|1 if the board needs them)\n",
                       unheld);
        return;
    }
    con_printf("Nothing answered at 0x%08X (chip select %u, cell %d): the CPU, -o or the wiring may be wrong\n", start,
               static_cast<unsigned>(start >> 29), ncs_cell);
}

void print_other_model_line(const FlashSession& session, int32_t bus_width, int32_t interleave)
{
    for (const FlashDescriptor& d : flash_descriptors()) {
        FlashModel m{};
        if (&d == &session.descriptor || flash_setup_model(d, bus_width, interleave, m) != Status::ok)
            continue;
        for (const DeviceVariant& v : d.variants)
            if (m.*v.slot == session.identity.device_id) {
                con_printf("Device ID 0x%04X is the code of %s, not %s: try -F %s\n", session.identity.device_id,
                           d.name, session.descriptor.name, d.name);
                return;
            }
    }
}

void print_misaligned_line(const FlashGeometry& g, uint32_t start)
{
    const int b = block_of(g, start);
    if (b < 0)
        return;
    const uint64_t next = uint64_t{g.block_start[b]} + g.block_size[b];
    if (next < device_end(g))
        con_printf("The start must be on an erase block (0x%X bytes here): the nearest are 0x%08X and 0x%08X\n",
                   g.block_size[b], g.block_start[b], static_cast<uint32_t>(next));
    else
        con_printf("The start must be on an erase block (0x%X bytes here): the nearest is 0x%08X\n", g.block_size[b],
                   g.block_start[b]);
}

void print_job_failure_line(const Outcome& outcome, const FlashSession& session, bool chip_erase)
{
    const FlashGeometry& g = session.geometry;
    const uint32_t at = outcome.address;
    if (outcome.detail != nullptr)
        return;
    switch (outcome.status) {
    case Status::erase_failed:
        if (chip_erase)
            con_printf(
                "The chip erase did not finish in the time allowed: the chip's typical time is %u ms, its "
                "maximum %u ms\n",
                g.chip_erase_timeout_ms, g.chip_erase_max_ms);
        else if (g.block_erase_max_ms == 0)
            con_printf("Block %d at 0x%08X did not finish erasing (the chip gives no maximum time)\n", block_of(g, at),
                       at);
        else
            con_printf("Block %d at 0x%08X did not finish erasing within the chip's maximum, %u ms\n", block_of(g, at),
                       at, g.block_erase_max_ms);
        break;
    case Status::timeout:
        con_printf("The write buffer at 0x%08X in block %d did not finish within the chip's maximum, %u us\n", at,
                   block_of(g, at), g.buffer_write_max_us);
        break;
    case Status::mismatch: {
        const uint32_t stayed_one = outcome.actual & ~outcome.expected & session.model.data_mask;
        const uint32_t stayed_zero = ~outcome.actual & outcome.expected & session.model.data_mask;
        std::string bits;
        if (stayed_one != 0)
            bits = bits_text(stayed_one) + " stayed 1";
        if (stayed_zero != 0)
            bits += (bits.empty() ? "" : ", ") + bits_text(stayed_zero) + " stayed 0 (not erased)";
        con_printf("At 0x%08X in block %d: %s\n", at, block_of(g, at), bits.c_str());
        break;
    }
    default:
        break;
    }
}

void print_range_end_line(const char* what, const FlashGeometry& g, uint32_t start, uint64_t asked)
{
    const uint64_t end = device_end(g);
    if (start >= end || uint64_t{start} + asked <= end)
        return;
    con_printf("The %s stops at the end of the flash, 0x%08X: 0x%X of the 0x%llX bytes asked for from 0x%08X\n", what,
               static_cast<uint32_t>(end - 1), static_cast<uint32_t>(end - start),
               static_cast<unsigned long long>(asked), start);
}

void print_update_counts(const UpdateCounts& counts)
{
    con_printf("\nBlocks: %u unchanged, %u programmed over, %u erased\n", counts.unchanged, counts.programmed_over,
               counts.erased);
}
