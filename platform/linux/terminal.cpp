// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/terminal.h"

#include <cerrno>
#include <cstdlib>

#include <termios.h>
#include <unistd.h>

#include "platform/linux/signals.h"

namespace {

// Process-wide, because the atexit and signal handlers have no object to reach.
struct SavedTerminal {
    termios line_mode;
    termios raw_mode;
    int fd;
    volatile sig_atomic_t raw;        // the terminal is in raw mode now
    volatile sig_atomic_t suspended;  // given back for Ctrl-Z: raw again when continued
};
SavedTerminal g_terminal = {};

// Signals whose default action ends the process: the faults, and the interrupts and the
// broken pipe when nobody asked for them to be caught (platform/interrupts.h).
constexpr int kEndingSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

void set_terminal(const termios& settings) { tcsetattr(g_terminal.fd, TCSANOW, &settings); }

void give_back_and_end(int signal_number)
{
    terminal_give_back();
    signal_end_process(signal_number);
}

void on_stop(int)
{
    int saved_errno = errno;
    if (g_terminal.raw) {
        set_terminal(g_terminal.line_mode);
        g_terminal.raw = 0;
        g_terminal.suspended = 1;
    }
    signal_end_process(SIGTSTP);  // the default action of SIGTSTP stops the process
    errno = saved_errno;
}

void on_continue(int)
{
    int saved_errno = errno;
    signal_install(SIGTSTP, on_stop);
    // Only a foreground job may set the terminal (in the background it would stop again on
    // SIGTTOU); the next `fg` continues it once more.
    pid_t foreground = tcgetpgrp(g_terminal.fd);
    if (g_terminal.suspended && (foreground < 0 || foreground == getpgrp())) {
        set_terminal(g_terminal.raw_mode);
        g_terminal.suspended = 0;
        g_terminal.raw = 1;
    }
    errno = saved_errno;
}

void install_handlers_once()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(terminal_give_back);
    // Signals caught or ignored by someone else are left alone.
    for (int signal_number : kEndingSignals) {
        if (signal_is_default(signal_number))
            signal_install(signal_number, give_back_and_end);
    }
    if (signal_is_default(SIGTSTP)) {
        signal_install(SIGTSTP, on_stop);
        signal_install(SIGCONT, on_continue);
    }
}

}  // namespace

bool terminal_make_raw(int fd)
{
    termios settings;
    if (g_terminal.raw || g_terminal.suspended || !isatty(fd) || tcgetattr(fd, &settings) != 0)
        return false;
    g_terminal.line_mode = settings;
    g_terminal.fd = fd;
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    g_terminal.raw_mode = settings;
    install_handlers_once();
    g_terminal.raw = 1;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        g_terminal.raw = 0;
        return false;
    }
    return true;
}

void terminal_restore(int fd)
{
    if ((g_terminal.raw || g_terminal.suspended) && g_terminal.fd == fd)
        terminal_give_back();
}

void terminal_give_back()
{
    g_terminal.suspended = 0;
    if (g_terminal.raw) {
        set_terminal(g_terminal.line_mode);
        g_terminal.raw = 0;
    }
}
