// SPDX-License-Identifier: Apache-2.0
// What a job from Python hands back: the outcome's fields as Python values (None where they mean
// nothing) and the job's report as a dict that json.dumps takes as it is.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include <tarnflash/tarnflash.h>

struct JobResult {
    std::string status;   // "ok", "failed", "cancelled", "refused" or "interrupted"
    std::string message;  // the report's cause line; empty when ok
    pybind11::object address;
    pybind11::object expected;
    pybind11::object actual;
    pybind11::object block;
    pybind11::dict report;

    bool ok() const { return status == "ok"; }
};

// The job `kind` ("program", ...) ended with `outcome` and left `report`.
JobResult job_result(const char* kind, const tarnflash::Outcome& outcome, const tarnflash::Report& report);

// What detection found: model, bus_width, chips, maker_id, device_id, size.
pybind11::dict found_dict(const tarnflash::FlashFound& found);
