// SPDX-License-Identifier: Apache-2.0
// The console terminal in raw mode (no line editing, no echo; Ctrl-C, Ctrl-Z and Ctrl-\ still
// send their signals), given back in line mode on every way out: the end of the scope that asked
// for raw mode, exit, abort, a fatal signal, an interrupt that ends the process, and Ctrl-Z (raw
// again once the job is continued in the foreground).
#pragma once

// Puts `fd` in raw mode if it is a terminal and no terminal is raw yet; true when it did.
bool terminal_make_raw(int fd);
// Gives `fd` its saved settings back if it is the terminal made raw.
void terminal_restore(int fd);
// Gives the raw terminal back, whichever it is; safe inside a signal handler.
void terminal_give_back();
