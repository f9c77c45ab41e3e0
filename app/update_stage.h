// SPDX-License-Identifier: Apache-2.0
// --update: the job's range is read first, then only the blocks that differ from what the job
// wants there are changed.
#pragma once

#include <cstdint>
#include <span>

#include "app/backup_file.h"
#include "app/job_report.h"
#include "app/options.h"
#include "app/stop_report.h"
#include "flash/flash_session.h"
#include "flash/flash_update.h"

struct UpdateEnd {
    Outcome outcome;
    bool refused = false;  // a check failed before the flash changed; its lines are printed
    JobRange changed;      // the blocks erased or programmed so far: what a stop may leave half-written
    UpdateCounts counts;
};

// Reads `range` (whole blocks) in pipelined runs, into the backup too when --read was given;
// compares it with the image at the start address (the erased value elsewhere); then checks the
// blocks to change for protection and erases and programs them, each read back as it is written.
// The cause line of a failure is printed; the stop line is the caller's.
UpdateEnd update_range(FlashSession& session, const RunOptions& o, const JobRange& range,
                       std::span<const uint8_t> image, BackupFile& backup, JobReport& report);

// The line before the summary (which stays the job's last word): how many blocks were left alone,
// programmed over and erased.
void print_update_counts(const UpdateCounts& counts);
