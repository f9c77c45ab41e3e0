// SPDX-License-Identifier: Apache-2.0
#include "sim/sim_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "platform/input_wait.h"
#include "platform/output_terminal.h"
#include "sim/ready_input.h"

namespace sim {

namespace {
constexpr int kEnter = 13;
}

KeySetup key_setup(const SimOptions& options)
{
    KeySetup setup;
    setup.scripted = options.keys_given || !options.key_after.empty();
    setup.keys = options.keys;
    setup.key_after = options.key_after;
    return setup;
}

SimPlatform::SimPlatform(VirtualBoard& board, KeySetup keys)
    : board_(board), port_(board.port()), keys_(std::move(keys))
{
    std::stable_sort(keys_.key_after.begin(), keys_.key_after.end(),
                     [](const KeyAfter& a, const KeyAfter& b) { return a.after_dr_scans < b.after_dr_scans; });
    queue_ = keys_.keys;
    if (!keys_.scripted)
        terminal_ = TerminalKeys::open(keys_.input_fd);
}

void SimPlatform::release_due_keys()
{
    uint64_t scans = board_.stats().dr_scans;
    while (next_after_ < keys_.key_after.size() && keys_.key_after[next_after_].after_dr_scans <= scans)
        queue_ += keys_.key_after[next_after_++].text;
}

void SimPlatform::read_stdin()
{
    if (stdin_ended_ || next_key_ < queue_.size())
        return;
    char buffer[256];
    long count = read_ready_input(keys_.input_fd, buffer, sizeof buffer);
    if (count == 0)
        return;
    if (count < 0) {
        stdin_ended_ = true;
        return;
    }
    queue_.erase(0, next_key_);
    next_key_ = 0;
    queue_.append(buffer, static_cast<size_t>(count));
}

bool SimPlatform::key_available()
{
    if (terminal_)
        return terminal_->available();
    if (keys_.scripted)
        release_due_keys();
    else
        read_stdin();
    return next_key_ < queue_.size();
}

int SimPlatform::key_read()
{
    if (terminal_)
        return terminal_->available() ? terminal_->read() : -1;
    if (!key_available())
        return -1;
    int key = static_cast<unsigned char>(queue_[next_key_++]);
    // A terminal line ends in '\n'; the console the tool was written for gives Enter as 13.
    return (!keys_.scripted && key == '\n') ? kEnter : key;
}

bool SimPlatform::keys_ended()
{
    if (terminal_)
        return terminal_->ended();
    if (keys_.scripted) {
        release_due_keys();
        if (next_key_ < queue_.size())
            return false;
        if (next_after_ == keys_.key_after.size())
            return true;
        // Pending keys arrive only with DR scans: a tool that waits without touching the
        // port or the USB adapter between two looks will never see them.
        const SimStats& stats = board_.stats();
        uint64_t accesses = stats.port_writes + stats.port_reads + stats.usb_transfers;
        bool idle = accesses == accesses_at_last_look_;
        accesses_at_last_look_ = accesses;
        return idle;
    }
    read_stdin();
    return stdin_ended_ && next_key_ >= queue_.size();
}

bool SimPlatform::key_wait(int timeout_ms)
{
    if (terminal_)
        return terminal_->wait(timeout_ms);
    if (key_available())
        return true;
    if (keys_.scripted) {
        if (timeout_ms > 0)
            board_.clock().advance(static_cast<uint64_t>(timeout_ms) * 1'000'000u);
        return false;
    }
    if (!stdin_ended_)
        input_wait(keys_.input_fd, timeout_ms);
    return key_available();
}

int64_t SimPlatform::time_seconds()
{
    // Reading the clock takes time too, so a busy wait on it ends in virtual time.
    board_.clock().advance(kClockReadNs);
    return kEpochSeconds + static_cast<int64_t>(board_.clock().ns / 1'000'000'000u);
}

uint64_t SimPlatform::monotonic_ns()
{
    board_.clock().advance(kClockReadNs);
    return board_.clock().ns;
}

uint64_t SimPlatform::wall_ns()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void SimPlatform::console_write(const char* text, size_t length)
{
    // The tool prints each elapsed-time line in one piece.
    if (std::string_view(text, length).find(" elapsed time:") != std::string_view::npos)
        elapsed_time_printed_ = true;
    if (console_sink_) {
        console_sink_->append(text, length);
        return;
    }
    // A closed or broken output loses the text, never the job.
    if (std::fwrite(text, 1, length, stdout) != length || std::fflush(stdout) != 0)
        std::clearerr(stdout);
}

bool SimPlatform::console_is_terminal() { return console_sink_ ? captured_terminal_ : stdout_is_terminal(); }

}  // namespace sim
