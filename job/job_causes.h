// SPDX-License-Identifier: Apache-2.0
// The one line that says why a job through the API did not end ok.
#pragma once

#include <string>

#include "jtag/outcome.h"

// printf into a string.
std::string text_of(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The cause of an outcome from a stage that changed or read the flash.
std::string cause_line(const Outcome& outcome);
