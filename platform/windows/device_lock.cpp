// SPDX-License-Identifier: Apache-2.0
#include "platform/device_lock.h"

#include <windows.h>

const char* DeviceLock::take(const std::string& key, const std::string& what)
{
    release();
    std::string own = key;
    for (char& c : own)
        if (c == '\\')
            c = '_';  // a backslash would name a namespace
    const std::string name = "Local\\tarnflash-" + own;
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (mutex == nullptr) {
        error_ = "cannot make the lock " + name + " for " + what;
        return error_.c_str();
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        error_ = what + " is in use by another job (" + name + ")";
        return error_.c_str();
    }
    handle_ = reinterpret_cast<intptr_t>(mutex);
    return nullptr;
}

void DeviceLock::release()
{
    if (handle_ == -1)
        return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}
