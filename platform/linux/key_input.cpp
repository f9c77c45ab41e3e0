#include "platform/linux/key_input.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal settings to give back. Process-wide, because the atexit and signal
// handlers have no object to reach.
struct SavedTerminal {
    termios settings;
    int fd;
    volatile sig_atomic_t active;
};
SavedTerminal g_saved_terminal = {};

// Every signal whose default action ends the process and that a user can meet:
// Ctrl-C, a closed terminal, and a closed output pipe (`tarnflash ... | head`).
constexpr int kRestoreSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE, SIGABRT};

void restore_terminal()
{
    if (g_saved_terminal.active) {
        tcsetattr(g_saved_terminal.fd, TCSANOW, &g_saved_terminal.settings);
        g_saved_terminal.active = 0;
    }
}

void restore_and_reraise(int signal_number)
{
    restore_terminal();
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal_number, &fallback, nullptr);
    raise(signal_number);
}

void install_handlers_once()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(restore_terminal);
    for (int signal_number : kRestoreSignals) {
        struct sigaction current = {};
        sigaction(signal_number, nullptr, &current);
        if (current.sa_handler != SIG_DFL)
            continue;  // ignored or taken by someone else: leave it
        struct sigaction handler = {};
        handler.sa_handler = restore_and_reraise;
        sigemptyset(&handler.sa_mask);
        sigaction(signal_number, &handler, nullptr);
    }
}

void enter_raw_mode(int fd)
{
    termios settings;
    if (g_saved_terminal.active || !isatty(fd) || tcgetattr(fd, &settings) != 0)
        return;
    g_saved_terminal.settings = settings;
    g_saved_terminal.fd = fd;
    install_handlers_once();
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    g_saved_terminal.active = 1;
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        g_saved_terminal.active = 0;
}

}  // namespace

KeyInput::KeyInput(int fd, int escape_gap_ms) : fd_(fd), escape_gap_ms_(escape_gap_ms) {}

KeyInput::~KeyInput()
{
    if (g_saved_terminal.active && g_saved_terminal.fd == fd_)
        restore_terminal();
}

void KeyInput::prepare()
{
    if (prepared_)
        return;
    prepared_ = true;
    enter_raw_mode(fd_);
}

void KeyInput::take_held_escape()
{
    int key;
    if (decoder_.flush(&key))
        queue_.push(key);
}

void KeyInput::fill(int timeout_ms)
{
    size_t room = queue_.room();
    if (decoder_.holds_escape() && room > 0)
        --room;  // the held ESC may still become a key
    if (at_end_ || room == 0)
        return;
    pollfd request = {fd_, POLLIN, 0};
    int ready = poll(&request, 1, timeout_ms);
    if (ready < 0 && errno != EINTR) {
        at_end_ = true;
        take_held_escape();
        return;
    }
    if (ready <= 0)
        return;
    if (request.revents & POLLNVAL) {
        at_end_ = true;
        take_held_escape();
        return;
    }
    // One byte gives at most one key, so a read never overfills the queue.
    unsigned char bytes[KeyQueue::kCapacity];
    ssize_t got = ::read(fd_, bytes, room);
    if (got < 0) {
        if (errno != EINTR && errno != EAGAIN) {
            at_end_ = true;  // a broken input must not keep the tool waiting
            take_held_escape();
        }
        return;
    }
    if (got == 0) {
        at_end_ = true;
        take_held_escape();
        return;
    }
    int keys[KeyQueue::kCapacity];
    size_t decoded = decoder_.decode(bytes, static_cast<size_t>(got), keys);
    for (size_t i = 0; i < decoded; ++i)
        queue_.push(keys[i]);
    if (decoder_.holds_escape()) {
        // Nothing more within the gap: the ESC was pressed on its own.
        pollfd more = {fd_, POLLIN, 0};
        if (poll(&more, 1, escape_gap_ms_) <= 0 || !(more.revents & POLLIN))
            take_held_escape();
    }
}

bool KeyInput::available()
{
    prepare();
    if (queue_.empty())
        fill(0);
    return !queue_.empty();
}

int KeyInput::read()
{
    prepare();
    while (queue_.empty() && !at_end_)
        fill(-1);
    return queue_.empty() ? 0 : queue_.pop();
}

bool KeyInput::ended()
{
    if (queue_.empty())
        fill(0);
    return at_end_ && queue_.empty();
}
