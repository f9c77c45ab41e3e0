// SPDX-License-Identifier: Apache-2.0
#include "platform/interrupts.h"

#include <cerrno>

#include "platform/linux/signals.h"
#include "platform/linux/terminal.h"

void signal_install(int signal_number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // One interrupt handler at a time, so "first" and "second" are never mixed up.
    if (handler != SIG_DFL && handler != SIG_IGN) {
        for (int other : kInterruptSignals)
            sigaddset(&action.sa_mask, other);
    }
    action.sa_flags = SA_RESTART;
    sigaction(signal_number, &action, nullptr);
}

bool signal_is_default(int signal_number)
{
    struct sigaction current = {};
    sigaction(signal_number, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

sigset_t interrupt_signal_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : kInterruptSignals)
        sigaddset(&set, signal_number);
    return set;
}

void signal_end_process(int signal_number)
{
    signal_install(signal_number, SIG_DFL);
    // Blocked while its handler runs: delivered, with the default action, when the handler returns.
    raise(signal_number);
}

namespace {

void on_interrupt(int signal_number)
{
    int saved_errno = errno;
    if (!interrupt_raise(signal_number)) {
        terminal_give_back();
        signal_end_process(signal_number);
    }
    errno = saved_errno;
}

}  // namespace

void interrupts_catch()
{
    for (int signal_number : kInterruptSignals)
        signal_install(signal_number, on_interrupt);
    signal_install(SIGPIPE, SIG_IGN);
}
