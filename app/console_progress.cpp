// SPDX-License-Identifier: Apache-2.0
#include "app/console_progress.h"

#include <algorithm>
#include <cstdio>

#include "platform/console.h"
#include "platform/platform.h"

namespace {

// About ten redraws a second: the line looks alive, and the terminal is not flooded by a
// line per bus word.
constexpr uint64_t kRedrawNs = 100'000'000;

// Appends ", 1 h 05 min left", ", 12 min 05 s left" or ", 9 s left".
int append_time_left(char* text, size_t size, uint64_t seconds)
{
    if (seconds >= 3600)
        return std::snprintf(text, size, ", %u h %02u min left", static_cast<unsigned>(seconds / 3600),
                             static_cast<unsigned>(seconds / 60 % 60));
    if (seconds >= 60)
        return std::snprintf(text, size, ", %u min %02u s left", static_cast<unsigned>(seconds / 60),
                             static_cast<unsigned>(seconds % 60));
    return std::snprintf(text, size, ", %u s left", static_cast<unsigned>(seconds));
}

}  // namespace

void ConsoleProgress::start()
{
    if (started_)
        return;
    started_ = true;
    terminal_ = platform().console_is_terminal();
    start_ns_ = platform().monotonic_ns();
}

void ConsoleProgress::update(uint32_t done, uint32_t total)
{
    start();
    // The engine counts whole bus words and buffers, which may reach past an odd-sized image.
    done = std::min(done, total);
    if (terminal_) {
        const uint64_t wall = platform().wall_ns();
        if (drawn_length_ == 0 || wall - drawn_ns_ >= kRedrawNs) {
            draw(done, total, platform().monotonic_ns());
            drawn_ns_ = wall;
        }
        return;
    }
    // A log: a line as each tenth is passed; the last one comes from finish().
    const uint64_t tenths = total == 0 ? 0 : uint64_t{done} * 10 / total;
    if (tenths <= tenths_shown_ || tenths >= 10)
        return;
    tenths_shown_ = static_cast<uint32_t>(tenths);
    draw(done, total, platform().monotonic_ns());
}

void ConsoleProgress::draw(uint32_t done, uint32_t total, uint64_t now_ns)
{
    char line[160];
    const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(uint64_t{done} * 100 / total);
    int length = std::snprintf(line, sizeof line, "%s: %8u / %u [Byte] %3u%%", label_, done, total, percent);
    length = std::clamp(length, 0, static_cast<int>(sizeof line) - 1);
    // The rate so far tells the rest; nothing is known before the first word is done. Whole
    // milliseconds in integers: the product fits for jobs of weeks, and every build rounds alike.
    const uint64_t elapsed_ms = (now_ns - start_ns_) / 1'000'000;
    if (done > 0 && elapsed_ms > 0) {
        const uint64_t left_ms = elapsed_ms * (total - done) / done;
        const int more =
            append_time_left(line + length, sizeof line - static_cast<size_t>(length), (left_ms + 500) / 1000);
        length = std::clamp(length + more, 0, static_cast<int>(sizeof line) - 1);
    }
    if (terminal_) {
        // Spaces cover what is left of a longer line drawn before.
        con_printf("%s%*s\r", line, std::max(0, drawn_length_ - length), "");
        drawn_length_ = length;
    } else {
        con_printf("%s\n", line);
    }
}

void ConsoleProgress::finish(uint32_t done, uint32_t total)
{
    start();
    done = std::min(done, total);
    char line[160];
    int length = std::snprintf(line, sizeof line, "%s: %8u / %u [Byte]", label_, done, total);
    length = std::clamp(length, 0, static_cast<int>(sizeof line) - 1);
    con_printf("%s%*s\n", line, terminal_ ? std::max(0, drawn_length_ - length) : 0, "");
    // Ready for the next job.
    started_ = false;
    drawn_length_ = 0;
    tenths_shown_ = 0;
}
