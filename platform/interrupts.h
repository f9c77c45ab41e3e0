// Interrupts that ask the running job to stop at its next safe point instead of killing the
// process with the flash half-driven: SIGINT, SIGTERM, SIGHUP and SIGQUIT (on Windows Ctrl-C
// and Ctrl-Break). SIGPIPE is ignored, so a closed output pipe never ends a job.
#pragma once

// Installs the handlers; harmless to call again.
void interrupts_catch();
// The name of the first interrupt that arrived ("SIGINT", ...), or nullptr.
const char* interrupt_requested();
// Forgets an interrupt that was handled (the next run in the same process starts clean).
void interrupts_reset();
// Records an interrupt as the handler would (tests and the Windows console handler).
void interrupt_raise(int signal_number);
