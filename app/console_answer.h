// SPDX-License-Identifier: Apache-2.0
// Answers to the menu and prompts, read key by key from the console.
#pragma once

#include "app/exit.h"

// Fills `answer` (room for 4 characters) with up to `max_length` digits, ended by
// Enter or by 'q'/'Q' (stored). Returns the end of the run (status 1) if input has ended.
[[nodiscard]] Ending read_answer(char* answer, int max_length);
