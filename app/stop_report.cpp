// SPDX-License-Identifier: Apache-2.0
#include "app/stop_report.h"

#include <string>

#include "platform/console.h"
#include "platform/interrupts.h"

std::string stop_reason(const Cable& cable)
{
    if (const char* fault = cable.fault())
        return std::string("a cable error (") + fault + ")";
    const char* signal = interrupt_requested();
    return signal != nullptr ? signal : "";
}

void report_stop(const std::string& reason, uint32_t at, const JobRange& range)
{
    if (range.end <= range.begin) {
        con_printf("\nStopped by %s before the flash was changed\n", reason.c_str());
        return;
    }
    con_printf("\nStopped by %s at 0x%08X: 0x%08X to 0x%08X may be half-written\n", reason.c_str(), at, range.begin,
               static_cast<uint32_t>(range.end - 1));
}
