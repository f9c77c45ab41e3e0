// SPDX-License-Identifier: Apache-2.0
// Standard input read without waiting, as the simulator's keys need it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "sim/ready_input.h"

namespace {

// What successive reads give: the bytes, "" for nothing ready yet, "END" for the end.
std::string next_read(int fd)
{
    char buffer[8];
    long count = sim::read_ready_input(fd, buffer, sizeof buffer);
    if (count < 0)
        return "END";
    return std::string(buffer, static_cast<size_t>(count));
}

struct PipeCase {
    const char* label;
    const char* written;  // before the reads
    bool writer_closed;
    std::vector<std::string> reads;
};

void PrintTo(const PipeCase& c, std::ostream* os) { *os << c.label; }

class ReadyInputFromPipe : public testing::TestWithParam<PipeCase> {};

TEST_P(ReadyInputFromPipe, NeverWaitsAndEndsAtEndOfInput)
{
    const PipeCase& c = GetParam();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string written = c.written;
    ASSERT_EQ(write(fds[1], written.data(), written.size()), static_cast<ssize_t>(written.size()));
    if (c.writer_closed)
        close(fds[1]);
    for (const std::string& expected : c.reads)
        EXPECT_EQ(next_read(fds[0]), expected);
    close(fds[0]);
    if (!c.writer_closed)
        close(fds[1]);
}

INSTANTIATE_TEST_SUITE_P(Reads, ReadyInputFromPipe,
                         testing::Values(PipeCase{"NothingYet", "", false, {"", ""}},
                                         PipeCase{"BytesAsTheyCame", "3\n\x1b", false, {"3\n\x1b", ""}},
                                         PipeCase{"LongerThanTheBuffer", "0123456789", false, {"01234567", "89", ""}},
                                         PipeCase{"EndAfterTheLastByte", "q", true, {"q", "END", "END"}},
                                         PipeCase{"EndAtOnce", "", true, {"END"}}),
                         [](const testing::TestParamInfo<PipeCase>& info) { return info.param.label; });

TEST(ReadyInput, NullDeviceAndClosedDescriptorEndRatherThanSpin)
{
    int null_fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(null_fd, 0);
    EXPECT_EQ(next_read(null_fd), "END");
    close(null_fd);
    EXPECT_EQ(next_read(null_fd), "END");
}

}  // namespace
