// SPDX-License-Identifier: Apache-2.0
#include "python/station_platform.h"

#include <cstdio>

namespace {

constexpr int kStopKey = 27;  // ESC, the key that stops a job on the console

}  // namespace

int StationPlatform::key_read() { return stop_.load() ? kStopKey : -1; }

void StationPlatform::console_write(const char* text, size_t length)
{
    log_.append(text, length);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n')
            line_done();
        else
            line_.push_back(text[i]);
    }
}

// A progress line: "<stage>: <done> / <total> [Byte]", then perhaps the share and the time left.
void StationPlatform::line_done()
{
    char stage[32];
    unsigned done = 0;
    unsigned total = 0;
    char unit[8];
    if (progress_ && std::sscanf(line_.c_str(), " %31[^:]: %u / %u [%7[^]]]", stage, &done, &total, unit) == 4 &&
        std::string(unit) == "Byte" && progress_(stage, done, total))
        request_stop();
    line_.clear();
}
