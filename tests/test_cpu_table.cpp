#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/options.h"
#include "targets/cpu_table.h"

namespace {

uint32_t bits_value(const char* msb_first)
{
    uint32_t value = 0;
    for (int i = 0; i < 32; ++i)
        value = value << 1 | static_cast<uint32_t>(msb_first[i] - '0');
    return value;
}

struct CpuRow {
    const char* name;
    uint32_t idcode;
    const char* instruction;
    int32_t bsr_length;
    int ncs[8];
};

// The CPU rows typed from the board data, independently of the tool's table.
constexpr CpuRow kRows[] = {
    {"KTR5200", 0x1B4E20D3, "1011", 298, {116, 118, 120, 122, 124, 126, 127, 128}},
    {"ULN", 0x1B4E20D3, "1011", 185, {46, 51, 53, 55, 57, 59, 39, 41}},
    {"PAXON", 0x0093A0C5, "1000", 412, {190, 193, 196, 199, 202, 205, 208, kNoNcsCell}},
    {"MIRTA", 0x0C4D7E2F, "0101", 298, {186, 184, 182, 180, 178, 177, 261, kNoNcsCell}},
};

void PrintTo(const CpuRow& c, std::ostream* os) { *os << c.name; }

class CpuSelect : public testing::TestWithParam<CpuRow> {};

TEST_P(CpuSelect, InstallsTheRowWithAFreshImage)
{
    const CpuRow& row = GetParam();
    cpu_target_init();
    ASSERT_EQ(cpu_select(row.name), 0);
    EXPECT_EQ(std::strlen(g_target.idcode), 32u);
    EXPECT_EQ(bits_value(g_target.idcode), row.idcode);
    EXPECT_STREQ(g_target.idcode_instruction, row.instruction);
    EXPECT_EQ(g_target.bsr_length, row.bsr_length);
    ASSERT_STREQ(g_target.row->name, row.name);
    EXPECT_EQ(std::strlen(g_target.bsr_image), static_cast<size_t>(row.bsr_length));
    EXPECT_EQ(std::string(g_target.bsr_image), std::string(g_target.row->default_image));

    // Every chip select starts inactive.
    for (int region = 0; region < 8; ++region) {
        if (row.ncs[region] != kNoNcsCell) {
            EXPECT_EQ(g_target.bsr_image[row.ncs[region]], '1') << "region " << region;
        }
    }

    // A second selection starts again from the default image.
    g_target.bsr_image[0] ^= 1;
    ASSERT_EQ(cpu_select(row.name), 0);
    EXPECT_EQ(std::string(g_target.bsr_image), std::string(g_target.row->default_image));
}

TEST_P(CpuSelect, PicksTheChipSelectByRegion)
{
    const CpuRow& row = GetParam();
    ASSERT_EQ(cpu_select(row.name), 0);
    for (uint32_t region = 0; region < 8; ++region) {
        uint32_t first = region << 29;
        uint32_t last = first + 0x1FFFFFFFu;
        EXPECT_EQ(cpu_ncs_cell(first), row.ncs[region]) << std::hex << first;
        EXPECT_EQ(cpu_ncs_cell(last), row.ncs[region]) << std::hex << last;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CpuSelect, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<CpuRow>& info) { return std::string(info.param.name); });

TEST(CpuTable, RowsComeInMatchingOrder)
{
    int count = 0;
    const CpuTarget* rows = cpu_table(&count);
    ASSERT_EQ(count, 4);
    for (int i = 0; i < count; ++i)
        EXPECT_STREQ(rows[i].name, kRows[i].name);
}

TEST(CpuTable, NamesFitTheOptionFieldWithRoomToSpare)
{
    // A cut -C value fills the whole field, so it must be longer than any row's name.
    int count = 0;
    const CpuTarget* rows = cpu_table(&count);
    for (int i = 0; i < count; ++i)
        EXPECT_LT(std::strlen(rows[i].name), sizeof(RunOptions::cpu_name) - 1) << rows[i].name;
}

TEST(CpuTable, UnknownNamesChangeNothing)
{
    const char* unknown[] = {"ktr5200", "KTR5200 ", " KTR5200", "KTR52000", "KTR520", "uln", "Mirta", "", "PAXON\t"};
    cpu_target_init();
    ASSERT_EQ(cpu_select("ULN"), 0);
    g_target.bsr_image[3] = 'x';
    for (const char* name : unknown) {
        EXPECT_EQ(cpu_select(name), -1) << '"' << name << '"';
        EXPECT_STREQ(g_target.row->name, "ULN");
        EXPECT_EQ(g_target.bsr_length, 185);
        EXPECT_EQ(g_target.bsr_image[3], 'x');
    }
}

TEST(CpuTable, SameLengthCpusDifferInImage)
{
    ASSERT_EQ(cpu_select("KTR5200"), 0);
    std::string ktr5200 = g_target.bsr_image;
    ASSERT_EQ(cpu_select("MIRTA"), 0);
    EXPECT_EQ(ktr5200.size(), std::strlen(g_target.bsr_image));
    EXPECT_NE(ktr5200, g_target.bsr_image);
}

}  // namespace
