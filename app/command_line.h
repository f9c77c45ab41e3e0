// The tool's command line read into RunOptions.
#pragma once

#include "app/options.h"

// Scans the options. A missing value or a bad number ends the run (quit or, for -b, the
// normal end) with its message; the checks that need the whole line come after.
RunOptions scan_options(int argc, char** argv);
