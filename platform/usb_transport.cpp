// SPDX-License-Identifier: Apache-2.0
#include "platform/usb_transport.h"

#include <cstdio>

namespace {
std::string id_pair(uint16_t vendor, uint16_t product)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
    return text;
}
}  // namespace

std::string usb_ids_text(const UsbDeviceChoice& choice)
{
    std::string text = choice.product == 0 ? id_pair(choice.vendor, 0x6010) + " or " + id_pair(choice.vendor, 0x6014)
                                           : id_pair(choice.vendor, choice.product);
    for (const UsbId& id : choice.more_ids)
        text += " or " + usb_id_text(id);
    if (!choice.serial.empty())
        text += " with serial " + choice.serial;
    return text;
}

std::string usb_id_text(UsbId id) { return id_pair(id.vendor, id.product); }

std::string usb_read_timeout_text(size_t got, size_t length)
{
    char text[96];
    std::snprintf(text, sizeof text, "USB read timed out: %zu of %zu answer bytes came", got, length);
    return text;
}

std::vector<UsbId> usb_ids_tried(const UsbDeviceChoice& choice)
{
    std::vector<UsbId> ids;
    if (choice.product != 0)
        ids.push_back({choice.vendor, choice.product});
    else
        ids.insert(ids.end(), {{choice.vendor, 0x6010}, {choice.vendor, 0x6014}});
    ids.insert(ids.end(), choice.more_ids.begin(), choice.more_ids.end());
    return ids;
}
