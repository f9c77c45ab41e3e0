// SPDX-License-Identifier: Apache-2.0
#include "app/report_fields.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/cable_choice.h"
#include "app/command_line.h"
#include "app/job_report.h"
#include "app/options.h"
#include "jtag/number_text.h"
#include "platform/usb_transport.h"

namespace {

// --cable-id as the adapter is named in the report: "0403:6010" for any spelling the tool takes.
std::string cable_id_text(const char* typed)
{
    const std::string_view id = typed;
    const size_t colon = id.find(':');
    UsbId parsed;
    if (colon == std::string_view::npos || !parse_hex(id.substr(0, colon), parsed.vendor) ||
        !parse_hex(id.substr(colon + 1), parsed.product))
        return {};
    return usb_id_text(parsed);
}

// One classic option as the user meant it: a '/' word after an option left without its value is
// that value (the run refuses it, but it names the file the job was for).
int meant_option(OptionScan& scan, int argc, char** argv, const char** value)
{
    const int c = get_option(scan, argc, argv, kOptionString, value);
    const char* row = c > 1 ? std::strchr(kOptionString, c) : nullptr;
    if (row != nullptr && row[1] == ':' && *value == nullptr && scan.index < argc && argv[scan.index][0] == '/')
        *value = argv[scan.index++];
    return c;
}

// The classic options without a word printed: the scan that runs the job says what is wrong.
void quiet_scan(int argc, char** argv, RunOptions& o)
{
    OptionScan scan;
    const char* value = nullptr;
    for (int c; (c = meant_option(scan, argc, argv, &value)) > 0;) {
        if (c == 'j')
            o.idcode_check = true;
        if (c == 't')
            o.toggle_mode = 2;
        if (c == 'f')
            o.image_path = value != nullptr ? value : "";  // a program job, even without its file
        if (value == nullptr)
            continue;
        int32_t number = 0;
        const bool is_number = parse_number(value, &number);
        switch (c) {
        case 'o':
            o.start_offset = is_number ? static_cast<uint32_t>(number) : o.start_offset;
            break;
        case 'w':
            o.bus_width = is_number ? number : o.bus_width;
            break;
        case 'i':
            o.interleave = is_number ? number : o.interleave;
            break;
        case 'e':
            o.erase_all = std::string_view(value) == "all";
            o.erase_size = is_number ? static_cast<uint32_t>(number) : o.erase_size;
            break;
        default:
            break;
        }
    }
}

// The last value of `letter` on the command line, as typed.
const char* last_value(int argc, char** argv, int letter)
{
    OptionScan scan;
    const char* value = nullptr;
    const char* last = nullptr;
    for (int c; (c = meant_option(scan, argc, argv, &value)) > 0;)
        if (c == letter && value != nullptr)
            last = value;
    return last;
}

const char* job_kind(const LongOptions& l, const RunOptions& o)
{
    if (l.chain_list)
        return "chain-list";
    if (l.read_path != nullptr)
        return "read";
    if (l.verify_path != nullptr)
        return "verify";
    if (o.idcode_check)
        return "idcode";
    if (o.toggle_mode != 0)
        return "toggle";
    return o.image_path != nullptr ? "program" : "erase";
}

}  // namespace

void report_command_line(JobReport& report, const LongOptions& l, int argc, char** argv)
{
    std::string error;
    const bool usb = wants_usb_cable(l, error);
    // --cable NAME or NAME:WHERE names the kind; an adapter's options alone say ftdi.
    const std::string named = l.cable != nullptr ? std::string(l.cable).substr(0, std::strcspn(l.cable, ":")) : "";
    report.cable_kind = !error.empty() ? "" : !usb ? "parport" : named.empty() ? "ftdi" : named;
    if (report.cable_kind == "ftdi" && l.cable_id != nullptr)
        report.vid_pid = cable_id_text(l.cable_id);
    if (report.cable_kind == "ftdi" && l.cable_serial != nullptr)
        report.serial = l.cable_serial;
    if (l.bsdl != nullptr)
        report.bsdl = l.bsdl;
    RunOptions o;
    quiet_scan(argc, argv, o);
    if (const char* cpu = last_value(argc, argv, 'C'); cpu != nullptr && l.bsdl == nullptr)
        report.cpu = cpu;
    if (const char* model = last_value(argc, argv, 'F'))
        report.flash_model = model;
    report.bus_width = o.bus_width;
    report.chips = o.interleave;
    report.start = o.start_offset;
    report.length = o.erase_all ? 0 : o.erase_size;
    report.job_kind = job_kind(l, o);
    const char* file = l.read_path != nullptr ? l.read_path : l.verify_path != nullptr ? l.verify_path : o.image_path;
    if (file != nullptr && l.read_path == nullptr)
        report.image_path = file;
}

void report_usb_choice(JobReport& report, const UsbDeviceChoice& device)
{
    if (device.product != 0 && device.more_ids.empty())
        report.vid_pid = usb_id_text({device.vendor, device.product});
    if (!device.serial.empty())
        report.serial = device.serial;
}

void report_image_size(JobReport& report)
{
    if (report.image_path.empty() || report.image_size)
        return;
    std::error_code error;
    if (!std::filesystem::is_regular_file(report.image_path, error))
        return;
    const uintmax_t size = std::filesystem::file_size(report.image_path, error);
    if (error)
        return;
    report.image_size = size;
    if (report.job_kind == "program")
        report.length = size;
}
