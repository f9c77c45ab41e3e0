#include "platform/interrupts.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_signal = 0;

void on_interrupt(int signal_number)
{
    if (g_signal == 0)
        g_signal = signal_number;
}

}  // namespace

void interrupts_catch()
{
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
#ifdef SIGHUP
    std::signal(SIGHUP, on_interrupt);
#endif
#ifdef SIGQUIT
    std::signal(SIGQUIT, on_interrupt);
#endif
#ifdef SIGBREAK
    std::signal(SIGBREAK, on_interrupt);
#endif
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

const char* interrupt_requested()
{
    switch (g_signal) {
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

void interrupt_raise(int signal_number) { on_interrupt(signal_number); }
