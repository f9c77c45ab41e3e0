// SPDX-License-Identifier: Apache-2.0
#include "app/options.h"

#include <cctype>
#include <cstring>
#include <string_view>

#include "jtag/number_text.h"
#include "platform/console.h"

namespace {

bool starts_option(const char* arg) { return arg[0] == '-' || arg[0] == '/'; }

bool option_character(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || std::ispunct(u);
}

}  // namespace

int get_option(OptionScan& scan, int argc, char** argv, const char* optstring, const char** optarg)
{
    int& scan_index = scan.index;
    if (scan_index >= argc) {
        *optarg = nullptr;
        return 0;
    }
    const char* arg = argv[scan_index];
    int result;
    if (!starts_option(arg)) {
        *optarg = arg;
        result = 1;
    } else {
        char c = arg[1];
        const char* entry = option_character(c) ? std::strchr(optstring, c) : nullptr;
        if (entry == nullptr) {
            *optarg = arg;
            result = -1;
        } else {
            *optarg = nullptr;
            if (entry[1] == ':') {
                if (arg[2] != '\0')
                    *optarg = arg + 2;
                else if (scan_index + 1 < argc && !starts_option(argv[scan_index + 1]))
                    *optarg = argv[++scan_index];
            }
            result = c;
        }
    }
    ++scan_index;
    return result;
}

bool parse_number(const char* text, int32_t* value)
{
    while (*text == ' ')
        ++text;
    // Nothing left reads as 0; the 32 bits are kept in the signed field as they are.
    uint32_t number = 0;
    if (*text != '\0' && !parse_unsigned(std::string_view(text), number))
        return false;
    *value = static_cast<int32_t>(number);
    return true;
}

void print_usage()
{
    con_printf("\n");
    con_printf("JTAG NOR Flash Writer : VER %s\n", TARNFLASH_VERSION_TEXT);
    con_printf("OPTIONS:\n");
    con_printf("  -C[CPU NAME]        : KTR5200, ULN, MIRTA, ... \n");
    con_printf("  -w[bus wibth]       : Flash's bus width (8 or 16) \n");
    con_printf("  -i[Flash Interleave]: 1 or 2 \n");
    con_printf("  -o[offset](hex/dec) : Specify start address, default 0 \n");
    con_printf("  -f[filename]        : Specify binary file\n");
    con_printf("  -e[size] / -eall    : Specify ereasing size / erase all\n");
    con_printf("  -j                  : Verify KTR5200 JTAG ID\n");
    con_printf("  -t      : Output to all pin with toggled value, without nCS pins\n");
    con_printf("\n");
    con_printf("Run 'tarnflash --help' for every option.\n");
}
