// SPDX-License-Identifier: Apache-2.0
// The console key that stops a long flash job.
#pragma once

#include "platform/platform.h"

constexpr int kKeyEsc = 27;

// Consumes a waiting key, if any; true when it was ESC.
inline bool flash_esc_pressed()
{
    Platform& console = platform();
    return console.key_available() && console.key_read() == kKeyEsc;
}
