// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_detect.h"

#include "flash/flash_ops.h"

namespace {

struct SetupTry {
    uint8_t setup;
    int32_t bus_width;
    int32_t interleave;
};
constexpr SetupTry kOrder[] = {{kSetup16x1, 16, 1}, {kSetup8x2, 8, 2}, {kSetup8x1, 8, 1}};

// CFI address A at byte offset 2A (4A with two chips side by side), and what it must read:
// the same byte from every chip, nothing on the lines no chip drives.
constexpr uint32_t kQry = 0x10;
constexpr uint32_t kCommandSet = 0x13;
constexpr uint32_t kDeviceSize = 0x27;

uint32_t lanes(const FlashSession& s, uint32_t code) { return s.chips == 2 ? code * 0x0101u : code; }

uint32_t cfi_word(FlashSession& s, uint32_t base, uint32_t address)
{
    return flash_read(s, base + 2 * address * static_cast<uint32_t>(s.chips));
}

// Back to read array whatever the chip: the AMD reset, then the Intel read array (each set
// ignores the other's command).
void reset_all(FlashSession& s, uint32_t base)
{
    flash_chip_enable(s, '0');
    flash_write(s, base, lanes(s, 0xF0));
    flash_write(s, base, lanes(s, 0xFF));
    flash_chip_enable(s, '1');
}

// Enters the query with the single-cycle command at chip word 0x55 (an Intel-style chip takes it
// at any address); the word read at CFI `address`, or ~0 when the chips do not show "QRY".
uint32_t query(FlashSession& s, uint32_t base, uint32_t address)
{
    flash_chip_enable(s, '0');
    flash_write(s, base + s.model.cfi_query_addr, s.model.cmd_cfi_query);
    uint32_t word = ~0u;
    if (cfi_word(s, base, kQry) == lanes(s, 'Q') && cfi_word(s, base, kQry + 1) == lanes(s, 'R') &&
        cfi_word(s, base, kQry + 2) == lanes(s, 'Y'))
        word = cfi_word(s, base, address);
    flash_chip_enable(s, '1');
    reset_all(s, base);
    return word;
}

bool variant_matches(FlashSession& s, uint32_t base, const DeviceVariant& v)
{
    if (s.identity.maker_id != lanes(s, v.maker) || s.model.*v.slot != s.identity.device_id)
        return false;
    return v.cfi_size_code == 0 || query(s, base, kDeviceSize) == lanes(s, v.cfi_size_code);
}

// The built-in model of this set-up whose codes the chip gives, or nullptr.
const FlashDescriptor* builtin_answering(BusCycles& bus, Host& host, uint32_t base, const SetupTry& t)
{
    for (const FlashDescriptor& d : flash_descriptors()) {
        FlashModel model{};
        if (flash_setup_model(d, t.bus_width, t.interleave, model) != Status::ok)
            continue;
        FlashSession s(bus, host, d, model, t.interleave);
        reset_all(s, base);
        const bool answered = flash_read_id(s, base, model.maker_id_offset, model.device_id_offset).ok();
        reset_all(s, base);
        if (!answered)
            continue;
        for (const DeviceVariant& v : d.variants)
            if (variant_matches(s, base, v))
                return &d;
    }
    return nullptr;
}

// The generic driver of the command set the CFI table names, or nullptr.
const FlashDescriptor* generic_answering(BusCycles& bus, Host& host, uint32_t base, const SetupTry& t)
{
    const FlashDescriptor& amd = flash_generic_descriptor(CommandStyle::amd);
    FlashModel model{};
    if (flash_setup_model(amd, t.bus_width, t.interleave, model) != Status::ok)
        return nullptr;
    FlashSession s(bus, host, amd, model, t.interleave);
    const uint32_t command_set = query(s, base, kCommandSet);
    if (command_set == lanes(s, 0x02))
        return &amd;
    if (command_set == lanes(s, 0x01) || command_set == lanes(s, 0x03))
        return &flash_generic_descriptor(CommandStyle::intel);
    return nullptr;
}

}  // namespace

Status flash_detect(BusCycles& bus, Host& host, uint32_t base, uint8_t setups, FlashDetection& found)
{
    for (const SetupTry& t : kOrder) {
        if ((setups & t.setup) == 0)
            continue;
        const FlashDescriptor* d = builtin_answering(bus, host, base, t);
        if (d == nullptr)
            d = generic_answering(bus, host, base, t);
        if (d != nullptr) {
            found = {d, t.bus_width, t.interleave};
            return Status::ok;
        }
    }
    return Status::refused;
}
