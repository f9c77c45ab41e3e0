// SPDX-License-Identifier: Apache-2.0
#include "app/adapter_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

bool read_text(const std::string& path, std::string& text)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

// OpenOCD's `find`: the name as it stands, else under each script folder.
bool find_script(const std::string& name, std::string& path, std::string& text)
{
    if (read_text(name, text)) {
        path = name;
        return true;
    }
    if (std::filesystem::path(name).is_absolute())
        return false;
    for (const std::string& folder : openocd_script_folders()) {
        path = folder + "/" + name;
        if (read_text(path, text))
            return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> openocd_script_folders()
{
    std::vector<std::string> folders;
    if (const char* own = std::getenv("OPENOCD_SCRIPTS"); own != nullptr && *own != '\0')
        folders.emplace_back(own);
    folders.emplace_back("/usr/local/share/openocd/scripts");
    folders.emplace_back("/usr/share/openocd/scripts");
    return folders;
}

bool adapter_config_load(const std::string& name, AdapterConfig& config, std::string& error)
{
    std::string path;
    std::string text;
    if (read_text(name, text))
        path = name;
    else if (!find_script("interface/ftdi/" + name + ".cfg", path, text)) {
        error = "--cable-config " + name + ": no such file, nor interface/ftdi/" + name +
                ".cfg in the OpenOCD script folders";
        return false;
    }
    return adapter_config_parse(text, path, find_script, config, error);
}
