// SPDX-License-Identifier: Apache-2.0
#include "app/run_programming.h"

#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/backup_file.h"
#include "app/cause_lines.h"
#include "app/console_host.h"
#include "app/image_file.h"
#include "app/job_report.h"
#include "app/run_causes.h"
#include "app/stop_report.h"
#include "flash/flash_descriptor.h"
#include "flash/expected_bus.h"
#include "flash/flash_ops.h"
#include "jtag/chain_check.h"
#include "jtag/jtag_chain.h"
#include "jtag/svf_writer.h"
#include "job/flash_open.h"
#include "job/job_rules.h"
#include "job/update_job.h"
#include "platform/console.h"
#include "platform/sha256.h"
#include "platform/platform.h"
#include "targets/cpu_table.h"
#include "targets/selected_target.h"

namespace {

constexpr RunEnd kEndRun = {1, CableEnd::park};
// An interrupt or a cable failure: the bus released, the TAP reset, the cable parked.
constexpr RunEnd kStopped = {1, CableEnd::reset_park};

// The block table starts at the start address rounded down to the device size, and the flash
// decodes only its own address bits: it answers again and again above its end, so a start in such a
// mirror reaches the same blocks. A start moved past the table by -b would reach other ones.
bool start_in_device(const FlashGeometry& g, uint32_t start)
{
    const uint32_t offset = start - g.block_start[0];
    if (past_device(g, start)) {
        con_printf("Start 0x%08X is past the end of the flash: %u KB from 0x%08X\n", start, g.device_size / 1024,
                   g.block_start[0]);
        return false;
    }
    if (cpu_region_offset(start) >= g.device_size)
        con_printf("0x%08X is offset 0x%08X of the %u KB flash, which repeats every 0x%X bytes\n", start, offset,
                   g.device_size / 1024, g.device_size);
    return true;
}

// The IDCODE as it shifts out, bit 0 first; the bits the table leaves open are not checked.
std::string idcode_tdo(const char* idcode)
{
    std::string tdo(32, 'x');
    for (int i = 0; i < 32; ++i)
        if (idcode[31 - i] == '0' || idcode[31 - i] == '1')
            tdo[i] = idcode[31 - i];
    return tdo;
}

// The one line that says what --detect found.
void print_found(const FlashSession& s, const RunOptions& o)
{
    con_printf("Found %s: maker 0x%04X, device 0x%04X, %u KB, %s command set, set-up %dx%d (-w %d -i %d)\n",
               s.descriptor.name, s.identity.maker_id, s.identity.device_id, s.geometry.device_size / 1024,
               s.descriptor.style == CommandStyle::intel ? "Intel/Sharp" : "AMD", static_cast<int>(o.bus_width),
               static_cast<int>(o.interleave), static_cast<int>(o.bus_width), static_cast<int>(o.interleave));
}

// A job past what the address pins reach would change the flash's lower part and read it back as
// if it had gone where it was meant.
bool reach_refused(const SelectedTarget& target, const FlashGeometry& g, uint64_t end)
{
    const CpuTarget& cpu = target.cpu();
    switch (reach_stop(target, g, end)) {
    case ReachStop::bus_map:
        con_printf("The bus map's %u address pins reach 0x%llX bytes; the job goes up to 0x%llX\n",
                   static_cast<unsigned>(cpu.pins.address.size()),
                   static_cast<unsigned long long>(target.address_reach()), static_cast<unsigned long long>(end));
        return true;
    case ReachStop::cpu_pins:
        con_printf("The job ends at 0x%08llX, past the %llu KB that this CPU's %u address pins reach\n",
                   static_cast<unsigned long long>(end - 1),
                   static_cast<unsigned long long>(cpu_pins_reach(cpu) / 1024),
                   static_cast<unsigned>(cpu.pins.address.size()));
        return true;
    default:
        return false;
    }
}

// The span a run's options ask for.
JobSpan span_of(const RunOptions& o) { return {o.start_offset, o.erase_size, o.erase_all}; }

// How the run ends after an erase or program that did not succeed.
RunEnd job_failed(const Outcome& outcome, SelectedTarget& target, const JobRange& range, JobReport& report)
{
    report.failing_address = outcome.address;
    switch (outcome.status) {
    case Status::cancelled:
        report_stop("ESC", outcome.address, range);
        return {1, CableEnd::reset_park};
    case Status::interrupted:
    case Status::cable_fault:
        report_stop(stop_reason(target.cable()), outcome.address, range);
        target.bus_release();
        return {1, CableEnd::reset_park};
    default:
        return kEndRun;
    }
}

// Between stages: an interrupt or a cable failure ends the run before the flash changes.
bool stopped_before_change(SelectedTarget& target)
{
    const std::string reason = stop_reason(target.cable());
    if (reason.empty())
        return false;
    report_stop(reason, 0, {});
    target.bus_release();
    return true;
}

void print_elapsed(const char* what, int64_t start_seconds)
{
    const int64_t elapsed = platform().time_seconds() - start_seconds;
    con_printf("\n%s elapsed time:  %d[min] %d[sec]\n", what, static_cast<int>(elapsed / 60),
               static_cast<int>(elapsed % 60));
}

void note_image(JobReport& report, const char* path, const std::vector<uint8_t>& bytes)
{
    report.image_path = path;
    report.image_size = bytes.size();
    report.image_sha256 = sha256_hex(bytes);
    report.length = bytes.size();
}

// --update: the report's stages, and with --read the range as read goes into the backup file.
UpdateRequest update_request(const RunOptions& o, BackupFile& backup, JobReport& report)
{
    UpdateRequest request{.start = o.start_offset,
                          .verify_erase = o.verify_erase,
                          .unlock = o.unlock,
                          .unlock_all = o.unlock_all,
                          .stage = [&report](const char* stage) { report.stage(stage); }};
    if (o.read_path != nullptr)
        request.read = [&o, &backup](uint32_t begin, std::span<const uint8_t> now) {
            if (!backup.commit(now))
                return false;
            con_printf("\nFlash reading OK: %u bytes from 0x%08X into %s\n", static_cast<unsigned>(now.size()), begin,
                       o.read_path);
            return true;
        };
    return request;
}

// --read: the flash from the start address into the backup file; nothing is erased or written.
RunEnd read_job(FlashSession& session, SelectedTarget& target, const RunOptions& o, BackupFile& backup,
                int64_t start_seconds, JobReport& report)
{
    std::vector<uint8_t> bytes(read_length(session.geometry, span_of(o)));
    if (reach_refused(target, session.geometry, uint64_t{o.start_offset} + bytes.size()))
        return kEndRun;
    report.stage("read");
    report.length = bytes.size();
    if (o.erase_size != 0 && !o.erase_all)
        print_range_end_line("read", session.geometry, o.start_offset, o.erase_size);
    const Outcome read = flash_read_range(session, o.start_offset, bytes);
    if (!read.ok())
        return job_failed(read, target, {}, report);
    if (!backup.commit(bytes))
        return kEndRun;
    con_printf("\nFlash reading OK: %u bytes from 0x%08X into %s\n", static_cast<unsigned>(bytes.size()),
               o.start_offset, o.read_path);
    print_elapsed("Read", start_seconds);
    return {0, CableEnd::park};
}

// --verify: the flash from the start address against the file; nothing is erased or written.
RunEnd verify_job(FlashSession& session, SelectedTarget& target, const RunOptions& o, int64_t start_seconds,
                  JobReport& report)
{
    std::vector<uint8_t> file;
    if (!load_image_file(o.verify_path, session.geometry, o.start_offset, file))
        return {1, CableEnd::reset_park};
    // An empty file matches any flash: that proves nothing.
    if (file.empty()) {
        con_printf("Nothing to compare: %s is empty\n", o.verify_path);
        return kEndRun;
    }
    note_image(report, o.verify_path, file);
    if (reach_refused(target, session.geometry, uint64_t{o.start_offset} + file.size()))
        return kEndRun;
    report.stage("verify");
    const Outcome verified = flash_verify_range(session, o.start_offset, file);
    if (!verified.ok()) {
        print_job_failure_line(verified, session);
        return job_failed(verified, target, {}, report);
    }
    con_printf("\nFlash verifying OK: %u bytes from 0x%08X match %s\n", static_cast<unsigned>(file.size()),
               o.start_offset, o.verify_path);
    print_elapsed("Verify", start_seconds);
    return {0, CableEnd::park};
}

}  // namespace

RunEnd run_programming(const RunOptions& options, const CpuTarget& cpu, JtagChain& chain)
{
    RunOptions o = options;
    SelectedTarget target(cpu, chain);
    JobReport unreported;
    JobReport& report = o.report != nullptr ? *o.report : unreported;
    report.cpu = cpu.name;
    report.idcode_expected = bitstring_value(cpu.idcode);
    report.job_kind = o.read_path ? "read" : o.verify_path ? "verify" : o.image_path ? "program" : "erase";
    report.start = o.start_offset;

    // Refused before any JTAG traffic: the address alone shows that no flash can answer there.
    const int ncs_cell = cpu_ncs_cell(cpu, o.start_offset);
    if (ncs_cell == kNoNcsCell) {
        con_printf("No chip select for address 0x%08X on this CPU\n", o.start_offset);
        return kEndRun;
    }
    target.set_ncs_cell(ncs_cell);
    BackupFile backup;
    if (o.read_path != nullptr && !backup.create(o.read_path))
        return kEndRun;
    const int64_t start_seconds = platform().time_seconds();

    report.stage("chain_check");
    ConsoleHost host;
    if (o.svf != nullptr && cpu.idcode_instruction != nullptr)
        o.svf->expect(idcode_tdo(cpu.idcode));
    const Outcome checked = check_chain(chain, host, cpu);
    const bool chain_matches = checked.ok();
    const uint32_t idcode_read = checked.actual;
    report.idcode_read = idcode_read;
    if (stopped_before_change(target))
        return kStopped;
    if (!chain_matches) {
        con_printf("Fail, Read JTAG ID\n");
        print_idcode_line(idcode_read, cpu);
        print_expected_idcode(cpu.idcode, o.bsdl_path);
        print_chain_devices_line(chain, idcode_read);
        return {1, CableEnd::reset_park};
    }

    report.stage_end();  // the prompts wait for a person
    if (!o.detect) {
        if (o.flash_model[0] == '\0') {
            const std::span<const FlashDescriptor> models = flash_descriptors();
            std::vector<const char*> names;
            for (const FlashDescriptor& model : models)
                names.push_back(model.name);
            const std::string name = host.flash_model(names);
            std::strncpy(o.flash_model, name.c_str(), sizeof o.flash_model - 1);
            o.flash_model[sizeof o.flash_model - 1] = '\0';
        }
        if (!host.ending() && o.bus_width == 0)
            o.bus_width = host.bus_width();
        if (!host.ending() && o.interleave == 0)
            o.interleave = host.interleave();
        if (host.ending())
            return *host.ending();
    }

    if (stopped_before_change(target))
        return kStopped;
    chain.scan_ir(cpu.instruction_length, cpu.extest_instruction);

    FlashChoice choice;
    const ChoiceStop chosen = choose_flash(target, host, cpu, o.start_offset, o.detect ? nullptr : o.flash_model,
                                           o.bus_width, o.interleave, choice);
    if (chosen == ChoiceStop::nothing_detected) {
        const std::string tried = setup_names(choice.setups_tried);
        con_printf("No flash answered with known codes or a CFI table in any set-up tried (%s)\n",
                   tried.empty() ? "none fits -w and -i" : tried.c_str());
        return kEndRun;
    }
    o.bus_width = choice.bus_width;
    o.interleave = choice.interleave;
    if (chosen == ChoiceStop::unsupported) {
        con_printf("Cannot support flash programming for your flash setting\n");
        print_setups_line(o.flash_model, o.bus_width, o.interleave);
        return kEndRun;
    }
    const FlashDescriptor* descriptor = choice.descriptor;
    const FlashModel& model = choice.model;
    report.flash_model = descriptor->name;
    report.bus_width = o.bus_width;
    report.chips = o.interleave;
    if (o.bsdl_path != nullptr && !cpu_setup_fits(cpu, model.data_bits)) {
        con_printf("The bus map has %u data pins; %d x %d bits need %u\n",
                   static_cast<unsigned>(cpu.pins.data_in.size()), static_cast<int>(o.interleave),
                   static_cast<int>(o.bus_width), static_cast<unsigned>(model.data_bits));
        return kEndRun;
    }
    target.set_word_bytes(model.bytes_per_word);
    std::optional<ExpectedBus> expected;
    if (o.svf != nullptr)
        expected.emplace(target, *o.svf, *descriptor, model, o.interleave);
    FlashSession session(expected ? static_cast<BusCycles&>(*expected) : target, host, *descriptor, model,
                         o.interleave);
    if (expected)
        expected->set_geometry(session.geometry);

    report.stage("identify");
    // A start off a block's start is refused once the blocks are known.
    const Outcome identified = read_flash_codes(session, o.start_offset);
    report.maker_id = session.identity.maker_id;
    report.device_id = session.identity.device_id;
    // A failed cable reads all ones: its own line, not the flash's.
    if (stopped_before_change(target))
        return kStopped;
    if (!identified.ok()) {
        con_printf("Cannot read flash ID or Unknow flash\n");
        con_printf("Your flash, Maker ID = 0x%04X, Device ID = 0x%04X\n", session.identity.maker_id,
                   session.identity.device_id);
        print_no_flash_line(ncs_cell, o.start_offset, o.bsdl_path != nullptr ? o.unheld_pins : nullptr);
        return kEndRun;
    }
    con_printf("Maker ID = 0x%04X, Device ID = 0x%04X\n", session.identity.maker_id, session.identity.device_id);

    const Outcome geometry = read_flash_blocks(session, o.start_offset);
    if (stopped_before_change(target))
        return kStopped;
    if (!geometry.ok()) {
        con_printf("Not defined FLASH Qeury INFO\n");
        print_other_model_line(session, o.bus_width, o.interleave);
        return kEndRun;
    }
    report.flash_size = session.geometry.device_size;

    if (!start_is_aligned(session.geometry, o.start_offset)) {
        con_printf("Not alignd writing address\n");
        print_misaligned_line(session.geometry, o.start_offset);
        return kEndRun;
    }

    // Identification left the flash in autoselect mode.
    flash_reset_cycle(session, o.start_offset);
    if (o.detect)
        print_found(session, o);

    // Past the table the block offset would be 0: a typo would write over the boot block.
    const FlashGeometry& g = session.geometry;
    if (o.block_index < 0 || o.block_index >= g.block_count) {
        con_printf("Block %d is outside the flash: -b takes 0 to %d\n", static_cast<int>(o.block_index),
                   static_cast<int>(g.block_count - 1));
        return kEndRun;
    }
    o.start_offset += block_offset(g, o.block_index);
    report.start = o.start_offset;
    if (!start_in_device(g, o.start_offset))
        return kEndRun;
    // With --update, the update's read is kept.
    if (o.read_path != nullptr && !o.update)
        return read_job(session, target, o, backup, start_seconds, report);
    if (o.verify_path != nullptr)
        return verify_job(session, target, o, start_seconds, report);

    std::vector<uint8_t> image;
    if (o.image_path != nullptr && !load_image_file(o.image_path, session.geometry, o.start_offset, image))
        return {1, CableEnd::reset_park};
    if (o.image_path != nullptr)
        note_image(report, o.image_path, image);

    if (o.erase_size == 0)
        o.erase_size = static_cast<uint32_t>(image.size());
    if (o.erase_all)
        o.erase_size = session.geometry.device_size;
    if (o.erase_size == 0)
        return fail_exit("Error, not specify erase size\n");

    if (stopped_before_change(target))
        return kStopped;
    const bool chip_erase = takes_chip_erase(g, span_of(o));
    const JobRange range = job_range(g, span_of(o), chip_erase, image.size());
    if (o.image_path == nullptr)
        report.length = o.erase_size;
    if (reach_refused(target, g, range.end))
        return kEndRun;
    if (o.update) {
        const UpdateEnd update = update_range(session, update_request(o, backup, report), range, image);
        if (update.counts)
            report.update = *update.counts;
        if (update.changing)
            print_job_failure_line(update.outcome, session);
        if (!update.outcome.ok())
            return update.refused ? kEndRun : job_failed(update.outcome, target, update.changed, report);
        print_update_counts(*update.counts);
        con_printf(o.image_path == nullptr ? "\nFlash erasing & Verifying OK\n" : "\nFlash writing & verifying OK\n\n");
        chain.flush();
        if (o.image_path != nullptr)
            print_elapsed("Write", start_seconds);
        return {0, o.image_path == nullptr ? CableEnd::reset_park : CableEnd::park};
    }
    const ChangeRequest request{
        .span = span_of(o),
        .chip_erase = chip_erase,
        .program = o.image_path != nullptr,
        .verify_erase = o.verify_erase,
        .unlock = o.unlock,
        .unlock_all = o.unlock_all,
        .entering = [&](ChangeStep step) {
            report.stage(step == ChangeStep::erase ? "erase" : "program");
            if (step == ChangeStep::erase && chip_erase)
                con_printf("\nFlash erasing all ...., Start: 0x%08X\n", o.start_offset);
            else if (step == ChangeStep::erase && !o.erase_all)
                print_range_end_line("erase", g, o.start_offset, o.erase_size);
        }};
    if (const ChangeEnd changed = change_flash(session, request, image); !changed.outcome.ok()) {
        if (changed.step == ChangeStep::check)
            return kEndRun;
        if (changed.step != ChangeStep::blank_check)
            print_job_failure_line(changed.outcome, session, changed.step == ChangeStep::erase && chip_erase);
        return job_failed(changed.outcome, target, range, report);
    }
    if (o.image_path == nullptr) {
        con_printf("\nFlash erasing & Verifying OK\n");
        print_elapsed("Erase", start_seconds);
        return {0, CableEnd::reset_park};
    }
    con_printf("\nFlash writing & verifying OK\n\n");
    chain.flush();  // the last reset cycle may still be queued on a USB cable
    print_elapsed("Write", start_seconds);
    return {0, CableEnd::park};
}
