// SPDX-License-Identifier: Apache-2.0
#include "sim/nor_chip.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint8_t kCmdUnlock1 = 0xAA;
constexpr uint8_t kCmdUnlock2 = 0x55;
constexpr uint8_t kCmdReset = 0xF0;
constexpr uint8_t kCmdAutoselect = 0x90;
constexpr uint8_t kCmdCfiQuery = 0x98;
constexpr uint8_t kCmdProgram = 0xA0;
constexpr uint8_t kCmdEraseSetup = 0x80;
constexpr uint8_t kCmdChipErase = 0x10;
constexpr uint8_t kCmdWriteBuffer = 0x25;
constexpr uint8_t kCmdBufferConfirm = 0x29;
constexpr uint8_t kCmdUnlockBypass = 0x20;
constexpr uint8_t kCmdBypassReset = 0x90;  // then 00
constexpr uint8_t kCmdBypassResetConfirm = 0x00;

constexpr uint16_t kDq7 = 0x80;
constexpr uint16_t kDq6 = 0x40;
constexpr uint16_t kDq1 = 0x02;

// A program or erase aimed at a protected sector only shows busy for a moment.
constexpr uint64_t kProtectedProgramNs = 1'000;
constexpr uint64_t kProtectedEraseNs = 100'000;

}  // namespace

NorChip::NorChip(const NorModel& model, bool byte_mode) : FlashChip(model, byte_mode)
{
    uint32_t units = model.buffer_bytes / (byte_mode_ ? 1 : 2);
    buffer_data_.assign(units, 0xFFFF);
    buffer_loaded_.assign(units, false);
}

// ---- addresses ----

bool NorChip::is_cmd(uint32_t address, uint32_t cmd_addr) const
{
    if (byte_mode_ && model_.bus == NorBusWidth::x8_x16) {
        // The datasheets' byte-mode addresses (0xAAA, 0x555, 0xAA) decode A-1 as well:
        // it continues the alternating bit pattern of the word address.
        const uint32_t byte_cmd = cmd_addr << 1 | (~cmd_addr & 1u);
        return (address & (model_.cmd_address_mask << 1 | 1u)) == byte_cmd;
    }
    return (word_address(address) & model_.cmd_address_mask) == cmd_addr;
}

bool NorChip::same_sector(uint32_t a, uint32_t b) const
{
    return nor_sector_of(model_, byte_address(a)).start == nor_sector_of(model_, byte_address(b)).start;
}

// ---- state over time ----

NorChip::Mode NorChip::mode(uint64_t now_ns) const
{
    bool running = mode_ == Mode::programming || mode_ == Mode::erasing;
    return (running && now_ns >= busy_until_ns_) ? after_busy_ : mode_;
}

bool NorChip::in_bypass(uint64_t now_ns) const
{
    switch (mode(now_ns)) {
    case Mode::bypass:
    case Mode::bypass_program_setup:
    case Mode::bypass_reset_setup:
        return true;
    case Mode::programming:
        return after_busy_ == Mode::bypass;
    default:
        return false;
    }
}

bool NorChip::busy(uint64_t now_ns) const
{
    Mode m = mode(now_ns);
    return m == Mode::programming || m == Mode::erasing;
}

void NorChip::settle(uint64_t now_ns) { mode_ = mode(now_ns); }

void NorChip::start_busy(Mode mode, uint64_t duration_ns, uint64_t now_ns, Mode then)
{
    mode_ = mode;
    busy_until_ns_ = now_ns + duration_ns;
    after_busy_ = then;
}

// ---- cycles ----

void NorChip::read_cycle(uint64_t now_ns)
{
    settle(now_ns);
    ++counters_.read_cycles;
    switch (mode_) {
    case Mode::programming:
    case Mode::erasing:
    case Mode::buffer_abort:
    case Mode::abort_unlock1:
    case Mode::abort_unlock2:
        toggle_ = !toggle_;
        break;
    default:
        break;
    }
}

void NorChip::write_cycle(uint32_t address, uint16_t data, uint64_t now_ns)
{
    settle(now_ns);
    ++counters_.write_cycles;
    if (busy(now_ns)) {
        ++counters_.ignored_while_busy;
        return;
    }
    command(address, data, now_ns);
}

uint16_t NorChip::read(uint32_t address, uint64_t now_ns) const
{
    switch (mode(now_ns)) {
    case Mode::programming:
    case Mode::erasing:
    case Mode::buffer_abort:
    case Mode::abort_unlock1:
    case Mode::abort_unlock2:
        return status();
    case Mode::autoselect:
        return autoselect_read(address);
    case Mode::cfi_query:
        return cfi_read(address);
    default:
        return array_read(address);
    }
}

uint16_t NorChip::status() const
{
    uint16_t s = toggle_ ? kDq6 : 0;
    if (mode_ == Mode::programming)
        s |= status_dq7_;
    if (mode_ == Mode::buffer_abort || mode_ == Mode::abort_unlock1 || mode_ == Mode::abort_unlock2)
        s |= status_dq7_ | kDq1;
    return s;  // erasing: kDq7 = 0
}

uint16_t NorChip::array_read(uint32_t address) const
{
    uint32_t b = byte_address(address);
    if (byte_mode_)
        return cells()[b];
    return static_cast<uint16_t>(cells()[b] | (cells()[b + 1] << 8));
}

uint16_t NorChip::autoselect_read(uint32_t address) const
{
    uint32_t a = word_address(address) & model_.id_address_mask;
    if (a == 0)
        return model_.maker_code;
    if (a == 1)
        return byte_mode_ ? model_.device_code_byte : model_.device_code_word;
    if (a == 2 && model_.sector_status)
        return is_protected(address) ? 1 : 0;
    if (model_.maker_extra_address != 0 && a == model_.maker_extra_address)
        return model_.maker_extra_code;
    return array_read(address);
}

uint16_t NorChip::cfi_read(uint32_t address) const
{
    uint32_t a = word_address(address) & model_.id_address_mask;
    return a < model_.cfi.size() ? model_.cfi[a] : 0;
}

// ---- the command state machine ----

void NorChip::command(uint32_t address, uint16_t data, uint64_t now_ns)
{
    const uint8_t c = static_cast<uint8_t>(data);  // only kDq7..kDq0 of a command count
    const bool has_cfi = !model_.cfi.empty();
    const bool at1 = is_cmd(address, model_.cmd_addr1);
    const bool at2 = is_cmd(address, model_.cmd_addr2);

    switch (mode_) {
    case Mode::read_array:
        if (c == kCmdUnlock1 && at1) {
            mode_ = Mode::unlock1;
        } else if (c == kCmdCfiQuery && has_cfi && is_cmd(address, model_.cfi_query_addr)) {
            mode_ = Mode::cfi_query;
            ++counters_.cfi_single_entries;
        }
        break;
    case Mode::unlock1:
        mode_ = (c == kCmdUnlock2 && at2) ? Mode::unlock2 : Mode::read_array;
        break;
    case Mode::unlock2:
        mode_ = Mode::read_array;
        if (c == kCmdWriteBuffer && model_.buffer_bytes != 0) {
            mode_ = Mode::buffer_count;
            buffer_sector_ = address;
        } else if (!at1) {
            break;
        } else if (c == kCmdAutoselect) {
            mode_ = Mode::autoselect;
        } else if (c == kCmdProgram) {
            mode_ = Mode::program_setup;
        } else if (c == kCmdEraseSetup) {
            mode_ = Mode::erase_setup;
        } else if (c == kCmdCfiQuery && has_cfi && model_.cfi_three_cycle_entry) {
            mode_ = Mode::cfi_query;
            ++counters_.cfi_three_cycle_entries;
        } else if (c == kCmdUnlockBypass && model_.unlock_bypass) {
            mode_ = Mode::bypass;
        }
        break;
    case Mode::autoselect:
        if (c == kCmdReset) {
            mode_ = Mode::read_array;
        } else if (c == kCmdCfiQuery && has_cfi && is_cmd(address, model_.cfi_query_addr)) {
            mode_ = Mode::cfi_query;
            ++counters_.cfi_single_entries;
        }
        break;
    case Mode::cfi_query:
        if (c == kCmdReset)
            mode_ = Mode::read_array;
        break;
    case Mode::program_setup:
        ++counters_.programs;
        start_program(address, data, now_ns, Mode::read_array);
        break;
    case Mode::erase_setup:
        mode_ = (c == kCmdUnlock1 && at1) ? Mode::erase_unlock1 : Mode::read_array;
        break;
    case Mode::erase_unlock1:
        mode_ = (c == kCmdUnlock2 && at2) ? Mode::erase_unlock2 : Mode::read_array;
        break;
    case Mode::erase_unlock2:
        mode_ = Mode::read_array;
        if (c == kCmdChipErase && at1) {
            ++counters_.chip_erases;
            erase_chip(now_ns);
        } else if ((c == model_.sector_erase_cmd || (model_.block_erase_cmd != 0 && c == model_.block_erase_cmd)) &&
                   is_protected(address)) {
            ++counters_.protected_refusals;
            start_busy(Mode::erasing, kProtectedEraseNs, now_ns);
        } else if (c == model_.sector_erase_cmd) {
            ++counters_.sector_erases;
            NorSector s = nor_sector_of(model_, byte_address(address));
            erase_unit(s.start, s.bytes, model_.times.sector_erase_ns, now_ns);
        } else if (model_.block_erase_cmd != 0 && c == model_.block_erase_cmd) {
            ++counters_.sector_erases;
            erase_unit(byte_address(address) & ~(model_.block_bytes - 1), model_.block_bytes,
                       model_.times.block_erase_ns, now_ns);
        }
        break;
    case Mode::buffer_count: {
        status_dq7_ = static_cast<uint8_t>(~data & kDq7);
        uint32_t count = c + 1u;
        if (!same_sector(address, buffer_sector_) || count > buffer_data_.size()) {
            abort_buffer();
            break;
        }
        buffer_left_ = count;
        buffer_has_page_ = false;
        std::fill(buffer_loaded_.begin(), buffer_loaded_.end(), false);
        mode_ = Mode::buffer_load;
        break;
    }
    case Mode::buffer_load: {
        status_dq7_ = static_cast<uint8_t>(~data & kDq7);
        uint32_t b = byte_address(address);
        uint32_t page = b & ~(model_.buffer_bytes - 1);
        if (!buffer_has_page_) {
            buffer_page_ = page;
            buffer_has_page_ = true;
        }
        if (page != buffer_page_ || !same_sector(address, buffer_sector_)) {
            abort_buffer();
            break;
        }
        uint32_t index = (b - page) / (byte_mode_ ? 1 : 2);
        buffer_data_[index] = data;
        buffer_loaded_[index] = true;
        if (--buffer_left_ == 0)
            mode_ = Mode::buffer_confirm;
        break;
    }
    case Mode::buffer_confirm:
        if (c != kCmdBufferConfirm || !same_sector(address, buffer_sector_)) {
            abort_buffer();
            break;
        }
        ++counters_.buffer_programs;
        for (size_t i = 0; i < buffer_data_.size(); ++i) {
            if (!buffer_loaded_[i])
                continue;
            uint32_t b = buffer_page_ + static_cast<uint32_t>(i) * (byte_mode_ ? 1 : 2);
            if (!is_protected(byte_mode_ ? b : b >> 1))
                program_unit(byte_mode_ ? b : b >> 1, buffer_data_[i]);
        }
        start_busy(Mode::programming, model_.times.buffer_program_ns * program_factor(), now_ns);
        break;
    case Mode::buffer_abort:
        if (c == kCmdUnlock1 && at1)
            mode_ = Mode::abort_unlock1;
        break;
    case Mode::abort_unlock1:
        mode_ = (c == kCmdUnlock2 && at2) ? Mode::abort_unlock2 : Mode::buffer_abort;
        break;
    case Mode::abort_unlock2:
        mode_ = (c == kCmdReset) ? Mode::read_array : Mode::buffer_abort;
        break;
    // Nothing but the bypass program and the bypass reset leaves this state: the
    // unlock cycles of the normal commands, F0 and every other write are ignored.
    // An autoselect's 90 is taken as the first cycle of the bypass reset, so a tool
    // that forgot the reset reads the array instead of the codes.
    case Mode::bypass:
        if (c == kCmdProgram)
            mode_ = Mode::bypass_program_setup;
        else if (c == kCmdBypassReset)
            mode_ = Mode::bypass_reset_setup;
        break;
    case Mode::bypass_program_setup:
        ++counters_.bypass_programs;
        start_program(address, data, now_ns, Mode::bypass);
        break;
    case Mode::bypass_reset_setup:
        // Anything but 00 drops the half-written reset: still in bypass.
        mode_ = c == kCmdBypassResetConfirm ? Mode::read_array : Mode::bypass;
        break;
    case Mode::programming:
    case Mode::erasing:
        break;  // busy: filtered out by write_cycle
    }
}

void NorChip::start_program(uint32_t address, uint16_t data, uint64_t now_ns, Mode then)
{
    status_dq7_ = static_cast<uint8_t>(~data & kDq7);
    if (is_protected(address)) {
        ++counters_.protected_refusals;
        start_busy(Mode::programming, kProtectedProgramNs, now_ns, then);
        return;
    }
    program_unit(address, data);
    start_busy(Mode::programming, model_.times.program_ns * program_factor(), now_ns, then);
}

// A chip erase skips the protected sectors.
void NorChip::erase_chip(uint64_t now_ns)
{
    for (uint32_t at = 0; at < model_.size_bytes;) {
        const NorSector unit = nor_unit_of(model_, at);
        if (!is_protected(byte_mode_ ? at : at >> 1))
            erase_range(unit.start, unit.bytes);
        at = unit.start + unit.bytes;
    }
    start_busy(Mode::erasing, model_.times.chip_erase_ns * erase_factor(), now_ns);
}

void NorChip::abort_buffer()
{
    ++counters_.buffer_aborts;
    mode_ = Mode::buffer_abort;
}

// As the datasheets tell of a protected sector: busy for about 100 us, then nothing changed.
void NorChip::erase_unit(uint32_t start, uint32_t bytes, uint64_t typical_ns, uint64_t now_ns)
{
    const bool ignored = erase_ignored(start, bytes);
    if (!ignored)
        erase_range(start, bytes);
    start_busy(Mode::erasing, (ignored ? kProtectedEraseNs : typical_ns) * erase_factor(), now_ns);
}

}  // namespace sim
