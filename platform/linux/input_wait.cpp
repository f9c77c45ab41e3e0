// SPDX-License-Identifier: Apache-2.0
#include "platform/input_wait.h"

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <poll.h>

#include "platform/interrupts.h"
#include "platform/linux/signals.h"

namespace {

int64_t now_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

bool input_wait(int fd, int timeout_ms)
{
    // The interrupts stay blocked except inside ppoll: one that comes just before the wait
    // starts still ends it, instead of being missed until a key is pressed.
    const sigset_t interrupts = interrupt_signal_set();
    sigset_t outside;
    sigprocmask(SIG_BLOCK, &interrupts, &outside);
    const int64_t deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
    bool ready = false;
    while (interrupt_requested() == nullptr) {
        int64_t left_ms = deadline < 0 ? -1 : deadline - now_ms();
        if (deadline >= 0 && left_ms < 0)
            left_ms = 0;
        timespec left = {static_cast<time_t>(left_ms / 1000), static_cast<long>(left_ms % 1000) * 1'000'000};
        pollfd request = {fd, POLLIN, 0};
        int count = ppoll(&request, 1, left_ms < 0 ? nullptr : &left, &outside);
        if (count != 0 && !(count < 0 && errno == EINTR)) {
            ready = true;  // input, its end, or an error the read will meet
            break;
        }
        if (count == 0)
            break;
    }
    sigprocmask(SIG_SETMASK, &outside, nullptr);
    return ready;
}
