// SPDX-License-Identifier: Apache-2.0
// Waiting for console input without spinning, for key waits on every platform (the tool's and the
// simulator's). Each OS folder under platform/ implements it.
#pragma once

// Waits until `fd` has something to read (a byte, or the end of the input), `timeout_ms` has
// passed (-1: no limit) or an interrupt is requested (platform/interrupts.h); true in the first
// case. Other signals do not end the wait early.
bool input_wait(int fd, int timeout_ms);
