// SPDX-License-Identifier: Apache-2.0
#include "platform/interrupts.h"

#include <atomic>
#include <csignal>

#include <windows.h>

#include "platform/windows/console_close.h"

namespace {

std::atomic<ConsoleCloseWatch*> g_watch{nullptr};
// Windows ends the process about 5 s after a close event; the adapter is let go of before that.
constexpr int kCloseWaitMs = 4000;
constexpr int kCloseLookMs = 10;

// The console window closed, or the user logs off or the system shuts down, with an adapter
// open: the job is asked to stop as on SIGTERM and given its time to close the adapter itself.
BOOL on_console_end()
{
    ConsoleCloseWatch* watch = g_watch.load();
    if (watch == nullptr)
        return FALSE;
    interrupt_raise(SIGTERM);
    for (int waited = 0; waited < kCloseWaitMs && watch->adapter_open(); waited += kCloseLookMs)
        Sleep(kCloseLookMs);
    watch->let_go();
    return FALSE;  // the default handler ends the process
}

// Runs on a thread of its own that the console starts for the event.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        return on_console_end();
    int signal_number = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : 0;
    if (signal_number == 0)
        return FALSE;
    // A second one goes on to the default handler, which ends the process.
    return interrupt_raise(signal_number) ? TRUE : FALSE;
}

}  // namespace

void console_close_watch(ConsoleCloseWatch* watch) { g_watch = watch; }

void interrupts_catch()
{
    static bool installed = false;
    if (installed)
        return;
    installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}
