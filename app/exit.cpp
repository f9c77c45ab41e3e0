// SPDX-License-Identifier: Apache-2.0
#include "app/exit.h"

#include "platform/console.h"

RunEnd fail_exit(const char* message)
{
    con_printf("%s\n", message);
    return quit(1);
}
