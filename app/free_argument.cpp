// SPDX-License-Identifier: Apache-2.0
#include "app/free_argument.h"

#include <filesystem>
#include <system_error>

#include "app/command_line.h"
#include "app/options.h"
#include "platform/console.h"

Ending refuse_free_argument(int argc, char** argv, const LongOptions& long_options)
{
    if (long_options.read_path != nullptr || long_options.verify_path != nullptr || long_options.chain_list)
        return {};
    OptionScan scan;
    const char* value = nullptr;
    const char* free = nullptr;
    for (int c; (c = get_option(scan, argc, argv, kOptionString, &value)) != 0;) {
        if (c == 'j' || c == 't')
            return {};
        if (c == 1 && free == nullptr)
            free = value;
    }
    if (free == nullptr)
        return {};
    std::error_code error;
    const bool names_file = std::filesystem::is_regular_file(free, error);
    con_printf("%s is not an option: a job that erases or programs takes no free argument%s%s%s\n", free,
               names_file ? " (did you mean -f " : "", names_file ? free : "", names_file ? "?)" : "");
    return process_end(1);
}
