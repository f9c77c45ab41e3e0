// SPDX-License-Identifier: Apache-2.0
#include "sim/intel_chip.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint8_t kCmdReadArray = 0xFF;
constexpr uint8_t kCmdReadId = 0x90;
constexpr uint8_t kCmdCfiQuery = 0x98;
constexpr uint8_t kCmdReadStatus = 0x70;
constexpr uint8_t kCmdClearStatus = 0x50;
constexpr uint8_t kCmdWordProgram = 0x40;
constexpr uint8_t kCmdWordProgramAlt = 0x10;
constexpr uint8_t kCmdBufferProgram = 0xE8;
constexpr uint8_t kCmdBlockErase = 0x20;
constexpr uint8_t kCmdConfirm = 0xD0;
constexpr uint8_t kCmdLockSetup = 0x60;
constexpr uint8_t kCmdLockBlock = 0x01;
constexpr uint8_t kCmdLockDown = 0x2F;

constexpr uint8_t kLocked = 0x01;
constexpr uint8_t kLockedDown = 0x02;

// How long a lock-bit change keeps the chip busy (chosen).
constexpr uint64_t kLockNs = 10'000;

}  // namespace

IntelChip::IntelChip(const NorModel& model, bool byte_mode)
    : FlashChip(model, byte_mode), locks_(nor_unit_count(model), model.locked_at_power_up ? kLocked : 0)
{
    const uint32_t words = model.buffer_bytes / units_per_word();
    buffer_data_.assign(words, 0xFFFF);
    buffer_loaded_.assign(words, false);
}

uint8_t IntelChip::status(uint64_t now_ns) const
{
    return static_cast<uint8_t>((busy(now_ns) ? 0 : kSrReady) | errors_);
}

uint8_t IntelChip::lock_state(uint32_t address) const
{
    return static_cast<uint8_t>(locks_[block_of(address)] | (is_protected(address) ? kLocked | kLockedDown : 0));
}

uint16_t IntelChip::read(uint32_t address, uint64_t now_ns) const
{
    switch (mode_) {
    case Mode::read_array: {
        const uint32_t b = byte_address(address);
        if (byte_mode_)
            return cells()[b];
        return static_cast<uint16_t>(cells()[b] | (cells()[b + 1] << 8));
    }
    case Mode::read_id:
        return id_read(address);
    case Mode::cfi_query: {
        const uint32_t a = word_address(address) & model_.id_address_mask;
        return a < model_.cfi.size() ? model_.cfi[a] : 0;
    }
    default:
        return status(now_ns);
    }
}

uint16_t IntelChip::id_read(uint32_t address) const
{
    const uint32_t a = word_address(address) & model_.id_address_mask;
    if (a == 0)
        return model_.maker_code;
    if (a == 1)
        return byte_mode_ ? model_.device_code_byte : model_.device_code_word;
    if (a == 2)
        return lock_state(address);
    return 0;
}

void IntelChip::start(uint64_t duration_ns, uint64_t now_ns)
{
    busy_until_ns_ = now_ns + duration_ns;
    mode_ = Mode::read_status;
}

bool IntelChip::may_change(uint32_t address, uint8_t error_bit)
{
    if (lock_state(address) & kLocked) {
        ++counters_.locked_refusals;
        errors_ |= kSrLocked | error_bit;
        return false;
    }
    // A sequence-error fault sets both error bits whatever the operation.
    constexpr uint8_t kSequence = kSrEraseError | kSrProgramError;
    const uint8_t fault = (status_fault_ & kSequence) == kSequence ? (status_fault_ & (kSequence | kSrVoltage))
                                                                   : status_fault_ & (error_bit | kSrVoltage);
    errors_ |= fault;
    return fault == 0;
}

void IntelChip::sequence_error()
{
    ++counters_.sequence_errors;
    errors_ |= kSrEraseError | kSrProgramError;
    mode_ = Mode::read_status;
}

void IntelChip::write_cycle(uint32_t address, uint16_t data, uint64_t now_ns)
{
    if (busy(now_ns)) {
        ++counters_.ignored_while_busy;
        return;
    }
    const uint8_t c = static_cast<uint8_t>(data);  // only the low byte of a command counts
    switch (mode_) {
    case Mode::program_setup:
        ++counters_.word_programs;
        if (may_change(address, kSrProgramError))
            program_unit(address, data);
        start(model_.times.program_ns * program_factor(), now_ns);
        return;
    case Mode::erase_setup:
        if (c != kCmdConfirm)
            return sequence_error();
        ++counters_.block_erases;
        if (may_change(address, kSrEraseError)) {
            const NorSector unit = unit_of(address);
            erase_range(unit.start, unit.bytes);
        }
        start(model_.times.sector_erase_ns * erase_factor(), now_ns);
        return;
    case Mode::lock_setup:
        return lock_command(address, c, now_ns);
    case Mode::buffer_count: {
        const uint32_t count = c + 1u;
        if (block_of(address) != buffer_block_ || count > buffer_data_.size())
            return sequence_error();
        buffer_left_ = count;
        buffer_has_window_ = false;
        std::fill(buffer_loaded_.begin(), buffer_loaded_.end(), false);
        mode_ = Mode::buffer_load;
        return;
    }
    case Mode::buffer_load:
        return buffer_word(address, data);
    case Mode::buffer_confirm:
        return buffer_confirm(address, c, now_ns);
    default:
        break;
    }
    switch (c) {
    case kCmdReadArray:
        mode_ = Mode::read_array;
        break;
    case kCmdReadId:
        mode_ = Mode::read_id;
        break;
    case kCmdCfiQuery:
        mode_ = Mode::cfi_query;
        break;
    case kCmdReadStatus:
        mode_ = Mode::read_status;
        break;
    case kCmdClearStatus:
        ++counters_.clear_status;
        errors_ = 0;
        break;
    case kCmdWordProgram:
    case kCmdWordProgramAlt:
        mode_ = Mode::program_setup;
        break;
    case kCmdBlockErase:
        mode_ = Mode::erase_setup;
        break;
    case kCmdLockSetup:
        mode_ = Mode::lock_setup;
        break;
    case kCmdBufferProgram:
        if (model_.buffer_bytes != 0) {
            buffer_block_ = block_of(address);
            mode_ = Mode::buffer_count;
        }
        break;
    default:
        break;  // not a command of this set: ignored
    }
}

void IntelChip::lock_command(uint32_t address, uint8_t code, uint64_t now_ns)
{
    uint8_t& bits = locks_[block_of(address)];
    if (code == kCmdLockBlock) {
        bits |= kLocked;
    } else if (code == kCmdLockDown) {
        bits |= kLocked | kLockedDown;
    } else if (code != kCmdConfirm) {
        return sequence_error();
    } else if (lock_state(address) & kLockedDown) {
        errors_ |= kSrEraseError;  // a locked-down block stays locked
    } else if (model_.unlock_clears_all) {
        for (uint8_t& other : locks_)
            if ((other & kLockedDown) == 0)
                other &= static_cast<uint8_t>(~kLocked);
    } else {
        bits &= static_cast<uint8_t>(~kLocked);
    }
    start(kLockNs, now_ns);
}

void IntelChip::buffer_word(uint32_t address, uint16_t data)
{
    const uint32_t b = byte_address(address);
    const uint32_t window = b & ~(model_.buffer_bytes - 1);
    if (!buffer_has_window_) {
        buffer_window_ = window;
        buffer_has_window_ = true;
    }
    if (window != buffer_window_ || block_of(address) != buffer_block_)
        return sequence_error();
    const uint32_t index = (b - window) / units_per_word();
    buffer_data_[index] = data;
    buffer_loaded_[index] = true;
    if (--buffer_left_ == 0)
        mode_ = Mode::buffer_confirm;
}

void IntelChip::buffer_confirm(uint32_t address, uint8_t code, uint64_t now_ns)
{
    if (code != kCmdConfirm || block_of(address) != buffer_block_)
        return sequence_error();
    ++counters_.buffer_programs;
    if (may_change(address, kSrProgramError))
        for (size_t i = 0; i < buffer_data_.size(); ++i)
            if (buffer_loaded_[i]) {
                const uint32_t b = buffer_window_ + static_cast<uint32_t>(i) * units_per_word();
                program_unit(byte_mode_ ? b : b >> 1, buffer_data_[i]);
            }
    start(model_.times.buffer_program_ns * program_factor(), now_ns);
}

}  // namespace sim
