// SPDX-License-Identifier: Apache-2.0
#include "app/chain_list.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/chain_names.h"
#include "app/options.h"
#include "jtag/chain_scan.h"
#include "platform/console.h"

namespace {

constexpr RunEnd kRefused = {1, CableEnd::reset_park};
static_assert(kMaxChainDevices == 32 && kMaxChainIrBits == 512, "the refusals below name these bounds");

// The chain as read, with what the tool knows of each device.
struct ChainView {
    ChainScan scan;
    DeviceName names[kMaxChainDevices];
    uint32_t lengths[kMaxChainDevices] = {};  // IR bits, from --chain or a match; 0 unknown
    bool all_known = true;
    uint32_t known_sum = 0;
};

bool refuse(RunEnd& end, const std::string& reason)
{
    con_printf("%s\n", reason.c_str());
    end = kRefused;
    return false;
}

const char* read_failure(ChainRead result)
{
    switch (result) {
    case ChainRead::ok:
        break;
    case ChainRead::all_ones:
        return "The JTAG chain reads all ones: no cable, no power at the board, or a broken TDO";
    case ChainRead::all_zeros:
        return "The JTAG chain reads all zeros: no power at the board, or TDO held low";
    case ChainRead::too_many:
        return "No end found on the JTAG chain: more than 32 devices, or a broken TDO";
    case ChainRead::ir_too_long:
        return "The JTAG chain's instruction registers are longer than 512 bits, or TDO is broken";
    }
    return nullptr;
}

// --chain L0,L1,...: one length per device, nearest TDO first.
bool parse_lengths(const char* text, ChainView& view, std::string& error)
{
    std::vector<uint32_t> lengths;
    const std::string list = text;
    for (size_t from = 0; from <= list.size();) {
        const size_t comma = std::min(list.find(',', from), list.size());
        int32_t length = 0;
        if (!parse_number(list.substr(from, comma - from).c_str(), &length) || length < 2 ||
            length > static_cast<int32_t>(kMaxChainIrBits)) {
            error = "Bad --chain " + list + ": one IR length (2 to 512 bits) per device, position 0 first";
            return false;
        }
        lengths.push_back(static_cast<uint32_t>(length));
        from = comma + 1;
    }
    if (lengths.size() != view.scan.count) {
        error = "--chain gives " + std::to_string(lengths.size()) + " IR lengths, the chain has " +
                std::to_string(view.scan.count) + " devices";
        return false;
    }
    for (uint32_t p = 0; p < view.scan.count; ++p) {
        const uint32_t named = view.names[p].ir_length;
        if (named != 0 && named != lengths[p]) {
            error = "--chain gives position " + std::to_string(p) + " " + std::to_string(lengths[p]) + " IR bits, " +
                    view.names[p].name + " has " + std::to_string(named);
            return false;
        }
        view.lengths[p] = lengths[p];
    }
    return true;
}

// What the IR lengths known add up to, against the length measured.
std::string sum_line(const ChainView& view)
{
    std::string terms;
    std::string unknown;
    uint32_t unknowns = 0;
    for (uint32_t p = 0; p < view.scan.count; ++p) {
        if (view.lengths[p] != 0)
            terms += (terms.empty() ? "" : " + ") + std::to_string(view.lengths[p]);
        else
            unknown += (unknowns++ ? ", " : "") + std::to_string(p);
    }
    const std::string sum = std::to_string(view.known_sum);
    const std::string total = std::to_string(view.scan.ir_total);
    if (view.all_known && view.known_sum == view.scan.ir_total)
        return "The IR lengths add up: " + terms + " = " + sum + " bits";
    if (view.all_known)
        return "The IR lengths do not add up: " + terms + " = " + sum + " bits, measured " + total;
    if (view.known_sum >= view.scan.ir_total)
        return "The known IR lengths add up to " + sum + " bits, the chain measures only " + total;
    return "The known IR lengths add up to " + sum + " bits: " + std::to_string(view.scan.ir_total - view.known_sum) +
           " left for position" + (unknowns > 1 ? "s " : " ") + unknown + " (give --chain L0,L1,... or --bsdl-dir)";
}

void print_list(const ChainView& view)
{
    for (uint32_t p = 0; p < view.scan.count; ++p) {
        const ChainEntry& device = view.scan.devices[p];
        if (!device.has_idcode) {
            con_printf("position %u: no idcode (BYPASS)\n", p);
            continue;
        }
        const DeviceName& name = view.names[p];
        const std::string length = name.ir_length != 0 ? std::to_string(name.ir_length) : "?";
        con_printf("position %u: idcode 0x%08X %s (IR %s bits)\n", p, device.idcode, name.name.c_str(), length.c_str());
    }
    con_printf("total IR length: %u bits\n", view.scan.ir_total);
    con_printf("%s\n", sum_line(view).c_str());
}

// Reads the chain and names its devices; false with the refusal in `end`.
bool read_view(Cable& cable, const LongOptions& options, const CpuTarget* job_cpu, ChainView& view, RunEnd& end)
{
    std::vector<KnownDevice> known;
    std::string error;
    if (!known_devices(options, job_cpu, known, error))
        return refuse(end, error);
    const ChainRead result = chain_read(cable, view.scan);
    if (const char* fault = cable.fault())
        return refuse(end, std::string("Stopped by a cable error (") + fault + ")");
    if (const char* failure = read_failure(result))
        return refuse(end, failure);
    for (uint32_t p = 0; p < view.scan.count; ++p)
        if (view.scan.devices[p].has_idcode) {
            view.names[p] = device_name(known, view.scan.devices[p].idcode);
            view.lengths[p] = view.names[p].ir_length;
        }
    if (options.chain != nullptr && !parse_lengths(options.chain, view, error))
        return refuse(end, error);
    // One device alone has the whole length, whatever it is.
    if (view.scan.count == 1 && view.lengths[0] == 0 && options.chain == nullptr)
        view.lengths[0] = view.scan.ir_total;
    for (uint32_t p = 0; p < view.scan.count; ++p) {
        view.all_known = view.all_known && view.lengths[p] != 0;
        view.known_sum += view.lengths[p];
    }
    return true;
}

// Which position the job runs on; false with the refusal in `end`.
bool pick_device(const ChainView& view, const LongOptions& options, const CpuTarget* job_cpu, uint32_t& device,
                 RunEnd& end)
{
    const uint32_t count = view.scan.count;
    if (options.device != nullptr) {
        int32_t number = 0;
        if (!parse_number(options.device, &number))
            return refuse(end, std::string("Bad --device ") + options.device + ": a chain position, 0 nearest TDO");
        if (static_cast<uint32_t>(number) >= count)
            return refuse(end, "--device " + std::to_string(static_cast<uint32_t>(number)) +
                                   " is past the end of the chain: " + std::to_string(count) +
                                   (count == 1 ? " device, position 0"
                                               : " devices, positions 0 to " + std::to_string(count - 1)));
        device = static_cast<uint32_t>(number);
        return true;
    }
    if (count == 1) {
        device = 0;
        return true;
    }
    std::string matching;
    uint32_t matches = 0;
    for (uint32_t p = 0; p < count; ++p)
        if (view.names[p].job) {
            matching += (matches++ ? ", " : "") + std::to_string(p);
            device = p;
        }
    if (matches > 1)
        return refuse(end, std::string("Several devices match ") + job_cpu->name + " (positions " + matching +
                               "): choose one with --device N");
    print_list(view);
    std::string hint = std::to_string(count) + " devices on the JTAG chain: choose one with --device N";
    if (matches == 1)
        hint += std::string(" (") + job_cpu->name + " is at position " + matching + ")";
    return refuse(end, hint);
}

// The job needs every other device's IR length to hold it in BYPASS, and its own to match the CPU's.
bool check_lengths(const ChainView& view, uint32_t device, const CpuTarget* job_cpu, RunEnd& end)
{
    for (uint32_t p = 0; p < view.scan.count; ++p)
        if (view.lengths[p] == 0)
            return refuse(end, "The IR length of position " + std::to_string(p) +
                                   " is unknown: give --chain L0,L1,... or its BSDL file with --bsdl-dir");
    if (view.known_sum != view.scan.ir_total)
        return refuse(end, sum_line(view));
    if (job_cpu != nullptr && view.lengths[device] != job_cpu->instruction_length)
        return refuse(end, "Position " + std::to_string(device) + " has " + std::to_string(view.lengths[device]) +
                               " IR bits, " + job_cpu->name + " has " + std::to_string(job_cpu->instruction_length));
    return true;
}

}  // namespace

bool chain_options_given(const LongOptions& options)
{
    return options.chain_list || options.device != nullptr || options.chain != nullptr || !options.bsdl_dirs.empty();
}

bool chain_stage(Cable& cable, const LongOptions& options, const CpuTarget* job_cpu, ChainChoice& choice, RunEnd& end)
{
    ChainView view;
    if (!read_view(cable, options, job_cpu, view, end))
        return false;
    if (options.chain_list) {
        print_list(view);
        const bool disagree = view.all_known && view.known_sum != view.scan.ir_total;
        end = {disagree ? 1 : 0, CableEnd::park};
        return false;
    }
    uint32_t device = 0;
    if (!pick_device(view, options, job_cpu, device, end) || !check_lengths(view, device, job_cpu, end))
        return false;
    choice.device = device;
    choice.ir_length = view.lengths[device];
    choice.position.devices_before = device;
    choice.position.devices_after = view.scan.count - 1 - device;
    for (uint32_t p = 0; p < view.scan.count; ++p)
        (p < device ? choice.position.ir_before : choice.position.ir_after) += p == device ? 0 : view.lengths[p];
    return true;
}
