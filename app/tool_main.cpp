#include "app/tool_main.h"

#include <cstring>

#include "app/exit.h"
#include "app/options.h"
#include "app/run_programming.h"
#include "flash/flash_ops.h"
#include "jtag/lpt_cable.h"
#include "jtag/chain_check.h"
#include "jtag/tap.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "targets/cpu_table.h"

namespace {

constexpr const char* kOptionString = "C:F:w:i:f:o:jte:b:";

// How the option scan ended.
enum class ScanEnd { checks, end_of_run };

void start_up()
{
    con_printf("  ***********  TARN JTAG NOR  **********\n");
    con_printf("  ***********  VERSION: 1.03  **********\n");
    if (const char* reason = platform().port_access())
        fail_exit(reason);
    uint16_t base = lpt_find_port();
    if (base == 0) {
        con_printf("Cannot get LPT PORT\n");
        process_end(1);
    }
    g_port_base = base;
    cable_park();
    tap_reset();
}

// A value longer than the field keeps the whole field: every known name is shorter,
// so the cut copy can never pass for one.
template <size_t N>
void copy_name(char (&field)[N], const char* value)
{
    size_t length = std::strlen(value);
    if (length > N - 1)
        length = N - 1;
    std::memcpy(field, value, length);
    field[length] = '\0';
}

[[noreturn]] void missing_value()
{
    con_printf("Invalid Option\n");
    print_usage();
    quit(1);
}

[[noreturn]] void bad_number(const char* value)
{
    con_printf("** Error: invalid number '%s'\n", value);
    quit(1);
}

void number_option(const char* value, int32_t* field)
{
    if (value == nullptr)
        missing_value();
    if (!parse_number(value, field))
        bad_number(value);
}

void unsigned_option(const char* value, uint32_t* field)
{
    int32_t number = static_cast<int32_t>(*field);
    number_option(value, &number);
    *field = static_cast<uint32_t>(number);
}

// -b is the one option whose faults still end the run normally.
ScanEnd block_option(const char* value)
{
    if (value == nullptr) {
        con_printf("Invalid Option\n");
        print_usage();
        return ScanEnd::end_of_run;
    }
    if (!parse_number(value, &g_options.block_index)) {
        con_printf("** Error: invalid number '%s'\n", value);
        return ScanEnd::end_of_run;
    }
    return ScanEnd::checks;
}

ScanEnd scan_options(int argc, char** argv)
{
    RunOptions& o = g_options;
    const char* value = nullptr;
    for (;;) {
        int c = get_option(argc, argv, kOptionString, &value);
        if (c <= 0)
            return ScanEnd::checks;
        switch (c) {
        case 'C':
            if (value == nullptr)
                missing_value();
            copy_name(o.cpu_name, value);
            break;
        case 'F':
            if (value == nullptr)
                missing_value();
            copy_name(o.flash_model, value);
            break;
        case 'w':
            number_option(value, &o.bus_width);
            break;
        case 'i':
            number_option(value, &o.interleave);
            break;
        case 'o':
            if (value == nullptr)
                missing_value();
            o.offset_given = true;
            unsigned_option(value, &o.start_offset);
            break;
        case 'e':
            if (value != nullptr && std::strcmp(value, "all") == 0)
                o.erase_all = true;
            else
                unsigned_option(value, &o.erase_size);
            break;
        case 'f':
            if (value == nullptr)
                missing_value();
            o.image_path = value;
            break;
        case 'j':
            o.idcode_check = true;
            break;
        case 't':
            o.toggle_mode = 2;
            break;
        case 'b':
            if (block_option(value) == ScanEnd::end_of_run)
                return ScanEnd::end_of_run;
            break;
        default:
            break;  // free arguments and characters without a row
        }
    }
}

void check_options(int argc)
{
    // -oVALUE alone: nothing else could have been meant.
    if (g_options.offset_given && argc == 2) {
        con_printf("Invalid Option\n");
        print_usage();
        process_end(1);
    }
    if (g_options.cpu_name[0] == '\0') {
        con_printf("Invalid Option\n");
        con_printf("Type your CPU name with '-C' option\n\n");
        con_printf("   ex: -C KTR5200, -C ULN, -C MIRTA\n\n");
        print_usage();
        process_end(1);
    }
}

void mode_stage()
{
    if (cpu_select(g_options.cpu_name) != 0) {
        con_printf("Not or Yet support for %s\n", g_options.cpu_name);
        process_end(1);
    }
    if (g_options.idcode_check) {
        run_idcode_check();
    } else if (g_options.toggle_mode != 0) {
        if (g_target.ops.toggle_test == nullptr)
            fail_exit("Pin toggle test is not available for this CPU");
        g_target.ops.toggle_test(g_target.bsr_image, g_options.toggle_mode);
    } else {
        programming_mode();
    }
}

int run(int argc, char** argv)
{
    start_up();
    if (argc < 2) {
        print_usage();
        quit(1);
    }
    if (scan_options(argc, argv) == ScanEnd::checks) {
        check_options(argc);
        mode_stage();
    }
    cable_park();
    return 0;
}

}  // namespace

int tool_main(int argc, char** argv, Platform& platform)
{
    platform_install(&platform);
    options_init();
    cable_init();
    cpu_target_init();
    flash_init();
    try {
        return run(argc, argv);
    } catch (const ExitRequest& request) {
        return request.status;
    }
}
