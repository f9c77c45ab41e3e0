// SPDX-License-Identifier: Apache-2.0
#include "app/long_options.h"

#include <cstring>
#include <vector>

#include "app/nearest_name.h"

namespace {

struct LongOption {
    const char* name;
    bool* flag;                                             // an option without a value
    const char* LongOptions::*value;                        // an option with one
    std::vector<const char*> LongOptions::*list = nullptr;  // one that may be repeated
};

constexpr const char* LongOptions::*kNoValue = nullptr;

// A typo is at most this many edits from the name meant.
constexpr size_t kTypoEdits = 2;

// The first --name the table does not know, and the name of the table it most likely meant.
template <size_t N>
void note_unknown(LongOptions& options, const LongOption (&table)[N], const char* arg, size_t length)
{
    if (options.unknown != nullptr)
        return;
    std::vector<const char*> names;
    for (const LongOption& option : table)
        names.push_back(option.name);
    options.unknown = arg;
    options.unknown_nearest = nearest_name(std::string_view(arg + 2, length), names, kTypoEdits);
}

}  // namespace

bool take_long_options(int& argc, char** argv, LongOptions& options, std::string& error)
{
    const LongOption table[] = {
        {"help", &options.help, kNoValue},
        {"version", &options.version, kNoValue},
        {"read", nullptr, &LongOptions::read_path},
        {"verify", nullptr, &LongOptions::verify_path},
        {"verify-erase", &options.verify_erase, kNoValue},
        {"cable", nullptr, &LongOptions::cable},
        {"cable-id", nullptr, &LongOptions::cable_id},
        {"cable-interface", nullptr, &LongOptions::cable_interface},
        {"cable-pins", nullptr, &LongOptions::cable_pins},
        {"tck-hz", nullptr, &LongOptions::tck_hz},
        {"bsdl", nullptr, &LongOptions::bsdl},
        {"bus", nullptr, &LongOptions::bus},
        {"hold", nullptr, kNoValue, &LongOptions::holds},
        {"bsdl-info", &options.bsdl_info, kNoValue},
        {"detect", &options.detect, kNoValue},
        {"unlock", &options.unlock, kNoValue},
        {"unlock-all", &options.unlock_all, kNoValue},
        {"cable-config", nullptr, &LongOptions::cable_config},
        {"cable-info", &options.cable_info, kNoValue},
        {"cable-serial", nullptr, &LongOptions::cable_serial},
        {"cable-list", &options.cable_list, kNoValue},
        {"srst", nullptr, &LongOptions::srst},
        {"report", nullptr, &LongOptions::report_path},
        {"chain-list", &options.chain_list, kNoValue},
        {"bsdl-dir", nullptr, kNoValue, &LongOptions::bsdl_dirs},
        {"device", nullptr, &LongOptions::device},
        {"chain", nullptr, &LongOptions::chain},
        {"gpio-pins", nullptr, &LongOptions::gpio_pins},
        {"update", &options.update, kNoValue},
        {"svf", nullptr, &LongOptions::svf_path},
    };
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const LongOption* found = nullptr;
        const char* attached = nullptr;
        if (std::strncmp(arg, "--", 2) == 0) {
            const char* name = arg + 2;
            const char* equals = std::strchr(name, '=');
            const size_t length = equals ? static_cast<size_t>(equals - name) : std::strlen(name);
            for (const LongOption& option : table)
                if (std::strlen(option.name) == length && std::strncmp(option.name, name, length) == 0)
                    found = &option;
            attached = equals ? equals + 1 : nullptr;
            if (found == nullptr)
                note_unknown(options, table, arg, length);
        }
        if (found == nullptr) {
            argv[kept++] = argv[i];
            continue;
        }
        if (found->flag != nullptr) {
            if (attached != nullptr) {
                error = std::string("option --") + found->name + " takes no value";
                return false;
            }
            *found->flag = true;
            continue;
        }
        if (attached == nullptr) {
            if (i + 1 == argc) {
                error = std::string("option --") + found->name + " needs a value";
                return false;
            }
            attached = argv[++i];
        }
        if (found->list != nullptr)
            (options.*found->list).push_back(attached);
        else if (const char* earlier = options.*found->value; earlier != nullptr)
            options.replaced.push_back(std::string("--") + found->name + " " + attached + " replaces the earlier --" +
                                       found->name + " " + earlier);
        if (found->list == nullptr)
            options.*found->value = attached;
    }
    argc = kept;
    argv[argc] = nullptr;
    return true;
}
