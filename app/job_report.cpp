// SPDX-License-Identifier: Apache-2.0
#include "app/job_report.h"

#include <chrono>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/backup_file.h"
#include "platform/platform.h"

namespace {

using nlohmann::ordered_json;

ordered_json text_or_null(const std::string& text) { return text.empty() ? ordered_json(nullptr) : ordered_json(text); }

ordered_json number_or_null(int32_t value) { return value == 0 ? ordered_json(nullptr) : ordered_json(value); }

template <typename T>
ordered_json optional_value(const std::optional<T>& value)
{
    return value ? ordered_json(*value) : ordered_json(nullptr);
}

// Identification codes as their datasheets write them: "0x1B4E20D3", "0x22DA".
template <typename T>
ordered_json hex_value(const std::optional<T>& value)
{
    if (!value)
        return nullptr;
    char text[16];
    std::snprintf(text, sizeof text, sizeof(T) == 4 ? "0x%08X" : "0x%04X", static_cast<unsigned>(*value));
    return text;
}

std::string calendar_text(int64_t seconds)
{
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds{seconds}};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

}  // namespace

void JobReport::stage(const char* name)
{
    if (!timed)
        return;
    stage_end();
    running_ = name;
    since_ns_ = platform().monotonic_ns();
}

void JobReport::stage_end()
{
    if (running_ == nullptr)
        return;
    stages_.emplace_back(running_, platform().monotonic_ns() - since_ns_);
    running_ = nullptr;
}

std::string job_report_json(const JobReport& r, int status, const std::string& message)
{
    ordered_json cable = {{"kind", text_or_null(r.cable_kind)}};
    if (r.cable_kind == "parport")
        cable["port"] = optional_value(r.port);
    else if (r.round_trips)
        cable.update({{"server", r.server}, {"round_trips", *r.round_trips}});
    else
        cable.update({{"vid_pid", text_or_null(r.vid_pid)},
                      {"serial", text_or_null(r.serial)},
                      {"description", text_or_null(r.description)}});
    ordered_json image = nullptr;
    if (!r.image_path.empty())
        image = {
            {"path", r.image_path}, {"size", optional_value(r.image_size)}, {"sha256", text_or_null(r.image_sha256)}};
    ordered_json stages = ordered_json::object();
    // A stage entered more than once (an update erases and programs block by block) sums its times.
    for (const auto& [name, ns] : r.stages())
        stages[name] = stages.value(name, 0.0) + static_cast<double>(ns) / 1e9;
    ordered_json counters = ordered_json::object();
    for (const auto& [name, value] : r.counters)
        counters[name] = value;
    ordered_json job = {{"kind", r.job_kind}, {"start", r.start}, {"length", r.length}, {"image", image}};
    if (r.update)
        job["update"] = {{"unchanged", r.update->unchanged},
                         {"programmed_over", r.update->programmed_over},
                         {"erased", r.update->erased}};
    const ordered_json report = {
        {"schema", "tarnflash-report-1"},
        {"tool", {{"name", "tarnflash"}, {"version", TARNFLASH_VERSION_TEXT}}},
        {"started", calendar_text(r.started)},
        {"cable", cable},
        {"target",
         {{"cpu", text_or_null(r.cpu)},
          {"bsdl", text_or_null(r.bsdl)},
          {"idcode_expected", hex_value(r.idcode_expected)},
          {"idcode_read", hex_value(r.idcode_read)},
          {"chain_device", optional_value(r.chain_device)},
          {"chain_devices", optional_value(r.chain_devices)}}},
        {"flash",
         {{"model", text_or_null(r.flash_model)},
          {"bus_width", number_or_null(r.bus_width)},
          {"chips", number_or_null(r.chips)},
          {"maker_id", hex_value(r.maker_id)},
          {"device_id", hex_value(r.device_id)},
          {"size", optional_value(r.flash_size)}}},
        {"job", job},
        {"outcome",
         {{"status", status}, {"message", message}, {"first_failing_address", optional_value(r.failing_address)}}},
        {"stages_s", stages},
        {"counters", counters},
    };
    // Invalid UTF-8 in a path or a message becomes U+FFFD instead of an exception.
    return report.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

bool job_report_write(const JobReport& r, int status, const std::string& message, const std::string& path)
{
    const std::string text = job_report_json(r, status, message);
    BackupFile file;
    return file.create(path.c_str(), "--report") &&
           file.commit({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}
