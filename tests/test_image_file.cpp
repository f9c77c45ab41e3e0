#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/image_file.h"
#include "app/options.h"
#include "flash/flash_geometry.h"
#include "flash/flash_ops.h"
#include "support/scripted_console.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kKiB = 1024;

// A 1 MB device of sixteen 64 kKB blocks based at `base`.
void sixteen_blocks_at(uint32_t base)
{
    flash_init();
    g_geometry.device_size = 1024 * kKiB;
    g_geometry.block_count = 16;
    for (int b = 0; b <= 16; ++b) {
        g_geometry.block_start[b] = base + static_cast<uint32_t>(b) * 64 * kKiB;
        if (b < 16)
            g_geometry.block_size[b] = 64 * kKiB;
    }
}

class CheckImageFile : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("tarnflash-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        platform_install(&console_);
        options_init();
        sixteen_blocks_at(0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string make_image(uint64_t size)
    {
        const fs::path path = dir_ / ("image-" + std::to_string(size) + ".bin");
        std::ofstream(path, std::ios::binary).close();
        fs::resize_file(path, size);
        path_ = path.string();
        return path_;
    }

    int check(const std::string& path, uint32_t start = 0)
    {
        path_ = path;
        g_options.image_path = path_.c_str();
        g_options.start_offset = start;
        return check_image_file(&length_);
    }

    fs::path dir_;
    std::string path_;
    ScriptedConsole console_;
    uint32_t length_ = 0xDEADBEEF;
};

constexpr const char* kTooBig = "Cannot download, file size is bigger than flash device size\n";

struct SizeCase {
    const char* name;
    uint32_t start;
    uint64_t size;
    bool accepted;
};

class CheckImageSize : public CheckImageFile, public testing::WithParamInterface<SizeCase> {};

TEST_P(CheckImageSize, AcceptsWhatFitsFromTheStart)
{
    const SizeCase& c = GetParam();
    const int result = check(make_image(c.size), c.start);
    if (c.accepted) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(length_, c.size);
        EXPECT_EQ(console_.text, "");
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(console_.text, kTooBig);
    }
}

const SizeCase kSizeCases[] = {
    {"Empty", 0, 0, true},
    {"WholeDevice", 0, 1024 * kKiB, true},
    {"OneByteOverDevice", 0, 1024 * kKiB + 1, false},
    {"RoomFromLaterBlock", 3 * 64 * kKiB, 13 * 64 * kKiB, true},
    {"OneByteOverRoomFromLaterBlock", 3 * 64 * kKiB, 13 * 64 * kKiB + 1, false},
    {"FitsDeviceButNotRoom", 15 * 64 * kKiB, 128 * kKiB, false},
    {"EmptyAtDeviceEnd", 1024 * kKiB, 0, true},
    {"OneByteAtDeviceEnd", 1024 * kKiB, 1, false},
    {"PastDeviceEnd", 2048 * kKiB, 1, false},
};

INSTANTIATE_TEST_SUITE_P(Sizes, CheckImageSize, testing::ValuesIn(kSizeCases),
                         [](const testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

TEST_F(CheckImageFile, DeviceAtTheTopOfTheAddressSpaceTakesAWholeImage)
{
    // The block table's end address wraps to 0 here.
    sixteen_blocks_at(0xFFF00000);
    EXPECT_EQ(check(make_image(1024 * kKiB), 0xFFF00000), 0);
    EXPECT_EQ(length_, 1024 * kKiB);
    EXPECT_EQ(check(make_image(1024 * kKiB + 1), 0xFFF00000), -1);
}

TEST_F(CheckImageFile, UnopenableNamesAreRefused)
{
    const std::string missing = (dir_ / "missing.bin").string();
    const std::string directory = dir_.string();
    for (const std::string& path : {missing, directory, std::string("/dev/null")}) {
        if (!fs::exists(path) && path != missing)
            continue;
        console_.text.clear();
        EXPECT_EQ(check(path), -1) << path;
        EXPECT_EQ(console_.text, "Could not open " + path + " for input data.\n");
    }
}

}  // namespace
