// SPDX-License-Identifier: Apache-2.0
#include "app/tool_main.h"
#include "platform/interrupts.h"
#include "platform/os_platform.h"

int main(int argc, char** argv)
{
    interrupts_catch();  // first: an interrupt at any moment must reach the job's stop checks
    std::unique_ptr<Platform> platform = make_os_platform();
    return tool_main(argc, argv, *platform);
}
