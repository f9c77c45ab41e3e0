#include "platform/console.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

void con_printf(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) >= sizeof text)
        length = sizeof text - 1;
    platform().console_write(text, static_cast<size_t>(length));
}
