// SPDX-License-Identifier: Apache-2.0
// Signal plumbing shared by the interrupt handlers and the terminal's way-out handlers.
#pragma once

#include <csignal>

// The signals that ask a job to stop (see platform/interrupts.h).
inline constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Installs `handler` (or SIG_DFL, SIG_IGN) with SA_RESTART, so that a caught signal never
// breaks a console write or read; poll and ppoll still return early, as they always do.
void signal_install(int signal_number, void (*handler)(int));
// True while the signal has its default action (nobody caught or ignored it).
bool signal_is_default(int signal_number);
// kInterruptSignals as a set, to block them around a wait that must see them.
sigset_t interrupt_signal_set();
// The old way out from inside a handler: default action, then the signal again; the
// process ends when the handler returns.
void signal_end_process(int signal_number);
