// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_intel.h"

#include <algorithm>

#include "flash/flash_poll.h"
#include "flash/flash_program_parts.h"

namespace {

constexpr uint32_t kPollLimit = 5000;
// Words read back in one run: a whole number of buffers of any size up to the largest.
constexpr uint32_t kChunkWords = 256;
// How long a lock-bit change may take where no table says (chosen: the P30's maximum).
constexpr uint64_t kUnlockMaxNs = 1'000'000'000;

constexpr uint8_t kCmdClearStatus = 0x50;
constexpr uint8_t kCmdLockSetup = 0x60;
constexpr uint8_t kCmdUnlockConfirm = 0xD0;

uint32_t lanes(const FlashSession& s, uint8_t code) { return s.chips == 2 ? code * 0x0101u : code; }

// What the chips report: ready only when every chip is, the error bits of either.
struct StatusRead {
    bool ready;
    uint32_t bits;
};

StatusRead read_status(FlashSession& s, uint32_t address)
{
    const uint32_t word = flash_read(s, address);
    const uint32_t low = word & 0xFF;
    const uint32_t high = s.chips == 2 ? (word >> 8) & 0xFF : low;
    return {(low & high & kSrReady) != 0, low | high};
}

// The chip goes back to read array however the operation ends.
class ReadArrayAfter {
public:
    ReadArrayAfter(FlashSession& s, uint32_t address) : s_(s), address_(address) {}
    ~ReadArrayAfter() { flash_write(s_, address_, s_.model.cmd_reset); }
    ReadArrayAfter(const ReadArrayAfter&) = delete;
    ReadArrayAfter& operator=(const ReadArrayAfter&) = delete;

private:
    FlashSession& s_;
    uint32_t address_;
};

Status wait_ready(FlashSession& s, uint32_t address, uint64_t max_ns, StatusRead& status)
{
    const PollClock clock(s.host, max_ns);
    for (uint32_t busy = 0;;) {
        status = read_status(s, address);
        if (status.ready)
            return Status::ok;
        if (++busy > kPollLimit && clock.max_passed())
            return Status::timeout;
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
    }
}

// Waits for the operation just started; on an error, `error` at the address, then the cause
// the status register gives, which the outcome's detail keeps.
Outcome finish(FlashSession& s, uint32_t address, uint64_t max_ns, EventKind error, Status failed,
               bool unlocking = false)
{
    StatusRead status{};
    const Status result = wait_ready(s, address, max_ns, status);
    if (result != Status::ok && result != Status::timeout)
        return flash_ended(s, {.address = address}, result);
    if (result == Status::ok && (status.bits & kSrErrors) == 0)
        return outcome_of(Status::ok);
    flash_report(s, {.kind = error, .address = address});
    Outcome out{.status = failed, .address = address};
    if (status.ready) {
        out.actual = status.bits;
        out.detail = flash_intel_cause(status.bits, unlocking);
        flash_report(s, {.kind = EventKind::status_register, .actual = status.bits, .text = out.detail});
    }
    return out;
}

void clear_status(FlashSession& s, uint32_t address) { flash_write(s, address, lanes(s, kCmdClearStatus)); }

// One word, or one write buffer of `count` words from `address`.
Outcome program_unit(FlashSession& s, uint32_t address, const uint32_t* words, uint32_t count)
{
    const uint32_t step = s.model.bytes_per_word;
    const FlashGeometry& g = s.geometry;
    constexpr EventKind kError = EventKind::program_error;
    clear_status(s, address);
    if (s.model.buffer_words == 0) {
        flash_write(s, address, s.model.cmd_program);
        flash_write(s, address, words[0]);
        return finish(s, address, us_to_ns(g.word_write_max_us), kError, Status::mismatch);
    }
    // Until the chip has a buffer free for us.
    StatusRead status{};
    const PollClock clock(s.host, us_to_ns(g.buffer_write_max_us));
    for (uint32_t tries = 0;; ++tries) {
        flash_write(s, address, s.model.cmd_write_buffer);
        status = read_status(s, address);
        if (status.ready)
            break;
        if (tries > kPollLimit && clock.max_passed()) {
            flash_report(s, {.kind = kError, .address = address});
            return {.status = Status::timeout, .address = address};
        }
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return flash_ended(s, {.address = address}, stop);
    }
    flash_write(s, address, lanes(s, static_cast<uint8_t>(count - 1)));
    for (uint32_t k = 0; k < count; ++k)
        flash_write(s, address + k * step, words[k]);
    flash_write(s, address, s.model.cmd_buffer_confirm);
    return finish(s, address, us_to_ns(g.buffer_write_max_us), kError, Status::mismatch);
}

// Programs the units of one run of `count` words that hold more than the erased value.
template <typename Report>
Outcome program_run(FlashSession& s, uint32_t address, const uint32_t* words, uint32_t count, uint32_t unit,
                    Report report)
{
    const uint32_t step = s.model.bytes_per_word;
    for (uint32_t k = 0; k < count; k += unit) {
        report(k);
        if (std::all_of(words + k, words + k + unit, [&](uint32_t w) { return w == s.model.data_mask; }))
            continue;
        const uint32_t at = address + k * step;
        if (Outcome r = program_unit(s, at, words + k, unit); !r.ok())
            return r;
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return flash_ended(s, {.address = at}, stop);
    }
    return outcome_of(Status::ok);
}

// The run read back in read-array mode, against what was programmed.
Outcome run_verified(FlashSession& s, uint32_t address, const uint32_t* words, uint32_t count)
{
    uint32_t read[kChunkWords];
    flash_write(s, address, s.model.cmd_reset);
    s.bus.bus_read_run(address, s.model.bytes_per_word, count, s.model.data_bits, read);
    for (uint32_t k = 0; k < count; ++k)
        if (read[k] != words[k])
            return report_mismatch(s, address + k * s.model.bytes_per_word, words[k], read[k]);
    return flash_ended(s, {.address = address}, flash_stop_check(s));
}

}  // namespace

const char* flash_intel_cause(uint32_t status, bool unlocking)
{
    // SR0 is reserved and reads 0: a status with it set came from no status register.
    if (status & 0x01)
        return "not a status (nothing answers, or not an Intel-style chip)";
    if ((status & (kSrEraseError | kSrProgramError)) == (kSrEraseError | kSrProgramError) && (status & kSrLocked) == 0)
        return "command sequence error";
    if (status & kSrLocked)
        return "the block is locked";
    if (status & kSrVoltage)
        return "program/erase voltage too low";
    if (status & kSrProgramError)
        return "program failed";
    return unlocking ? "unlock failed" : "erase failed";
}

Outcome flash_intel_erase_block(FlashSession& s, uint32_t address)
{
    ReadArrayAfter read_array(s, address);
    clear_status(s, address);
    flash_write(s, address, s.model.cmd_erase_setup);
    flash_write(s, address, s.model.cmd_block_erase);
    return finish(s, address, ms_to_ns(s.geometry.block_erase_max_ms), EventKind::erase_error, Status::erase_failed);
}

Outcome flash_intel_unlock(FlashSession& s, uint32_t address)
{
    ReadArrayAfter read_array(s, address);
    clear_status(s, address);
    flash_write(s, address, lanes(s, kCmdLockSetup));
    flash_write(s, address, lanes(s, kCmdUnlockConfirm));
    return finish(s, address, kUnlockMaxNs, EventKind::unlock_error, Status::refused, true);
}

uint32_t flash_intel_lock_status(FlashSession& s, uint32_t address)
{
    flash_write(s, address, s.model.cmd_autoselect);
    const uint32_t word = flash_read(s, address + s.model.block_status_offset);
    return (word | word >> 8) & 0x03;
}

Outcome flash_intel_program(FlashSession& s, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    flash_report(s, {.kind = EventKind::program_started, .address = start});

    const uint32_t step = s.model.bytes_per_word;
    const uint32_t unit = std::clamp<uint32_t>(s.model.buffer_words, 1, kMaxBufferWords);
    uint32_t words[kChunkWords];
    Outcome result;
    uint32_t offset = 0;
    flash_chip_enable(s, '0');
    {
        ReadArrayAfter read_array(s, start);
        while (offset < length && result.ok()) {
            const uint32_t address = start + offset;
            if (Status stop = flash_stop_check(s); stop != Status::ok) {
                result = flash_ended(s, {.address = address}, stop);
                break;
            }
            const uint32_t left = (length - offset + step - 1) / step;
            const uint32_t count = std::min(kChunkWords, (left + unit - 1) / unit * unit);
            for (uint32_t k = 0; k < count; ++k)
                words[k] = image_word(s, image, offset + k * step);
            result = program_run(s, address, words, count, unit,
                                 [&](uint32_t k) { flash_progress(s, kWriteLabel, offset + k * step, length); });
            if (result.ok())
                result = run_verified(s, address, words, count);
            if (!result.ok())
                break;
            offset += count * step;
            if (s.host.stop_key())
                result = flash_ended(s, {.address = start + offset}, Status::cancelled);
        }
    }
    flash_chip_enable(s, '1');
    if (result.ok())
        flash_progress(s, kWriteLabel, offset, length, true);
    return result;
}
