#include "app/exit.h"

#include "jtag/lpt_cable.h"
#include "jtag/tap.h"
#include "platform/console.h"

void process_end(int status) { throw ExitRequest{status}; }

void quit(int code)
{
    // Before a port was found there is no cable to return to idle.
    if (g_port_base != 0) {
        tap_reset();
        cable_park();
    }
    process_end(code);
}

void fail_exit(const char* message)
{
    con_printf("%s\n", message);
    quit(1);
}
