// SPDX-License-Identifier: Apache-2.0
// program CPU FLASH IMAGE [START]: on the first parallel port, erases what the image needs, programs
// it at START (0 by default) and verifies it, on a 16-bit bus with one chip. A program of its own
// on the installed engine.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tarnflash/tarnflash.h>
#include <vector>

#include "quiet_host.h"

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::printf("usage: program CPU FLASH IMAGE [START]\n");
        return 2;
    }
    std::ifstream file(argv[3], std::ios::binary);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(file), {}};
    if (!file.is_open() || image.empty()) {
        std::printf("%s: no image to program\n", argv[3]);
        return 1;
    }
    const auto start = static_cast<uint32_t>(argc > 4 ? std::strtoul(argv[4], nullptr, 0) : 0);
    std::string cause;
    const auto cable = tarnflash::open_cable({.kind = tarnflash::CableKind::parport}, &cause);
    if (!cable) {
        std::printf("%s\n", cause.c_str());
        return 1;
    }
    QuietHost host;
    tarnflash::Job job(*cable, {.cpu = argv[1], .flash = argv[2], .bus_width = 16, .interleave = 1}, host);
    tarnflash::Outcome done = job.program(image, {.start = start});
    if (done.ok())
        done = job.verify(image, start);
    if (!done.ok()) {
        std::printf("%s\n", job.report().cause.c_str());
        return 1;
    }
    std::printf("%zu bytes programmed and verified from 0x%08X\n", image.size(), static_cast<unsigned>(start));
    return 0;
}
