// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_program_parts.h"

#include "flash/flash_poll.h"

namespace {
constexpr uint8_t kErased = 0xFF;
}  // namespace

uint32_t image_word(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset)
{
    uint32_t value = 0;
    for (uint32_t k = 0; k < s.model.bytes_per_word; ++k) {
        const uint64_t at = uint64_t{offset} + k;
        const uint8_t byte = at < image.size() ? image[at] : kErased;
        value |= uint32_t{byte} << (8 * k);
    }
    return value & s.model.data_mask;
}

Outcome report_mismatch(FlashSession& s, uint32_t address, uint32_t written, uint32_t read)
{
    flash_report(s, {.kind = EventKind::program_mismatch, .address = address, .expected = written, .actual = read});
    return {.status = Status::mismatch, .address = address, .expected = written, .actual = read};
}

Status word_verified(FlashSession& s, uint32_t address, uint32_t word, uint32_t* read)
{
    const PollClock clock(s.host, us_to_ns(s.geometry.word_write_max_us));
    for (uint32_t reads = 1;; ++reads) {
        *read = flash_read(s, address);
        if (*read == word)
            return Status::ok;
        if (reads >= kWordPollLimit && clock.max_passed())
            return Status::mismatch;
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
    }
}

Status chip_settled(FlashSession& s, uint32_t address, uint32_t limit, uint32_t max_us, uint32_t* read)
{
    const uint32_t toggle = flash_toggle_mask(s);
    const PollClock clock(s.host, us_to_ns(max_us));
    uint32_t before = flash_read(s, address);
    for (uint32_t reads = 1;; ++reads) {
        *read = flash_read(s, address);
        if (((*read ^ before) & toggle) == 0)
            return Status::ok;
        before = *read;
        if (reads >= limit && clock.max_passed())
            return Status::timeout;
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
    }
}

uint32_t erased_words(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset, uint32_t unit)
{
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t length = static_cast<uint32_t>(image.size());
    uint32_t count = 0;
    while (count + unit <= kRunWords && offset + count * step < length) {
        for (uint32_t k = 0; k < unit; ++k)
            if (image_word(s, image, offset + (count + k) * step) != s.model.data_mask)
                return count;
        count += unit;
    }
    return count;
}
