// SPDX-License-Identifier: Apache-2.0
#include "job/adapter_file.h"

#include <cstdlib>
#include <filesystem>

#include "platform/regular_file.h"

namespace {

bool read_text(const std::string& path, std::string& text)
{
    return read_regular_file(path.c_str(), text) == FileRead::ok;
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
    // A name that is there but not a regular file, or too large, is not looked for elsewhere.
    if (const FileRead read = read_regular_file(name.c_str(), text); read == FileRead::ok) {
        path = name;
    } else if (read != FileRead::cannot_open) {
        error = "--cable-config " + name + file_read_reason(read);
        return false;
    } else if (!find_script("interface/ftdi/" + name + ".cfg", path, text)) {
        error = "--cable-config " + name + ": no such file, nor interface/ftdi/" + name +
                ".cfg in the OpenOCD script folders";
        return false;
    }
    return adapter_config_parse(text, path, find_script, config, error);
}
