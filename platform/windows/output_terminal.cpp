// SPDX-License-Identifier: Apache-2.0
#include "platform/output_terminal.h"

#include <cstdio>

#include <io.h>
#include <windows.h>

// _isatty also says yes for the NUL device; a console answers GetConsoleMode.
bool stdout_is_terminal()
{
    HANDLE output = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    DWORD mode = 0;
    return output != INVALID_HANDLE_VALUE && output != nullptr && GetConsoleMode(output, &mode) != 0;
}
