// SPDX-License-Identifier: Apache-2.0
#include "job/update_job.h"

#include <algorithm>
#include <vector>

#include "flash/flash_descriptor.h"
#include "flash/flash_erase_check.h"
#include "flash/flash_intel.h"
#include "flash/flash_ops.h"
#include "flash/flash_poll.h"

namespace {

constexpr uint8_t kErased = 0xFF;

// What one program call writes at least: a word, or a whole write buffer. Spans on these
// bounds keep every buffer inside its page.
uint32_t program_unit(const FlashSession& s)
{
    const uint32_t step = s.model.bytes_per_word;
    const bool buffered = s.descriptor.style == CommandStyle::intel || s.descriptor.write_buffer;
    if (!buffered || s.model.buffer_words == 0)
        return step;
    return step * std::clamp<uint32_t>(s.model.buffer_words, 1, kMaxBufferWords);
}

// One stage of the update over the blocks [first, last) of the plan, which share their change.
class Updater {
public:
    Updater(FlashSession& s, const UpdateRequest& o, const JobRange& range, std::span<const uint8_t> now,
            std::span<const uint8_t> wanted, uint64_t image_end)
        : s_(s),
          o_(o),
          range_(range),
          now_(now),
          wanted_(wanted),
          unit_(program_unit(s)),
          image_begin_((o.start - range.begin) / unit_ * unit_),
          image_end_((image_end - range.begin + unit_ - 1) / unit_ * unit_)
    {}

    Outcome erase(const BlockPlan* first, const BlockPlan* last)
    {
        const uint32_t from = first->address - range_.begin;
        const uint32_t to = offset_end(last[-1]);
        if (Outcome erased = flash_erase_blocks(s_, first->address, to - from); !erased.ok())
            return erased;
        // The image's part of the blocks is programmed; with --verify-erase the rest is read.
        const uint32_t begin = std::clamp(image_begin_, from, to);
        const uint32_t end = std::clamp(image_end_, begin, to);
        Outcome result = program(first->address, begin, end);
        if (result.ok() && o_.verify_erase && from < begin)
            result = flash_check_blank(s_, range_.begin + from, begin - from);
        if (result.ok() && o_.verify_erase && end < to)
            result = flash_check_blank(s_, range_.begin + end, to - end);
        return result;
    }

    // Only the words that differ, on the unit's bounds.
    Outcome program_over(const BlockPlan* first, const BlockPlan* last)
    {
        for (const BlockPlan* p = first; p != last; ++p)
            for (const ByteSpan& span :
                 differing_spans(now_, wanted_, p->address - range_.begin, offset_end(*p), unit_))
                if (Outcome programmed = program(p->address, span.begin, span.end); !programmed.ok())
                    return programmed;
        return outcome_of(Status::ok);
    }

private:
    uint32_t offset_end(const BlockPlan& p) const
    {
        return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{p.address} + p.size, range_.end) - range_.begin);
    }

    Outcome program(uint32_t block, uint32_t from, uint32_t to)
    {
        if (from >= to)
            return outcome_of(Status::ok);
        return program_image(s_, block, range_.begin + from, wanted_.subspan(from, to - from));
    }

    FlashSession& s_;
    const UpdateRequest& o_;
    const JobRange& range_;
    std::span<const uint8_t> now_, wanted_;
    uint32_t unit_;
    uint32_t image_begin_, image_end_;  // offsets, on the unit's bounds
};

// Every run of blocks to change, checked before the first is: a protected block refuses the
// job as the plain job does, one that stays as it is does not.
Outcome check_changed_blocks(FlashSession& s, const UpdateRequest& o, const std::vector<BlockPlan>& plan)
{
    for (size_t i = 0; i < plan.size();) {
        size_t j = i;
        while (j < plan.size() && plan[j].change != BlockChange::unchanged)
            ++j;
        if (j != i) {
            if (Outcome checked = check_blocks(s, o.start, plan[i].block, plan[j - 1].block + 1, o.unlock, o.unlock_all);
                !checked.ok())
                return checked;
        }
        i = std::max(i + 1, j);
    }
    return outcome_of(Status::ok);
}

}  // namespace

UpdateEnd update_range(FlashSession& s, const UpdateRequest& o, const JobRange& range, std::span<const uint8_t> image)
{
    UpdateEnd end;
    const uint32_t length = static_cast<uint32_t>(range.end - range.begin);
    const uint32_t at = o.start - range.begin;
    std::vector<uint8_t> now(length);
    std::vector<uint8_t> wanted(length, kErased);
    std::copy_n(image.begin(), std::min<size_t>(image.size(), length - at), wanted.begin() + at);

    const auto stage = [&o](const char* name) {
        if (o.stage)
            o.stage(name);
    };
    stage("read");
    if (end.outcome = flash_read_range(s, range.begin, now); !end.outcome.ok())
        return end;
    if (o.read && !o.read(range.begin, now)) {
        end.refused = true;
        end.outcome = outcome_of(Status::refused);
        return end;
    }
    const std::vector<BlockPlan> plan = update_plan(s.geometry, range.begin, now, wanted);
    end.counts = update_counts(plan);
    if (end.outcome = check_changed_blocks(s, o, plan); !end.outcome.ok()) {
        end.refused = true;
        return end;
    }
    if (Status stop = flash_stop_check(s); stop != Status::ok) {
        end.outcome = flash_ended(s, {}, stop);
        return end;
    }

    Updater updater(s, o, range, now, wanted, uint64_t{o.start} + image.size());
    for (size_t i = 0; i < plan.size();) {
        size_t j = i + 1;
        while (j < plan.size() && plan[j].change == plan[i].change)
            ++j;
        const BlockChange change = plan[i].change;
        if (change != BlockChange::unchanged) {
            if (end.changed.end == 0)
                end.changed.begin = plan[i].address;
            end.changed.end = std::min<uint64_t>(uint64_t{plan[j - 1].address} + plan[j - 1].size, range.end);
            stage(change == BlockChange::erase ? "erase" : "program");
            end.outcome = change == BlockChange::erase ? updater.erase(&plan[i], &plan[i] + (j - i))
                                                       : updater.program_over(&plan[i], &plan[i] + (j - i));
            if (!end.outcome.ok()) {
                end.changing = true;
                return end;
            }
        }
        i = j;
    }
    return end;
}
