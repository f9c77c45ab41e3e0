// SPDX-License-Identifier: Apache-2.0
#include "platform/interrupts.h"

#include <csignal>

#include <windows.h>

namespace {

// Runs on a thread of its own that the console starts for the event.
BOOL WINAPI on_console_event(DWORD event)
{
    int signal_number = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : 0;
    if (signal_number == 0)
        return FALSE;
    // A second one goes on to the default handler, which ends the process.
    return interrupt_raise(signal_number) ? TRUE : FALSE;
}

}  // namespace

void interrupts_catch()
{
    static bool installed = false;
    if (installed)
        return;
    installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}
