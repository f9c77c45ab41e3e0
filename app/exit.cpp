// SPDX-License-Identifier: Apache-2.0
#include "app/exit.h"

#include "platform/console.h"

void process_end(int status) { throw ExitRequest{{status, CableEnd::none}}; }

void quit(int code) { throw ExitRequest{{code, CableEnd::reset_park}}; }

void fail_exit(const char* message)
{
    con_printf("%s\n", message);
    quit(1);
}
