// SPDX-License-Identifier: Apache-2.0
#include "job/job_causes.h"

#include <cstdarg>
#include <cstdio>

std::string text_of(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

std::string cause_line(const Outcome& o)
{
    const std::string why = o.detail != nullptr ? std::string(": ") + o.detail : std::string();
    switch (o.status) {
    case Status::ok:
        return {};
    case Status::refused:
        if (o.block >= 0)
            return text_of("Block %d at 0x%08X is protected or locked", static_cast<int>(o.block), o.address) + why;
        return "Refused" + why;
    case Status::erase_failed:
        return text_of("Erase failed at 0x%08X", o.address) + why;
    case Status::mismatch:
        return text_of("0x%08X reads 0x%X where 0x%X was wanted", o.address, o.actual, o.expected);
    case Status::timeout:
        return text_of("The write at 0x%08X never finished", o.address) + why;
    case Status::image_error:
        return "The image could not supply its bytes" + why;
    case Status::cancelled:
        return text_of("Stopped by the stop key at 0x%08X", o.address);
    case Status::interrupted:
        return text_of("Stopped by %s at 0x%08X", o.detail != nullptr ? o.detail : "a signal", o.address);
    case Status::cable_fault:
        return "Stopped by a cable error" + why;
    }
    return {};
}
