// SPDX-License-Identifier: Apache-2.0
#include "sim/nor_models.h"

#include <array>

namespace sim {
namespace {

constexpr uint32_t kKB = 1024;
constexpr uint64_t kUs = 1000;
constexpr uint64_t kMs = 1000 * kUs;
constexpr uint64_t kS = 1000 * kMs;

// CFI query table fields, laid out at their CFI addresses by make_cfi.
struct CfiFields {
    std::array<uint8_t, 2> command_set;
    std::array<uint8_t, 2> extended_table;
    std::array<uint8_t, 4> voltages;
    uint8_t word_program;    // typical, 2^n us
    uint8_t buffer_program;  // typical, 2^n us
    uint8_t block_erase;     // typical, 2^n ms
    uint8_t chip_erase;      // typical, 2^n ms
    std::array<uint8_t, 4> max_multipliers;
    uint8_t device_size;  // 2^n bytes
    std::array<uint8_t, 2> interface;
    std::array<uint8_t, 2> write_buffer;
    uint8_t region_count;
    std::array<uint8_t, 4> region1;
    std::array<uint8_t, 4> region2;
};

constexpr size_t kCfiTableBytes = 0x35;

template <size_t N = kCfiTableBytes>
constexpr std::array<uint8_t, N> make_cfi(const CfiFields& f)
{
    std::array<uint8_t, N> t{};
    auto put = [&t](size_t at, auto const& bytes) {
        for (uint8_t b : bytes)
            t[at++] = b;
    };
    put(0x10, std::array<uint8_t, 3>{'Q', 'R', 'Y'});
    put(0x13, f.command_set);
    put(0x15, f.extended_table);
    put(0x1B, f.voltages);
    t[0x1F] = f.word_program;
    t[0x20] = f.buffer_program;
    t[0x21] = f.block_erase;
    t[0x22] = f.chip_erase;
    put(0x23, f.max_multipliers);
    t[0x27] = f.device_size;
    put(0x28, f.interface);
    put(0x2A, f.write_buffer);
    t[0x2C] = f.region_count;
    put(0x2D, f.region1);
    put(0x31, f.region2);
    return t;
}

constexpr auto kCfiS29gl064m = make_cfi({{0x02, 0x00},
                                         {0x40, 0x00},
                                         {0x27, 0x36, 0x00, 0x00},
                                         0x07,
                                         0x07,
                                         0x0A,
                                         0x00,
                                         {0x03, 0x05, 0x04, 0x00},
                                         0x17,
                                         {0x02, 0x00},
                                         {0x05, 0x00},
                                         0x02,
                                         {0x07, 0x00, 0x20, 0x00},
                                         {0x7E, 0x00, 0x00, 0x01}});
constexpr auto kCfiS29gl128n = make_cfi({{0x02, 0x00},
                                         {0x40, 0x00},
                                         {0x27, 0x36, 0x00, 0x00},
                                         0x07,
                                         0x07,
                                         0x0A,
                                         0x00,
                                         {0x03, 0x05, 0x04, 0x00},
                                         0x18,
                                         {0x02, 0x00},
                                         {0x05, 0x00},
                                         0x01,
                                         {0x7F, 0x00, 0x00, 0x02},
                                         {0x00, 0x00, 0x00, 0x00}});
// Timing codes and multipliers chosen (not from a datasheet).
constexpr auto kCfiK8d6316 = make_cfi({{0x02, 0x00},
                                       {0x40, 0x00},
                                       {0x27, 0x36, 0x00, 0x00},
                                       0x04,
                                       0x00,
                                       0x0A,
                                       0x0F,
                                       {0x04, 0x00, 0x04, 0x04},
                                       0x17,
                                       {0x02, 0x00},
                                       {0x00, 0x00},
                                       0x02,
                                       {0x07, 0x00, 0x20, 0x00},
                                       {0x7E, 0x00, 0x00, 0x01}});
// Two regions over the same memory: its 4 kKB sectors and its 64 kKB blocks.
constexpr auto kCfiSst39vf6401 = make_cfi({{0x01, 0x07},
                                           {0x00, 0x00},
                                           {0x27, 0x36, 0x00, 0x00},
                                           0x04,
                                           0x00,
                                           0x04,
                                           0x06,
                                           {0x01, 0x00, 0x01, 0x01},
                                           0x17,
                                           {0x01, 0x00},
                                           {0x00, 0x00},
                                           0x02,
                                           {0xFF, 0x07, 0x10, 0x00},
                                           {0x7F, 0x00, 0x00, 0x01}});

// Intel-style tables run on to the extended query table ("PRI") at the address in 0x15-0x16:
// "PRI", the version, then the optional-feature word, whose bit 5 says that blocks lock and
// unlock one by one.
constexpr size_t kIntelCfiBytes = 0x120;

constexpr std::array<uint8_t, kIntelCfiBytes> with_pri(std::array<uint8_t, kIntelCfiBytes> t, size_t at,
                                                       std::array<uint8_t, 9> pri)
{
    for (uint8_t b : pri)
        t[at++] = b;
    return t;
}

// Voltages chosen as the AMD-style chips'; the feature words chosen as the J3's (erase suspend, legacy lock) and the
// P30's (individual block locking among others).
constexpr auto kCfi28f128j3 = with_pri(make_cfi<kIntelCfiBytes>({{0x01, 0x00},
                                                                 {0x31, 0x00},
                                                                 {0x27, 0x36, 0x00, 0x00},
                                                                 0x07,
                                                                 0x07,
                                                                 0x0A,
                                                                 0x00,
                                                                 {0x04, 0x04, 0x04, 0x00},
                                                                 0x18,
                                                                 {0x02, 0x00},
                                                                 {0x05, 0x00},
                                                                 0x01,
                                                                 {0x7F, 0x00, 0x00, 0x02},
                                                                 {0x00, 0x00, 0x00, 0x00}}),
                                       0x31, {'P', 'R', 'I', '1', '1', 0x0A, 0x00, 0x00, 0x00});
constexpr auto kCfi28f256p30 = with_pri(make_cfi<kIntelCfiBytes>({{0x01, 0x00},
                                                                  {0x0A, 0x01},
                                                                  {0x27, 0x36, 0x00, 0x00},
                                                                  0x06,
                                                                  0x09,
                                                                  0x0A,
                                                                  0x00,
                                                                  {0x04, 0x03, 0x02, 0x00},
                                                                  0x19,
                                                                  {0x01, 0x00},
                                                                  {0x06, 0x00},
                                                                  0x02,
                                                                  {0x03, 0x00, 0x80, 0x00},
                                                                  {0xFE, 0x00, 0x00, 0x02}}),
                                        0x10A, {'P', 'R', 'I', '1', '4', 0xE6, 0x03, 0x00, 0x00});

constexpr NorRegion kAl008Top[] = {{15, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}};
constexpr NorRegion kAl008Bottom[] = {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {15, 64 * kKB}};
constexpr NorRegion kAl004Top[] = {{7, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}};
constexpr NorRegion kAl004Bottom[] = {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {7, 64 * kKB}};
constexpr NorRegion kUniform8x64K[] = {{8, 64 * kKB}};
constexpr NorRegion kBottom8x8K127x64K[] = {{8, 8 * kKB}, {127, 64 * kKB}};
constexpr NorRegion kUniform128x128K[] = {{128, 128 * kKB}};
constexpr NorRegion kUniform2048x4K[] = {{2048, 4 * kKB}};
constexpr NorRegion kBottom4x32K255x128K[] = {{4, 32 * kKB}, {255, 128 * kKB}};

// Autoselect and CFI reads decode A8..A0 (chosen: enough for every code location,
// and a start address on a sector boundary still finds the codes).
constexpr uint32_t kIdMask = 0x1FF;
// AMD-style chips decode A10..A0 of a command cycle; the SST part A14..A0.
constexpr uint32_t kAmdCmdMask = 0x7FF;
constexpr uint32_t kSstCmdMask = 0x7FFF;

// Maker 0x89; single-cycle commands at any address, so no command addresses. The J3 keeps its
// lock bits and unlocks every block at once; the P30 locks every block at power-up.
constexpr NorModel intel_model(std::string_view name, NorBusWidth bus, uint32_t size, uint16_t device,
                               std::span<const NorRegion> blocks, std::span<const uint8_t> cfi, NorTimes times,
                               uint32_t buffer_bytes, bool locked_at_power_up, bool unlock_clears_all)
{
    return {.name = name,
            .boot = "",
            .bus = bus,
            .size_bytes = size,
            .maker_code = 0x89,
            .device_code_word = device,
            .device_code_byte = static_cast<uint8_t>(device),
            .maker_extra_address = 0,
            .maker_extra_code = 0,
            .id_address_mask = kIdMask,
            .sectors = blocks,
            .cfi = cfi,
            .times = times,
            .buffer_bytes = buffer_bytes,
            .cmd_addr1 = 0,
            .cmd_addr2 = 0,
            .cmd_address_mask = 0,
            .cfi_query_addr = 0x55,
            .cfi_three_cycle_entry = false,
            .sector_erase_cmd = 0x20,
            .block_erase_cmd = 0,
            .block_bytes = 0,
            .unlock_bypass = false,
            .command_set = NorCommandSet::intel,
            .locked_at_power_up = locked_at_power_up,
            .unlock_clears_all = unlock_clears_all};
}

constexpr NorModel kModels[] = {
    {"S29AL008D",
     "top",
     NorBusWidth::x8_x16,
     1024 * kKB,
     0x01,
     0x22DA,
     0xDA,
     0,
     0,
     kIdMask,
     kAl008Top,
     {},
     {7 * kUs, 0, 700 * kMs, 0, 14 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     true},
    {"S29AL008D",
     "bottom",
     NorBusWidth::x8_x16,
     1024 * kKB,
     0x01,
     0x225B,
     0x5B,
     0,
     0,
     kIdMask,
     kAl008Bottom,
     {},
     {7 * kUs, 0, 700 * kMs, 0, 14 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     true},
    // Chip erase time chosen from the family.
    {"S29AL004D",
     "top",
     NorBusWidth::x8_x16,
     512 * kKB,
     0x01,
     0x22B9,
     0xB9,
     0,
     0,
     kIdMask,
     kAl004Top,
     {},
     {7 * kUs, 0, 700 * kMs, 0, 11 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     true},
    {"S29AL004D",
     "bottom",
     NorBusWidth::x8_x16,
     512 * kKB,
     0x01,
     0x22BA,
     0xBA,
     0,
     0,
     kIdMask,
     kAl004Bottom,
     {},
     {7 * kUs, 0, 700 * kMs, 0, 11 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     true},
    // Maker 0x7F is a JEDEC continuation code; the real maker code sits at 0x100.
    // Chip erase time chosen.
    {"EN29LV040A",
     "",
     NorBusWidth::x8_only,
     512 * kKB,
     0x7F,
     0x4F,
     0x4F,
     0x100,
     0x1C,
     kIdMask,
     kUniform8x64K,
     {},
     {8 * kUs, 0, 500 * kMs, 0, 4 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     false},
    {"AM29LV040B",
     "",
     NorBusWidth::x8_only,
     512 * kKB,
     0x01,
     0x4F,
     0x4F,
     0,
     0,
     kIdMask,
     kUniform8x64K,
     {},
     {9 * kUs, 0, 700 * kMs, 0, 11 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     true},
    // Byte-mode device codes of the S29GL and K8D parts chosen as the word code's low
    // byte. Chip erase times chosen.
    {"S29GL064M",
     "",
     NorBusWidth::x8_x16,
     8192 * kKB,
     0x01,
     0x227E,
     0x7E,
     0,
     0,
     kIdMask,
     kBottom8x8K127x64K,
     kCfiS29gl064m,
     {60 * kUs, 240 * kUs, 500 * kMs, 0, 64 * kS},
     32,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     false},
    {"S29GL128N",
     "",
     NorBusWidth::x8_x16,
     16384 * kKB,
     0x01,
     0x227E,
     0x7E,
     0,
     0,
     kIdMask,
     kUniform128x128K,
     kCfiS29gl128n,
     {60 * kUs, 240 * kUs, 500 * kMs, 0, 64 * kS},
     32,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     false},
    {"K8D6316",
     "",
     NorBusWidth::x8_x16,
     8192 * kKB,
     0xEC,
     0x22E2,
     0xE2,
     0,
     0,
     kIdMask,
     kBottom8x8K127x64K,
     kCfiK8d6316,
     {9 * kUs, 0, 700 * kMs, 0, 32 * kS},
     0,
     0x555,
     0x2AA,
     kAmdCmdMask,
     0x55,
     false,
     0x30,
     0,
     0,
     false},
    // 0x30 erases a 4 kKB sector and 0x50 a 64 kKB block on this revision.
    {"SST39VF6401",
     "",
     NorBusWidth::x16_only,
     8192 * kKB,
     0xBF,
     0x236B,
     0x6B,
     0,
     0,
     kIdMask,
     kUniform2048x4K,
     kCfiSst39vf6401,
     {7 * kUs, 0, 18 * kMs, 18 * kMs, 40 * kMs},
     0,
     0x5555,
     0x2AAA,
     kSstCmdMask,
     0x55,
     true,
     0x30,
     0x50,
     64 * kKB,
     false,
     NorCommandSet::amd,
     false,
     false,
     false},
    // Intel-style chips. Times chosen from the family for the P30, a bottom-boot part (the
    // top-boot one answers 0x8919).
    intel_model("28F128J3", NorBusWidth::x8_x16, 16384 * kKB, 0x0018, kUniform128x128K, kCfi28f128j3,
                {128 * kUs, 128 * kUs, 1 * kS, 0, 0}, 32, false, true),
    intel_model("28F256P30", NorBusWidth::x16_only, 32768 * kKB, 0x891C, kBottom4x32K255x128K, kCfi28f256p30,
                {64 * kUs, 512 * kUs, 1 * kS, 0, 0}, 64, true, false),
};

constexpr bool covers_size(const NorModel& m)
{
    uint64_t total = 0;
    for (const NorRegion& r : m.sectors)
        total += uint64_t{r.count} * r.bytes;
    return total == m.size_bytes;
}

constexpr bool all_cover_size()
{
    for (const NorModel& m : kModels)
        if (!covers_size(m))
            return false;
    return true;
}
static_assert(all_cover_size(), "sector runs must add up to the chip size");

}  // namespace

std::span<const NorModel> nor_models() { return kModels; }

const NorModel* nor_model_find(std::string_view text)
{
    std::string_view name = text;
    std::string_view boot;
    if (size_t colon = text.find(':'); colon != std::string_view::npos) {
        name = text.substr(0, colon);
        boot = text.substr(colon + 1);
        if (boot.empty())
            return nullptr;
    }
    for (const NorModel& m : kModels) {
        if (m.name != name)
            continue;
        if (m.boot.empty())
            return boot.empty() ? &m : nullptr;
        if (m.boot == (boot.empty() ? std::string_view{"top"} : boot))
            return &m;
    }
    return nullptr;
}

NorSector nor_sector_of(const NorModel& model, uint32_t byte_address)
{
    uint32_t offset = byte_address & (model.size_bytes - 1);
    uint32_t start = 0;
    for (const NorRegion& r : model.sectors) {
        uint32_t run_bytes = r.count * r.bytes;
        if (offset < start + run_bytes) {
            uint32_t index = (offset - start) / r.bytes;
            return {start + index * r.bytes, r.bytes};
        }
        start += run_bytes;
    }
    return {0, model.size_bytes};  // unreachable: the runs cover the chip
}

uint32_t nor_unit_count(const NorModel& model)
{
    if (model.block_bytes != 0)
        return model.size_bytes / model.block_bytes;
    uint32_t count = 0;
    for (const NorRegion& r : model.sectors)
        count += r.count;
    return count;
}

uint32_t nor_unit_index(const NorModel& model, uint32_t byte_address)
{
    const uint32_t offset = byte_address & (model.size_bytes - 1);
    if (model.block_bytes != 0)
        return offset / model.block_bytes;
    uint32_t start = 0;
    uint32_t index = 0;
    for (const NorRegion& r : model.sectors) {
        if (offset < start + r.count * r.bytes)
            return index + (offset - start) / r.bytes;
        start += r.count * r.bytes;
        index += r.count;
    }
    return 0;  // unreachable: the runs cover the chip
}

NorSector nor_unit_of(const NorModel& model, uint32_t byte_address)
{
    if (model.block_bytes == 0)
        return nor_sector_of(model, byte_address);
    return {(byte_address & (model.size_bytes - 1)) & ~(model.block_bytes - 1), model.block_bytes};
}

}  // namespace sim
