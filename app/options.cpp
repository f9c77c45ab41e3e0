#include "app/options.h"

RunOptions g_options;

namespace {
int scan_index = 1;
}

void options_init()
{
    g_options = RunOptions{};
    scan_index = 1;
}
