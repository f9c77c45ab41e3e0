// SPDX-License-Identifier: Apache-2.0
#include "sim/sim_options.h"

#include <filesystem>
#include <fstream>
#include <string_view>

#include "jtag/number_text.h"
#include "sim/cpu_facts.h"
#include "sim/cpu_pins.h"
#include "sim/dap_options.h"

namespace sim {

namespace {

// Returns an empty string on success, else the error text.
using Handler = std::string (*)(SimOptions& options, const std::string& value);

struct OptionRow {
    const char* name;
    bool takes_value;
    Handler handle;
};

std::string set_cpu(SimOptions& options, const std::string& value)
{
    if (!find_cpu_facts(value))
        return "unknown CPU '" + value + "' (KTR5200, ULN, PAXON, MIRTA)";
    options.cpu = value;
    options.cpu_given = true;
    return {};
}

std::string set_no_port(SimOptions& options, const std::string&)
{
    options.no_port = true;
    return {};
}

std::string set_no_usb(SimOptions& options, const std::string&)
{
    options.no_usb = true;
    return {};
}

std::string set_port_base(SimOptions& options, const std::string& value)
{
    constexpr uint16_t kBases[] = {0x378, 0x278, 0x3BC};
    uint64_t number = 0;
    if (parse_unsigned(value, number))
        for (uint16_t base : kBases)
            if (number == base) {
                options.port_base = base;
                return {};
            }
    return "bad port base '" + value + "' (0x378, 0x278, 0x3BC)";
}

std::string set_keys(SimOptions& options, const std::string& value)
{
    std::string keys;
    if (!unescape_keys(value, keys))
        return "bad escape in --keys '" + value + "' (\\r \\n \\e \\\\)";
    options.keys_given = true;
    options.keys += keys;
    return {};
}

std::string add_key_after(SimOptions& options, const std::string& value)
{
    size_t colon = value.find(':');
    KeyAfter entry;
    if (colon == std::string::npos || !parse_digits(std::string_view(value).substr(0, colon), entry.after_dr_scans))
        return "bad --key-after '" + value + "' (N:TEXT)";
    if (!unescape_keys(value.substr(colon + 1), entry.text))
        return "bad escape in --key-after '" + value + "' (\\r \\n \\e \\\\)";
    options.key_after.push_back(std::move(entry));
    return {};
}

std::string set_port_ns(SimOptions& options, const std::string& value)
{
    // 0 would stop the clock, so no erase or program would ever end.
    if (!parse_digits(value, options.port_ns) || options.port_ns == 0 || options.port_ns > 1'000'000'000)
        return "bad --port-ns '" + value + "' (1 to 1000000000 nanoseconds per port access)";
    return {};
}

std::string set_usb_latency_us(SimOptions& options, const std::string& value)
{
    if (!parse_digits(value, options.usb_latency_us) || options.usb_latency_us > 1'000'000)
        return "bad --usb-latency-us '" + value + "' (0 to 1000000 microseconds per USB round trip)";
    return {};
}

std::string set_cable(SimOptions& options, const std::string& value)
{
    if (value == "jlink" || value == "gpio")
        return set_probe_cable(options, value);
    if ((options.dap_cable = value == "cmsis-dap"))
        return {};
    if (value != "ftdi" && value != "parport")
        return "bad --cable '" + value + "' (ftdi for the USB adapter, parport for the parallel port)";
    options.usb_cable = value == "ftdi";
    return {};
}

std::string set_usb_id(SimOptions& options, const std::string& value)
{
    const size_t colon = value.find(':');
    uint64_t vendor = 0;
    uint64_t product = 0;
    if (colon == std::string::npos || !parse_digits(std::string_view(value).substr(0, colon), vendor, 16) ||
        !parse_digits(std::string_view(value).substr(colon + 1), product, 16) || vendor > 0xFFFF || product > 0xFFFF)
        return "bad --usb-id '" + value + "' (VID:PID in hexadecimal, as 0403:6010)";
    options.usb_id = {static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)};
    return {};
}

std::string set_usb_serial(SimOptions& options, const std::string& value)
{
    options.usb_serial = value;
    return {};
}

std::string set_region(SimOptions& options, const std::string& value)
{
    uint64_t region = 0;
    if (!parse_digits(value, region) || region > 7)
        return "bad --region '" + value + "' (0 to 7)";
    options.region = static_cast<int>(region);
    return {};
}

std::string set_flash(SimOptions& options, const std::string& value)
{
    if (!FlashBank::find_nor_model(value))
        return "unknown flash '" + value +
               "' (S29AL008D[:top|:bottom], S29AL004D[:top|:bottom], EN29LV040A, AM29LV040B, S29GL064M, "
               "S29GL128N, K8D6316, SST39VF6401, 28F128J3, 28F256P30)";
    options.flash = value;
    return {};
}

std::string set_bus(SimOptions& options, const std::string& value)
{
    // A wiring names signals: "addr=... data=...".
    if (value.find('=') != std::string::npos) {
        options.bus_map = value;
        return {};
    }
    constexpr struct {
        const char* name;
        FlashSetup setup;
    } kSetups[] = {{"16x1", FlashSetup::x16}, {"8x1", FlashSetup::x8}, {"8x2", FlashSetup::x8x2}};
    for (const auto& row : kSetups)
        if (value == row.name) {
            options.bus = row.setup;
            options.bus_given = true;
            return {};
        }
    return "bad --bus '" + value + "' (16x1, 8x1, 8x2, or a wiring addr=... data=... ncs=... noe=... nwe=...)";
}

std::string set_bsdl(SimOptions& options, const std::string& value)
{
    options.bsdl = value;
    return {};
}

std::string add_hold(SimOptions& options, const std::string& value)
{
    options.holds.push_back(value);
    return {};
}

std::string set_flash_in(SimOptions& options, const std::string& value)
{
    options.flash_in = value;
    return {};
}

std::string set_flash_out(SimOptions& options, const std::string& value)
{
    options.flash_out = value;
    return {};
}

std::string add_fault(SimOptions& options, const std::string& value)
{
    std::string_view text = value;
    FlashFaults& faults = options.faults;
    if (text == "no-flash") {
        faults.no_flash = true;
        return {};
    }
    const bool erase = text.rfind("slow-erase:", 0) == 0;
    if (erase || text.rfind("slow-program:", 0) == 0) {
        uint64_t factor = 0;
        if (parse_unsigned(text.substr(erase ? 11 : 13), factor) && factor >= 1 && factor <= 1000000) {
            (erase ? faults.slow_erase_factor : faults.slow_program_factor) = static_cast<uint32_t>(factor);
            return {};
        }
    } else if (text.rfind("ignore-erase:", 0) == 0) {
        uint64_t block = 0;
        if (parse_unsigned(text.substr(13), block) && block <= 0xFFFFFFFFu) {
            faults.ignore_erase = true;
            faults.ignore_erase_block = static_cast<uint32_t>(block);
            return {};
        }
    } else if (text.rfind("stuck-bit:", 0) == 0) {
        std::string_view rest = text.substr(10);
        size_t colon = rest.find(':');
        uint64_t address = 0;
        uint64_t bit = 0;
        if (colon != std::string_view::npos && parse_unsigned(rest.substr(0, colon), address) &&
            address <= 0xFFFFFFFFu && parse_unsigned(rest.substr(colon + 1), bit) && bit < 16) {
            faults.stuck_bit = true;
            faults.stuck_address = static_cast<uint32_t>(address);
            faults.stuck_bit_index = static_cast<int>(bit);
            return {};
        }
    }
    // Intel-style chips: every program or erase ends with these status-register errors.
    constexpr struct {
        const char* name;
        uint8_t bits;
    } kStatusFaults[] = {{"voltage-low", kSrVoltage},
                         {"program-fail", kSrProgramError},
                         {"erase-fail", kSrEraseError},
                         {"sequence-error", kSrProgramError | kSrEraseError}};
    for (const auto& row : kStatusFaults)
        if (text == row.name) {
            faults.intel_status |= row.bits;
            return {};
        }
    return "bad --fault '" + value +
           "' (stuck-bit:ADDR:BIT, slow-erase:FACTOR, slow-program:FACTOR, ignore-erase:BLOCK, no-flash, "
           "voltage-low, program-fail, erase-fail, sequence-error)";
}

std::string add_block(std::vector<uint32_t>& blocks, const char* option, const std::string& value)
{
    uint64_t block = 0;
    if (!parse_unsigned(value, block) || block > 0xFFFF)
        return std::string("bad ") + option + " '" + value + "' (an erase block, counted from 0)";
    blocks.push_back(static_cast<uint32_t>(block));
    return {};
}

std::string add_protect(SimOptions& options, const std::string& value)
{
    return add_block(options.faults.protected_blocks, "--protect", value);
}

std::string add_lock(SimOptions& options, const std::string& value)
{
    return add_block(options.faults.locked_blocks, "--lock", value);
}

// Checks that need more than one option.
std::string check_combination(const SimOptions& options)
{
    const NorModel* model = FlashBank::find_nor_model(options.flash);
    if (options.bus_given && !FlashBank::supports(*model, options.bus))
        return "flash '" + options.flash + "' cannot be wired for that --bus";
    const FlashSetup bus = options.bus_given ? options.bus : FlashBank::default_setup(*model);
    for (const std::vector<uint32_t>* blocks : {&options.faults.protected_blocks, &options.faults.locked_blocks})
        for (uint32_t block : *blocks)
            if (block >= nor_unit_count(*model))
                return "block " + std::to_string(block) + ": flash '" + options.flash + "' has blocks 0 to " +
                       std::to_string(nor_unit_count(*model) - 1);
    if (!options.faults.locked_blocks.empty() && model->command_set != NorCommandSet::intel)
        return "--lock needs an Intel-style flash (--protect protects a sector of the others)";
    if (options.faults.intel_status != 0 && model->command_set != NorCommandSet::intel)
        return "--fault voltage-low, program-fail, erase-fail and sequence-error need an Intel-style flash";
    if (options.faults.stuck_bit && bus == FlashSetup::x8 && options.faults.stuck_bit_index >= 8)
        return "--fault stuck-bit: an 8-bit bus has data bits 0 to 7 only";
    if (options.faults.ignore_erase && nor_erase_block(*model, options.faults.ignore_erase_block).bytes == 0)
        return "--fault ignore-erase: flash '" + options.flash + "' has no block " +
               std::to_string(options.faults.ignore_erase_block);
    if (options.bsdl.empty() != options.bus_map.empty() || (options.bsdl.empty() && !options.holds.empty()))
        return "--bsdl FILE and --bus MAP (and --hold) describe one board together";
    if (!options.bsdl.empty() && options.cpu_given)
        return "--bsdl replaces --cpu: give one of them";
    if ((options.serve.once || options.serve.stall_ms != ServeChoice{}.stall_ms) &&
        options.serve.kind == ServeChoice::Kind::none)
        return "--serve-once and --serve-stall-ms need --serve";
    if (options.serve.kind != ServeChoice::Kind::none && !options.tool_args.empty())
        return "--serve takes no tarnflash options after --: its clients bring their own";
    CpuModel cpu{};
    if (options.bsdl.empty() && cpu_model_from_name(options.cpu.c_str(), &cpu) &&
        !(cpu_pins(cpu).regions & (1u << options.region)))
        return options.cpu + " has no chip select for --region " + std::to_string(options.region);
    return {};
}

// IDCODE:IRLEN, IDCODE in hexadecimal (bit 0 set, as IEEE 1149.1 has it) or "none".
std::string add_chain_device(std::vector<ChainDeviceFacts>& chain, const char* option, const std::string& value)
{
    const size_t colon = value.find(':');
    const std::string_view id = std::string_view(value).substr(0, colon);
    ChainDeviceFacts facts;
    uint64_t idcode = 0;
    uint64_t length = 0;
    facts.has_idcode = id != "none";
    const bool id_ok = !facts.has_idcode || (parse_unsigned(id, idcode) && idcode <= 0xFFFFFFFFu && (idcode & 1));
    if (colon == std::string::npos || !id_ok || !parse_digits(std::string_view(value).substr(colon + 1), length) ||
        length < ChainDevice::kMinIrLength || length > kMaxInstructionLength)
        return std::string("bad ") + option + " '" + value +
               "' (IDCODE:IRLEN, an IDCODE with bit 0 set such as 0x0362D093 or none, and 2 to 32 IR bits)";
    facts.idcode = static_cast<uint32_t>(idcode);
    facts.ir_length = static_cast<uint32_t>(length);
    chain.push_back(facts);
    return {};
}

std::string add_chain_before(SimOptions& options, const std::string& value)
{
    return add_chain_device(options.chain_before, "--chain-before", value);
}

std::string add_chain_after(SimOptions& options, const std::string& value)
{
    return add_chain_device(options.chain_after, "--chain-after", value);
}

std::string set_tdo_stuck(SimOptions& options, const std::string& value)
{
    if (value != "0" && value != "1")
        return "bad --tdo-stuck '" + value + "' (0: held low, 1: pulled up with nothing driving it)";
    options.tdo_stuck = value == "1";
    return {};
}

std::string set_serve(SimOptions& options, const std::string& value)
{
    if (!serve_parse(value, options.serve))
        return "bad --serve '" + value + "' (xvc:PORT or remote-bitbang:PORT, port 0 for a free one)";
    return {};
}

std::string set_serve_once(SimOptions& options, const std::string&)
{
    options.serve.once = true;
    return {};
}

std::string set_serve_stall_ms(SimOptions& options, const std::string& value)
{
    uint32_t ms = 0;
    if (!parse_digits(value, ms) || ms == 0 || ms > 3'600'000)
        return "bad --serve-stall-ms '" + value + "' (1 to 3600000 milliseconds)";
    options.serve.stall_ms = static_cast<int>(ms);
    return {};
}

std::string set_stats(SimOptions& options, const std::string&)
{
    options.stats = true;
    return {};
}

std::string set_help(SimOptions& options, const std::string&)
{
    options.help = true;
    return {};
}

std::string set_version(SimOptions& options, const std::string&)
{
    options.version = true;
    return {};
}

constexpr OptionRow kOptions[] = {
    {"--cpu", true, set_cpu},           {"--no-port", false, set_no_port},
    {"--no-usb", false, set_no_usb},    {"--port-base", true, set_port_base},
    {"--keys", true, set_keys},         {"--key-after", true, add_key_after},
    {"--port-ns", true, set_port_ns},   {"--usb-latency-us", true, set_usb_latency_us},
    {"--cable", true, set_cable},       {"--region", true, set_region},
    {"--usb-id", true, set_usb_id},     {"--usb-serial", true, set_usb_serial},
    {"--flash", true, set_flash},       {"--bus", true, set_bus},
    {"--flash-in", true, set_flash_in}, {"--flash-out", true, set_flash_out},
    {"--fault", true, add_fault},       {"--protect", true, add_protect},
    {"--lock", true, add_lock},         {"--stats", false, set_stats},
    {"--help", false, set_help},        {"-h", false, set_help},
    {"--version", false, set_version},  {"--bsdl", true, set_bsdl},
    {"--hold", true, add_hold},         {"--chain-before", true, add_chain_before},
    {"--chain-after", true, add_chain_after}, {"--tdo-stuck", true, set_tdo_stuck},
    {"--serve", true, set_serve},       {"--serve-once", false, set_serve_once},
    {"--serve-stall-ms", true, set_serve_stall_ms},
    {"--jlink-serials", true, set_jlink_serials}, {"--jlink-no-jtag", false, set_jlink_no_jtag},
    {"--gpio-busy", true, add_gpio_held}, {"--gpio-call-ns", true, set_gpio_call_ns},
    {"--dap-version", true, [](SimOptions& o, const std::string& v) { return dap_set_version(o.dap, v); }},
    {"--dap-packet-size", true, [](SimOptions& o, const std::string& v) { return dap_set_packet_size(o.dap, v); }},
    {"--dap-packet-count", true, [](SimOptions& o, const std::string& v) { return dap_set_packet_count(o.dap, v); }},
    {"--dap-serial", true, [](SimOptions& o, const std::string& v) { return dap_add_serial(o.dap, o.dap_serial_given, v); }},
    {"--dap-fault", true, [](SimOptions& o, const std::string& v) { return dap_set_fault(o.dap, v); }},
};

const OptionRow* find_option(const std::string& name)
{
    for (const OptionRow& row : kOptions)
        if (name == row.name)
            return &row;
    return nullptr;
}

// The flash as the CPU sees it: both chips of an 8x2 set-up; 0 for a model it does not know.
uint64_t flash_bytes(const SimOptions& options)
{
    const NorModel* model = FlashBank::find_nor_model(options.flash);
    if (model == nullptr)
        return 0;
    const FlashSetup bus = options.bus_given ? options.bus : FlashBank::default_setup(*model);
    return uint64_t{model->size_bytes} * (bus == FlashSetup::x8x2 ? 2 : 1);
}

// A FIFO or a device would be read without end (or until memory runs out), so only
// a regular file no larger than the flash is read, and never more than the flash
// even if it grows meanwhile.
Outcome read_flash_in(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes, std::string& words)
{
    const std::string cannot = "cannot read --flash-in '" + path + "'";
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return sim_refusal(words, cannot);
    if (!std::filesystem::is_regular_file(status))
        return sim_refusal(words, cannot + ": not a regular file");
    const uint64_t size = std::filesystem::file_size(path, error);
    if (error)
        return sim_refusal(words, cannot);
    if (size > limit)
        return sim_refusal(words, "the initial contents are larger than the flash: '" + path + "' has " +
                                      std::to_string(size) + " bytes, the flash " + std::to_string(limit));
    std::ifstream in(path, std::ios::binary);
    bytes.resize(static_cast<size_t>(limit) + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad() || (!in && !in.eof()))
        return sim_refusal(words, cannot);
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() > limit)
        return sim_refusal(words, "the initial contents are larger than the flash: '" + path + "' grew past " +
                                      std::to_string(limit) + " bytes");
    return {};
}

}  // namespace

bool unescape_keys(const std::string& text, std::string& keys)
{
    keys.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            keys += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case 'r':
            keys += '\r';
            break;
        case 'n':
            keys += '\n';
            break;
        case 'e':
            keys += '\x1b';
            break;
        case '\\':
            keys += '\\';
            break;
        default:
            return false;
        }
    }
    return true;
}

Outcome parse_sim_options(const std::vector<std::string>& args, SimOptions& options, std::string& words)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            options.tool_args.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        std::string name = arg;
        std::string value;
        bool attached = false;
        if (size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            attached = true;
        }
        const OptionRow* row = find_option(name);
        if (!row)
            return sim_refusal(words, "unknown option '" + arg + "' (tool options go after --)");
        if (row->takes_value && !attached) {
            if (i + 1 == args.size())
                return sim_refusal(words, "option '" + name + "' needs a value");
            value = args[++i];
        } else if (!row->takes_value && attached) {
            return sim_refusal(words, "option '" + name + "' takes no value");
        }
        if (std::string error = row->handle(options, value); !error.empty())
            return sim_refusal(words, error);
    }
    if (std::string error = check_combination(options); !error.empty())
        return sim_refusal(words, error);
    return {};
}

Outcome board_config(const SimOptions& options, BoardConfig& config, std::string& words)
{
    config.cpu = options.cpu;
    config.port_base = options.port_base;
    config.no_port = options.no_port;
    config.port_ns = options.port_ns;
    config.usb.latency_us = options.usb_latency_us;
    config.usb.present = !options.no_usb;
    config.usb.id = options.usb_id;
    config.usb.serial = options.usb_serial;
    config.dap = options.dap;
    config.dap.latency_us = options.usb_latency_us;
    config.dap.present = !options.no_usb && (options.dap_cable || options.dap_serial_given);
    config.region = options.region;
    config.with_bus = true;
    config.flash = options.flash;
    config.bus_setup_given = options.bus_given;
    config.bus_setup = options.bus;
    config.faults = options.faults;
    config.bsdl = options.bsdl;
    config.bus_map = options.bus_map;
    config.holds = options.holds;
    config.chain_before = options.chain_before;
    config.chain_after = options.chain_after;
    config.tdo_stuck = options.tdo_stuck;
    config.jlink = options.probes.jlink;
    config.jlink.latency_us = options.usb_latency_us;
    config.gpio = options.probes.gpio;
    if (options.flash_in.empty())
        return {};
    return read_flash_in(options.flash_in, flash_bytes(options), config.flash_in, words);
}

Outcome check_flash_out(const SimOptions& options, std::string& words)
{
    if (options.flash_out.empty())
        return {};
    // Appending creates a missing file and keeps an existing one whole until the
    // contents are written at the end.
    std::ofstream out(options.flash_out, std::ios::binary | std::ios::app);
    if (!out)
        return sim_refusal(words, "cannot write --flash-out '" + options.flash_out + "'");
    return {};
}

Outcome write_flash_out(const SimOptions& options, VirtualBoard& board, std::string& words)
{
    if (options.flash_out.empty() || board.flash() == nullptr)
        return {};
    std::vector<uint8_t> bytes = board.flash()->contents();
    std::ofstream out(options.flash_out, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return sim_refusal(words, "cannot write --flash-out '" + options.flash_out + "'");
    return {};
}

const char* sim_usage()
{
    return "usage: tarnflash-sim [simulator options] -- [tarnflash options]\n"
           "  --cpu NAME          CPU on the board: KTR5200 (default), ULN, PAXON, MIRTA\n"
           "  --no-port           no parallel port in the PC\n"
           "  --port-base ADDR    port address: 0x378 (default), 0x278, 0x3BC\n"
           "  --keys TEXT         console keys, escapes \\r \\n \\e \\\\ (default: standard input)\n"
           "  --key-after N:TEXT  keys that arrive once N DR scans have run (repeatable)\n"
           "  --port-ns N         virtual nanoseconds per port access (default 1000)\n"
           "  --no-usb            no USB JTAG adapter plugged in\n"
           "  --cable ftdi        the tool drives the board's USB adapter (FT2232H MPSSE) instead\n"
           "                      of the parallel port (parport, the default)\n"
           SIM_DAP_USAGE
           "  --usb-latency-us N  virtual microseconds per USB round trip (default 125)\n"
           "  --usb-id VID:PID    the USB adapter's IDs (default 0403:6010)\n"
           "  --usb-serial TEXT   its serial number (default none); with one, two simulators\n"
           "                      cannot use the same adapter at once\n"
           "  --region N          chip-select region (0 to 7) the flash sits on (default 0)\n"
           "  --flash MODEL       flash on the bus (default S29AL008D): S29AL008D[:top|:bottom],\n"
           "                      S29AL004D[:top|:bottom], EN29LV040A, AM29LV040B, S29GL064M,\n"
           "                      S29GL128N, K8D6316, SST39VF6401 (boot-block chips: top by default),\n"
           "                      28F128J3, 28F256P30 (Intel-style; the P30 bottom boot, locked at power-up)\n"
           "  --bus SETUP         16x1, 8x1 or 8x2 (default: the model's first supported)\n"
           "  --bsdl FILE         the CPU from a BSDL file instead of --cpu, wired by --bus MAP\n"
           "  --bus MAP           with --bsdl: addr=PINS data=PINS ncs=PIN noe=PIN nwe=PIN (flash A0 and\n"
           "                      DQ0 first; A(1..22), A1..A22 and + lists as for the tool's --bus)\n"
           "  --hold PIN=0|1|z    with --bsdl: a pin the board needs held while the flash is written\n"
           "  --flash-in FILE     initial flash contents from its first byte (default all 0xFF)\n"
           "  --flash-out FILE    the flash contents after the run, in CPU byte order\n"
           "  --fault FAULT       stuck-bit:ADDR:BIT, slow-erase:FACTOR, slow-program:FACTOR,\n"
           "                      ignore-erase:BLOCK or no-flash; on Intel-style chips voltage-low,\n"
           "                      program-fail, erase-fail, sequence-error (repeatable)\n"
           "  --protect BLOCK     erase block BLOCK (from 0) is protected, or locked down on an\n"
           "                      Intel-style chip (repeatable)\n"
           "  --lock BLOCK        an Intel-style chip starts with the lock bit of BLOCK set (repeatable)\n"
           "  --chain-before IDCODE:IRLEN  a further device between the cable's TDI and the CPU\n"
           "  --chain-after IDCODE:IRLEN   one between the CPU and the cable's TDO (both repeatable,\n"
           "                      listed from the TDI side; IDCODE in hex or none, 2 to 32 IR bits)\n"
           "  --tdo-stuck 0|1     the cable's TDO line broken: held low, or floating up to 1\n"
           "  --serve xvc:PORT    serve the board on 127.0.0.1 to XVC clients, one at a time (or\n"
           "                      remote-bitbang:PORT to OpenOCD's remote_bitbang); port 0 picks a\n"
           "                      free port; the port is the first line printed. Until SIGINT/SIGTERM\n"
           "  --serve-once        end when the first client is done\n"
           "  --serve-stall-ms N  drop a client that leaves a command unfinished this long (5000)\n"
           "  --cable jlink       a J-Link plugged in (with --usb-latency-us per round trip);\n"
           "  --jlink-serials S,S  the J-Links plugged in, by serial number; --jlink-no-jtag: SWD only\n"
           "  --cable gpio        a GPIO chip, gpiochip0 (54 lines), wired to the JTAG header;\n"
           "  --gpio-busy N[=WHO]  line N held by another program; --gpio-call-ns N: cost of a system\n"
           "                      call (default 2000)\n"
           "  --stats             print the board's counters to standard error at the end\n"
           "  -h, --help          this text; --version: the version (the tool's)\n"
           "The tarnflash options go after --, as on the real tool; 'tarnflash-sim -- --help' lists them.\n"
           "The elapsed time the tool prints is virtual: the estimate for real hardware at --port-ns\n"
           "(or, with --cable ftdi, at the TCK rate and --usb-latency-us).\n";
}

std::string elapsed_time_note(const SimOptions& options)
{
    if (!options.probes.cable.empty())
        return probe_time_note(options.probes);
    if (options.dap_cable)
        return std::string("(tarnflash-sim: that elapsed time is virtual, the estimate for real hardware through the "
                           "CMSIS-DAP probe: ") +
               (options.dap.version == 1 ? "1 ms USB frames" : std::to_string(options.usb_latency_us) + " us per round trip") +
               " and the TCK rate)\n";
    if (options.usb_cable)
        return "(tarnflash-sim: that elapsed time is virtual, the estimate for real hardware through the USB "
               "adapter at " +
               std::to_string(options.usb_latency_us) + " us per round trip, --usb-latency-us)\n";
    return "(tarnflash-sim: that elapsed time is virtual, the estimate for real hardware at " +
           std::to_string(options.port_ns) + " ns per port access, --port-ns)\n";
}

}  // namespace sim
