// SPDX-License-Identifier: Apache-2.0
// The tool's command line read into RunOptions.
#pragma once

#include "app/exit.h"
#include "app/options.h"

// The classic options; ':' after one that takes a value.
inline constexpr const char kOptionString[] = "C:F:w:i:f:o:jte:b:";

// Scans the options into `options`. A missing value or a bad number ends the run (quit or, for
// -b, the normal end) with its message; the checks that need the whole line come after.
[[nodiscard]] Ending scan_options(int argc, char** argv, RunOptions& options);
