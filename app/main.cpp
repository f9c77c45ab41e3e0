// SPDX-License-Identifier: Apache-2.0
#include "app/tool_main.h"
#include "platform/os_platform.h"

int main(int argc, char** argv)
{
    std::unique_ptr<Platform> platform = make_os_platform();
    return tool_main(argc, argv, *platform);
}
