// SPDX-License-Identifier: Apache-2.0
#include "platform/platform.h"

namespace {
Platform* installed = nullptr;
}

void platform_install(Platform* platform) { installed = platform; }

Platform& platform() { return *installed; }

Platform* platform_installed() { return installed; }

void Platform::console_note(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '\r') {
            line_.clear();
        } else if (c != '\n') {
            line_ += c;
        } else {
            if (line_.find_first_not_of(' ') != std::string::npos) {
                line_before_.swap(last_line_);
                last_line_ = line_;
            }
            line_.clear();
        }
    }
}
