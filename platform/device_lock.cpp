// SPDX-License-Identifier: Apache-2.0
#include "platform/device_lock.h"

#include <cstdio>

std::string usb_lock_key(uint16_t vendor, uint16_t product, const std::string& serial)
{
    char text[24];
    std::snprintf(text, sizeof text, "usb-%04x-%04x-", vendor, product);
    return text + serial;
}
