// SPDX-License-Identifier: Apache-2.0
#include "app/tool_main.h"

#include <cstring>
#include <memory>
#include <string>

#include "app/adapter_query.h"
#include "app/backup_file.h"
#include "app/bsdl_board.h"
#include "app/cable_choice.h"
#include "app/cause_lines.h"
#include "app/chain_list.h"
#include "app/command_check.h"
#include "app/command_line.h"
#include "app/console_host.h"
#include "app/dap_cable_choice.h"
#include "app/exit.h"
#include "app/free_argument.h"
#include "app/help.h"
#include "app/job_report.h"
#include "app/long_options.h"
#include "app/network_cable.h"
#include "app/options.h"
#include "app/probe_cables.h"
#include "app/replaced_options.h"
#include "app/report_fields.h"
#include "app/run_causes.h"
#include "app/run_programming.h"
#include "app/stop_report.h"
#include "app/svf_job.h"
#include "jtag/chain_check.h"
#include "jtag/jtag_chain.h"
#include "jtag/lpt_cable.h"
#include "jtag/tap_walker.h"
#include "jtag/toggle_test.h"
#include "platform/console.h"
#include "platform/interrupts.h"
#include "platform/platform.h"
#include "platform/privileges.h"
#include "targets/cpu_table.h"
#include "targets/selected_target.h"

namespace {

Ending check_options(const RunOptions& o, int argc)
{
    // -oVALUE alone: nothing else could have been meant.
    if (o.offset_given && argc == 2) {
        con_printf("Invalid Option\n");
        print_usage();
        return process_end(1);
    }
    if (o.cpu_name[0] == '\0' && o.bsdl_path == nullptr) {
        con_printf("Invalid Option\n");
        con_printf("Type your CPU name with '-C' option\n\n");
        con_printf("   ex: -C KTR5200, -C ULN, -C MIRTA\n\n");
        print_usage();
        return process_end(1);
    }
    return {};
}

RunEnd idcode_mode(const CpuTarget& cpu, JtagChain& chain, JobReport* report, const char* bsdl_path)
{
    ConsoleHost host;
    const Outcome checked = chain_check_idcode(chain, host, cpu.idcode_instruction, cpu.idcode, cpu.instruction_length);
    const uint32_t read = checked.actual;
    if (report != nullptr)
        report->idcode_read = read;
    if (const char* fault = chain.fault()) {
        con_printf("Stopped by a cable error (%s)\n", fault);
        return {1, CableEnd::reset_park};
    }
    // An interrupt, even one before the check, is answered: the run did not do all it was asked.
    if (const std::string reason = stop_reason(chain.cable()); !reason.empty()) {
        report_stop(reason, 0, {});
        return {1, CableEnd::reset_park};
    }
    if (checked.ok())
        return {0, CableEnd::park};
    con_printf("Invalid JTAG ID\n");
    print_idcode_line(read, cpu);
    print_expected_idcode(cpu.idcode, bsdl_path);
    print_chain_devices_line(chain, read);
    return {1, CableEnd::park};
}

RunEnd toggle_mode(const CpuTarget& cpu, JtagChain& chain)
{
    SelectedTarget target(cpu, chain);
    ConsoleHost host(true);  // the test runs until ESC, which no input left can ever bring
    const Outcome ended = toggle_test(chain, host, target.bsr_image(), target.bsr_length(), cpu.toggle);
    if (ended.status == Status::cancelled)
        return {0, CableEnd::none};  // the pins keep the last pass: a probe still sees them
    if (ended.ok())
        return {0, CableEnd::park};
    con_printf("\nStopped by %s\n", ended.detail);
    return {1, CableEnd::reset_park};
}

RunEnd mode_stage(const RunOptions& o, JtagChain& chain, const CpuTarget* bsdl_cpu)
{
    const CpuTarget* cpu = bsdl_cpu != nullptr ? bsdl_cpu : cpu_select(o.cpu_name);
    if (cpu == nullptr) {
        con_printf("Not or Yet support for %s\n", o.cpu_name);
        print_cpu_names_line(o.cpu_name);
        return process_end(1);
    }
    if (o.report != nullptr) {
        o.report->cpu = cpu->name;
        o.report->idcode_expected = bitstring_value(cpu->idcode);
        o.report->job_kind = o.idcode_check ? "idcode" : "toggle";
    }
    if (o.idcode_check)
        return idcode_mode(*cpu, chain, o.report, o.bsdl_path);
    if (o.toggle_mode != 0)
        return toggle_mode(*cpu, chain);
    return run_programming(o, *cpu, chain);
}

void print_banner()
{
    con_printf("  ***********  TARN JTAG NOR  **********\n");
    con_printf("  ***********  VERSION: %s  **********\n", TARNFLASH_VERSION_TEXT);
}

// --read and --verify are jobs of their own: they refuse an image to program, and each other,
// before the cable is touched.
Ending check_job_options(const LongOptions& jobs, int argc, char** argv)
{
    if (jobs.read_path == nullptr && jobs.verify_path == nullptr)
        return {};
    if (jobs.read_path != nullptr && jobs.verify_path != nullptr) {
        con_printf("--read and --verify cannot be given together\n");
        return process_end(1);
    }
    if (jobs.update && jobs.verify_path != nullptr) {
        con_printf("--update changes the flash and --verify only compares: give one of them\n");
        return process_end(1);
    }
    RunOptions classic;
    if (Ending end = argc >= 2 ? scan_options(argc, argv, classic) : Ending{})
        return end;
    // With --update, --read keeps what the update read before it changed anything.
    if (classic.image_path != nullptr && !(jobs.update && jobs.read_path != nullptr)) {
        con_printf("%s does not program: leave out -f\n", jobs.read_path ? "--read" : "--verify");
        return process_end(1);
    }
    return {};
}

// Typed with nothing after it on a machine without a port, the tool would end before its usage.
void print_help_hint(bool bare)
{
    if (bare)
        con_printf("Run 'tarnflash --help' for the options.\n");
}

Ending find_parallel_cable(bool bare, JobReport& report, std::unique_ptr<Cable>& cable)
{
    uint16_t base = lpt_find_port(platform());
    if (base == 0) {
        con_printf("Cannot get LPT PORT\n");
        print_help_hint(bare);
        return process_end(1);
    }
    report.port = base;
    cable = std::make_unique<LptCable>(platform(), base);
    return {};
}

// A setuid-root install is root for the parallel port's access alone: the tool becomes the real
// user for good right after it, and at once on every path without a parallel port, so that every
// USB device is opened with the user's own rights (files are, from the start).
Ending become_user()
{
    if (const std::string refusal = drop_root_privileges(); !refusal.empty()) {
        con_printf("%s\n", refusal.c_str());
        return process_end(1);
    }
    return {};
}

// The one way to a cable.
Ending open_cable(bool usb, const LongOptions& o, bool bare, JobReport& report, std::unique_ptr<Cable>& cable)
{
    std::string refusal = usb ? std::string() : resume_root_privileges();
    const char* no_port = usb || !refusal.empty() ? nullptr : platform().port_access();
    if (refusal.empty())
        refusal = drop_root_privileges();
    if (!refusal.empty()) {
        con_printf("%s\n", refusal.c_str());
        return process_end(1);
    }
    if (no_port != nullptr) {
        con_printf("%s\n", no_port);
        print_help_hint(bare);
        return quit(1);
    }
    // Looked at with the user's rights, before any cable is touched.
    if (o.read_path != nullptr && !backup_target_usable(o.read_path))
        return process_end(1);
    if (!usb)
        return find_parallel_cable(bare, report, cable);
    UsbDeviceChoice chosen;
    Ending end = open_usb_cable(o, cable, &chosen);
    report_usb_choice(report, chosen);
    return end;
}

void note_usb_cable(JobReport& report)
{
    const UsbDeviceInfo device = platform().usb_transport()->device();
    report.cable_kind = "ftdi";
    report.vid_pid = usb_id_text(device.id);
    report.serial = device.serial;
    report.description = device.description;
}

void note_counters(JobReport& report, const ScanCounts& c)
{
    report.counters = {{"ir_scans", c.ir_scans},     {"dr_scans", c.dr_scans}, {"dr_captures", c.dr_captures},
                       {"dr_samples", c.dr_samples}, {"bits_shifted", c.bits}, {"tap_resets", c.tap_resets}};
}

// The job's record, written however the run ended; a report that cannot be written fails the job.
void write_report(const char* path, JobReport& report, RunEnd& end)
{
    if (path == nullptr)
        return;
    report.stage_end();
    report_image_size(report);
    // The job's last word: its result line, not the elapsed time printed after it.
    const std::string& last = platform().console_last_line();
    const bool timing = last.find(" elapsed time:") != std::string::npos;
    std::string message = timing ? platform().console_line_before() : last;
    // A cause line ("Reason: ...") alone would not say which file the job could not open.
    if (message.starts_with("Reason: "))
        message = platform().console_line_before() + " " + message;
    if (!job_report_write(report, end.status, message, path))
        end.status = 1;
}

void end_cable(Cable* cable, CableEnd end)
{
    // Before a port was found there is no cable to return to idle.
    if (cable == nullptr || end == CableEnd::none)
        return;
    if (end == CableEnd::reset_park)
        tap_reset(*cable);
    cable_park(*cable);
}

// --chain-list, --device, --chain, --bsdl-dir: the chain is read, and listed or the job's device
// picked into `choice`, before anything else is sent; or the run ends here.
Ending read_chain(Cable& cable, const LongOptions& o, int argc, char** argv, const BsdlTarget& bsdl,
                  ChainChoice& choice)
{
    const CpuTarget* cpu = nullptr;
    RunOptions classic;
    if (o.bsdl != nullptr && !o.chain_list) {
        cpu = &bsdl.cpu();
    } else if (argc >= 2) {
        if (Ending end = scan_options(argc, argv, classic))
            return end;
        cpu = cpu_select(classic.cpu_name);
    }
    if (RunEnd end{0, CableEnd::park}; !chain_stage(cable, o, cpu, choice, end))
        return end;
    return {};
}

// What one run of the tool holds until its end.
struct ToolRun {
    std::unique_ptr<Cable> cable;
    std::unique_ptr<JtagChain> chain;  // over the cable: dropped before it
    bool uses_usb = false;
    LongOptions long_options;
    JobReport report;
    bool answered = false;  // a query that needs no port: its status is the whole answer
};

RunEnd answered(ToolRun& run, int status)
{
    run.answered = true;
    return {status, CableEnd::none};
}

// From the command line to the end of the job: how the run ends.
RunEnd run_tool(int argc, char** argv, Platform& platform, ToolRun& run)
{
    LongOptions& long_options = run.long_options;
    JobReport& report = run.report;
    // The long options first: help and version need no port at all.
    const bool bare = argc < 2;
    std::string error;
    const bool lone_h = argc == 2 && std::strcmp(argv[1], "-h") == 0;
    const bool long_ok = take_long_options(argc, argv, long_options, error);
    if ((report.timed = long_options.report_path != nullptr)) {
        report.started = platform.time_seconds();
        report_command_line(report, long_options, argc, argv);
    }
    if (long_ok && (long_options.help || lone_h)) {
        print_help();
        return answered(run, 0);
    }
    if (long_ok && long_options.version) {
        print_version();
        return answered(run, 0);
    }
    if (long_ok && (long_options.cable_info || long_options.cable_list || long_options.bsdl_info))
        if (Ending end = become_user())  // no parallel port on this path
            return *end;
    if (int status = 0; long_ok && adapter_query(long_options, status))
        return answered(run, status);
    if (long_ok && long_options.bsdl_info)
        return answered(run, bsdl_info_main(long_options, argc));
    print_banner();
    if (!long_ok) {
        con_printf("%s\n", error.c_str());
        return process_end(1);
    }
    if (Ending end = refuse_misread_command_line(argc, argv, long_options))
        return *end;
    print_replaced_options(argc, argv, long_options);
    if (Ending end = check_job_options(long_options, argc, argv))
        return *end;
    if (Ending end = refuse_free_argument(argc, argv, long_options))
        return *end;
    // Looked at before the cable; one that cannot be written is not tried again at the end.
    if (long_options.report_path != nullptr &&
        !report_target_usable(long_options.report_path, long_options.read_path, long_options.verify_path)) {
        long_options.report_path = nullptr;
        return process_end(1);
    }
    BsdlTarget bsdl;
    // --chain-list only names devices: a BSDL file there describes no board to program.
    if (!long_options.chain_list &&
        (long_options.bsdl != nullptr || long_options.bus != nullptr || !long_options.holds.empty())) {
        RunOptions classic;
        if (Ending end = argc >= 2 ? scan_options(argc, argv, classic) : Ending{})
            return *end;
        if (Ending end = bsdl_board_load(long_options, classic, bsdl))
            return *end;
    }
    // Written to a file, not sent: no cable, no port, the user's own rights.
    if (long_options.svf_path != nullptr) {
        if (Ending end = become_user())
            return *end;
        return svf_job(long_options, argc, argv, bsdl, report);
    }
    run.uses_usb = wants_usb_cable(long_options, error);
    if (!error.empty()) {
        con_printf("%s\n", error.c_str());
        return process_end(1);
    }
    report.stage("cable");
    if (Ending end = open_cable(run.uses_usb, long_options, bare, report, run.cable))
        return *end;
    if (run.uses_usb && probe_cable_named(long_options))
        note_probe_cable(long_options, *run.cable, report);
    else if (run.uses_usb && !note_network_cable(report, run.cable.get()) && !note_dap_cable(run.cable.get(), report))
        note_usb_cable(report);
    // The chain counts what the job sends, for the report; the device is alone on it until the
    // chain options say where it sits.
    run.chain = std::make_unique<JtagChain>(*run.cable);
    run.chain->park();
    run.chain->tap_reset();
    ChainChoice choice;
    if (chain_options_given(long_options))
        if (Ending end = read_chain(*run.cable, long_options, argc, argv, bsdl, choice))
            return *end;
    // Among other devices: they are held in BYPASS around every scan from here on.
    if (!choice.position.alone())
        run.chain->place(choice.position);
    if (choice.ir_length != 0) {
        report.chain_device = choice.device;
        report.chain_devices = choice.position.devices_before + choice.position.devices_after + 1;
    }
    if (argc < 2) {
        print_usage();
        return quit(1);
    }
    RunOptions options;
    if (Ending end = scan_options(argc, argv, options))
        return *end;
    options.read_path = long_options.read_path;
    options.verify_path = long_options.verify_path;
    options.detect = long_options.detect;
    options.unlock = long_options.unlock || long_options.unlock_all;
    options.unlock_all = long_options.unlock_all;
    options.verify_erase = long_options.verify_erase;
    options.update = long_options.update;
    options.report = &report;
    options.bsdl_path = long_options.bsdl;
    options.unheld_pins = bsdl.unheld_pins().c_str();
    options.chain = choice.position;
    options.chain_ir_length = choice.ir_length;
    if (Ending end = check_options(options, argc))
        return *end;
    return mode_stage(options, *run.chain, long_options.bsdl != nullptr ? &bsdl.cpu() : nullptr);
}

}  // namespace

int tool_main(int argc, char** argv, Platform& platform)
{
    platform_install(&platform);
    // Until the port is reached a setuid-root start is the user who ran it: every file named on
    // the command line is opened with that user's rights.
    if (const std::string refusal = suspend_root_privileges(); !refusal.empty()) {
        con_printf("%s\n", refusal.c_str());
        return 1;
    }
    // An interrupt stops a job at its next safe point instead of killing the process with the
    // flash half-driven; one that came before this call (while the caller set up) is kept.
    interrupts_catch();
    ToolRun run;
    RunEnd end = run_tool(argc, argv, platform, run);
    if (run.answered)
        return end.status;
    std::unique_ptr<Cable>& cable = run.cable;
    // A cable failure during the job was reported where it stopped the job; one on the way out
    // (parking, a last USB transfer, giving the port back) is the job's failure too.
    const bool reported = cable != nullptr && cable->fault() != nullptr;
    end_cable(cable.get(), end.cable);
    if (cable != nullptr) {
        cable->flush();
        if (!run.uses_usb)
            platform.port_release();
        if (const char* fault = cable->fault(); fault != nullptr && !reported) {
            con_printf("%s\n", fault);
            end.status = 1;
        }
    }
    if (run.chain != nullptr && run.long_options.report_path != nullptr)
        note_counters(run.report, run.chain->counts());
    note_network_cable(run.report, cable.get());
    write_report(run.long_options.report_path, run.report, end);
    return end.status;
}
