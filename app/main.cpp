#include "app/tool_main.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char** argv)
{
    LinuxPlatform platform;
    return tool_main(argc, argv, platform);
}
