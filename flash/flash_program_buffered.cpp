// SPDX-License-Identifier: Apache-2.0
// Programming the image through the chip's write buffer: one command sequence a buffer, read
// back once the chip has had its typical time for it.
#include <algorithm>
#include <cstdint>

#include "flash/flash_ops.h"
#include "flash/flash_poll.h"
#include "flash/flash_program_parts.h"

namespace {

// On a cable whose answers come late, buffers are written before the read-back of the ones
// before them has come back: at most this many, and this many words.
constexpr uint32_t kMaxWindow = 16;
constexpr uint32_t kWindowWords = 256;
// A wait that proved too short grows by a quarter, and by this much at least.
constexpr uint64_t kWaitStepNs = 16'000;

struct PendingBuffer {
    uint32_t address = 0;
    uint32_t words[kMaxBufferWords];
    uint32_t read[kMaxBufferWords];  // from the last word down
};

class BufferWriter {
public:
    BufferWriter(FlashSession& s, uint32_t start, uint32_t count)
        : s_(s), start_(start), count_(count), step_(s.model.bytes_per_word),
          wait_ns_(us_to_ns(s.geometry.buffer_write_timeout_us))
    {}

    // The buffer's command sequence, then its read-back queued after the chip's typical time.
    // The last word is read first: while the buffer is being programmed every read shows
    // status, and the status DQ7 is the complement of the last word's, so once that word reads
    // back the chip is done and every read after it is the array.
    void write(PendingBuffer& b)
    {
        program(b);
        s_.bus.bus_wait(wait_ns_);
        s_.bus.bus_read_run_queued(last_address(b), 0u - step_, count_, s_.model.data_bits, b.read);
    }

    // The read-backs of `n` written buffers, oldest first.
    Status verified(PendingBuffer* list, uint32_t n)
    {
        s_.bus.bus_collect();
        if (Status stop = flash_stop_check(s_); stop != Status::ok)
            return stop;
        for (uint32_t i = 0; i < n; ++i)
            if (!read_back(list[i]))
                return recovered(list + i, n - i);
        return Status::ok;
    }

    // Where the job is: the oldest buffer not yet read back, or the next to write.
    uint32_t at = 0;
    Outcome mismatch;  // the word that did not read back, once one did not

private:
    uint32_t last_address(const PendingBuffer& b) const { return b.address + (count_ - 1) * step_; }

    bool read_back(const PendingBuffer& b) const
    {
        for (uint32_t i = 0; i < count_; ++i)
            if (b.read[count_ - 1 - i] != b.words[i])
                return false;
        return true;
    }

    void program(const PendingBuffer& b)
    {
        flash_unlock(s_, start_);
        flash_write(s_, b.address, s_.model.cmd_write_buffer);
        // The count goes to every chip side by side, like a command.
        flash_write(s_, b.address, (count_ - 1) * (s_.chips == 2 ? 0x0101u : 1u));
        for (uint32_t k = 0; k < count_; ++k)
            flash_write(s_, b.address + k * step_, b.words[k]);
        flash_write(s_, last_address(b), s_.model.cmd_buffer_confirm);
    }

    // The first of `list` did not read back. Its commands found the chip idle (every buffer
    // before it read back), so it is still being programmed or a cell failed. The buffers after
    // it may have reached the chip while it was busy: ignored, in part, with data words taken
    // for commands (a query entry among them). So: wait until no program runs, back to read
    // array when others followed, and read each again; one still wrong is programmed once more.
    Status recovered(PendingBuffer* list, uint32_t n)
    {
        uint32_t read = 0;
        at = list[0].address;
        const Status settled =
            chip_settled(s_, last_address(list[0]), kBufferPollLimit, s_.geometry.buffer_write_max_us, &read);
        if (settled == Status::timeout)
            flash_report(s_, {.kind = EventKind::program_error, .address = at});
        if (settled != Status::ok)
            return settled;
        const uint32_t last_word = list[0].words[count_ - 1];
        if (read == last_word && list[0].read[0] != last_word)
            grow_wait();
        if (n > 1)
            flash_write(s_, start_, s_.model.cmd_reset);
        for (uint32_t i = 0; i < n; ++i) {
            PendingBuffer& b = list[i];
            at = b.address;
            s_.bus.bus_read_run(last_address(b), 0u - step_, count_, s_.model.data_bits, b.read);
            if (Status stop = flash_stop_check(s_); stop != Status::ok)
                return stop;
            if (read_back(b))
                continue;
            program(b);
            if (Status again = done_and_verified(b); again != Status::ok)
                return again;
        }
        return Status::ok;
    }

    // The chip did not finish within the wait: the next buffers get longer, up to the chip's
    // maximum.
    void grow_wait()
    {
        const uint64_t max_ns = us_to_ns(s_.geometry.buffer_write_max_us);
        wait_ns_ += std::max(wait_ns_ / 4, kWaitStepNs);
        if (max_ns != 0)
            wait_ns_ = std::min(wait_ns_, max_ns);
    }

    // A buffer programmed once more: the poll of its last word, then every word read back; a word
    // that still shows status is polled again before it counts as a mismatch.
    Status done_and_verified(const PendingBuffer& b)
    {
        const uint32_t last_word = b.words[count_ - 1];
        const PollClock clock(s_.host, us_to_ns(s_.geometry.buffer_write_max_us));
        uint32_t differing = 0;
        while (flash_read(s_, last_address(b)) != last_word) {
            if (++differing > kBufferPollLimit && clock.max_passed()) {
                flash_report(s_, {.kind = EventKind::program_error, .address = b.address});
                return Status::timeout;
            }
            if (Status stop = flash_stop_check(s_); stop != Status::ok)
                return stop;
        }
        uint32_t read[kMaxBufferWords];
        s_.bus.bus_read_run(b.address, step_, count_, s_.model.data_bits, read);
        for (uint32_t k = 0; k < count_; ++k) {
            if (read[k] == b.words[k])
                continue;
            const Status again = word_verified(s_, b.address + k * step_, b.words[k], &read[k]);
            if (again == Status::mismatch)
                mismatch = report_mismatch(s_, b.address + k * step_, b.words[k], read[k]);
            if (again != Status::ok)
                return again;
        }
        return Status::ok;
    }

    FlashSession& s_;
    uint32_t start_;
    uint32_t count_;
    uint32_t step_;
    uint64_t wait_ns_;
};

}  // namespace

Outcome flash_program_buffered(FlashSession& s, uint32_t base, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    flash_report(s, {.kind = EventKind::program_started, .address = start});

    const uint32_t count = std::clamp<uint32_t>(s.model.buffer_words, 1, kMaxBufferWords);
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t buffer_bytes = count * step;
    const uint32_t window = s.bus.answers_late() ? std::min(kMaxWindow, kWindowWords / count) : 1;
    BufferWriter writer(s, base, count);
    PendingBuffer pending[kMaxWindow];
    uint32_t waiting = 0;

    Status result = Status::ok;
    uint32_t offset = 0;
    flash_chip_enable(s, '0');
    while (offset < length) {
        const uint32_t address = start + offset;
        writer.at = waiting != 0 ? pending[0].address : address;
        if (result = flash_stop_check(s); result != Status::ok)
            break;
        if (const uint32_t erased = erased_words(s, image, offset, count); erased != 0) {
            if (waiting != 0) {
                result = writer.verified(pending, waiting);
                waiting = 0;
                if (result != Status::ok)
                    break;
            }
            result = erased_verified(s, address, erased, writer.mismatch, [&](uint32_t k) {
                if (k % count == 0)
                    flash_progress(s, kWriteLabel, offset + k * step, length);
            });
            if (result != Status::ok)
                break;
            offset += erased * step;
        } else {
            flash_progress(s, kWriteLabel, offset, length);
            PendingBuffer& b = pending[waiting++];
            b.address = address;
            for (uint32_t k = 0; k < count; ++k)
                b.words[k] = image_word(s, image, offset + k * step);
            writer.write(b);
            offset += buffer_bytes;
            if (waiting == window) {
                result = writer.verified(pending, waiting);
                waiting = 0;
                if (result != Status::ok)
                    break;
            }
        }
        if (s.host.stop_key()) {
            const uint32_t unverified = waiting != 0 ? pending[0].address : start + offset;
            return flash_ended(s, {.address = unverified}, Status::cancelled);
        }
    }
    if (result == Status::ok && waiting != 0)
        result = writer.verified(pending, waiting);
    flash_chip_enable(s, '1');

    if (result == Status::ok)
        flash_progress(s, kWriteLabel, offset, length, true);
    if (result == Status::mismatch)
        return writer.mismatch;
    return flash_ended(s, {.address = writer.at}, result);
}
