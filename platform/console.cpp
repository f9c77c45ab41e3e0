// SPDX-License-Identifier: Apache-2.0
#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"

void con_printf(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length >= 0 && static_cast<size_t>(length) < sizeof text) {
        platform().console_write(text, static_cast<size_t>(length));
        platform().console_note(text, static_cast<size_t>(length));
    } else if (length >= 0) {
        // A long path or value: a message cut short would lose its end and its newline.
        std::string long_text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(long_text.data(), long_text.size(), format, again);
        platform().console_write(long_text.data(), static_cast<size_t>(length));
        platform().console_note(long_text.data(), static_cast<size_t>(length));
    }
    va_end(again);
}
