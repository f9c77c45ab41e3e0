// SPDX-License-Identifier: Apache-2.0
#include <memory>
#include <string>
#include <vector>

#include "flash/flash_descriptor.h"
#include "flash/flash_ops.h"
#include "job/cable_inside.h"
#include "job/job_causes.h"
#include "job/flash_open.h"
#include "job/job_rules.h"
#include "job/update_job.h"
#include "jtag/jtag_chain.h"
#include "targets/bsdl_device.h"
#include "targets/bsdl_target.h"
#include "targets/cpu_table.h"

namespace tarnflash {

namespace {

// One job's way to the flash: the chain, the target on it, and the session once identified.
struct Reach {
    JtagChain chain;
    SelectedTarget target;
    FlashModel model{};
    std::unique_ptr<FlashSession> session;

    Reach(::Cable& cable, const ChainPosition& position, const CpuTarget& cpu)
        : chain(cable, position), target(cpu, chain)
    {}
    ~Reach()
    {
        target.bus_release();
        chain.tap_reset();
        chain.park();
    }
};

}  // namespace

struct Job::State {
    Cable& cable;
    Setup setup;
    Host& host;
    Report report{};
    BsdlTarget bsdl{};
    const CpuTarget* cpu = nullptr;
    std::string cpu_refusal{};

    // Ends a call: the outcome and its cause in the report, the cause as the outcome's detail.
    Outcome end(Outcome outcome, std::string cause = {})
    {
        if (!outcome.ok() && cause.empty())
            cause = cause_line(outcome);
        report.outcome = outcome;
        report.cause = std::move(cause);
        report.outcome.detail = outcome.ok() ? outcome.detail : report.cause.c_str();
        return report.outcome;
    }
    Outcome refuse(std::string cause) { return end(outcome_of(Status::refused), std::move(cause)); }

    ChainPosition position() const
    {
        return {setup.chain.devices_before, setup.chain.devices_after, setup.chain.ir_before, setup.chain.ir_after};
    }
    void resolve_cpu();
    Outcome open(Reach& reach, uint32_t start, bool detect, FlashFound* found);
    Outcome settled(Reach& reach, const JobSpan& span, uint64_t end, bool aligned);
    Outcome change(Reach& reach, JobSpan span, std::span<const uint8_t> image, const ProgramOptions& options);
    // The call's way to the flash, opened: nullptr with the refusal in `outcome` when it cannot be.
    std::unique_ptr<Reach> reach(uint32_t start, Outcome& outcome, FlashFound* found = nullptr);
    Outcome faulted(Reach& reach);
};

void Job::State::resolve_cpu()
{
    if (!setup.cpu.empty()) {
        cpu = cpu_select(setup.cpu.c_str());
        if (cpu == nullptr)
            cpu_refusal = "Unknown CPU " + setup.cpu;
        return;
    }
    if (setup.bsdl.empty() || setup.bus.empty()) {
        cpu_refusal = "The set-up names no CPU: a built-in one, or a BSDL file and its bus map";
        return;
    }
    BsdlDevice device;
    BusMap map;
    if (!bsdl_read_file(setup.bsdl.c_str(), device, cpu_refusal) || !bus_map_parse(setup.bus.c_str(), map, cpu_refusal))
        return;
    for (const std::string& hold : setup.hold)
        if (!bus_hold_parse(hold.c_str(), map, cpu_refusal))
            return;
    if (bsdl.build(device, map, cpu_refusal))
        cpu = &bsdl.cpu();
}

// A cable that failed under the job: its fault, whatever the flash seemed to answer.
Outcome Job::State::faulted(Reach& reach)
{
    const char* fault = reach.chain.fault();
    if (fault == nullptr)
        return {};
    return end(Outcome{.status = Status::cable_fault, .detail = fault},
               std::string("Stopped by a cable error (") + fault + ")");
}

// The chain checked, the flash model and set-up settled (asked of the host when the set-up
// leaves them open, or detected), the flash identified and its blocks known.
Outcome Job::State::open(Reach& reach, uint32_t start, bool detect, FlashFound* found)
{
    const CpuTarget& cpu_row = *cpu;
    const int ncs_cell = cpu_ncs_cell(cpu_row, start);
    if (ncs_cell == kNoNcsCell)
        return refuse(text_of("No chip select for address 0x%08X on this CPU", start));
    reach.target.set_ncs_cell(ncs_cell);
    report.cpu = cpu_row.name;
    report.start = start;
    report.stage = "chain_check";
    reach.chain.park();
    reach.chain.tap_reset();
    const Outcome checked = check_chain(reach.chain, host, cpu_row);
    report.idcode_read = checked.actual;
    if (Outcome f = faulted(reach); !f.ok())
        return f;
    if (!checked.ok())
        return refuse(text_of("Fail, Read JTAG ID: 0x%08X", checked.actual));

    int32_t width = setup.bus_width;
    int32_t chips = setup.interleave;
    std::string model_name = setup.flash;
    if (!detect) {
        if (model_name.empty()) {
            std::vector<const char*> names;
            for (const FlashDescriptor& d : flash_descriptors())
                names.push_back(d.name);
            model_name = host.flash_model(names);
            if (model_name.empty())
                return refuse("No flash model: the set-up names none and the host gave none");
        }
        if (width == 0 && (width = host.bus_width()) != 8 && width != 16)
            return refuse("No bus width: the set-up gives none and the host gave neither 8 nor 16");
        if (chips == 0 && (chips = host.interleave()) != 1 && chips != 2)
            return refuse("No interleave: the set-up gives none and the host gave neither 1 nor 2");
    }
    reach.chain.scan_ir(cpu_row.instruction_length, cpu_row.extest_instruction);
    FlashChoice choice;
    const ChoiceStop chosen =
        choose_flash(reach.target, host, cpu_row, start, detect ? nullptr : model_name.c_str(), width, chips, choice);
    if (chosen == ChoiceStop::nothing_detected)
        return refuse("No flash answered with known codes or a CFI table in any set-up tried (" +
                      setup_names(choice.setups_tried) + ")");
    width = choice.bus_width;
    chips = choice.interleave;
    const FlashDescriptor* descriptor = choice.descriptor;
    reach.model = choice.model;
    if (chosen == ChoiceStop::unsupported)
        return refuse(text_of("Cannot support flash programming for %s at %dx%d", model_name.c_str(),
                              static_cast<int>(width), static_cast<int>(chips)));
    if (!cpu_setup_fits(cpu_row, reach.model.data_bits))
        return refuse(
            text_of("The CPU's data pins do not carry %d x %d bits", static_cast<int>(chips), static_cast<int>(width)));
    report.flash_model = descriptor->name;
    reach.target.set_word_bytes(reach.model.bytes_per_word);
    reach.session = std::make_unique<FlashSession>(reach.target, host, *descriptor, reach.model, chips);
    FlashSession& s = *reach.session;

    report.stage = "identify";
    const Outcome identified = read_flash_codes(s, start);
    report.maker_id = s.identity.maker_id;
    report.device_id = s.identity.device_id;
    if (found != nullptr)
        *found = {.model = descriptor->name,
                  .maker_id = s.identity.maker_id,
                  .device_id = s.identity.device_id,
                  .bus_width = width,
                  .interleave = chips,
                  .intel = descriptor->style == CommandStyle::intel};
    if (Outcome f = faulted(reach); !f.ok())
        return f;
    if (!identified.ok())
        return refuse(text_of("Cannot read flash ID or Unknow flash: maker 0x%04X, device 0x%04X", s.identity.maker_id,
                              s.identity.device_id));
    const Outcome geometry = read_flash_blocks(s, start);
    if (Outcome f = faulted(reach); !f.ok())
        return f;
    if (!geometry.ok())
        return refuse("Not defined FLASH Qeury INFO");
    flash_reset_cycle(s, id_base(start));
    report.flash_size = s.geometry.device_size;
    if (found != nullptr) {
        found->size = s.geometry.device_size;
        found->block_count = s.geometry.block_count;
    }
    return {};
}

// The range rules before a job touches [span.start, end): a block's start where it erases,
// inside the device, within what the address pins reach.
Outcome Job::State::settled(Reach& reach, const JobSpan& span, uint64_t end, bool aligned)
{
    const FlashGeometry& g = reach.session->geometry;
    if (aligned && !start_is_aligned(g, span.start))
        return refuse(text_of("Not alignd writing address: 0x%08X is no block's start", span.start));
    if (past_device(g, span.start))
        return refuse(text_of("Start 0x%08X is past the end of the flash: %u KB from 0x%08X", span.start,
                              g.device_size / 1024, g.block_start[0]));
    if (end > uint64_t{g.block_start[0]} + g.device_size)
        return refuse(text_of("The job goes up to 0x%llX, past the end of the %u KB flash",
                              static_cast<unsigned long long>(end), g.device_size / 1024));
    const ReachStop past = reach_stop(reach.target, g, end);
    if (past == ReachStop::bus_map)
        return refuse(text_of("The address pins reach 0x%llX bytes; the job goes up to 0x%llX",
                              static_cast<unsigned long long>(reach.target.address_reach()),
                              static_cast<unsigned long long>(end)));
    if (past == ReachStop::cpu_pins)
        return refuse(text_of("The job ends at 0x%08llX, past what this CPU's %u address pins reach",
                              static_cast<unsigned long long>(end - 1),
                              static_cast<unsigned>(cpu->pins.address.size())));
    return {};
}

// Erase what the span needs (the chip where it is the whole device), check it when asked, program
// and verify the image.
Outcome Job::State::change(Reach& reach, JobSpan span, std::span<const uint8_t> image, const ProgramOptions& o)
{
    FlashSession& s = *reach.session;
    const FlashGeometry& g = s.geometry;
    if (span.erase_size == 0)
        span.erase_size = static_cast<uint32_t>(image.size());
    if (span.erase_all)
        span.erase_size = g.device_size;
    if (span.erase_size == 0)
        return refuse("Nothing to erase or program");
    const bool chip_erase = takes_chip_erase(g, span);
    const JobRange range = job_range(g, span, chip_erase, image.size());
    report.length = image.empty() ? span.erase_size : image.size();
    if (Outcome refused = settled(reach, span, range.end, true); !refused.ok())
        return refused;
    Outcome done;
    if (o.update) {
        report.stage = "read";
        const UpdateEnd update = update_range(
            s,
            {.start = span.start,
             .verify_erase = o.verify_erase,
             .unlock = o.unlock,
             .unlock_all = o.unlock_all,
             .stage = [this](const char* stage) { report.stage = stage; }},
            range, image);
        if (update.counts)
            report.blocks = {update.counts->unchanged, update.counts->programmed_over, update.counts->erased};
        done = update.outcome;
    } else {
        done = change_flash(s,
                            {.span = span,
                             .chip_erase = chip_erase,
                             .program = !image.empty(),
                             .verify_erase = o.verify_erase,
                             .unlock = o.unlock,
                             .unlock_all = o.unlock_all,
                             .entering = [this](ChangeStep step) {
                                 report.stage = step == ChangeStep::erase ? "erase" : "program";
                             }},
                            image)
                   .outcome;
    }
    // A cable that failed under the job: its fault, whatever the flash seemed to answer.
    reach.chain.flush();
    if (Outcome f = faulted(reach); !f.ok())
        return f;
    return end(done);
}

Job::Job(Cable& cable, const Setup& setup, Host& host) : state_(new State{cable, setup, host})
{
    state_->resolve_cpu();
}

Job::~Job() = default;

const Report& Job::report() const { return state_->report; }

std::unique_ptr<Reach> Job::State::reach(uint32_t start, Outcome& outcome, FlashFound* found)
{
    report = {};
    if (cpu == nullptr) {
        outcome = refuse(cpu_refusal);
        return nullptr;
    }
    auto opened = std::make_unique<Reach>(*cable.inside().cable, position(), *cpu);
    outcome = open(*opened, start, setup.detect, found);
    if (!outcome.ok())
        opened.reset();
    return opened;
}

FlashFound Job::detect()
{
    FlashFound found;
    if (state_->reach(0, found.outcome, &found))
        found.outcome = state_->end({});
    return found;
}

Outcome Job::program(std::span<const uint8_t> image, const ProgramOptions& options)
{
    Outcome outcome;
    auto reach = state_->reach(options.start, outcome);
    if (!reach)
        return outcome;
    if (image.empty())
        return state_->refuse("Nothing to program: the image is empty");
    return state_->change(*reach, {options.start, options.erase_size, options.erase_all}, image, options);
}

Outcome Job::erase(uint32_t start, uint32_t size)
{
    Outcome outcome;
    auto reach = state_->reach(start, outcome);
    if (!reach)
        return outcome;
    return state_->change(*reach, {start, size, false}, {}, {});
}

Outcome Job::erase_all()
{
    Outcome outcome;
    auto reach = state_->reach(0, outcome);
    if (!reach)
        return outcome;
    return state_->change(*reach, {0, 0, true}, {}, {});
}

ReadResult Job::read(uint32_t start, uint32_t size)
{
    ReadResult result;
    auto reach = state_->reach(start, result.outcome);
    if (!reach)
        return result;
    State& st = *state_;
    result.bytes.resize(read_length(reach->session->geometry, {start, size, false}));
    st.report.length = result.bytes.size();
    if (result.outcome = st.settled(*reach, {start, size, false}, uint64_t{start} + result.bytes.size(), false);
        !result.outcome.ok())
        return {result.outcome, {}};
    st.report.stage = "read";
    result.outcome = flash_read_range(*reach->session, start, result.bytes);
    if (Outcome f = st.faulted(*reach); !f.ok())
        result.outcome = f;
    else
        result.outcome = st.end(result.outcome);
    if (!result.outcome.ok())
        result.bytes.clear();
    return result;
}

Outcome Job::verify(std::span<const uint8_t> image, uint32_t start)
{
    Outcome outcome;
    auto reach = state_->reach(start, outcome);
    if (!reach)
        return outcome;
    State& st = *state_;
    // An empty image matches any flash: that proves nothing.
    if (image.empty())
        return st.refuse("Nothing to compare: the image is empty");
    st.report.length = image.size();
    if (Outcome refused = st.settled(*reach, {start, 0, false}, uint64_t{start} + image.size(), false); !refused.ok())
        return refused;
    st.report.stage = "verify";
    const Outcome verified = flash_verify_range(*reach->session, start, image);
    if (Outcome f = st.faulted(*reach); !f.ok())
        return f;
    return st.end(verified);
}

}  // namespace tarnflash
