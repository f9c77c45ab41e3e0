// SPDX-License-Identifier: Apache-2.0
// identify CPU [FLASH]: on the first parallel port, checks the CPU's IDCODE and prints the maker and
// device ID and the size of the flash at address 0 (FLASH names the model, S29AL008D by default;
// 16-bit bus, one chip). A program of its own on the installed engine.
#include <cstdio>
#include <string>
#include <tarnflash/tarnflash.h>

#include "quiet_host.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::printf("usage: identify CPU [FLASH]\n");
        return 2;
    }
    std::string cause;
    const auto cable = tarnflash::open_cable({.kind = tarnflash::CableKind::parport}, &cause);
    if (!cable) {
        std::printf("%s\n", cause.c_str());
        return 1;
    }
    QuietHost host;
    tarnflash::Job job(*cable, {.cpu = argv[1], .flash = argc > 2 ? argv[2] : "S29AL008D", .bus_width = 16,
                                .interleave = 1},
                       host);
    const tarnflash::FlashFound flash = job.detect();
    if (flash.maker_id != 0 || flash.device_id != 0)
        std::printf("maker 0x%04X, device 0x%04X\n", flash.maker_id, flash.device_id);
    if (!flash.outcome.ok()) {
        std::printf("%s\n", job.report().cause.c_str());
        return 1;
    }
    std::printf("size %u KB in %d blocks\n", flash.size / 1024, flash.block_count);
    return 0;
}
