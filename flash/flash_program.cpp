// Programming the image, word by word or one write buffer at a time, with read-back.
#include <cstdint>

#include "flash/flash_image.h"
#include "flash/flash_keys.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"
#include "platform/console.h"

namespace {

constexpr uint32_t kWordPollLimit = 5000;
constexpr uint32_t kBufferPollLimit = 100000;
constexpr uint32_t kMaxBufferWords = 32;

uint32_t image_word(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset)
{
    return flash_image_word(s, image, offset);
}

void report_mismatch(uint32_t written, uint32_t read)
{
    con_printf("\nProgram Error, Write: 0x%X, Read: 0x%X\n", written, read);
}

// Unlock bypass, where the chip has it: entered once before the first word, after which a
// program is two cycles instead of four. A chip left in the mode ignores the reset command and
// no longer answers its other commands, so every way out of the routine leaves it first.
class Bypass {
public:
    Bypass(FlashSession& s, uint32_t start) : s_(s), start_(start) {}
    ~Bypass() { leave(); }
    Bypass(const Bypass&) = delete;
    Bypass& operator=(const Bypass&) = delete;

    void program(uint32_t address, uint32_t word)
    {
        const FlashModel& m = s_.model;
        if (m.cmd_unlock_bypass == 0) {
            flash_unlock(s_, start_);
            flash_write(s_, start_ + m.unlock_addr1, m.cmd_program);
        } else {
            if (!entered_) {
                flash_unlock(s_, start_);
                flash_write(s_, start_ + m.unlock_addr1, m.cmd_unlock_bypass);
                entered_ = true;
            }
            flash_write(s_, start_ + m.unlock_addr1, m.cmd_program);
        }
        flash_write(s_, address, word);
    }

    void leave()
    {
        if (!entered_)
            return;
        flash_write(s_, start_, s_.model.cmd_bypass_reset1);
        flash_write(s_, start_, s_.model.cmd_bypass_reset2);
        entered_ = false;
    }

private:
    FlashSession& s_;
    uint32_t start_;
    bool entered_ = false;
};

// The word reads back as written within the poll's bounds; the last word read is left in
// `read`.
FlashStatus word_verified(FlashSession& s, uint32_t address, uint32_t word, uint32_t* read)
{
    const PollClock clock(us_to_ns(s.geometry.word_write_max_us));
    for (uint32_t reads = 1;; ++reads) {
        *read = flash_read(s, address);
        if (*read == word)
            return FlashStatus::ok;
        if (reads >= kWordPollLimit && clock.max_passed())
            return FlashStatus::mismatch;
        if (FlashStatus stop = flash_stop_check(s); stop != FlashStatus::ok)
            return stop;
    }
}

void program_buffer(FlashSession& s, uint32_t start, uint32_t address, const uint32_t* words, uint32_t count)
{
    uint32_t step = s.model.bytes_per_word;
    flash_unlock(s, start);
    flash_write(s, address, s.model.cmd_write_buffer);
    // The count goes to every chip side by side, like a command.
    flash_write(s, address, (count - 1) * (s.chips == 2 ? 0x0101u : 1u));
    for (uint32_t k = 0; k < count; ++k)
        flash_write(s, address + k * step, words[k] & s.model.data_mask);
    flash_write(s, address + (count - 1) * step, s.model.cmd_buffer_confirm);
}

// Only the last word of a buffer reports progress; the chip is done once it reads back.
FlashStatus buffer_done(FlashSession& s, uint32_t last_address, uint32_t last_word)
{
    const uint32_t mask = s.model.data_mask;
    const PollClock clock(us_to_ns(s.geometry.buffer_write_max_us));
    uint32_t differing = 0;
    while ((flash_read(s, last_address) & mask) != (last_word & mask)) {
        if (++differing > kBufferPollLimit && clock.max_passed())
            return FlashStatus::timeout;
        if (FlashStatus stop = flash_stop_check(s); stop != FlashStatus::ok)
            return stop;
    }
    return FlashStatus::ok;
}

// Every word of the finished buffer, read back in one pipelined run. A word that still reads
// as status (the chip not yet done with it) is polled again before it counts as a mismatch.
FlashStatus buffer_verified(FlashSession& s, uint32_t address, const uint32_t* words, uint32_t count)
{
    uint32_t read[kMaxBufferWords];
    const uint32_t step = s.model.bytes_per_word;
    s.bus.bus_read_run(address, step, count, s.model.data_bits, read);
    for (uint32_t k = 0; k < count; ++k) {
        if (read[k] == words[k])
            continue;
        const FlashStatus again = word_verified(s, address + k * step, words[k], &read[k]);
        if (again == FlashStatus::mismatch)
            report_mismatch(words[k], read[k]);
        if (again != FlashStatus::ok)
            return again;
    }
    return FlashStatus::ok;
}

// Programming the erased value changes nothing on NOR flash: such words are only read back.
// How many words from `offset` on hold the erased value, in whole `unit`s of words, at most
// a run's worth.
constexpr uint32_t kMaxErasedRun = 256;

uint32_t erased_words(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset, uint32_t unit)
{
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t length = static_cast<uint32_t>(image.size());
    uint32_t count = 0;
    while (count + unit <= kMaxErasedRun && offset + count * step < length) {
        for (uint32_t k = 0; k < unit; ++k)
            if (image_word(s, image, offset + (count + k) * step) != s.model.data_mask)
                return count;
        count += unit;
    }
    return count;
}

// Reads back `count` erased words from `address` in one pipelined run; `report(k)` is called
// before word k counts as checked, for the progress lines.
template <typename Report>
FlashStatus erased_verified(FlashSession& s, uint32_t address, uint32_t count, Report report)
{
    uint32_t read[kMaxErasedRun];
    const uint32_t step = s.model.bytes_per_word;
    s.bus.bus_read_run(address, step, count, s.model.data_bits, read);
    for (uint32_t k = 0; k < count; ++k) {
        report(k);
        if (read[k] == s.model.data_mask)
            continue;
        const FlashStatus again = word_verified(s, address + k * step, s.model.data_mask, &read[k]);
        if (again == FlashStatus::mismatch)
            report_mismatch(s.model.data_mask, read[k]);
        if (again != FlashStatus::ok)
            return again;
    }
    return FlashStatus::ok;
}

}  // namespace

FlashStatus flash_program(FlashSession& s, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    WriteProgress plain;
    Progress& progress = s.progress != nullptr ? *s.progress : plain;
    con_printf("\nWriting address: 0x%x\n", start);

    FlashStatus result = FlashStatus::ok;
    uint32_t offset = 0;
    flash_chip_enable(s, '0');
    const uint32_t step = s.model.bytes_per_word;
    Bypass bypass(s, start);
    while (offset < length) {
        const uint32_t address = start + offset;
        s.stop_address = address;
        if (result = flash_stop_check(s); result != FlashStatus::ok)
            break;
        if (const uint32_t erased = erased_words(s, image, offset, 1); erased != 0) {
            result =
                erased_verified(s, address, erased, [&](uint32_t k) { progress.update(offset + k * step, length); });
            if (result != FlashStatus::ok)
                break;
            offset += erased * step;
        } else {
            const uint32_t word = image_word(s, image, offset);
            bypass.program(address, word);
            progress.update(offset, length);
            uint32_t read = 0;
            result = word_verified(s, address, word, &read);
            if (result == FlashStatus::mismatch)
                report_mismatch(word, read);
            if (result != FlashStatus::ok)
                break;
            offset += step;
        }
        // ESC leaves at once (out of bypass first): the run's ending resets the TAP, which
        // lets the CPU's own logic release the bus.
        if (flash_esc_pressed()) {
            bypass.leave();
            return FlashStatus::cancelled;
        }
    }
    bypass.leave();
    flash_chip_enable(s, '1');

    flash_reset_cycle(s, start);
    if (result == FlashStatus::ok)
        progress.finish(offset, length);
    return result;
}

FlashStatus flash_program_buffered(FlashSession& s, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    WriteProgress plain;
    Progress& progress = s.progress != nullptr ? *s.progress : plain;
    con_printf("\nWriting address: 0x%x\n", start);

    uint32_t words[kMaxBufferWords];
    uint32_t count = s.model.buffer_words;
    if (count < 1)
        count = 1;
    if (count > kMaxBufferWords)
        count = kMaxBufferWords;
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t buffer_bytes = count * step;

    FlashStatus result = FlashStatus::ok;
    uint32_t offset = 0;
    flash_chip_enable(s, '0');
    while (offset < length) {
        const uint32_t address = start + offset;
        s.stop_address = address;
        if (result = flash_stop_check(s); result != FlashStatus::ok)
            break;
        if (const uint32_t erased = erased_words(s, image, offset, count); erased != 0) {
            result = erased_verified(s, address, erased, [&](uint32_t k) {
                if (k % count == 0)
                    progress.update(offset + k * step, length);
            });
            if (result != FlashStatus::ok)
                break;
            offset += erased * step;
        } else {
            progress.update(offset, length);
            for (uint32_t k = 0; k < count; ++k)
                words[k] = image_word(s, image, offset + k * step);
            program_buffer(s, start, address, words, count);
            const uint32_t last_address = address + (count - 1) * step;
            result = buffer_done(s, last_address, words[count - 1]);
            if (result == FlashStatus::timeout)
                con_printf("\nProgram Error, ADDR: 0x%X\n", address);
            if (result != FlashStatus::ok)
                break;
            if (result = buffer_verified(s, address, words, count); result != FlashStatus::ok)
                break;
            offset += buffer_bytes;
        }
        if (flash_esc_pressed())
            return FlashStatus::cancelled;
    }
    flash_chip_enable(s, '1');

    if (result == FlashStatus::ok)
        progress.finish(offset, length);
    return result;
}
