// SPDX-License-Identifier: Apache-2.0
// Reading the flash back: into memory (a backup), or against a file (a verify).
#include <cstdint>
#include <vector>

#include "flash/flash_erase_check.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"

namespace {

// Words per pipelined run: long enough that the two extra scans of a run cost little, short
// enough that ESC and the progress line come often.
constexpr uint32_t kChunkWords = 256;

// Reads `length` bytes from `start` a chunk at a time, handing each chunk's words to `take`.
template <typename Take>
Outcome read_chunks(FlashSession& s, uint32_t start, uint32_t length, const char* label, Take take)
{
    const uint32_t step = s.model.bytes_per_word;
    uint32_t words[kChunkWords];
    Status result = Status::ok;
    uint32_t offset = 0;
    flash_chip_enable(s, '0');
    while (offset < length) {
        if (result = flash_stop_check(s); result != Status::ok)
            break;
        flash_progress(s, label, offset, length);
        const uint32_t count = std::min<uint32_t>(kChunkWords, (length - offset + step - 1) / step);
        s.bus.bus_read_run(start + offset, step, count, s.model.data_bits, words);
        if (result = flash_stop_check(s); result != Status::ok)
            break;
        take(offset, words, count);
        if (s.host.stop_key()) {
            result = Status::cancelled;
            break;
        }
        offset += count * step;
    }
    flash_chip_enable(s, '1');
    if (result == Status::ok)
        flash_progress(s, label, length, length, true);
    return flash_ended(s, {.address = start + offset}, result);
}

}  // namespace

Outcome flash_read_range(FlashSession& s, uint32_t start, std::span<uint8_t> bytes)
{
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    const uint32_t step = s.model.bytes_per_word;
    flash_report(s, {.kind = EventKind::read_started, .address = start});
    return read_chunks(s, start, length, "Read", [&](uint32_t offset, const uint32_t* words, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k)
            for (uint32_t b = 0; b < step && offset + k * step + b < length; ++b)
                bytes[offset + k * step + b] = static_cast<uint8_t>(words[k] >> (8 * b));
    });
}

Outcome flash_verify_range(FlashSession& s, uint32_t start, std::span<const uint8_t> image)
{
    const uint32_t length = static_cast<uint32_t>(image.size());
    const uint32_t step = s.model.bytes_per_word;
    flash_report(s, {.kind = EventKind::verify_started, .address = start});
    uint32_t differing = 0;
    Outcome first{.status = Status::mismatch};
    const Outcome result =
        read_chunks(s, start, length, "Verify", [&](uint32_t offset, const uint32_t* words, uint32_t count) {
            for (uint32_t k = 0; k < count; ++k) {
                // A last word the file covers only in part is compared on the file's bytes.
                uint32_t want = 0;
                uint32_t mask = 0;
                for (uint32_t b = 0; b < step && offset + k * step + b < length; ++b) {
                    want |= uint32_t{image[offset + k * step + b]} << (8 * b);
                    mask |= 0xFFu << (8 * b);
                }
                if ((words[k] & mask) == want)
                    continue;
                if (differing++ != 0)
                    continue;
                first.address = start + offset + k * step;
                first.expected = want;
                first.actual = words[k] & mask;
                flash_report(s, {.kind = EventKind::verify_mismatch,
                                 .address = first.address,
                                 .expected = want,
                                 .actual = first.actual});
            }
        });
    if (!result.ok() || differing == 0)
        return result;
    flash_report(s, {.kind = EventKind::words_differ, .count = differing, .total = (length + step - 1) / step});
    return first;
}

Outcome flash_check_blank(FlashSession& s, uint32_t start, uint32_t length)
{
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t erased = data_mask_of(s.model.data_bits);
    flash_report(s, {.kind = EventKind::blank_check_started, .address = start, .total = length});
    uint32_t not_erased = 0;
    Outcome first{.status = Status::erase_failed, .expected = erased};
    const Outcome result =
        read_chunks(s, start, length, "Check", [&](uint32_t offset, const uint32_t* words, uint32_t count) {
            for (uint32_t k = 0; k < count; ++k) {
                if (words[k] == erased || not_erased++ != 0)
                    continue;
                first.address = start + offset + k * step;
                first.actual = words[k];
                flash_report(s, {.kind = EventKind::word_not_blank, .address = first.address, .actual = words[k]});
            }
        });
    if (!result.ok() || not_erased == 0)
        return result;
    flash_report(s, {.kind = EventKind::words_not_blank, .count = not_erased, .total = length / step});
    return first;
}
