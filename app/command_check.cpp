// SPDX-License-Identifier: Apache-2.0
#include "app/command_check.h"

#include <cstring>

#include "app/cause_lines.h"
#include "app/command_line.h"
#include "app/exit.h"
#include "app/options.h"
#include "platform/console.h"

namespace {

// What an option makes the run do: options of different jobs cannot be combined.
enum class Job : uint8_t { idcode, toggle, flash };

struct JobOption {
    const char* name;  // "-x" for a classic option, "--name" for a long one
    Job job;
    const char* LongOptions::*long_value;  // where a long option's value is kept
    const char* alone;                     // what the option's job does, for the refusal
    bool LongOptions::*long_flag = nullptr;  // where a long option without a value is kept
};

constexpr const char* LongOptions::*kClassic = nullptr;

// The modes first: the refusal names the first option given and says what it does alone.
constexpr JobOption kJobOptions[] = {
    {"-j", Job::idcode, kClassic, "only checks the JTAG IDCODE"},
    {"-t", Job::toggle, kClassic, "only toggles the boundary-scan pins"},
    {"-f", Job::flash, kClassic, nullptr},
    {"-e", Job::flash, kClassic, nullptr},
    {"-b", Job::flash, kClassic, nullptr},
    {"--read", Job::flash, &LongOptions::read_path, nullptr},
    {"--verify", Job::flash, &LongOptions::verify_path, nullptr},
    {"--update", Job::flash, kClassic, nullptr, &LongOptions::update},
};

// A classic option letter alone (j, C), or -eall without its dash.
bool classic_word(const char* word)
{
    const bool letter = word[0] != '\0' && word[0] != ':' && word[1] == '\0' && std::strchr(kOptionString, word[0]);
    return letter || std::strcmp(word, "eall") == 0;
}

// `valueless`: the option right before `arg`, when it takes a value and got none.
RunEnd refuse_unknown(const char* arg, const char* valueless, const LongOptions& long_options)
{
    con_printf("Invalid Option\n");
    print_usage();
    if (arg == long_options.unknown && long_options.unknown_nearest != nullptr) {
        con_printf("unknown option %s (did you mean --%s?)\n", arg, long_options.unknown_nearest);
    } else if (valueless != nullptr) {
        // -e -1, -f /x: a separate value is never taken when it begins like an option.
        print_attach_line(valueless, arg);
    } else if (std::strncmp(arg, "--", 2) == 0 && classic_word(arg + 2)) {
        // --eall for -eall: one dash too many on an option of the classic scan.
        con_printf("unknown option %s (did you mean %s?)\n", arg, arg + 1);
    } else {
        con_printf("unknown option %s\n", arg);
    }
    return process_end(1);
}

bool given(const JobOption& option, const bool (&seen)[128], const LongOptions& long_options)
{
    if (option.long_flag != nullptr)
        return long_options.*option.long_flag;
    if (option.long_value != kClassic)
        return long_options.*option.long_value != nullptr;
    return seen[static_cast<unsigned char>(option.name[1])];
}

}  // namespace

Ending refuse_misread_command_line(int argc, char** argv, const LongOptions& long_options)
{
    bool seen[128] = {};
    OptionScan scan;
    const char* value = nullptr;
    const char* valueless = nullptr;
    for (int c; (c = get_option(scan, argc, argv, kOptionString, &value)) != 0;) {
        const char* arg = argv[scan.index - 1];
        // A '/' word after an option left without its value was meant as that value, whatever
        // option letter it now reads as (/tmp/... is -t).
        if (c < 0 || (valueless != nullptr && arg[0] == '/'))
            return refuse_unknown(arg, valueless, long_options);
        if (c > 1 && c < 128)
            seen[c] = true;
        const char* row = c > 1 ? std::strchr(kOptionString, c) : nullptr;
        valueless = row != nullptr && row[1] == ':' && value == nullptr ? arg : nullptr;
    }
    const JobOption* first = nullptr;
    RunOptions classic;
    for (const JobOption& option : kJobOptions) {
        if (!given(option, seen, long_options))
            continue;
        if (first == nullptr) {
            first = &option;
        } else if (option.job != first->job) {
            // The scan's own errors (a bad number, a missing value) name what the user typed.
            if (Ending end = scan_options(argc, argv, classic))
                return end;
            con_printf("%s and %s cannot be combined: %s %s\n", first->name, option.name, first->name, first->alone);
            return process_end(1);
        }
    }
    return {};
}
