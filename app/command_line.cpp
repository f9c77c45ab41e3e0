#include "app/command_line.h"

#include <cstring>

#include "app/exit.h"
#include "platform/console.h"

namespace {

constexpr const char* kOptionString = "C:F:w:i:f:o:jte:b:";

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

// -b faults skip the checks and the mode stage, but the cable is only parked.
[[noreturn]] void bad_block_option() { throw ExitRequest{{1, CableEnd::park}}; }

void block_option(const char* value, int32_t* field)
{
    if (value == nullptr) {
        con_printf("Invalid Option\n");
        print_usage();
        bad_block_option();
    }
    if (!parse_number(value, field)) {
        con_printf("** Error: invalid number '%s'\n", value);
        bad_block_option();
    }
}

}  // namespace

RunOptions scan_options(int argc, char** argv)
{
    RunOptions o;
    OptionScan scan;
    const char* value = nullptr;
    for (;;) {
        int c = get_option(scan, argc, argv, kOptionString, &value);
        if (c <= 0)
            return o;
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
            block_option(value, &o.block_index);
            break;
        default:
            break;  // free arguments and characters without a row
        }
    }
}
