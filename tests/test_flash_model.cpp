// The flash model table: every value of every supported set-up, and every refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"
#include "flash/flash_model.h"
#include "flash/flash_ops.h"

namespace {

struct Field {
    const char* name;
    uint32_t FlashModel::*member;
};

constexpr Field kFields[] = {
    {"maker_id_offset", &FlashModel::maker_id_offset},
    {"device_id_offset", &FlashModel::device_id_offset},
    {"bytes_per_word", &FlashModel::bytes_per_word},
    {"data_bits", &FlashModel::data_bits},
    {"data_mask", &FlashModel::data_mask},
    {"unlock_addr1", &FlashModel::unlock_addr1},
    {"unlock_addr2", &FlashModel::unlock_addr2},
    {"unlock_data1", &FlashModel::unlock_data1},
    {"unlock_data2", &FlashModel::unlock_data2},
    {"cmd_autoselect", &FlashModel::cmd_autoselect},
    {"cmd_reset", &FlashModel::cmd_reset},
    {"cmd_program", &FlashModel::cmd_program},
    {"cmd_erase_setup", &FlashModel::cmd_erase_setup},
    {"cmd_block_erase", &FlashModel::cmd_block_erase},
    {"cmd_chip_erase", &FlashModel::cmd_chip_erase},
    {"cfi_query_addr", &FlashModel::cfi_query_addr},
    {"cmd_cfi_query", &FlashModel::cmd_cfi_query},
    {"cmd_write_buffer", &FlashModel::cmd_write_buffer},
    {"cmd_buffer_confirm", &FlashModel::cmd_buffer_confirm},
    {"buffer_words", &FlashModel::buffer_words},
    {"dev_s29gl064m", &FlashModel::dev_s29gl064m},
    {"dev_k8d6316", &FlashModel::dev_k8d6316},
    {"dev_s29gl128n", &FlashModel::dev_s29gl128n},
    {"dev_sst39vf6401", &FlashModel::dev_sst39vf6401},
    {"dev_s29al008d_top", &FlashModel::dev_s29al008d_top},
    {"dev_s29al008d_bottom", &FlashModel::dev_s29al008d_bottom},
    {"dev_s29al004d_top", &FlashModel::dev_s29al004d_top},
    {"dev_s29al004d_bottom", &FlashModel::dev_s29al004d_bottom},
    {"dev_lv040", &FlashModel::dev_lv040},
};

// The column of the datasheet-derived table; device codes listed as slot/value pairs.
struct Column {
    const char* name;
    int32_t width;
    int32_t chips;
    uint32_t maker_off, device_off, bpw, bits, mask;
    uint32_t ua1, ua2, ud1, ud2;
    uint32_t autoselect, reset, program, erase_setup, block_erase, chip_erase;
    uint32_t cfi_addr, cfi_cmd, wbuf, confirm, buf_words;
    std::vector<std::pair<uint32_t FlashModel::*, uint32_t>> codes;
};

FlashModel expected_record(const Column& c)
{
    FlashModel m{};
    m.maker_id_offset = c.maker_off;
    m.device_id_offset = c.device_off;
    m.bytes_per_word = c.bpw;
    m.data_bits = c.bits;
    m.data_mask = c.mask;
    m.unlock_addr1 = c.ua1;
    m.unlock_addr2 = c.ua2;
    m.unlock_data1 = c.ud1;
    m.unlock_data2 = c.ud2;
    m.cmd_autoselect = c.autoselect;
    m.cmd_reset = c.reset;
    m.cmd_program = c.program;
    m.cmd_erase_setup = c.erase_setup;
    m.cmd_block_erase = c.block_erase;
    m.cmd_chip_erase = c.chip_erase;
    m.cfi_query_addr = c.cfi_addr;
    m.cmd_cfi_query = c.cfi_cmd;
    m.cmd_write_buffer = c.wbuf;
    m.cmd_buffer_confirm = c.confirm;
    m.buffer_words = c.buf_words;
    for (const auto& [slot, value] : c.codes)
        m.*slot = value;
    return m;
}

const std::vector<Column>& columns()
{
    using M = FlashModel;
    static const std::vector<Column> table = {
        {"EN29LV040A", 8,      2,      0x200,  2,      2,      16,     0xFFFF,
         0xAAA,        0x554,  0xAAAA, 0x5555, 0x9090, 0xF0F0, 0xA0A0, 0x8080,
         0x3030,       0x1010, 0,      0,      0,      0,      0,      {{&M::dev_lv040, 0x4F4F}}},
        {"EN29LV040A", 8,    1,    0x100, 1,    1,    8, 0xFF, 0x555, 0x2AA, 0xAA, 0x55,
         0x90,         0xF0, 0xA0, 0x80,  0x30, 0x10, 0, 0,    0,     0,     0,    {{&M::dev_lv040, 0x4F}}},
        {"AM29LV040B", 8,      2,      0,      2,      2,      16,     0xFFFF,
         0xAAA,        0x554,  0xAAAA, 0x5555, 0x9090, 0xF0F0, 0xA0A0, 0x8080,
         0x3030,       0x1010, 0,      0,      0,      0,      0,      {{&M::dev_lv040, 0x4F4F}}},
        {"AM29LV040B", 8,    1,    0,    1,    1,    8, 0xFF, 0x555, 0x2AA, 0xAA, 0x55,
         0x90,         0xF0, 0xA0, 0x80, 0x30, 0x10, 0, 0,    0,     0,     0,    {{&M::dev_lv040, 0x4F}}},
        {"S29AL008D", 16,    1,    0,
         2,           2,     16,   0xFFFF,
         0xAAA,       0x554, 0xAA, 0x55,
         0x90,        0xF0,  0xA0, 0x80,
         0x30,        0x10,  0,    0,
         0,           0,     0,    {{&M::dev_s29al008d_top, 0x22DA}, {&M::dev_s29al008d_bottom, 0x225B}}},
        {"S29AL008D", 8,    1,     0,     2,    1,
         8,           0xFF, 0xAAA, 0x555, 0xAA, 0x55,
         0x90,        0xF0, 0xA0,  0x80,  0x30, 0x10,
         0,           0,    0,     0,     0,    {{&M::dev_s29al008d_top, 0xDA}, {&M::dev_s29al008d_bottom, 0x5B}}},
        {"S29AL004D", 16,    1,    0,
         2,           2,     16,   0xFFFF,
         0xAAA,       0x554, 0xAA, 0x55,
         0x90,        0xF0,  0xA0, 0x80,
         0x30,        0x10,  0,    0,
         0,           0,     0,    {{&M::dev_s29al004d_top, 0x22B9}, {&M::dev_s29al004d_bottom, 0x22BA}}},
        {"S29AL004D", 8,    1,     0,     2,    1,
         8,           0xFF, 0xAAA, 0x555, 0xAA, 0x55,
         0x90,        0xF0, 0xA0,  0x80,  0x30, 0x10,
         0,           0,    0,     0,     0,    {{&M::dev_s29al004d_top, 0xB9}, {&M::dev_s29al004d_bottom, 0xBA}}},
        {"SST39VF6401", 16,     1,      0,      2,    2,    16,   0xFFFF,
         0xAAAA,        0x5554, 0xAAAA, 0x5555, 0x90, 0xF0, 0xA0, 0x8080,
         0x50,          0x10,   0xAA,   0x98,   0,    0,    0,    {{&M::dev_sst39vf6401, 0x236B}}},
    };
    static std::vector<Column> with_shared = [] {
        std::vector<Column> all = table;
        // One row for three names: all three codes and the write buffer whichever is named.
        for (const char* name : {"S29GL064M", "K8D6316", "S29GL128N"})
            all.push_back(
                {name,  16,     1,
                 0,     2,      2,
                 16,    0xFFFF, 0xAAA,
                 0x554, 0xAA,   0x55,
                 0x90,  0xF0,   0xA0,
                 0x80,  0x30,   0x10,
                 0xAA,  0x98,   0x25,
                 0x29,  16,     {{&M::dev_s29gl064m, 0x227E}, {&M::dev_k8d6316, 0x22E2}, {&M::dev_s29gl128n, 0x227E}}});
        return all;
    }();
    return with_shared;
}

// Every field set, so a test sees both what was written and what was cleared.
FlashModel filled_record()
{
    FlashModel m{};
    for (const Field& f : kFields)
        m.*f.member = 0xDEADBEEF;
    return m;
}

int setup(const char* name, int32_t width, int32_t chips)
{
    options_init();
    std::strncpy(g_options.flash_model, name, sizeof g_options.flash_model - 1);
    g_options.bus_width = width;
    g_options.interleave = chips;
    return flash_setup_model();
}

std::string label(const Column& c)
{
    return std::string(c.name) + " " + std::to_string(c.width) + "x" + std::to_string(c.chips);
}

TEST(FlashModelTable, EverySupportedSetUpFillsItsColumnAndClearsTheRest)
{
    for (const Column& column : columns()) {
        g_flash_model = filled_record();
        ASSERT_EQ(setup(column.name, column.width, column.chips), 0) << label(column);
        FlashModel want = expected_record(column);
        for (const Field& f : kFields)
            EXPECT_EQ(g_flash_model.*f.member, want.*f.member) << label(column) << " " << f.name;
    }
}

bool supported(const std::string& name, int32_t width, int32_t chips)
{
    for (const Column& column : columns())
        if (name == column.name && width == column.width && chips == column.chips)
            return true;
    return false;
}

TEST(FlashModelTable, RefusedCombinationsLeaveTheRecordUntouched)
{
    const char* names[] = {"S29AL008D", "S29AL004D", "EN29LV040A", "AM29LV040B",
                           "S29GL064M", "K8D6316",   "S29GL128N",  "SST39VF6401"};
    const int32_t setups[][2] = {{16, 1}, {8, 1}, {8, 2}, {16, 2}, {32, 1}, {8, 0}, {0, 0}, {12, 1}, {4, 2}};
    int refused = 0;
    for (const char* name : names) {
        for (const auto& s : setups) {
            if (supported(name, s[0], s[1]))
                continue;
            g_flash_model = filled_record();
            EXPECT_EQ(setup(name, s[0], s[1]), -1) << name << " " << s[0] << "x" << s[1];
            for (const Field& f : kFields)
                EXPECT_EQ(g_flash_model.*f.member, 0xDEADBEEFu) << name << " " << f.name;
            ++refused;
        }
    }
    // 8 names x 9 set-ups, 12 of them supported.
    EXPECT_EQ(refused, 60);
}

TEST(FlashModelTable, NamesMatchOnlyExactly)
{
    const char* unknown[] = {"s29al008d",  "S29al008D", "sst39vf6401", "K8D6316UBM", "S29AL008", "S29AL008D ",
                             " S29AL008D", "",          "29LV040",     "am29lv040b"};
    for (const char* name : unknown) {
        for (const auto& s : {std::pair{16, 1}, std::pair{8, 1}, std::pair{8, 2}}) {
            g_flash_model = FlashModel{};
            EXPECT_EQ(setup(name, s.first, s.second), -1) << "'" << name << "'";
            for (const Field& f : kFields)
                EXPECT_EQ(g_flash_model.*f.member, 0u) << name << " " << f.name;
        }
    }
}

}  // namespace
