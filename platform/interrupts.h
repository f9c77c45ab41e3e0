// SPDX-License-Identifier: Apache-2.0
// Interrupts that ask the running job to stop at its next safe point instead of killing the
// process with the flash half-driven: SIGINT, SIGTERM, SIGHUP and SIGQUIT (on Windows Ctrl-C
// and Ctrl-Break). SIGPIPE is ignored, so a closed output pipe never ends a job. A second
// interrupt while the first is still pending ends the process the old way (the terminal given
// back first), so nobody is ever stuck with a tool that does not stop.
#pragma once

// Installs the handlers (platform/linux or platform/windows); harmless to call again.
void interrupts_catch();
// The name of the first interrupt that arrived ("SIGINT", ...), or nullptr.
const char* interrupt_requested();
// Forgets an interrupt that was handled (the next run in the same process starts clean).
void interrupts_reset();
// Records an interrupt as the handlers do; true when it is the first one since the last reset
// (the handlers end the process on a second one, this call never does).
bool interrupt_raise(int signal_number);
