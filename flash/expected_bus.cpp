// SPDX-License-Identifier: Apache-2.0
#include "flash/expected_bus.h"

#include <algorithm>

#include "flash/expected_cfi.h"
#include "flash/flash_poll.h"

namespace {
// Autoselect answers at small offsets from a block's start; blocks are larger than this.
constexpr uint32_t kAutoselectSpan = 0xFFF;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
}  // namespace

ExpectedBus::ExpectedBus(SelectedTarget& target, SvfWriter& writer, const FlashDescriptor& descriptor,
                         const FlashModel& model, int32_t chips)
    : target_(target), writer_(writer), model_(model), chips_(chips), cfi_(expected_cfi_table(descriptor.name))
{
    // The first variant's codes: the file is written for that chip.
    const DeviceVariant& variant = descriptor.variants[0];
    maker_ = both_chips(variant.maker);
    device_ = both_chips(model.*variant.slot);
}

uint32_t ExpectedBus::both_chips(uint32_t value) const
{
    return model_.data_bits == 16 && chips_ == 2 ? (value & 0xFF) * 0x0101u : value;
}

bool ExpectedBus::expected(uint32_t address, uint32_t& word) const
{
    if (mode_ == Mode::query) {
        // CFI byte n sits at byte offset 2n of each chip.
        const uint32_t n = (address / (2 * static_cast<uint32_t>(chips_))) & 0xFF;
        word = both_chips(n < cfi_.size() ? cfi_[n] : 0);
        return true;
    }
    if (mode_ == Mode::autoselect) {
        const uint32_t offset = address & kAutoselectSpan;
        if (offset == model_.maker_id_offset)
            word = maker_;
        else if (offset == model_.device_id_offset)
            word = device_;
        else if (offset == model_.block_status_offset)
            word = 0;  // not protected: a protected block fails the file here
        else
            return false;
        return true;
    }
    if (const auto found = words_.find(address); found != words_.end()) {
        word = found->second;
        return true;
    }
    word = model_.data_mask;
    return std::any_of(erased_.begin(), erased_.end(),
                       [&](const auto& range) { return address >= range.first && address < range.second; });
}

uint32_t ExpectedBus::bus_read(uint32_t address, uint32_t data_bits)
{
    if (busy_ns_ != 0)
        target_.bus_wait(busy_ns_);
    busy_ns_ = 0;
    uint32_t word = 0;
    const bool known = expected(address, word);
    const CpuPins& pins = target_.cpu().pins;
    tdo_.assign(target_.bsr_length(), 'x');
    const uint32_t bits = std::min<uint32_t>(data_bits, static_cast<uint32_t>(pins.data_in.size()));
    for (uint32_t b = 0; known && b < bits; ++b)
        tdo_[pins.data_in[b]] = (word >> b) & 1 ? '1' : '0';
    writer_.expect(tdo_);
    return target_.bus_read(address, data_bits);
}

void ExpectedBus::bus_read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words)
{
    for (uint32_t k = 0; k < count; ++k)
        words[k] = bus_read(address + k * step, data_bits);
}

void ExpectedBus::bus_write(uint32_t address, uint32_t data, uint32_t data_bits)
{
    if (busy_ns_ != 0)
        target_.bus_wait(busy_ns_);
    busy_ns_ = 0;
    target_.bus_write(address, data, data_bits);
    command(address, data & model_.data_mask);
}

void ExpectedBus::erase(uint64_t begin, uint64_t end)
{
    erased_.emplace_back(begin, end);
    words_.erase(words_.lower_bound(static_cast<uint32_t>(begin)),
                 end > kAllOnes ? words_.end() : words_.lower_bound(static_cast<uint32_t>(end)));
}

void ExpectedBus::programmed(uint32_t address, uint32_t data)
{
    uint32_t old = 0;
    const bool known = expected(address, old);
    // A program only clears bits; over a word of unknown contents nothing can be said.
    if (known)
        words_[address] = old & data;
    else
        words_.erase(address);
}

// The AMD command set as its cycles arrive; the command is in each chip's low byte.
void ExpectedBus::command(uint32_t address, uint32_t data)
{
    const FlashModel& m = model_;
    const uint32_t code = data & 0xFF;
    const FlashGeometry* g = geometry_;
    if (program_next_) {
        program_next_ = false;
        programmed(address, data);
        busy(g != nullptr ? us_to_ns(g->word_write_max_us) : 0);
        return;
    }
    if (buffer_open_) {
        if (buffer_left_ == kAllOnes) {
            buffer_left_ = data + 1;
        } else if (buffer_left_ != 0) {
            buffer_.emplace_back(address, data);
            --buffer_left_;
        } else {
            buffer_open_ = false;
            if (code == (m.cmd_buffer_confirm & 0xFF)) {
                const Mode mode = mode_;
                mode_ = Mode::array;
                for (const auto& [at, word] : buffer_)
                    programmed(at, word);
                mode_ = mode;
                busy(g != nullptr ? us_to_ns(g->buffer_write_max_us) : 0);
            }
            buffer_.clear();
        }
        return;
    }
    if (mode_ == Mode::bypass) {
        if (code == (m.cmd_program & 0xFF))
            program_next_ = true;
        else if (code == (m.cmd_bypass_reset1 & 0xFF))
            step_ = 1;
        else if (step_ == 1 && code == (m.cmd_bypass_reset2 & 0xFF))
            mode_ = Mode::array;
        return;
    }
    if (code == (m.cmd_reset & 0xFF)) {
        mode_ = Mode::array;
        step_ = 0;
        erase_armed_ = false;
        return;
    }
    if (step_ == 0 && m.cmd_cfi_query != 0 && code == (m.cmd_cfi_query & 0xFF) && !cfi_.empty()) {
        mode_ = Mode::query;
        return;
    }
    if (step_ == 0 && code == (m.unlock_data1 & 0xFF)) {
        step_ = 1;
        return;
    }
    if (step_ == 1 && code == (m.unlock_data2 & 0xFF)) {
        step_ = 2;
        return;
    }
    const bool unlocked = step_ == 2;
    step_ = 0;
    if (!unlocked)
        return;
    if (erase_armed_) {
        erase_armed_ = false;
        if (code == (m.cmd_block_erase & 0xFF) && g != nullptr) {
            for (int32_t b = 0; b < g->block_count; ++b)
                if (address - g->block_start[b] < g->block_size[b])
                    erase(g->block_start[b], uint64_t{g->block_start[b]} + g->block_size[b]);
            busy(ms_to_ns(g->block_erase_max_ms));
        } else if (code == (m.cmd_chip_erase & 0xFF) && g != nullptr) {
            erase(g->block_start[0], uint64_t{g->block_start[0]} + g->device_size);
            busy(ms_to_ns(g->chip_erase_max_ms));
        }
        return;
    }
    if (code == (m.cmd_autoselect & 0xFF))
        mode_ = Mode::autoselect;
    else if (code == (m.cmd_program & 0xFF))
        program_next_ = true;
    else if (code == (m.cmd_erase_setup & 0xFF))
        erase_armed_ = true;
    else if (m.cmd_unlock_bypass != 0 && code == (m.cmd_unlock_bypass & 0xFF))
        mode_ = Mode::bypass;
    else if (m.cmd_write_buffer != 0 && code == (m.cmd_write_buffer & 0xFF)) {
        buffer_open_ = true;
        buffer_left_ = kAllOnes;
    }
}
