// SPDX-License-Identifier: Apache-2.0
#include "python/job_result.h"

#include <cstdio>

namespace py = pybind11;

namespace {

using tarnflash::Status;

const char* status_name(Status status)
{
    switch (status) {
    case Status::ok:
        return "ok";
    case Status::refused:
        return "refused";
    case Status::erase_failed:
        return "erase_failed";
    case Status::mismatch:
        return "mismatch";
    case Status::timeout:
        return "timeout";
    case Status::image_error:
        return "image_error";
    case Status::cancelled:
        return "cancelled";
    case Status::interrupted:
        return "interrupted";
    case Status::cable_fault:
        return "cable_fault";
    }
    return "failed";
}

// Identification codes as their datasheets write them: "0x1B4E20D3", "0x22DA".
template <typename T>
std::string hex(T value)
{
    char text[16];
    std::snprintf(text, sizeof text, sizeof(T) == 4 ? "0x%08X" : "0x%04X", static_cast<unsigned>(value));
    return text;
}

py::object text_or_none(const std::string& text) { return text.empty() ? py::object(py::none()) : py::str(text); }

}  // namespace

JobResult job_result(const char* kind, const tarnflash::Outcome& o, const tarnflash::Report& report)
{
    JobResult r;
    switch (o.status) {
    case Status::ok:
    case Status::refused:
    case Status::cancelled:
    case Status::interrupted:
        r.status = status_name(o.status);
        break;
    default:
        r.status = "failed";
    }
    r.message = report.cause;
    // Where the job stopped, except where nothing was reached: a refusal before any block, a
    // cable that failed, an image that gave no bytes.
    const bool placed = !o.ok() && o.status != Status::cable_fault && o.status != Status::image_error &&
                        (o.status != Status::refused || o.block >= 0);
    // A word read against what was wanted: a mismatch, or a word an erase left unerased.
    const bool compared = o.status == Status::mismatch || (o.status == Status::erase_failed && o.expected != 0);
    r.address = placed ? py::object(py::int_(o.address)) : py::none();
    r.expected = compared ? py::object(py::int_(o.expected)) : py::none();
    r.actual = compared ? py::object(py::int_(o.actual)) : py::none();
    r.block = o.block >= 0 ? py::object(py::int_(o.block)) : py::none();

    py::dict outcome;
    outcome["status"] = status_name(o.status);
    outcome["message"] = report.cause;
    outcome["address"] = r.address;
    outcome["expected"] = r.expected;
    outcome["actual"] = r.actual;
    outcome["block"] = r.block;
    r.report["job"] = kind;
    r.report["cpu"] = text_or_none(report.cpu);
    r.report["flash_model"] = text_or_none(report.flash_model);
    r.report["stage"] = text_or_none(report.stage);
    r.report["idcode_read"] = hex(report.idcode_read);
    r.report["maker_id"] = hex(report.maker_id);
    r.report["device_id"] = hex(report.device_id);
    r.report["flash_size"] = report.flash_size;
    r.report["start"] = report.start;
    r.report["length"] = report.length;
    if (report.blocks.unchanged + report.blocks.programmed_over + report.blocks.erased != 0) {
        py::dict blocks;
        blocks["unchanged"] = report.blocks.unchanged;
        blocks["programmed_over"] = report.blocks.programmed_over;
        blocks["erased"] = report.blocks.erased;
        r.report["update"] = blocks;
    }
    r.report["outcome"] = outcome;
    return r;
}

py::dict found_dict(const tarnflash::FlashFound& found)
{
    py::dict d;
    d["model"] = found.model;
    d["bus_width"] = found.bus_width;
    d["chips"] = found.interleave;
    d["maker_id"] = hex(found.maker_id);
    d["device_id"] = hex(found.device_id);
    d["size"] = found.size;
    return d;
}
