// SPDX-License-Identifier: Apache-2.0
// A word on the command line that is no option nor an option's value: the classic scan skips it,
// which is harmless where nothing is written, but in a job that erases or programs it is most
// likely an image whose -f was forgotten.
#pragma once

#include "app/exit.h"
#include "app/long_options.h"

// Refuses, before any cable is touched, the first free argument of a run that may erase or
// program (not -j, -t, --read, --verify nor --chain-list): one line naming it, and the -f it
// probably lacks when it names a file; status 1.
[[nodiscard]] Ending refuse_free_argument(int argc, char** argv, const LongOptions& long_options);
