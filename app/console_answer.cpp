// SPDX-License-Identifier: Apache-2.0
#include "app/console_answer.h"

#include "app/exit.h"
#include "platform/console.h"
#include "platform/interrupts.h"
#include "platform/platform.h"

namespace {
constexpr int kEnter = 13;
// The answer has room for 4 characters: two digits, a 'q' and the terminator.
constexpr int kMaxDigits = 2;

// How long one wait for a key may block before the input's end is looked at again.
constexpr int kKeyWaitMs = 100;

// Waits for a key; when the input has closed for good there is nobody left to answer.
Ending wait_key(int& key)
{
    Platform& console = platform();
    while (!console.key_wait(kKeyWaitMs)) {
        if (const char* reason = interrupt_requested()) {
            con_printf("\nStopped by %s before the flash was changed\n", reason);
            return quit(1);
        }
        if (console.keys_ended()) {
            con_printf("\nNo more console input\n");
            con_printf("give -F MODEL, -w and -i, or --detect\n");
            return quit(1);
        }
    }
    key = console.key_read();
    return {};
}
}  // namespace

Ending read_answer(char* answer, int max_length)
{
    const int max_digits = max_length < kMaxDigits ? max_length : kMaxDigits;
    int length = 0;
    answer[0] = '\0';
    for (;;) {
        int key = 0;
        if (Ending end = wait_key(key))
            return end;
        if (key == kEnter)
            break;
        if (key == 'q' || key == 'Q') {
            answer[length++] = static_cast<char>(key);
            break;
        }
        // A digit beyond the prompt's width is ignored like any other key: there is no editing.
        if (key >= '0' && key <= '9' && length < max_digits) {
            answer[length++] = static_cast<char>(key);
            con_printf("%c", key);
        }
    }
    answer[length] = '\0';
    return {};
}
