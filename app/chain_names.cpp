// SPDX-License-Identifier: Apache-2.0
#include "app/chain_names.h"

#include <algorithm>
#include <filesystem>

#include "platform/console.h"
#include "targets/bsdl_device.h"
#include "targets/cpu_table.h"

namespace {

bool idcode_matches(const std::string& pattern, uint32_t idcode)
{
    if (pattern.size() != 32)
        return false;
    for (uint32_t i = 0; i < 32; ++i) {
        const char bit = ((idcode >> (31 - i)) & 1u) ? '1' : '0';
        if (pattern[i] != 'X' && pattern[i] != bit)
            return false;
    }
    return true;
}

bool is_bsdl_name(const std::filesystem::path& path)
{
    const std::string extension = bsdl_upper(path.extension().string());
    return extension == ".BSD" || extension == ".BSDL";
}

bool add_file(const std::string& path, std::vector<KnownDevice>& known, std::string& error)
{
    BsdlDevice device;
    if (!bsdl_read_file(path.c_str(), device, error))
        return false;
    if (!device.idcode.empty())
        known.push_back({device.entity, device.idcode, static_cast<uint32_t>(device.instruction_length)});
    return true;
}

bool add_folder(const char* folder, std::vector<KnownDevice>& known, std::string& error)
{
    std::error_code failed;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, failed))
        if (entry.is_regular_file() && is_bsdl_name(entry.path()))
            files.push_back(entry.path());
    if (failed) {
        error = std::string("Cannot list --bsdl-dir ") + folder + ": " + failed.message();
        return false;
    }
    std::sort(files.begin(), files.end());  // the same names in the same order on every system
    for (const std::filesystem::path& file : files)
        if (std::string skipped; !add_file(file.string(), known, skipped))
            con_printf("Skipped %s\n", skipped.c_str());
    return true;
}

}  // namespace

bool known_devices(const LongOptions& options, const CpuTarget* job_cpu, std::vector<KnownDevice>& known,
                   std::string& error)
{
    if (job_cpu != nullptr)
        known.push_back({job_cpu->name, job_cpu->idcode, job_cpu->instruction_length, true});
    for (const CpuTarget* cpu : cpu_table())
        if (cpu != job_cpu)
            known.push_back({cpu->name, cpu->idcode, cpu->instruction_length});
    // The file named on its own is one more description (a job's device is already first): one
    // that cannot be read ends the run, as it would end the job.
    if (options.bsdl != nullptr && (job_cpu == nullptr || options.chain_list) && !add_file(options.bsdl, known, error))
        return false;
    for (const char* folder : options.bsdl_dirs)
        if (!add_folder(folder, known, error))
            return false;
    return true;
}

DeviceName device_name(const std::vector<KnownDevice>& known, uint32_t idcode)
{
    DeviceName result;
    std::vector<const KnownDevice*> matches;
    for (const KnownDevice& device : known)
        if (idcode_matches(device.idcode, idcode))
            matches.push_back(&device);
    if (matches.empty())
        return result;
    if (matches.front()->job)
        matches.resize(1);  // the user said which of the devices with this IDCODE it is
    result.name.clear();
    result.ir_length = matches.front()->ir_length;
    result.job = matches.front()->job;
    std::vector<std::string> names;
    for (const KnownDevice* device : matches) {
        if (device->ir_length != result.ir_length)
            result.ir_length = 0;
        if (std::find(names.begin(), names.end(), device->name) == names.end())
            names.push_back(device->name);
    }
    for (const std::string& name : names)
        result.name += (result.name.empty() ? "" : "/") + name;
    return result;
}
