// SPDX-License-Identifier: Apache-2.0
// The FlashModel record of one descriptor on one bus set-up, derived from the chip's own
// command set: addresses become byte offsets on the CPU bus, codes fill the lanes they reach.
#include "flash/flash_descriptor.h"
#include "flash/flash_ops.h"

namespace {

struct Wiring {
    uint32_t bytes_per_word;
    uint32_t lanes;  // chips side by side
    bool byte_mode;  // an 8/16-bit chip driven 8 bits wide, alone or beside another
};

// A command cycle's chip address as a byte offset on the bus. In byte mode of an 8/16-bit
// chip DQ15 is the extra low address bit A-1, and the datasheets' command addresses (0xAAA,
// 0x555, 0xAA) continue the alternating bit pattern of the word address into it.
uint32_t command_offset(const Wiring& w, uint32_t chip_address)
{
    if (w.byte_mode)
        return (chip_address << 1 | (~chip_address & 1u)) * w.lanes;
    return chip_address * w.bytes_per_word;
}

// A location read in autoselect mode (chip word address) as a byte offset on the bus.
uint32_t location_offset(const Wiring& w, uint32_t chip_address)
{
    return w.byte_mode ? chip_address * 2 * w.lanes : chip_address * w.bytes_per_word;
}

// An 8-bit code on every chip's byte lane.
uint32_t lanes_code(const Wiring& w, uint32_t code) { return w.lanes == 2 ? code * 0x0101u : code; }

uint32_t device_code(const Wiring& w, uint32_t data_bits, const DeviceVariant& v)
{
    if (data_bits == 16 && w.lanes == 1)
        return v.word_code;
    return lanes_code(w, v.byte_code);
}

// Single-cycle commands; the cycles shared with the AMD-style record keep their fields (read
// identifier in cmd_autoselect, read array in cmd_reset, the erase's confirm in cmd_block_erase).
void set_intel_commands(const Wiring& w, const CommandSet& c, FlashModel& m)
{
    m.cmd_autoselect = lanes_code(w, 0x90);
    m.cmd_reset = lanes_code(w, 0xFF);
    m.cmd_program = lanes_code(w, 0x40);
    m.cmd_erase_setup = lanes_code(w, c.block_erase);
    m.cmd_block_erase = lanes_code(w, 0xD0);
    m.cfi_query_addr = command_offset(w, c.cfi_query_addr);
    m.cmd_cfi_query = lanes_code(w, 0x98);
    m.cmd_write_buffer = lanes_code(w, 0xE8);
    m.cmd_buffer_confirm = lanes_code(w, 0xD0);
}

}  // namespace

Status flash_setup_model(const FlashDescriptor& d, int32_t bus_width, int32_t interleave, FlashModel& model)
{
    const uint8_t setup = flash_setup_of(bus_width, interleave);
    if ((setup & d.setups) == 0)
        return Status::refused;

    FlashModel m{};
    m.data_bits = static_cast<uint32_t>(bus_width * interleave);
    m.bytes_per_word = m.data_bits / 8;
    m.data_mask = data_mask_of(m.data_bits);
    const Wiring w = {m.bytes_per_word, static_cast<uint32_t>(interleave),
                      setup != kSetup16x1 && d.chip_bus == ChipBus::x8_x16};
    const CommandSet& c = *d.commands;

    m.maker_id_offset = location_offset(w, d.maker_code_address);
    m.device_id_offset = location_offset(w, 1);
    m.block_status_offset = location_offset(w, 2);
    if (d.style == CommandStyle::intel) {
        set_intel_commands(w, c, m);
        model = m;
        return Status::ok;
    }
    m.unlock_addr1 = command_offset(w, c.unlock_addr1);
    m.unlock_addr2 = command_offset(w, c.unlock_addr2);
    m.unlock_data1 = c.unlock_data_both_bytes ? 0xAAAA : lanes_code(w, 0xAA);
    m.unlock_data2 = c.unlock_data_both_bytes ? 0x5555 : lanes_code(w, 0x55);
    m.cmd_autoselect = lanes_code(w, 0x90);
    m.cmd_reset = lanes_code(w, 0xF0);
    m.cmd_program = lanes_code(w, 0xA0);
    m.cmd_erase_setup = c.unlock_data_both_bytes ? 0x8080 : lanes_code(w, 0x80);
    m.cmd_block_erase = lanes_code(w, c.block_erase);
    m.cmd_chip_erase = lanes_code(w, 0x10);
    if (c.cfi_query_addr != 0) {
        m.cfi_query_addr = command_offset(w, c.cfi_query_addr);
        m.cmd_cfi_query = lanes_code(w, 0x98);
    }
    if (c.buffer_words != 0) {
        m.cmd_write_buffer = lanes_code(w, 0x25);
        m.cmd_buffer_confirm = lanes_code(w, 0x29);
        m.buffer_words = c.buffer_words;
    }
    if (d.unlock_bypass) {
        m.cmd_unlock_bypass = lanes_code(w, 0x20);
        m.cmd_bypass_reset1 = lanes_code(w, 0x90);
        m.cmd_bypass_reset2 = lanes_code(w, 0x00);
    }
    for (const FlashDescriptor& other : flash_descriptors()) {
        if (other.code_group != d.code_group || (setup & other.setups) == 0)
            continue;
        for (const DeviceVariant& v : other.variants)
            m.*v.slot = device_code(w, m.data_bits, v);
    }
    model = m;
    return Status::ok;
}
