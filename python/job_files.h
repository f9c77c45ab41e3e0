// SPDX-License-Identifier: Apache-2.0
// The files a job from Python hands the tool and gets back from it.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

// A folder of its own for a job's image, read-back and report; gone with the job.
class JobFiles {
public:
    JobFiles()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnflash-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a folder for the job's files in " + pattern);
        dir_ = pattern;
    }
    ~JobFiles()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    JobFiles(const JobFiles&) = delete;
    JobFiles& operator=(const JobFiles&) = delete;

    std::string path(const char* name) const { return (dir_ / name).string(); }
    std::string write(const char* name, const pybind11::bytes& data) const
    {
        std::ofstream out(path(name), std::ios::binary);
        const std::string bytes = data;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path(name));
        return path(name);
    }
    std::string read(const char* name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::filesystem::path dir_;
};
