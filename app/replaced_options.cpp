// SPDX-License-Identifier: Apache-2.0
#include "app/replaced_options.h"

#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/options.h"
#include "platform/console.h"

namespace {

// As the user would type it again: -eall, or the letter and its value.
std::string typed(int letter, const char* value)
{
    if (letter == 'e' && std::strcmp(value, "all") == 0)
        return "-eall";
    return std::string("-") + static_cast<char>(letter) + " " + value;
}

}  // namespace

void print_replaced_options(int argc, char** argv, const LongOptions& long_options)
{
    for (const std::string& line : long_options.replaced)
        con_printf("%s\n", line.c_str());
    const char* last[128] = {};
    OptionScan scan;
    const char* value = nullptr;
    // Up to where the scan that runs the job stops: an unknown option ends it.
    for (int c; (c = get_option(scan, argc, argv, kOptionString, &value)) > 0;) {
        if (c >= 128 || value == nullptr)
            continue;
        if (last[c] != nullptr && std::strcmp(last[c], value) != 0)
            con_printf("%s replaces the earlier %s\n", typed(c, value).c_str(), typed(c, last[c]).c_str());
        last[c] = value;
    }
}
