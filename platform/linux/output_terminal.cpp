// SPDX-License-Identifier: Apache-2.0
#include "platform/output_terminal.h"

#include <unistd.h>

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }
