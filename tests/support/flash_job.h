// SPDX-License-Identifier: Apache-2.0
// Helpers for whole programming runs on the virtual board: scratch files, byte patterns,
// the flash contents a run should leave, and console text checks.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace flash_job {

using Bytes = std::vector<uint8_t>;

// Every model in every bus set-up, as the simulator (--flash, --bus) and the tool (-F, -w, -i)
// name them.
struct FlashWiring {
    const char* sim_flash;
    const char* bus;
    const char* model;
    const char* width;
    const char* chips;
};

inline constexpr FlashWiring kFlashWirings[] = {
    {"S29AL008D:top", "16x1", "S29AL008D", "16", "1"}, {"S29AL008D:bottom", "8x1", "S29AL008D", "8", "1"},
    {"S29AL004D:top", "8x1", "S29AL004D", "8", "1"},   {"S29AL004D:bottom", "16x1", "S29AL004D", "16", "1"},
    {"EN29LV040A", "8x1", "EN29LV040A", "8", "1"},     {"EN29LV040A", "8x2", "EN29LV040A", "8", "2"},
    {"AM29LV040B", "8x2", "AM29LV040B", "8", "2"},     {"AM29LV040B", "8x1", "AM29LV040B", "8", "1"},
    {"S29GL064M", "16x1", "S29GL064M", "16", "1"},     {"K8D6316", "16x1", "K8D6316", "16", "1"},
    {"S29GL128N", "16x1", "S29GL128N", "16", "1"},     {"SST39VF6401", "16x1", "SST39VF6401", "16", "1"},
};

inline constexpr const char* kCpuNames[] = {"KTR5200", "ULN", "PAXON", "MIRTA"};

// A scratch folder of its own for one test, removed with everything in it.
class ScratchDir {
public:
    ScratchDir()
    {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "tarnflash-run-" + std::to_string(::getpid()) + "-" +
                           (test ? std::string(test->test_suite_name()) + "-" + test->name() : "x");
        for (char& c : name)
            if (c == '/')
                c = '_';
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `bytes` to `name` in the folder; returns the full path.
    std::string write(const std::string& name, const Bytes& bytes) const
    {
        std::filesystem::path file = path_ / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

    Bytes read(const std::string& name) const
    {
        std::ifstream in(path_ / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path path_;
};

// Bytes that differ from their neighbours and from erased flash, seeded so two
// patterns of the same length differ.
inline Bytes pattern(size_t length, uint32_t seed)
{
    Bytes bytes(length);
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

// What the flash should hold after a run: `before` (padded with erased bytes to
// `flash_size`), erased over [erase_begin, erase_end), the image written from `at`.
inline Bytes expected_flash(const Bytes& before, size_t flash_size, size_t erase_begin, size_t erase_end, size_t at,
                            const Bytes& image)
{
    Bytes want = before;
    want.resize(flash_size, 0xFF);
    for (size_t i = erase_begin; i < erase_end && i < flash_size; ++i)
        want[i] = 0xFF;
    for (size_t i = 0; i < image.size() && at + i < flash_size; ++i)
        want[at + i] = image[i];
    return want;
}

// Empty when equal, else where and how they first differ.
inline std::string first_difference(const Bytes& got, const Bytes& want)
{
    if (got.size() != want.size())
        return "size " + std::to_string(got.size()) + " instead of " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            char text[80];
            std::snprintf(text, sizeof text, "byte 0x%zX holds 0x%02X instead of 0x%02X", i, got[i], want[i]);
            return text;
        }
    }
    return {};
}

// Each part appears in `text`, after the end of the one before.
inline testing::AssertionResult in_order(const std::string& text, std::initializer_list<std::string> parts)
{
    size_t from = 0;
    for (const std::string& part : parts) {
        size_t at = text.find(part, from);
        if (at == std::string::npos) {
            std::string shown = text.size() > 4000 ? text.substr(0, 4000) + "..." : text;
            return testing::AssertionFailure() << "missing, or out of order: \"" << part << "\"\nin:\n" << shown;
        }
        from = at + part.size();
    }
    return testing::AssertionSuccess();
}

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace flash_job
