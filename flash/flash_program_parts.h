// SPDX-License-Identifier: Apache-2.0
// What the two programming routines share: the image's words, the read-back checks and the
// polls that wait for a chip.
#pragma once

#include <cstdint>
#include <span>

#include "flash/flash_session.h"

constexpr uint32_t kWordPollLimit = 5000;
constexpr uint32_t kBufferPollLimit = 100000;
// Words read back in one pipelined run, at most.
constexpr uint32_t kRunWords = 256;

// The word at image offset `offset`, least significant byte first; bytes past the end of the
// image read as erased.
uint32_t image_word(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset);

// Reports the program error; the outcome of the job, with where it was for the cause line.
Outcome report_mismatch(FlashSession& s, uint32_t address, uint32_t written, uint32_t read);

// The progress label of every programming job.
constexpr const char* kWriteLabel = "Write";

// The word reads back as written within the poll's bounds; the last word read is left in `read`.
Status word_verified(FlashSession& s, uint32_t address, uint32_t word, uint32_t* read);

// DQ6 of every chip: it toggles on each read while a program runs.
inline uint32_t flash_toggle_mask(const FlashSession& s) { return flash_done_mask(s) >> 1; }

// Reads `address` until two reads in a row agree on DQ6: no program runs any more. The last
// word read is left in `read`; timeout when it still toggles after `limit` reads and `max_us`.
Status chip_settled(FlashSession& s, uint32_t address, uint32_t limit, uint32_t max_us, uint32_t* read);

// How many words from `offset` on hold the erased value, in whole `unit`s of words, at most a
// run's worth. Programming the erased value changes nothing on NOR flash: such words are only
// read back.
uint32_t erased_words(const FlashSession& s, std::span<const uint8_t> image, uint32_t offset, uint32_t unit);

// Reads back `count` erased words from `address` in one pipelined run; `report(k)` is called
// before word k counts as checked, for the progress lines. A mismatch is left in `out`.
template <typename Report>
Status erased_verified(FlashSession& s, uint32_t address, uint32_t count, Outcome& out, Report report)
{
    uint32_t read[kRunWords];
    const uint32_t step = s.model.bytes_per_word;
    s.bus.bus_read_run(address, step, count, s.model.data_bits, read);
    for (uint32_t k = 0; k < count; ++k) {
        report(k);
        if (read[k] == s.model.data_mask)
            continue;
        const Status again = word_verified(s, address + k * step, s.model.data_mask, &read[k]);
        if (again == Status::mismatch)
            out = report_mismatch(s, address + k * step, s.model.data_mask, read[k]);
        if (again != Status::ok)
            return again;
    }
    return Status::ok;
}
