// SPDX-License-Identifier: Apache-2.0
#include "flash/flash_erase_check.h"

#include <algorithm>

#include "flash/flash_poll.h"

namespace {

constexpr uint32_t kSampleWords = 64;
// An erase done in under this part of its typical time did not erase: the block is read whole.
constexpr uint64_t kSuspectFraction = 10;
constexpr uint32_t kRunWords = 256;

struct NotErased {
    bool found = false;
    uint32_t address = 0;
    uint32_t word = 0;
};

// `count` words from `first`, `step` bytes apart, in runs; notes the first that is not erased.
Status read_spaced(FlashSession& s, uint32_t first, uint32_t step, uint32_t count, NotErased& bad)
{
    const uint32_t erased = data_mask_of(s.model.data_bits);
    uint32_t words[kRunWords];
    for (uint32_t done = 0; done < count && !bad.found;) {
        const uint32_t n = std::min(count - done, kRunWords);
        s.bus.bus_read_run(first + done * step, step, n, s.model.data_bits, words);
        if (Status stop = flash_stop_check(s); stop != Status::ok)
            return stop;
        for (uint32_t k = 0; k < n && !bad.found; ++k)
            if (words[k] != erased)
                bad = {true, first + (done + k) * step, words[k]};
        done += n;
    }
    return Status::ok;
}

}  // namespace

Outcome flash_check_erased_block(FlashSession& s, const ErasedBlock& block)
{
    const FlashGeometry& g = s.geometry;
    const uint32_t start = g.block_start[block.index];
    const uint32_t step = s.model.bytes_per_word;
    const uint32_t words = g.block_size[block.index] / step;
    NotErased bad;
    if (block.first_word != data_mask_of(s.model.data_bits))
        bad = {true, start, block.first_word};
    const bool too_quick =
        block.erase_ns != 0 && block.erase_ns * kSuspectFraction < ms_to_ns(g.block_erase_timeout_ms);
    Status result = Status::ok;
    if (!bad.found && !too_quick && words >= kSampleWords) {
        const uint32_t spacing = words / kSampleWords * step;
        result = read_spaced(s, start + spacing - step, spacing, kSampleWords, bad);
    }
    // A suspect block is read whole, for what the sample missed or the first word not erased.
    const bool first_bad = bad.found && bad.address == start;
    if (result == Status::ok && !first_bad && (bad.found || too_quick || words < kSampleWords)) {
        bad = {};
        result = read_spaced(s, start, step, words, bad);
    }
    if (result != Status::ok)
        return flash_ended(s, {.address = start, .block = block.index}, result);
    if (!bad.found)
        return outcome_of(Status::ok);
    const uint32_t erased = data_mask_of(s.model.data_bits);
    flash_report(s, {.kind = EventKind::erase_error, .address = start});
    flash_report(s, {.kind = EventKind::block_not_blank,
                     .address = start,
                     .expected = erased,
                     .actual = bad.word,
                     .count = bad.address - start,
                     .block = block.index});
    // Said by the events above: the block finished, whatever time it took.
    return {.status = Status::erase_failed,
            .address = start,
            .expected = erased,
            .actual = bad.word,
            .block = block.index,
            .detail = "not blank after its erase"};
}
