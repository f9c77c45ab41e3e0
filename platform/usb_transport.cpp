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
    if (choice.product != 0)
        return id_pair(choice.vendor, choice.product);
    return id_pair(choice.vendor, 0x6010) + " or " + id_pair(choice.vendor, 0x6014);
}
