// SPDX-License-Identifier: Apache-2.0
// Programming the image a word at a time: four cycles a word, or two on chips with unlock
// bypass, in runs of words written back to back and then read back together.
#include <algorithm>
#include <cstdint>

#include "flash/flash_ops.h"
#include "flash/flash_poll.h"
#include "flash/flash_program_parts.h"

namespace {

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

// Words programmed back to back, then read back together.
struct WordRun {
    uint32_t address = 0;  // of the first word
    uint32_t count = 0;
    uint32_t words[kRunWords];
    uint32_t read[kRunWords];  // from the last word down
    uint32_t again = 0;        // words the chip did not take the first time
    // The wait before each word after the first, once words went unheard: a chip slower than
    // the cable. It grows by a quarter each run that still loses words, up to the chip's maximum.
    uint64_t pace_ns = 0;

    void slow_down(const FlashGeometry& g)
    {
        const uint64_t typical = us_to_ns(g.word_write_timeout_us);
        const uint64_t max = us_to_ns(g.word_write_max_us);
        pace_ns = std::max(pace_ns + pace_ns / 4, std::max<uint64_t>(typical, 1'000));
        if (max != 0)
            pace_ns = std::min(pace_ns, max);
    }
};

// A program written while the chip is still busy with the one before is ignored, its command
// cycles included; the data cycle may then arrive once the chip is free and be taken as a
// command. In bypass the chip knows two, the program and the bypass reset; outside it a data
// cycle can start an unlock or enter the query mode. A word that holds one of them in some
// chip's low byte opens a run of its own, when the chip is known to be idle.
bool reads_as_command(const FlashSession& s, uint32_t word)
{
    const FlashModel& m = s.model;
    const bool bypass = m.cmd_unlock_bypass != 0;
    const uint32_t first = (bypass ? m.cmd_program : m.unlock_data1) & 0xFF;
    const uint32_t second = (bypass ? m.cmd_bypass_reset1 : m.cmd_cfi_query) & 0xFF;
    for (int32_t chip = 0; chip < s.chips; ++chip) {
        const uint32_t byte = (word >> (8 * chip)) & 0xFF;
        if (byte == first || (second != 0 && byte == second))
            return true;
    }
    return false;
}

// Programs the words from `offset` on, up to a run's worth, an erased word, a word that must
// open a run, or ESC (which sets `esc`).
Status run_programmed(FlashSession& s, Bypass& bypass, std::span<const uint8_t> image, uint32_t start, uint32_t offset,
                      WordRun& run, bool& esc)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    run.address = start + offset;
    run.count = 0;
    while (run.count < kRunWords && offset < length) {
        const uint32_t word = image_word(s, image, offset);
        if (word == s.model.data_mask || (run.count > 0 && reads_as_command(s, word)))
            break;
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
        if (run.count > 0 && run.pace_ns != 0)
            s.bus.bus_wait(run.pace_ns);
        bypass.program(start + offset, word);
        flash_progress(s, kWriteLabel, offset, length);
        run.words[run.count++] = word;
        offset += s.model.bytes_per_word;
        if (s.host.stop_key()) {
            esc = true;
            break;
        }
    }
    return Status::ok;
}

// Only the last program of the run may still be running. The run is read back from its last
// word down, after one more read of that word: while DQ6 toggles between the two, the chip is
// busy and the reads after them cannot be trusted yet; once it stands still, every word read
// is the array. A word that reads wrong then was never taken (written while the chip was busy)
// or did not program: it is programmed once more, with a poll.
Status run_verified(FlashSession& s, Bypass& bypass, WordRun& run, Outcome& out)
{
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t bits = s.model.data_bits;
    const uint32_t last = run.address + (run.count - 1) * step;
    uint32_t lead = 0;
    run.again = 0;
    s.bus.bus_read_run_queued(last, step, 1, bits, &lead);
    s.bus.bus_read_run_queued(last, 0u - step, run.count, bits, run.read);
    s.bus.bus_collect();
    if (Status stop = flash_stop_check(s); stop != Status::ok)
        return stop;
    if (((lead ^ run.read[0]) & flash_toggle_mask(s)) != 0) {
        uint32_t read = 0;
        const Status settled = chip_settled(s, last, kWordPollLimit, s.geometry.word_write_max_us, &read);
        if (settled == Status::timeout) {
            out = report_mismatch(s, last, run.words[run.count - 1], read);
            return Status::mismatch;
        }
        if (settled != Status::ok)
            return settled;
        s.bus.bus_read_run(last, 0u - step, run.count, bits, run.read);
    }
    for (uint32_t i = 0; i < run.count; ++i) {
        if (run.read[run.count - 1 - i] == run.words[i])
            continue;
        const uint32_t address = run.address + i * step;
        bypass.program(address, run.words[i]);
        ++run.again;
        uint32_t read = 0;
        const Status again = word_verified(s, address, run.words[i], &read);
        if (again == Status::mismatch)
            out = report_mismatch(s, address, run.words[i], read);
        if (again != Status::ok)
            return again;
    }
    return Status::ok;
}

}  // namespace

Outcome flash_program(FlashSession& s, uint32_t base, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    flash_report(s, {.kind = EventKind::program_started, .address = start});

    Status result = Status::ok;
    Outcome mismatch;
    uint32_t address = start;
    uint32_t offset = 0;
    flash_chip_enable(s, '0');
    const uint32_t step = s.model.bytes_per_word;
    Bypass bypass(s, base);
    WordRun run;
    while (offset < length) {
        address = start + offset;
        if (result = flash_stop_check(s); result != Status::ok)
            break;
        bool esc = false;
        if (const uint32_t erased = erased_words(s, image, offset, 1); erased != 0) {
            result = erased_verified(s, address, erased, mismatch,
                                     [&](uint32_t k) { flash_progress(s, kWriteLabel, offset + k * step, length); });
            if (result != Status::ok)
                break;
            offset += erased * step;
            esc = s.host.stop_key();
        } else {
            result = run_programmed(s, bypass, image, start, offset, run, esc);
            if (result == Status::ok)
                result = run_verified(s, bypass, run, mismatch);
            if (result != Status::ok)
                break;
            if (run.again != 0)
                run.slow_down(s.geometry);
            offset += run.count * step;
        }
        // ESC leaves at once (out of bypass first): the run's ending resets the TAP, which
        // lets the CPU's own logic release the bus.
        if (esc) {
            bypass.leave();
            return flash_ended(s, {.address = start + offset}, Status::cancelled);  // the first word not verified
        }
    }
    bypass.leave();
    flash_chip_enable(s, '1');

    flash_reset_cycle(s, base);
    if (result == Status::ok)
        flash_progress(s, kWriteLabel, offset, length, true);
    if (result == Status::mismatch)
        return mismatch;
    return flash_ended(s, {.address = address}, result);
}
