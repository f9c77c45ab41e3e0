// SPDX-License-Identifier: Apache-2.0
#include "platform/device_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string lock_folder()
{
    // A setuid-root start takes its locks before it gives up root: secure_getenv keeps the caller's
    // environment from choosing where root creates files.
    if (const char* own = secure_getenv("TARNFLASH_LOCK_DIR"); own != nullptr && *own != '\0')
        return own;
    return access("/run/lock", W_OK | X_OK) == 0 ? "/run/lock" : "/tmp";
}

std::string safe_name(const std::string& key)
{
    std::string name = key;
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        if (!plain)
            c = '_';
    }
    return name;
}

}  // namespace

const char* DeviceLock::take(const std::string& key, const std::string& what)
{
    release();
    const std::string path = lock_folder() + "/tarnflash-" + safe_name(key) + ".lock";
    // Opened without O_CREAT first: in a sticky folder the kernel refuses O_CREAT on another user's file.
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0)
            fchmod(fd, 0666);  // the next user of the adapter may be someone else
    }
    if (fd < 0) {
        error_ = "cannot make the lock " + path + " for " + what + ": " + std::strerror(errno);
        return error_.c_str();
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int saved = errno;
        close(fd);
        error_ = saved == EWOULDBLOCK ? what + " is in use by another job (" + path + ")"
                                      : "cannot lock " + path + " for " + what + ": " + std::strerror(saved);
        return error_.c_str();
    }
    handle_ = fd;
    return nullptr;
}

void DeviceLock::release()
{
    if (handle_ < 0)
        return;
    close(static_cast<int>(handle_));
    handle_ = -1;
}
