// SPDX-License-Identifier: Apache-2.0
#include "platform/jaylink_transport.h"

std::string jaylink_several_text(const std::vector<uint32_t>& serials)
{
    std::string text = "several J-Links found: choose one with --cable-serial";
    for (uint32_t serial : serials)
        text += "\n  " + std::to_string(serial);
    return text;
}
