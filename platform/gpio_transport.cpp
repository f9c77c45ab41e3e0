// SPDX-License-Identifier: Apache-2.0
#include "platform/gpio_transport.h"

std::string gpio_no_chip_text(const std::string& chip, const std::string& why)
{
    return "no GPIO chip '" + chip + "' (" + why + ")";
}

std::string gpio_no_line_text(const std::string& chip, const char* role, int32_t offset, uint32_t lines)
{
    return "GPIO line " + std::to_string(offset) + " (" + role + ") is not on " + chip + ", which has lines 0 to " +
           std::to_string(lines == 0 ? 0 : lines - 1);
}

std::string gpio_busy_text(const std::string& chip, const char* role, int32_t offset, const std::string& holder)
{
    return "GPIO line " + std::to_string(offset) + " (" + role + ") on " + chip + " is in use by '" +
           (holder.empty() ? "another program" : holder) + "'";
}
