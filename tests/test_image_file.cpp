// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/image_file.h"
#include "flash/flash_geometry.h"
#include "tests/support/fake_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kKiB = 1024;

// A 1 MB device of sixteen 64 kKB blocks based at `base`.
void sixteen_blocks_at(FlashGeometry& g, uint32_t base)
{
    g = FlashGeometry{};
    g.device_size = 1024 * kKiB;
    g.block_count = 16;
    for (int b = 0; b <= 16; ++b) {
        g.block_start[b] = base + static_cast<uint32_t>(b) * 64 * kKiB;
        if (b < 16)
            g.block_size[b] = 64 * kKiB;
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
        sixteen_blocks_at(geometry_, 0);
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

    bool check(const std::string& path, uint32_t start = 0)
    {
        path_ = path;
        bytes_.assign(3, 0xEE);
        return load_image_file(path_.c_str(), geometry_, start, bytes_);
    }

    fs::path dir_;
    std::string path_;
    FakePlatform console_;
    FlashGeometry geometry_;
    std::vector<uint8_t> bytes_;
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
    const bool result = check(make_image(c.size), c.start);
    if (c.accepted) {
        EXPECT_TRUE(result);
        EXPECT_EQ(bytes_.size(), c.size);
        EXPECT_EQ(console_.console, "");
    } else {
        EXPECT_FALSE(result);
        EXPECT_TRUE(
            console_.console.starts_with(std::string(kTooBig) + "The image is " + std::to_string(c.size) + " bytes"))
            << console_.console;
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
    sixteen_blocks_at(geometry_, 0xFFF00000);
    EXPECT_TRUE(check(make_image(1024 * kKiB), 0xFFF00000));
    EXPECT_EQ(bytes_.size(), 1024 * kKiB);
    EXPECT_FALSE(check(make_image(1024 * kKiB + 1), 0xFFF00000));
}

TEST_F(CheckImageFile, UnopenableNamesAreRefusedWithTheReason)
{
    for (const auto& [path, reason] : {std::pair{(dir_ / "missing.bin").string(), "No such file or directory"},
                                       {dir_.string(), "Is a directory"},
                                       {make_image(16) + "/inside.bin", "Not a directory"},
                                       {std::string("/dev/null"), "not a regular file"}}) {
        console_.console.clear();
        EXPECT_FALSE(check(path)) << path;
        EXPECT_EQ(console_.console, "Could not open " + path + " for input data.\nReason: " + reason + "\n");
    }
}

}  // namespace
