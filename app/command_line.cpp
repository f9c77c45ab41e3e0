// SPDX-License-Identifier: Apache-2.0
#include "app/command_line.h"

#include <cstring>

#include "app/cause_lines.h"
#include "app/exit.h"
#include "platform/console.h"

namespace {

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

// "Invalid Option" and the usage for an option left without its value. A separate value that
// begins with '/' is read as an option of its own, which a Linux path always does: say how to
// pass it.
RunEnd missing_value(int option, const char* typed, const char* next)
{
    con_printf("Invalid Option\n");
    print_usage();
    if (next != nullptr && next[0] == '/')
        print_attach_line(typed, next);
    else
        print_option_value_line(static_cast<char>(option), nullptr);
    // -b faults skip the checks and the mode stage, but the cable is only parked.
    if (option == 'b')
        return {1, CableEnd::park};
    return quit(1);
}

bool takes_value(int option)
{
    const char* entry = option > 1 ? std::strchr(kOptionString, option) : nullptr;
    return entry != nullptr && entry[1] == ':';
}

// A bad number ends the run; after -b the cable is only parked (`end`).
Ending number_option(char option, const char* value, int32_t* field, CableEnd end = CableEnd::reset_park)
{
    if (parse_number(value, field))
        return {};
    con_printf("** Error: invalid number '%s'\n", value);
    print_option_value_line(option, value);
    return RunEnd{1, end};
}

Ending unsigned_option(char option, const char* value, uint32_t* field)
{
    int32_t number = static_cast<int32_t>(*field);
    Ending end = number_option(option, value, &number);
    *field = static_cast<uint32_t>(number);
    return end;
}

// One option into `o`; the end of the run when its value is refused.
Ending take_option(int c, const char* value, RunOptions& o)
{
    switch (c) {
    case 'C':
        copy_name(o.cpu_name, value);
        break;
    case 'F':
        copy_name(o.flash_model, value);
        break;
    case 'w':
        return number_option('w', value, &o.bus_width);
    case 'i':
        return number_option('i', value, &o.interleave);
    case 'o':
        o.offset_given = true;
        return unsigned_option('o', value, &o.start_offset);
    case 'e':
        if (std::strcmp(value, "all") == 0)
            o.erase_all = true;
        else
            return unsigned_option('e', value, &o.erase_size);
        break;
    case 'f':
        o.image_path = value;
        break;
    case 'j':
        o.idcode_check = true;
        break;
    case 't':
        o.toggle_mode = 2;
        break;
    case 'b':
        return number_option('b', value, &o.block_index, CableEnd::park);
    default:
        break;  // free arguments and characters without a row
    }
    return {};
}

}  // namespace

Ending scan_options(int argc, char** argv, RunOptions& o)
{
    o = RunOptions{};
    OptionScan scan;
    const char* value = nullptr;
    for (;;) {
        int c = get_option(scan, argc, argv, kOptionString, &value);
        if (c <= 0)
            return {};
        if (value == nullptr && takes_value(c))
            return missing_value(c, argv[scan.index - 1], scan.index < argc ? argv[scan.index] : nullptr);
        if (Ending end = take_option(c, value, o))
            return end;
    }
}
