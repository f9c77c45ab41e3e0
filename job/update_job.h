// SPDX-License-Identifier: Apache-2.0
// The update: the job's range is read first, then only the blocks that differ from what the job
// wants there are changed. Nothing here prints.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "flash/flash_session.h"
#include "flash/flash_update.h"
#include "job/job_rules.h"

struct UpdateRequest {
    uint32_t start = 0;  // where the image goes
    bool verify_erase = false;
    bool unlock = false;
    bool unlock_all = false;
    // Each stage as it begins: "read", "erase", "program".
    std::function<void(const char* stage)> stage{};
    // The range as read from `begin`, before anything changes; false ends the job refused (its
    // line printed).
    std::function<bool(uint32_t begin, std::span<const uint8_t> now)> read{};
};

struct UpdateEnd {
    Outcome outcome;
    bool refused = false;   // a check failed before the flash changed
    bool changing = false;  // it failed while erasing or programming
    JobRange changed;       // the blocks erased or programmed so far: what a stop may leave half-written
    std::optional<UpdateCounts> counts;  // once the plan is made
};

// Reads `range` (whole blocks) in pipelined runs; compares it with the image at the start (the
// erased value elsewhere); then checks the blocks to change for protection and erases and
// programs them, each read back as it is written.
UpdateEnd update_range(FlashSession& session, const UpdateRequest& request, const JobRange& range,
                       std::span<const uint8_t> image);
