// SPDX-License-Identifier: Apache-2.0
// A device held by one job at a time: a USB adapter (by vid:pid:serial) or a parallel port. On
// Linux a lock file in $TARNFLASH_LOCK_DIR (default /run/lock, else /tmp) held with flock; the
// kernel lets it go when the process ends, however it ends. On Windows a named mutex.
#pragma once

#include <cstdint>
#include <string>

class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock() { release(); }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Holds `key` (letters, digits, '.', '-' and '_'; anything else becomes '_') at once, without
    // waiting. nullptr once held, else one line: "<what> is in use by another job (<lock>)", or
    // why the lock could not be made.
    const char* take(const std::string& key, const std::string& what);
    void release();

private:
    intptr_t handle_ = -1;
    std::string error_;
};

// "usb-0403-6010-SERIAL", the key of a USB adapter.
std::string usb_lock_key(uint16_t vendor, uint16_t product, const std::string& serial);
