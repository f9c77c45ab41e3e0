// SPDX-License-Identifier: Apache-2.0
#include "job/job_rules.h"

#include <algorithm>
#include <utility>

#include "flash/flash_erase_check.h"
#include "flash/flash_intel.h"
#include "flash/flash_ops.h"
#include "flash/flash_protect.h"
#include "targets/cpu_table.h"

Outcome check_blocks(FlashSession& s, uint32_t start, int32_t first, int32_t last, bool unlock, bool unlock_all)
{
    const UnlockRequest request = unlock_all ? UnlockRequest::all : unlock ? UnlockRequest::range : UnlockRequest::none;
    return flash_check_blocks(s, start, first, last, request, first == 0 && last == s.geometry.block_count);
}

namespace {

// Before the erase: the blocks it will touch, protected or locked ones refused or unlocked.
Outcome check_erase_blocks(FlashSession& session, const JobSpan& span, bool chip_erase, bool unlock, bool unlock_all)
{
    const FlashGeometry& g = session.geometry;
    int32_t first = 0;
    int32_t last = g.block_count;
    if (!chip_erase) {
        while (first < g.block_count && g.block_start[first] != span.start)
            ++first;
        last = first;
        while (last < g.block_count && g.block_start[last] - span.start < span.erase_size)
            ++last;
    }
    return check_blocks(session, span.start, first, last, unlock, unlock_all);
}

// The erase of the span: the chip or its blocks.
Outcome erase_span(FlashSession& session, const JobSpan& span, bool chip_erase)
{
    return chip_erase ? flash_erase_chip(session, span.start)
                      : flash_erase_blocks(session, span.start, span.erase_size);
}

// Every erased word that the image does not program is read back as erased; the programmed
// ones are verified as they are written.
Outcome check_unprogrammed(FlashSession& s, const JobRange& erased, uint32_t start, size_t image_size)
{
    const uint32_t step = s.model.bytes_per_word;
    const uint64_t programmed_end = uint64_t{start} + (image_size + step - 1) / step * step;
    Outcome result;
    if (erased.begin < start)
        result = flash_check_blank(s, erased.begin, start - erased.begin);
    if (result.ok() && programmed_end < erased.end)
        result = flash_check_blank(s, static_cast<uint32_t>(programmed_end),
                                   static_cast<uint32_t>(erased.end - programmed_end));
    return result;
}

}  // namespace

// An address outside the block table has no block to sit on, so it counts as misaligned.
bool start_is_aligned(const FlashGeometry& g, uint32_t start)
{
    for (int b = 0; b < g.block_count; ++b) {
        const uint32_t unit = g.block_size[b];
        if (start - g.block_start[b] >= unit)
            continue;
        if (unit == 0 || (unit & (unit - 1)) != 0)
            return start == g.block_start[b];
        return (start & (unit - 1)) == 0;
    }
    return false;
}

ReachStop reach_stop(const SelectedTarget& target, const FlashGeometry& g, uint64_t end)
{
    if (target.cpu().flash_address_pins)
        return end > target.address_reach() ? ReachStop::bus_map : ReachStop::none;
    return past_cpu_pins(target.cpu(), g, end) ? ReachStop::cpu_pins : ReachStop::none;
}

uint32_t block_offset(const FlashGeometry& g, int32_t index)
{
    if (index < 0 || index > g.block_count)
        return 0;
    return g.block_start[index] - g.block_start[0];
}

// A chip erase for a range that starts later would wipe what lies below it.
bool takes_chip_erase(const FlashGeometry& g, const JobSpan& span)
{
    const bool whole = span.erase_all || (span.start == g.block_start[0] && span.erase_size == g.device_size);
    return whole && g.chip_erase_timeout_ms != 0;
}

JobRange job_range(const FlashGeometry& g, const JobSpan& span, bool chip_erase, size_t image_size)
{
    const uint64_t device_end = uint64_t{g.block_start[0]} + g.device_size;
    JobRange range;
    range.begin = chip_erase ? g.block_start[0] : span.start;
    const uint64_t last =
        std::max<uint64_t>(uint64_t{span.start} + std::max<uint64_t>(span.erase_size, image_size), 1) - 1;
    range.end = chip_erase ? device_end : last + 1;
    for (int b = 0; b < g.block_count && !chip_erase; ++b)
        if (last >= g.block_start[b] && last < uint64_t{g.block_start[b]} + g.block_size[b])
            range.end = uint64_t{g.block_start[b]} + g.block_size[b];
    range.end = std::min(range.end, device_end);
    return range;
}

uint32_t read_length(const FlashGeometry& g, const JobSpan& span)
{
    const uint64_t device_end = uint64_t{g.block_start[0]} + g.device_size;
    const uint64_t room = span.start < device_end ? device_end - span.start : 0;
    if (span.erase_size != 0 && !span.erase_all)
        return static_cast<uint32_t>(std::min<uint64_t>(span.erase_size, room));
    return static_cast<uint32_t>(room);
}

uint8_t setups_to_try(const CpuTarget& cpu, int32_t bus_width, int32_t interleave)
{
    uint8_t setups = 0;
    for (int32_t width : {16, 8})
        for (int32_t chips : {1, 2}) {
            const bool fits = cpu_setup_fits(cpu, static_cast<uint32_t>(width * chips));
            if (fits && (bus_width == 0 || bus_width == width) && (interleave == 0 || interleave == chips))
                setups |= flash_setup_of(width, chips);
        }
    return setups;
}

std::string setup_names(uint8_t setups)
{
    std::string tried;
    for (const auto& [setup, name] : {std::pair{kSetup16x1, "16x1"}, {kSetup8x2, "8x2"}, {kSetup8x1, "8x1"}})
        if (setups & setup)
            tried += (tried.empty() ? "" : ", ") + std::string(name);
    return tried;
}

Status detect_in_setups(SelectedTarget& target, Host& host, uint32_t start, uint8_t setups, FlashDetection& found)
{
    Status detected = Status::refused;
    for (const auto& [setup, bytes] : {std::pair{kSetup16x1, 2u}, {kSetup8x2, 2u}, {kSetup8x1, 1u}})
        if ((setups & setup) != 0 && detected != Status::ok) {
            target.set_word_bytes(bytes);
            detected = flash_detect(target, host, start, setup, found);
        }
    return detected;
}

Outcome program_image(FlashSession& session, uint32_t block, uint32_t start, std::span<const uint8_t> image)
{
    if (session.descriptor.style == CommandStyle::intel)
        return flash_intel_program(session, start, image);
    if (session.descriptor.write_buffer && session.model.buffer_words != 0)
        return flash_program_buffered(session, block, start, image);
    return flash_program(session, block, start, image);
}

ChangeEnd change_flash(FlashSession& s, const ChangeRequest& r, std::span<const uint8_t> image)
{
    ChangeEnd end;
    const auto step = [&r, &end](ChangeStep next) {
        end.step = next;
        if (r.entering && (next == ChangeStep::erase || next == ChangeStep::program))
            r.entering(next);
    };
    if (end.outcome = check_erase_blocks(s, r.span, r.chip_erase, r.unlock, r.unlock_all); !end.outcome.ok())
        return end;
    step(ChangeStep::erase);
    if (end.outcome = erase_span(s, r.span, r.chip_erase); !end.outcome.ok())
        return end;
    if (r.verify_erase) {
        step(ChangeStep::blank_check);
        const JobRange erased = job_range(s.geometry, r.span, r.chip_erase, 0);
        if (end.outcome = check_unprogrammed(s, erased, r.span.start, image.size()); !end.outcome.ok())
            return end;
    }
    if (r.program) {
        step(ChangeStep::program);
        end.outcome = program_image(s, r.span.start, image);
    }
    return end;
}
