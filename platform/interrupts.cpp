// SPDX-License-Identifier: Apache-2.0
#include "platform/interrupts.h"

#include <atomic>
#include <csignal>

namespace {

// Written by signal handlers and, on Windows, by the console's handler thread.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

}  // namespace

const char* interrupt_requested()
{
    switch (g_signal.load()) {
    case 0:
        return nullptr;
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP:
        return "SIGHUP";
#endif
#ifdef SIGQUIT
    case SIGQUIT:
        return "SIGQUIT";
#endif
#ifdef SIGBREAK
    case SIGBREAK:
        return "SIGBREAK";
#endif
    default:
        return "a signal";
    }
}

void interrupts_reset() { g_signal = 0; }

bool interrupt_raise(int signal_number)
{
    int none = 0;
    return g_signal.compare_exchange_strong(none, signal_number);
}
