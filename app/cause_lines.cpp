// SPDX-License-Identifier: Apache-2.0
#include "app/cause_lines.h"

#include <cctype>
#include <span>
#include <string>
#include <vector>

#include "flash/flash_descriptor.h"
#include "platform/console.h"
#include "targets/cpu_table.h"

namespace {

bool same_but_case(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// "A, B or C", or "A, B, C" with `last` ", ".
std::string listed(std::span<const char* const> items, const char* last)
{
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

// "Supported NOUN: A, B, C", and the name meant when `given` differs from one only in case.
void print_names_line(const char* noun, const char* option, const char* given, std::span<const char* const> names)
{
    const std::string list = listed(names, ", ");
    for (const char* name : names)
        if (same_but_case(name, given)) {
            con_printf("Supported %s: %s (case-sensitive: did you mean %s %s?)\n", noun, list.c_str(), option, name);
            return;
        }
    con_printf("Supported %s: %s\n", noun, list.c_str());
}

std::vector<const char*> cpu_names()
{
    std::vector<const char*> names;
    for (const CpuTarget* cpu : cpu_table())
        names.push_back(cpu->name);
    return names;
}

std::vector<const char*> model_names()
{
    std::vector<const char*> names;
    for (const FlashDescriptor& d : flash_descriptors())
        names.push_back(d.name);
    return names;
}

}  // namespace

std::string cpu_names_text() { return listed(cpu_names(), ", "); }

std::string model_names_text() { return listed(model_names(), ", "); }

void print_cpu_names_line(const char* name) { print_names_line("CPUs", "-C", name, cpu_names()); }

void print_setups_line(const char* model, int32_t bus_width, int32_t interleave)
{
    const struct {
        char option;
        int32_t value;
        bool taken;
    } kValues[] = {{'w', bus_width, bus_width == 8 || bus_width == 16},
                   {'i', interleave, interleave == 1 || interleave == 2}};
    for (const auto& row : kValues)
        if (!row.taken) {
            print_option_value_line(row.option, std::to_string(row.value).c_str());
            return;
        }
    const FlashDescriptor* descriptor = flash_descriptor_find(model);
    if (descriptor == nullptr) {
        print_names_line("flash models", "-F", model, model_names());
        con_printf("--detect finds the flash\n");
        return;
    }
    constexpr struct {
        uint8_t setup;
        const char* options;
    } kSetups[] = {{kSetup16x1, "-w 16 -i 1"}, {kSetup8x1, "-w 8 -i 1"}, {kSetup8x2, "-w 8 -i 2"}};
    std::vector<const char*> taken;
    for (const auto& row : kSetups)
        if (descriptor->setups & row.setup)
            taken.push_back(row.options);
    con_printf("%s takes %s\n", descriptor->name, listed(taken, " or ").c_str());
}

namespace {

struct OptionValue {
    char option;
    const char* takes;
    std::string (*names)();  // the names it takes, listed in parentheses after `takes`
};

constexpr OptionValue kOptionValues[] = {
    {'C', "a CPU name", cpu_names_text},
    {'F', "a flash model", model_names_text},
    {'w', "8 or 16", nullptr},
    {'i', "1 or 2", nullptr},
    {'o', "a start address, decimal or 0x hex", nullptr},
    {'e', "a size in bytes, decimal or 0x hex, or all", nullptr},
    {'f', "the image file", nullptr},
    {'b', "an erase block number, decimal or 0x hex", nullptr},
};

}  // namespace

void print_option_value_line(char option, const char* value)
{
    for (const OptionValue& row : kOptionValues) {
        if (row.option != option)
            continue;
        const std::string names = row.names != nullptr ? " (" + row.names() + ")" : "";
        if (value == nullptr)
            con_printf("-%c without a value: -%c takes %s%s\n", option, option, row.takes, names.c_str());
        else
            con_printf("-%c '%s': -%c takes %s%s\n", option, value, option, row.takes, names.c_str());
        return;
    }
}

void print_attach_line(const char* option, const char* value)
{
    if (value[0] == '/')
        con_printf("A value that begins with '/' is read as an option: attach it (%s%s) or use a relative path.\n",
                   option, value);
    else
        con_printf("%s %s: a value that begins with '-' must be attached, %s%s\n", option, value, option, value);
}

void print_expected_idcode(const char* idcode, const char* bsdl_path)
{
    if (bsdl_path != nullptr)
        con_printf("Expected JTAG ID: %s (from %s)\n", idcode, bsdl_path);
}
