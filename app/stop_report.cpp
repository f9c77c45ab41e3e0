// SPDX-License-Identifier: Apache-2.0
#include "app/stop_report.h"

#include <string>

#include "platform/console.h"
#include "platform/interrupts.h"

const char* stop_reason(const Cable& cable)
{
    static std::string text;
    if (const char* fault = cable.fault()) {
        text = std::string("a cable error (") + fault + ")";
        return text.c_str();
    }
    return interrupt_requested();
}

void report_stop(const char* reason, uint32_t at, const JobRange& range)
{
    if (range.end <= range.begin) {
        con_printf("\nStopped by %s before the flash was changed\n", reason);
        return;
    }
    con_printf("\nStopped by %s at 0x%08X: 0x%08X to 0x%08X may be half-written\n", reason, at, range.begin,
               static_cast<uint32_t>(range.end - 1));
}
