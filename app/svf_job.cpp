// SPDX-License-Identifier: Apache-2.0
#include "app/svf_job.h"

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/options.h"
#include "app/run_programming.h"
#include "flash/expected_cfi.h"
#include "flash/flash_descriptor.h"
#include "jtag/jtag_chain.h"
#include "jtag/svf_writer.h"
#include "platform/console.h"
#include "targets/cpu_table.h"

namespace {

// The TCK rate the file's waits are counted at, unless --tck-hz says another: a player clocking
// slower only waits longer.
constexpr uint32_t kSvfHz = 1'000'000;

RunEnd refused(const std::string& line)
{
    con_printf("%s\n", line.c_str());
    return {1, CableEnd::none};
}

// What a board would have answered and the file cannot ask; "" when the job can be written.
std::string unknowable(const LongOptions& lo, const RunOptions& o)
{
    if (lo.cable != nullptr || lo.cable_config != nullptr)
        return "--svf drives no cable: leave out --cable and --cable-config";
    if (lo.detect)
        return "--svf cannot detect the flash: the file is written without the board, give -F, -w and -i";
    if (lo.read_path != nullptr || lo.verify_path != nullptr || o.idcode_check || o.toggle_mode != 0)
        return "--svf writes an erase or programming job: --read, --verify, -j and -t need the board";
    if (o.flash_model[0] == '\0')
        return "--svf needs the flash model: give -F";
    if (o.bus_width == 0 || o.interleave == 0)
        return "--svf needs the bus set-up: give -w and -i";
    const FlashDescriptor* d = flash_descriptor_find(o.flash_model);
    if (d == nullptr)
        return "";  // the run refuses it in its own words
    if (d->style != CommandStyle::amd)
        return std::string("--svf writes AMD command-set chips only, not ") + d->name;
    for (const DeviceVariant& v : d->variants)
        if (v.builtin == nullptr && expected_cfi_table(d->name).empty())
            return std::string("--svf needs a geometry known in advance: ") + d->name +
                   " reads its blocks from the chip's CFI table";
    if (lo.chain_list || !lo.bsdl_dirs.empty() || (lo.device != nullptr) != (lo.chain != nullptr))
        return "--svf cannot read the chain: give --chain L0,L1,... and --device N";
    return "";
}

// --chain and --device without reading the chain: position 0 is nearest TDO.
bool chain_position(const LongOptions& lo, ChainPosition& position)
{
    if (lo.chain == nullptr)
        return true;
    int32_t device = 0;
    if (!parse_number(lo.device, &device) || device < 0)
        return false;
    std::string list = lo.chain;
    int32_t p = 0;
    for (size_t at = 0; at <= list.size(); ++p) {
        const size_t comma = std::min(list.find(',', at), list.size());
        int32_t length = 0;
        if (!parse_number(list.substr(at, comma - at).c_str(), &length) || length <= 0)
            return false;
        if (p < device) {
            ++position.devices_before;
            position.ir_before += static_cast<uint32_t>(length);
        } else if (p > device) {
            ++position.devices_after;
            position.ir_after += static_cast<uint32_t>(length);
        }
        at = comma + 1;
    }
    return device < p;
}

std::string summary(const JobReport& r, const RunOptions& o, const SvfWriter& w, size_t body_bytes)
{
    char line[256];
    std::string text = std::string("! tarnflash ") + TARNFLASH_VERSION_TEXT + ": a flash job as Serial Vector Format\n";
    text += o.bsdl_path != nullptr ? std::string("! BSDL file: ") + o.bsdl_path + "\n" : "! CPU: " + r.cpu + "\n";
    if (!o.chain.alone())
        text += "! Chain: device " + std::to_string(o.chain.devices_before) + " of " +
                std::to_string(o.chain.devices_before + o.chain.devices_after + 1) + ", the others in BYPASS\n";
    std::snprintf(line, sizeof line, "! Flash: %s, set-up %dx%d (-w %d -i %d), maker 0x%04X, device 0x%04X\n",
                  r.flash_model.c_str(), static_cast<int>(o.bus_width), static_cast<int>(o.interleave),
                  static_cast<int>(o.bus_width), static_cast<int>(o.interleave), r.maker_id.value_or(0),
                  r.device_id.value_or(0));
    text += line;
    std::snprintf(line, sizeof line, "! Range: 0x%08X, %llu bytes (%s)\n", r.start,
                  static_cast<unsigned long long>(r.length), r.job_kind.c_str());
    text += line;
    if (!r.image_path.empty())
        text += "! Image: " + r.image_path + ", " + std::to_string(r.image_size.value_or(0)) + " bytes, SHA-256 " +
                r.image_sha256 + "\n";
    text += "! Checked reads: " + std::to_string(w.checked_scans()) + "\n";
    // The size line counts itself: its digits settle after a pass or two.
    std::string size_line;
    for (int pass = 0; pass < 3; ++pass) {
        const size_t total = text.size() + size_line.size() + body_bytes;
        std::snprintf(line, sizeof line, "! File: %zu bytes; %llu TCK, %.1f s at %.0f kHz\n", total,
                      static_cast<unsigned long long>(w.tck_count()), static_cast<double>(w.tck_count()) / w.tck_hz(),
                      w.tck_hz() / 1000.0);
        size_line = line;
    }
    return text + size_line;
}

}  // namespace

RunEnd svf_job(const LongOptions& lo, int argc, char** argv, const BsdlTarget& bsdl, JobReport& report)
{
    RunOptions o;
    if (argc < 2)
        return refused("--svf needs a job: -C or --bsdl, -F, -w, -i and -f or -e");
    if (Ending end = scan_options(argc, argv, o))
        return *end;
    if (const std::string why = unknowable(lo, o); !why.empty())
        return refused(why);
    if (!chain_position(lo, o.chain))
        return refused("Bad --chain or --device: IR lengths L0,L1,... and a position among them, 0 nearest TDO");
    int32_t hz = kSvfHz;
    if (lo.tck_hz != nullptr && (!parse_number(lo.tck_hz, &hz) || hz <= 0))
        return refused(std::string("Bad --tck-hz ") + lo.tck_hz + ": the TCK rate the file's waits are counted at");
    const CpuTarget* cpu = lo.bsdl != nullptr ? &bsdl.cpu() : cpu_select(o.cpu_name);
    if (cpu == nullptr) {
        con_printf("Not or Yet support for %s\n", o.cpu_name);
        return {1, CableEnd::none};
    }
    std::FILE* file = std::fopen(lo.svf_path, "wb");
    if (file == nullptr)
        return refused(std::string("Cannot write ") + lo.svf_path);
    o.unlock = lo.unlock || lo.unlock_all;
    o.unlock_all = lo.unlock_all;
    o.verify_erase = lo.verify_erase;
    o.bsdl_path = lo.bsdl;
    o.report = &report;
    report.cable_kind = "svf";
    SvfWriter writer(static_cast<uint32_t>(hz), o.chain);
    JtagChain chain(writer, o.chain);
    o.svf = &writer;
    chain.tap_reset();
    RunEnd end = run_programming(o, *cpu, chain);
    if (end.cable == CableEnd::reset_park)
        chain.tap_reset();
    const std::string text = summary(report, o, writer, writer.text().size()) + writer.text();
    const bool written = end.status == 0 && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (end.status != 0) {
        std::remove(lo.svf_path);
        con_printf("No SVF written\n");
        return {end.status, CableEnd::none};
    }
    if (!written || !closed)
        return refused(std::string("Cannot write ") + lo.svf_path);
    con_printf("SVF written to %s: %llu bytes, %llu TCK (%.1f s at %.0f kHz)\n", lo.svf_path,
               static_cast<unsigned long long>(text.size()), static_cast<unsigned long long>(writer.tck_count()),
               static_cast<double>(writer.tck_count()) / hz, hz / 1000.0);
    return {0, CableEnd::none};
}
