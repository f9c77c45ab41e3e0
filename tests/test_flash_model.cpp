// SPDX-License-Identifier: Apache-2.0
// The records derived from the flash descriptors, checked against the virtual chips' own
// datasheet facts: the command cycles must land on the chip's command addresses through the
// board's wiring of each set-up, and the device codes must be the chip's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "flash/flash_ops.h"
#include "sim/flash_bank.h"

namespace {

struct BoardSetUp {
    int32_t width;
    int32_t chips;
    sim::FlashSetup board;
};
constexpr BoardSetUp kSetUps[] = {{16, 1, sim::FlashSetup::x16}, {8, 1, sim::FlashSetup::x8}, {8, 2, sim::FlashSetup::x8x2}};

// The chip the board carries for a tool model name (boot-block chips: the top variant).
const sim::NorModel& chip_of(const FlashDescriptor& d) { return *sim::FlashBank::find_nor_model(d.name); }

// Whether a byte offset on the CPU bus reaches the chip as command address `cmd` (the board's
// wiring: the chip sees CPU A1 upwards in 16x1 and 8x2, the CPU byte address in 8x1, where an
// 8/16-bit chip takes CPU A0 as A-1 and the datasheets' byte addresses continue the pattern).
bool reaches(const sim::NorModel& chip, sim::FlashSetup setup, uint32_t offset, uint32_t cmd)
{
    if (setup != sim::FlashSetup::x8)
        return ((offset >> 1) & chip.cmd_address_mask) == cmd;
    if (chip.bus == sim::NorBusWidth::x8_only)
        return (offset & chip.cmd_address_mask) == cmd;
    return ((offset >> 1) & chip.cmd_address_mask) == cmd && (offset & 1u) == (~cmd & 1u);
}

TEST(FlashModelTable, CommandsLandOnTheChipsCommandAddresses)
{
    int supported = 0;
    for (const FlashDescriptor& d : flash_descriptors()) {
        const sim::NorModel& chip = chip_of(d);
        for (const BoardSetUp& u : kSetUps) {
            FlashModel m{};
            if (flash_setup_model(d, u.width, u.chips, m) != Status::ok)
                continue;
            ++supported;
            SCOPED_TRACE(std::string(d.name) + " " + std::to_string(u.width) + "x" + std::to_string(u.chips));
            EXPECT_TRUE(sim::FlashBank::supports(chip, u.board));
            EXPECT_EQ(m.data_bits, static_cast<uint32_t>(u.width * u.chips));
            EXPECT_EQ(m.data_mask, m.data_bits == 16 ? 0xFFFFu : 0xFFu);
            EXPECT_EQ(m.bytes_per_word, m.data_bits / 8);
            EXPECT_TRUE(reaches(chip, u.board, m.unlock_addr1, chip.cmd_addr1));
            EXPECT_TRUE(reaches(chip, u.board, m.unlock_addr2, chip.cmd_addr2));
            if (m.cmd_cfi_query != 0) {
                EXPECT_TRUE(reaches(chip, u.board, m.cfi_query_addr, chip.cfi_query_addr));
            }
            EXPECT_EQ(m.cfi_query_addr != 0, !chip.cfi.empty() && d.geometry != GeometrySource::builtin);

            // Each command reaches every chip of the set-up with its code in the low byte.
            const uint32_t lanes = u.chips == 2 ? 0x0101u : 1u;
            for (uint32_t code : {m.cmd_autoselect, m.cmd_reset, m.cmd_program, m.cmd_chip_erase, m.unlock_data1,
                                  m.unlock_data2, m.cmd_erase_setup, m.cmd_block_erase}) {
                EXPECT_EQ(code & ~m.data_mask, 0u);
                if (u.chips == 2) {
                    EXPECT_EQ(code >> 8, code & 0xFF);
                }
            }
            EXPECT_EQ(m.unlock_data1 & 0xFF, 0xAAu);
            EXPECT_EQ(m.unlock_data2 & 0xFF, 0x55u);
            EXPECT_EQ(m.cmd_block_erase & 0xFF, chip.block_erase_cmd ? chip.block_erase_cmd : chip.sector_erase_cmd);

            // The codes the chip answers, where the chip answers them.
            const uint32_t device = u.width == 16 ? chip.device_code_word : chip.device_code_byte * lanes;
            bool found = false;
            for (const DeviceVariant& v : d.variants)
                found = found || m.*v.slot == device;
            EXPECT_TRUE(found) << std::hex << device;
            const uint32_t unit = u.board == sim::FlashSetup::x8 && chip.bus == sim::NorBusWidth::x8_only ? 1 : 2;
            EXPECT_EQ(m.device_id_offset, unit);
            EXPECT_EQ(m.maker_id_offset, chip.maker_extra_address * m.bytes_per_word);
            EXPECT_EQ(m.buffer_words != 0, d.commands->buffer_words != 0);
            if (d.write_buffer) {
                EXPECT_EQ(m.buffer_words * m.bytes_per_word, chip.buffer_bytes);
            }
        }
    }
    // S29AL008D and S29AL004D in two set-ups, the two 512 KB chips in two, the rest in one.
    EXPECT_EQ(supported, 12);
}

TEST(FlashModelTable, ModelsOfOneCommandSetKnowEachOthersCodes)
{
    FlashModel gl064{}, k8d{};
    ASSERT_EQ(flash_setup_model(*flash_descriptor_find("S29GL064M"), 16, 1, gl064), Status::ok);
    ASSERT_EQ(flash_setup_model(*flash_descriptor_find("K8D6316"), 16, 1, k8d), Status::ok);
    EXPECT_EQ(std::memcmp(&gl064, &k8d, sizeof gl064), 0);
    EXPECT_NE(gl064.dev_k8d6316, 0u);
    EXPECT_NE(gl064.dev_s29gl128n, 0u);
    EXPECT_FALSE(flash_descriptor_find("K8D6316")->write_buffer) << "programmed a word at a time";
    FlashModel al008{};
    ASSERT_EQ(flash_setup_model(*flash_descriptor_find("S29AL008D"), 16, 1, al008), Status::ok);
    EXPECT_EQ(al008.dev_s29al004d_top, 0u) << "another model's codes stay unknown";
}

TEST(FlashModelTable, RefusedSetUpsAndNamesLeaveTheRecordUntouched)
{
    FlashModel sentinel{};
    sentinel.unlock_addr1 = 0xDEADBEEF;
    const int32_t setups[][2] = {{16, 2}, {32, 1}, {8, 0}, {0, 0}, {12, 1}, {4, 2}};
    for (const FlashDescriptor& d : flash_descriptors()) {
        for (const auto& s : setups) {
            FlashModel m = sentinel;
            EXPECT_EQ(flash_setup_model(d, s[0], s[1], m), Status::refused) << d.name;
            EXPECT_EQ(m.unlock_addr1, 0xDEADBEEFu);
        }
    }
    for (const char* name : {"s29al008d", "S29al008D", "sst39vf6401", "K8D6316UBM", "S29AL008", "S29AL008D ",
                             " S29AL008D", "", "29LV040", "am29lv040b"})
        EXPECT_EQ(flash_descriptor_find(name), nullptr) << "'" << name << "'";
}

}  // namespace
