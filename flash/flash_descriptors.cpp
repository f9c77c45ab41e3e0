// SPDX-License-Identifier: Apache-2.0
// The supported flash models, as datasheet facts.
#include <cstring>

#include "flash/flash_descriptor.h"

namespace {

constexpr uint32_t kKB = 1024;

// AMD-style chips: commands at chip words 0x555 and 0x2AA.
constexpr CommandSet kAmd = {0x555, 0x2AA, 0, 0x30, false, 0};
// The same with a CFI table and a 16-word write buffer.
constexpr CommandSet kAmdCfiBuffer = {0x555, 0x2AA, 0x55, 0x30, false, 16};
// Commands at chip words 0x5555 and 0x2AAA; its 0x50 erases a 64 KB block (0x30 would erase
// only a 4 KB sector).
constexpr CommandSet kSst = {0x5555, 0x2AAA, 0x55, 0x50, true, 0};

constexpr BuiltinGeometry kLv040 = {300, 0, 1000, 5000, 512 * kKB, 1, {{8, 64 * kKB}}};
constexpr BuiltinGeometry kAl008Bottom = {
    7, 0, 1000, 14000, 1024 * kKB, 4, {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {15, 64 * kKB}}};
constexpr BuiltinGeometry kAl008Top = {
    7, 0, 1000, 14000, 1024 * kKB, 4, {{15, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}}};
constexpr BuiltinGeometry kAl004Top = {
    7, 0, 1000, 11000, 512 * kKB, 4, {{7, 64 * kKB}, {1, 32 * kKB}, {2, 8 * kKB}, {1, 16 * kKB}}};
constexpr BuiltinGeometry kAl004Bottom = {
    7, 0, 1000, 11000, 512 * kKB, 4, {{1, 16 * kKB}, {2, 8 * kKB}, {1, 32 * kKB}, {7, 64 * kKB}}};

constexpr uint8_t kSpansion = 0x01;
constexpr DeviceVariant kAl008d[] = {
    {&FlashModel::dev_s29al008d_top, 0x22DA, 0xDA, &kAl008Top, kSpansion},
    {&FlashModel::dev_s29al008d_bottom, 0x225B, 0x5B, &kAl008Bottom, kSpansion},
};
constexpr DeviceVariant kAl004d[] = {
    {&FlashModel::dev_s29al004d_top, 0x22B9, 0xB9, &kAl004Top, kSpansion},
    {&FlashModel::dev_s29al004d_bottom, 0x22BA, 0xBA, &kAl004Bottom, kSpansion},
};
// The two 040 parts share their device code; the maker code tells them apart.
constexpr DeviceVariant kEn29lv040a[] = {{&FlashModel::dev_lv040, 0x4F, 0x4F, &kLv040, 0x1C}};
constexpr DeviceVariant kAm29lv040b[] = {{&FlashModel::dev_lv040, 0x4F, 0x4F, &kLv040, kSpansion}};
// The two S29GL parts share their codes; the CFI device size tells them apart.
constexpr DeviceVariant kGl064m[] = {{&FlashModel::dev_s29gl064m, 0x227E, 0x7E, nullptr, kSpansion, 0x17}};
constexpr DeviceVariant kK8d6316[] = {{&FlashModel::dev_k8d6316, 0x22E2, 0xE2, nullptr, 0xEC}};
constexpr DeviceVariant kGl128n[] = {{&FlashModel::dev_s29gl128n, 0x227E, 0x7E, nullptr, kSpansion, 0x18}};
constexpr DeviceVariant kSst39vf6401[] = {{&FlashModel::dev_sst39vf6401, 0x236B, 0x6B, nullptr, 0xBF}};

enum Group : uint8_t { kGroupAl008d, kGroupAl004d, kGroupEn, kGroupAm, kGroupGl, kGroupSst, kGroupGeneric };

// Intel/Sharp commands are single cycles at any address; the query goes to word 0x55 by habit.
constexpr CommandSet kIntel = {0, 0, 0x55, 0x20, false, 0};

// Chips found by their CFI table: geometry, times and write buffer all from the table.
constexpr FlashDescriptor kGenericAmd = {.name = "CFI flash",
                                         .chip_bus = ChipBus::x8_x16,
                                         .setups = kSetup16x1 | kSetup8x1 | kSetup8x2,
                                         .commands = &kAmdCfiBuffer,
                                         .code_group = kGroupGeneric,
                                         .variants = {},
                                         .write_buffer = true,
                                         .buffer_from_cfi = true,
                                         .block_status = false};
constexpr FlashDescriptor kGenericIntel = {.name = "CFI flash",
                                           .chip_bus = ChipBus::x8_x16,
                                           .setups = kSetup16x1 | kSetup8x1 | kSetup8x2,
                                           .commands = &kIntel,
                                           .code_group = kGroupGeneric,
                                           .variants = {},
                                           .write_buffer = true,
                                           .style = CommandStyle::intel,
                                           .buffer_from_cfi = true};

constexpr FlashDescriptor kDescriptors[] = {
    {.name = "S29AL008D",
     .chip_bus = ChipBus::x8_x16,
     .setups = kSetup16x1 | kSetup8x1,
     .commands = &kAmd,
     .code_group = kGroupAl008d,
     .variants = kAl008d,
     .geometry = GeometrySource::builtin,
     .unlock_bypass = true},
    {.name = "S29AL004D",
     .chip_bus = ChipBus::x8_x16,
     .setups = kSetup16x1 | kSetup8x1,
     .commands = &kAmd,
     .code_group = kGroupAl004d,
     .variants = kAl004d,
     .geometry = GeometrySource::builtin,
     .unlock_bypass = true},
    // Its manufacturer code 0x7F at address 0 is a JEDEC continuation code; the real one sits
    // at 0x100.
    {.name = "EN29LV040A",
     .chip_bus = ChipBus::x8_only,
     .setups = kSetup8x1 | kSetup8x2,
     .commands = &kAmd,
     .code_group = kGroupEn,
     .variants = kEn29lv040a,
     .maker_code_address = 0x100,
     .geometry = GeometrySource::builtin},
    {.name = "AM29LV040B",
     .chip_bus = ChipBus::x8_only,
     .setups = kSetup8x1 | kSetup8x2,
     .commands = &kAmd,
     .code_group = kGroupAm,
     .variants = kAm29lv040b,
     .geometry = GeometrySource::builtin,
     .unlock_bypass = true},
    {.name = "S29GL064M",
     .chip_bus = ChipBus::x8_x16,
     .setups = kSetup16x1,
     .commands = &kAmdCfiBuffer,
     .code_group = kGroupGl,
     .variants = kGl064m,
     .write_buffer = true},
    // Shares the command set of the S29GL parts, write buffer included, but is programmed a
    // word at a time.
    {.name = "K8D6316",
     .chip_bus = ChipBus::x8_x16,
     .setups = kSetup16x1,
     .commands = &kAmdCfiBuffer,
     .code_group = kGroupGl,
     .variants = kK8d6316},
    {.name = "S29GL128N",
     .chip_bus = ChipBus::x8_x16,
     .setups = kSetup16x1,
     .commands = &kAmdCfiBuffer,
     .code_group = kGroupGl,
     .variants = kGl128n,
     .write_buffer = true},
    {.name = "SST39VF6401",
     .chip_bus = ChipBus::x16_only,
     .setups = kSetup16x1,
     .commands = &kSst,
     .code_group = kGroupSst,
     .variants = kSst39vf6401,
     .geometry = GeometrySource::cfi_blocks_region,
     .block_status = false},  // its software-ID mode defines the two codes alone
};

constexpr bool builtin_is_whole(const BuiltinGeometry& g)
{
    uint32_t covered = 0;
    for (int r = 0; r < g.region_count; ++r)
        covered += g.regions[r].blocks * g.regions[r].block_size;
    return g.region_count >= 1 && g.region_count <= 4 && covered == g.device_size;
}

constexpr bool descriptors_are_whole()
{
    for (const FlashDescriptor& d : kDescriptors) {
        if (d.variants.empty() || d.setups == 0)
            return false;
        for (const DeviceVariant& v : d.variants) {
            if (v.word_code == 0 || v.byte_code == 0)
                return false;
            if (v.builtin != nullptr && !builtin_is_whole(*v.builtin))
                return false;
            if ((v.builtin != nullptr) != (d.geometry == GeometrySource::builtin))
                return false;
        }
        if (d.write_buffer && d.commands->buffer_words == 0)
            return false;
    }
    return true;
}
static_assert(descriptors_are_whole(), "every model needs its codes, and built-in regions that cover its device");

}  // namespace

std::span<const FlashDescriptor> flash_descriptors() { return kDescriptors; }

const FlashDescriptor& flash_generic_descriptor(CommandStyle style)
{
    return style == CommandStyle::intel ? kGenericIntel : kGenericAmd;
}

// Intel-style chips by name: the generic driver reads all they need from their CFI tables. They
// stay out of the menu, whose numbers people have learnt.
constexpr FlashDescriptor intel_named(const char* name, uint8_t setups)
{
    FlashDescriptor d = kGenericIntel;
    d.name = name;
    d.setups = setups;
    return d;
}
constexpr FlashDescriptor kIntelNamed[] = {intel_named("28F128J3", kSetup16x1 | kSetup8x1 | kSetup8x2),
                                           intel_named("28F256P30", kSetup16x1)};

const FlashDescriptor* flash_descriptor_find(const char* name)
{
    for (const auto& table :
         {std::span<const FlashDescriptor>(kDescriptors), std::span<const FlashDescriptor>(kIntelNamed)})
        for (const FlashDescriptor& d : table)
            if (std::strcmp(d.name, name) == 0)
                return &d;
    return nullptr;
}

uint8_t flash_setup_of(int32_t bus_width, int32_t interleave)
{
    if (bus_width == 16 && interleave == 1)
        return kSetup16x1;
    if (bus_width == 8 && interleave == 1)
        return kSetup8x1;
    if (bus_width == 8 && interleave == 2)
        return kSetup8x2;
    return 0;
}
