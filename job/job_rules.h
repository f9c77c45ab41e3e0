// SPDX-License-Identifier: Apache-2.0
// A job's decisions, shared by the command line and the job API: where a job may start, which
// blocks it erases, how far it reaches, which set-ups detection tries, and the stages that change
// the flash. Nothing here prints.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "flash/flash_detect.h"
#include "flash/flash_geometry.h"
#include "flash/flash_session.h"
#include "targets/cpu_target.h"
#include "targets/selected_target.h"

// What the job may have changed: [begin, end) on the CPU bus; empty before anything was.
struct JobRange {
    uint32_t begin = 0;
    uint64_t end = 0;
};

// The range a job asks for: from `start`, `erase_size` bytes (the whole device with `erase_all`).
struct JobSpan {
    uint32_t start = 0;
    uint32_t erase_size = 0;
    bool erase_all = false;
};

// No erase block of any chip starts off a 4 KB boundary.
inline constexpr uint32_t kNoBlockStartBelow = 0x1000;

// True when `start` sits on the start of its erase block; outside the table, false.
bool start_is_aligned(const FlashGeometry& geometry, uint32_t start);

// A start past the device's end: the block table starts at the start rounded down to the device
// size, so only a start moved past it (by a block index) is.
inline bool past_device(const FlashGeometry& g, uint32_t start) { return start - g.block_start[0] >= g.device_size; }

// A built-in CPU's address pins above the flash region's start reach 2^pins bytes; a job ending
// past them would change the lower part of a larger flash and read it back as if it had gone
// where it was meant.
inline uint64_t cpu_pins_reach(const CpuTarget& cpu) { return uint64_t{1} << cpu.pins.address.size(); }
inline bool past_cpu_pins(const CpuTarget& cpu, const FlashGeometry& g, uint64_t end)
{
    return end > g.block_start[0] + cpu_pins_reach(cpu);
}

// A job ending past what the address pins reach would change the flash's lower part and read it
// back as if it had gone where it was meant: a bus map's pins count words, a built-in CPU's pins
// count bytes above the flash region's start.
enum class ReachStop : uint8_t { none, bus_map, cpu_pins };
ReachStop reach_stop(const SelectedTarget& target, const FlashGeometry& geometry, uint64_t end);

// Distance in bytes from the first erase block to block `index`; 0 outside 0..block_count.
uint32_t block_offset(const FlashGeometry& geometry, int32_t index);

// The chip erase, only where the range is the whole device or erase_all asks for it.
bool takes_chip_erase(const FlashGeometry& geometry, const JobSpan& span);

// What the erase and the image may touch: whole blocks, clipped to the device.
JobRange job_range(const FlashGeometry& geometry, const JobSpan& span, bool chip_erase, size_t image_size);

// How much a read takes from the start: the span's size when given, else up to the device's end.
uint32_t read_length(const FlashGeometry& geometry, const JobSpan& span);

// The set-ups (FlashSetup bits) detection may try: those the CPU's data pins carry, narrowed by a
// bus width and an interleave other than 0.
uint8_t setups_to_try(const CpuTarget& cpu, int32_t bus_width, int32_t interleave);
// Their names, "16x1, 8x2", or empty.
std::string setup_names(uint8_t setups);

// Detection over `setups`, one at a time: a bus map's address pins count the words of the bus
// being tried.
Status detect_in_setups(SelectedTarget& target, Host& host, uint32_t start, uint8_t setups, FlashDetection& found);

// Blocks [first, last) before they change: protected or locked ones refuse the job, or are
// unlocked when asked.
Outcome check_blocks(FlashSession& session, uint32_t start, int32_t first, int32_t last, bool unlock, bool unlock_all);

// The steps of a job that changes the flash, in their order.
enum class ChangeStep : uint8_t {
    check,        // the blocks to erase: protected or locked ones refused, or unlocked when asked
    erase,        // the chip, or the blocks of the span
    blank_check,  // with verify_erase: the erased words the image leaves, read back as erased
    program,      // the image, each word verified as it is written
};

struct ChangeRequest {
    JobSpan span{};  // its erase size settled
    bool chip_erase = false;
    bool program = true;  // false: an erase alone
    bool verify_erase = false;
    bool unlock = false;
    bool unlock_all = false;
    // As the erase and the program begin.
    std::function<void(ChangeStep step)> entering{};
};

struct ChangeEnd {
    Outcome outcome;
    ChangeStep step = ChangeStep::check;  // the step it ended in
};

// Erases what the span needs, checks it when asked and programs the image.
ChangeEnd change_flash(FlashSession& session, const ChangeRequest& request, std::span<const uint8_t> image);

// The image programmed from `start` the way the chip writes fastest, each word verified; `block`
// is the start of the block being programmed, where the unlock cycles go.
Outcome program_image(FlashSession& session, uint32_t block, uint32_t start, std::span<const uint8_t> image);
inline Outcome program_image(FlashSession& session, uint32_t start, std::span<const uint8_t> image)
{
    return program_image(session, start, start, image);
}
