// SPDX-License-Identifier: Apache-2.0
// Compiled as a file of flash/ would be; the test passes only when the include below is refused.
#include "app/exit.h"
