// SPDX-License-Identifier: Apache-2.0
#include "platform/privileges.h"

#include <cerrno>
#include <cstring>

#include <grp.h>
#include <unistd.h>

namespace {

std::string refusal(const char* call)
{
    return std::string("Cannot drop root privileges: ") + call + ": " + std::strerror(errno);
}

// Root as the effective or the saved user of a process started by another one.
bool root_held(uid_t user)
{
    uid_t real, effective, saved;
    return user != 0 && getresuid(&real, &effective, &saved) == 0 && (effective == 0 || saved == 0);
}

}  // namespace

std::string drop_root_privileges()
{
    const uid_t user = getuid();
    const gid_t group = getgid();
    if (!root_held(user))
        return {};
    if (geteuid() != 0 && seteuid(0) != 0)  // suspended: root again, to give it up for good
        return refusal("seteuid");
    // Groups first, while root may still change them; the supplementary groups root could
    // have brought along go as well.
    if (setgroups(1, &group) != 0)
        return refusal("setgroups");
    if (setresgid(group, group, group) != 0)
        return refusal("setresgid");
    if (setresuid(user, user, user) != 0)
        return refusal("setresuid");
    uid_t real, effective, saved;
    bool all_user = getresuid(&real, &effective, &saved) == 0 && real == user && effective == user && saved == user;
    if (!all_user || setuid(0) == 0)
        return "Cannot drop root privileges: root could be regained after setresuid";
    return {};
}

std::string suspend_root_privileges()
{
    const gid_t group = getgid();
    if (geteuid() != 0 || !root_held(getuid()))
        return {};
    if (setgroups(1, &group) != 0)
        return refusal("setgroups");
    if (setegid(group) != 0)
        return refusal("setegid");
    if (seteuid(getuid()) != 0)
        return refusal("seteuid");
    return {};
}

std::string resume_root_privileges()
{
    if (geteuid() == 0 || !root_held(getuid()))
        return {};
    return seteuid(0) == 0 ? std::string() : refusal("seteuid");
}
