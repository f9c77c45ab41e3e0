// SPDX-License-Identifier: Apache-2.0
// An option given twice keeps its last value: one line says what that value replaced, so that a
// pasted command line's earlier value is not taken for the one used.
#pragma once

#include "app/long_options.h"

void print_replaced_options(int argc, char** argv, const LongOptions& long_options);
