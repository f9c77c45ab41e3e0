// SPDX-License-Identifier: Apache-2.0
// LinuxPlatform's parallel port alone, under ppdev_shim, for the tests (the tool's reaction to a
// fault is tested on the tarnflash program itself). Usage: ppdev_probe [--setuid-user UID:GID] [N]
// --setuid-user starts as a setuid-root install run by that user would (real ids UID and GID,
// effective user root). Prints a line each: the port access, the user ids after it, the data
// register read back after 0x55, the fault after N write/read pairs, a status read after them,
// and the fault after the release. N = 0 stops after the user ids: the port is never written.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "platform/linux/linux_platform.h"
#include "platform/privileges.h"

int main(int argc, char** argv)
{
    int next = 1;
    if (argc > 2 && std::strcmp(argv[1], "--setuid-user") == 0) {
        unsigned user = 0, group = 0;
        if (std::sscanf(argv[2], "%u:%u", &user, &group) != 2 ||
            (getgid() != group && setresgid(group, group, group) != 0) || setresuid(user, 0, 0) != 0) {
            std::perror("ppdev_probe: --setuid-user");
            return 2;
        }
        next = 3;
    }
    long pairs = next < argc ? std::atol(argv[next]) : 100;

    LinuxPlatform platform;
    const char* refused = platform.port_access();
    // As the tool does: root goes right after the port access.
    const std::string refusal = drop_root_privileges();
    if (!refusal.empty())
        refused = refusal.c_str();
    std::printf("access: %s\n", refused ? refused : "granted");
    uid_t real, effective, saved;
    getresuid(&real, &effective, &saved);
    std::printf("uids: %u %u %u\n", real, effective, saved);
    if (refused)
        return 1;
    if (pairs == 0)
        return 0;
    platform.port_write(0x378, 0x55);
    std::printf("echo: 0x%02x\n", platform.port_read(0x378));
    for (long i = 0; i < pairs; ++i) {
        platform.port_write(0x378, static_cast<uint8_t>(i & 7));
        platform.port_read(0x379);
    }
    const char* fault = platform.port_fault();
    std::printf("fault: %s\n", fault ? fault : "none");
    std::printf("status read: 0x%02x\n", platform.port_read(0x379));
    platform.port_release();
    fault = platform.port_fault();
    std::printf("after release: %s\n", fault ? fault : "none");
    return 0;
}
