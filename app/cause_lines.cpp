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

void print_setups_line(const char* model)
{
    const FlashDescriptor* descriptor = flash_descriptor_find(model);
    if (descriptor == nullptr) {
        print_names_line("flash models", "-F", model, model_names());
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

void print_expected_idcode(const char* idcode, const char* bsdl_path)
{
    if (bsdl_path != nullptr)
        con_printf("Expected JTAG ID: %s (from %s)\n", idcode, bsdl_path);
}
