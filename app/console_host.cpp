// SPDX-License-Identifier: Apache-2.0
#include "app/console_host.h"

#include "platform/console.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace {

constexpr int kEsc = 27;

// 32 bits, most significant first, as '0'/'1' characters.
void print_id(const char* label, uint32_t id)
{
    char bits[33];
    for (int i = 0; i < 32; ++i)
        bits[i] = (id >> (31 - i)) & 1 ? '1' : '0';
    bits[32] = '\0';
    con_printf("\n%s JTAG ID:   %s\n", label, bits);
}

}  // namespace

void ConsoleHost::report(const EngineEvent& event)
{
    switch (event.kind) {
    case EventKind::idcode_matched:
        print_id("OK!,", event.actual);
        break;
    case EventKind::idcode_mismatched:
        print_id("Your", event.actual);
        break;
    case EventKind::toggle_banner:
        con_printf("%s", event.text);
        break;
    case EventKind::toggle_started:
        con_printf("\nOutput toggled value to all pin\n Enter ESC to EXIT\n");
        break;
    case EventKind::progress:
        break;
    }
}

bool ConsoleHost::stop_key()
{
    Platform& console = platform();
    if (console.key_available())
        return console.key_read() == kEsc;
    return input_end_stops_ && console.keys_ended();
}

const char* ConsoleHost::interrupt_requested() { return ::interrupt_requested(); }

uint64_t ConsoleHost::monotonic_ns() { return platform().monotonic_ns(); }
